#include "ProjectPane.h"

#include "HostOptions.h"
#include "ProviderWorker.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QSet>
#include <QStyle>

#include <algorithm>
#include <utility>

namespace {

const int PartsRole = Qt::UserRole;
const int FolderRole = Qt::UserRole + 1;

const QColor ModifiedColor(0x1c, 0x5f, 0xb8);
const QColor OutOfDateColor(0xb3, 0x32, 0x1e);
const QColor CheckedOutColor(0x2b, 0x7a, 0x2f);
const QColor QuietColor(0x8a, 0x8a, 0x8a);

// What the first and sixth status characters and the out-of-date mark mean.
QString statusExplanation(const FileStatus& status)
{
    QStringList words;
    const QString text = status.statusText;
    const QChar first = text.isEmpty() ? QLatin1Char(' ') : text.at(0);
    switch (first.unicode()) {
    case 'A': words << QStringLiteral("added"); break;
    case 'C': words << QStringLiteral("conflicted"); break;
    case 'D': words << QStringLiteral("deleted"); break;
    case 'M': words << QStringLiteral("modified"); break;
    case 'R': words << QStringLiteral("replaced"); break;
    case '!': words << QStringLiteral("missing"); break;
    case '~': words << QStringLiteral("obstructed"); break;
    default: break;
    }
    const QChar lock = text.size() > 5 ? text.at(5) : QLatin1Char(' ');
    if (lock == QLatin1Char('K'))
        words << QStringLiteral("locked here");
    else if (lock == QLatin1Char('O'))
        words << QStringLiteral("locked in another working copy");
    else if (lock == QLatin1Char('T'))
        words << QStringLiteral("lock stolen");
    else if (lock == QLatin1Char('B'))
        words << QStringLiteral("lock broken");
    if (status.outOfDate)
        words << QStringLiteral("out of date");
    return words.isEmpty() ? QStringLiteral("up to date, unchanged") : words.join(QStringLiteral(", "));
}

void setFlag(QTreeWidgetItem* item, int column, bool value, const QColor& color)
{
    item->setText(column, value ? QStringLiteral("yes") : QStringLiteral("no"));
    QFont font = item->font(column);
    font.setBold(value);
    item->setFont(column, font);
    item->setForeground(column, value ? color : QuietColor);
    item->setTextAlignment(column, Qt::AlignCenter);
}

} // namespace

ProjectPane::ProjectPane(QWidget* parent)
    : QTreeWidget(parent)
{
    setColumnCount(ColumnCount);
    setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Status"), QStringLiteral("Revision"),
                     QStringLiteral("Last Changed"), QStringLiteral("Checked Out"),
                     QStringLiteral("Modified"), QStringLiteral("Out of Date")});
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    QHeaderView* columns = header();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    const QFontMetrics metrics(font());
    for (int column = StatusColumn; column < ColumnCount; ++column) {
        const QString sample = column == StatusColumn ? QStringLiteral("MMMMMMM") : QStringLiteral("00000");
        const int width = std::max(metrics.horizontalAdvance(headerItem()->text(column)),
                                   metrics.horizontalAdvance(sample));
        columns->setSectionResizeMode(column, QHeaderView::Interactive);
        columns->resizeSection(column, width + 24);
        headerItem()->setTextAlignment(
            column, column == StatusColumn ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    }
}

void ProjectPane::showLocalTree(const QList<LocalEntry>& entries)
{
    QSet<QString> expanded, selected;
    for (auto it = m_items.constBegin(); it != m_items.constEnd(); ++it) {
        if (it.value()->isExpanded())
            expanded.insert(it.key());
        if (it.value()->isSelected())
            selected.insert(it.key());
    }
    const QString current = currentItem()
        ? joinPathParts(currentItem()->data(NameColumn, PartsRole).toStringList())
        : QString();

    setUpdatesEnabled(false);
    clear();
    m_items.clear();
    m_states.clear();
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const LocalEntry& entry : entries) {
        const QString key = joinPathParts(entry.parts);
        QTreeWidgetItem* parent = m_items.value(joinPathParts(entry.parts.mid(0, entry.parts.size() - 1)));
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(NameColumn, entry.parts.last());
        item->setIcon(NameColumn, entry.folder ? folderIcon : fileIcon);
        item->setData(NameColumn, PartsRole, entry.parts);
        item->setData(NameColumn, FolderRole, entry.folder);
        m_items.insert(key, item);
        if (!entry.folder)
            m_states.insert(key, FileState());
    }
    for (auto it = m_items.constBegin(); it != m_items.constEnd(); ++it) {
        it.value()->setExpanded(m_treeShown ? expanded.contains(it.key()) : true);
        it.value()->setSelected(selected.contains(it.key()));
    }
    if (QTreeWidgetItem* item = m_items.value(current))
        setCurrentItem(item, NameColumn, QItemSelectionModel::NoUpdate);
    setUpdatesEnabled(true);
    m_treeShown = true;
}

void ProjectPane::startStatusPass(int fileCount)
{
    m_passRunning = true;
    m_passTotal = fileCount;
    m_passDone = 0;
    m_passUnknown = 0;
    m_passFirstUnknown.clear();
}

void ProjectPane::showStatus(const QStringList& parts, bool known, const FileStatus& status,
                             const QString& errorCommand, const QString& errorText)
{
    const QString key = joinPathParts(parts);
    FileState& state = m_states[key];
    state.read = true;
    state.known = known;
    state.status = status;
    state.error = errorText.isEmpty() ? QString() : errorCommand + QStringLiteral(": ") + errorText;
    if (QTreeWidgetItem* item = m_items.value(key))
        showState(item, state);
    if (m_passRunning) {
        ++m_passDone;
        if (!known && ++m_passUnknown == 1)
            m_passFirstUnknown = QStringLiteral("%1 (%2: %3)").arg(key, errorCommand, errorText.section(QLatin1Char('\n'), 0, 0));
    }
}

void ProjectPane::finishStatusPass(bool cancelled)
{
    m_passRunning = false;
    if (cancelled)
        emit note(QStringLiteral("status reading cancelled after %1 of %2 files").arg(m_passDone).arg(m_passTotal),
                  QStringLiteral("#8a6d00"));
    if (m_passUnknown > 0)
        emit note(QStringLiteral("%1 of %2 files have no status: not under version control, or the provider "
                                 "could not read them; the first: %3")
                      .arg(m_passUnknown)
                      .arg(m_passDone)
                      .arg(m_passFirstUnknown),
                  QString());
}

QTreeWidgetItem* ProjectPane::item(const QStringList& parts) const
{
    return m_items.value(joinPathParts(parts));
}

ProjectPane::FileState ProjectPane::fileState(const QStringList& parts) const
{
    return m_states.value(joinPathParts(parts));
}

QList<QStringList> ProjectPane::selectedFiles(const StatePredicate& predicate) const
{
    QList<QStringList> files;
    const QList<QTreeWidgetItem*> items = selectedItems();
    for (const QTreeWidgetItem* item : items) {
        if (item->data(NameColumn, FolderRole).toBool())
            continue;
        const QStringList parts = item->data(NameColumn, PartsRole).toStringList();
        const auto state = m_states.constFind(joinPathParts(parts));
        if (state != m_states.constEnd() && state->read && predicate(*state))
            files << parts;
    }
    return files;
}

QString ProjectPane::summary() const
{
    int files = 0, modified = 0, checkedOut = 0, outOfDate = 0, uncontrolled = 0, unread = 0;
    for (const FileState& state : std::as_const(m_states)) {
        ++files;
        if (!state.read)
            ++unread;
        else if (!state.status.controlled)
            ++uncontrolled;
        modified += state.status.modified;
        checkedOut += state.status.checkedOut;
        outOfDate += state.status.outOfDate;
    }
    QStringList parts{QStringLiteral("%1 files").arg(files), QStringLiteral("%1 modified").arg(modified),
                      QStringLiteral("%1 checked out").arg(checkedOut),
                      QStringLiteral("%1 out of date").arg(outOfDate),
                      QStringLiteral("%1 not controlled").arg(uncontrolled)};
    if (unread)
        parts << QStringLiteral("%1 not read").arg(unread);
    return parts.join(QStringLiteral(", "));
}

void ProjectPane::showState(QTreeWidgetItem* item, const FileState& state)
{
    const FileStatus& status = state.status;
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!state.known) {
        item->setText(StatusColumn, QStringLiteral("not controlled"));
        QFont italic = item->font(StatusColumn);
        italic.setItalic(true);
        item->setFont(StatusColumn, italic);
        item->setToolTip(StatusColumn, state.error.isEmpty()
                                           ? QStringLiteral("Not under version control")
                                           : QStringLiteral("Not under version control, or unreadable:\n")
                                                 + state.error);
        for (int column = RevisionColumn; column < ColumnCount; ++column)
            item->setText(column, QString());
        for (int column = NameColumn; column < ColumnCount; ++column)
            item->setForeground(column, QuietColor);
        return;
    }
    item->setText(StatusColumn, status.statusText);
    item->setFont(StatusColumn, fixed);
    item->setToolTip(StatusColumn, statusExplanation(status));
    item->setText(RevisionColumn, status.revisionText);
    item->setText(LastChangedColumn, status.lastChangedText);
    item->setTextAlignment(RevisionColumn, Qt::AlignCenter);
    item->setTextAlignment(LastChangedColumn, Qt::AlignCenter);
    setFlag(item, CheckedOutColumn, status.checkedOut, CheckedOutColor);
    setFlag(item, ModifiedColumn, status.modified, ModifiedColor);
    setFlag(item, OutOfDateColumn, status.outOfDate, OutOfDateColor);
    const QColor nameColor = status.outOfDate ? OutOfDateColor
        : status.modified                     ? ModifiedColor
        : status.checkedOut                   ? CheckedOutColor
                                              : palette().color(QPalette::Text);
    item->setForeground(NameColumn, nameColor);
    item->setForeground(StatusColumn, nameColor);
    item->setForeground(RevisionColumn, palette().color(QPalette::Text));
    item->setForeground(LastChangedColumn, palette().color(QPalette::Text));
}
