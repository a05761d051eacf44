#include "ProjectPane.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QStyle>

#include <algorithm>
#include <utility>

namespace {

const int PathRole = Qt::UserRole;

const QColor ModifiedColor(0x1c, 0x5f, 0xb8);
const QColor OutOfDateColor(0xb3, 0x32, 0x1e);
const QColor CheckedOutColor(0x2b, 0x7a, 0x2f);
const QColor QuietColor(0x8a, 0x8a, 0x8a);

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

// What the first and sixth status characters and the out-of-date mark mean.
QString statusExplanation(const SvnScc::Status& status)
{
    QStringList words;
    const QString text = status.columns;
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

ProjectPane::ProjectPane(const QString& localRoot, QWidget* parent)
    : QTreeWidget(parent), m_root(localRoot)
{
    setColumnCount(ColumnCount);
    setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Status"), QStringLiteral("Revision"),
                     QStringLiteral("Last Changed"), QStringLiteral("Checked Out"),
                     QStringLiteral("Modified"), QStringLiteral("Out of Date"), QStringLiteral("Changelist")});
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

void ProjectPane::startStatusPass()
{
    m_passRunning = true;
    m_passDone = 0;
    m_passUnknown = 0;
    m_passFirstUnknown.clear();
}

void ProjectPane::showStatus(const SvnScc::Status& status)
{
    if (status.path.isEmpty())
        return; // the local root is the pane's caption
    const QFileInfo onDisk(m_root + QLatin1Char('/') + status.path);
    QTreeWidgetItem* gone = m_items.value(status.path);
    if (status.known && status.columns.isEmpty() && !onDisk.exists() && !onDisk.isSymLink()
        && (!gone || gone->childCount() == 0)) {
        // Gone, and nothing the client knows.
        m_states.remove(status.path);
        delete m_items.take(status.path);
        return;
    }
    QTreeWidgetItem* row = m_items.value(status.path);
    if (!row)
        row = makeRow(status.path);
    FileState& state = m_states[status.path];
    state.read = true;
    state.status = status;
    showState(row, state);
    if (m_passRunning) {
        ++m_passDone;
        if (!status.known && ++m_passUnknown == 1)
            m_passFirstUnknown = QStringLiteral("%1 (%2: %3)")
                                     .arg(status.path, status.command, status.error.section(QLatin1Char('\n'), 0, 0));
    }
}

QTreeWidgetItem* ProjectPane::makeRow(const QString& path)
{
    const QString parentPath = parentOf(path);
    QTreeWidgetItem* parent = parentPath.isEmpty() ? nullptr : m_items.value(parentPath);
    if (!parentPath.isEmpty() && !parent)
        parent = makeRow(parentPath);
    auto* row = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    const QFileInfo onDisk(m_root + QLatin1Char('/') + path);
    FileState& state = m_states[path];
    state.folder = onDisk.isDir() && !onDisk.isSymLink();
    row->setText(NameColumn, path.mid(parentPath.isEmpty() ? 0 : parentPath.size() + 1));
    row->setIcon(NameColumn, style()->standardIcon(state.folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon));
    row->setData(NameColumn, PathRole, path);
    m_items.insert(path, row);
    if (state.folder)
        row->setExpanded(true);
    return row;
}

void ProjectPane::finishStatusPass(bool cancelled)
{
    m_passRunning = false;
    if (cancelled)
        emit note(QStringLiteral("status reading cancelled after %1 items").arg(m_passDone), QStringLiteral("#8a6d00"));
    if (m_passUnknown > 0)
        emit note(QStringLiteral("%1 of %2 items have no status: the provider could not read them; the first: %3")
                      .arg(m_passUnknown)
                      .arg(m_passDone)
                      .arg(m_passFirstUnknown),
                  QString());
}

QTreeWidgetItem* ProjectPane::item(const QString& path) const
{
    return m_items.value(path);
}

ProjectPane::FileState ProjectPane::fileState(const QString& path) const
{
    return m_states.value(path);
}

QStringList ProjectPane::selectedPaths(const StatePredicate& predicate, bool folders) const
{
    QStringList paths;
    const QList<QTreeWidgetItem*> items = selectedItems();
    for (const QTreeWidgetItem* row : items) {
        const QString path = row->data(NameColumn, PathRole).toString();
        const auto state = m_states.constFind(path);
        if (state != m_states.constEnd() && state->read && (folders || !state->folder) && predicate(*state))
            paths << path;
    }
    return paths;
}

void ProjectPane::setChangelists(const QHash<QString, QString>& changelists)
{
    m_changelists = changelists;
    for (auto row = m_items.cbegin(); row != m_items.cend(); ++row)
        row.value()->setText(ChangelistColumn, m_changelists.value(row.key()));
}

QStringList ProjectPane::controlledFiles() const
{
    QStringList files;
    for (auto state = m_states.cbegin(); state != m_states.cend(); ++state)
        if (state->read && !state->folder && state->status.controlled)
            files << state.key();
    files.sort();
    return files;
}

QString ProjectPane::summary() const
{
    int files = 0, modified = 0, checkedOut = 0, outOfDate = 0, uncontrolled = 0;
    for (const FileState& state : std::as_const(m_states)) {
        if (state.folder || !state.read)
            continue;
        ++files;
        uncontrolled += !state.status.controlled;
        modified += state.status.modified;
        checkedOut += state.status.checkedOut;
        outOfDate += state.status.outOfDate;
    }
    return QStringList{QStringLiteral("%1 files").arg(files), QStringLiteral("%1 modified").arg(modified),
                       QStringLiteral("%1 checked out").arg(checkedOut),
                       QStringLiteral("%1 out of date").arg(outOfDate),
                       QStringLiteral("%1 not controlled").arg(uncontrolled)}
        .join(QStringLiteral(", "));
}

void ProjectPane::showState(QTreeWidgetItem* item, const FileState& state)
{
    const SvnScc::Status& status = state.status;
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!status.known || (!status.controlled && status.columns.isEmpty())) {
        item->setText(StatusColumn, QStringLiteral("not controlled"));
        QFont italic = item->font(StatusColumn);
        italic.setItalic(true);
        item->setFont(StatusColumn, italic);
        item->setToolTip(StatusColumn, status.error.isEmpty()
                                           ? QStringLiteral("Not under version control")
                                           : QStringLiteral("Not under version control, or unreadable:\n%1: %2")
                                                 .arg(status.command, status.error));
        for (int column = RevisionColumn; column < ColumnCount; ++column)
            item->setText(column, QString());
        item->setText(ChangelistColumn, m_changelists.value(item->data(NameColumn, PathRole).toString()));
        for (int column = NameColumn; column < ColumnCount; ++column)
            item->setForeground(column, QuietColor);
        return;
    }
    item->setText(StatusColumn, status.columns);
    item->setFont(StatusColumn, fixed);
    item->setToolTip(StatusColumn, statusExplanation(status));
    item->setText(RevisionColumn, status.revision);
    item->setText(LastChangedColumn, status.lastChangedRevision);
    item->setTextAlignment(RevisionColumn, Qt::AlignCenter);
    item->setTextAlignment(LastChangedColumn, Qt::AlignCenter);
    setFlag(item, CheckedOutColumn, status.checkedOut, CheckedOutColor);
    setFlag(item, ModifiedColumn, status.modified, ModifiedColor);
    setFlag(item, OutOfDateColumn, status.outOfDate, OutOfDateColor);
    const QColor nameColor = status.outOfDate ? OutOfDateColor
        : status.modified                     ? ModifiedColor
        : status.checkedOut                   ? CheckedOutColor
        : status.controlled                   ? palette().color(QPalette::Text)
                                              : QuietColor;
    item->setForeground(NameColumn, nameColor);
    item->setForeground(StatusColumn, nameColor);
    item->setForeground(RevisionColumn, palette().color(QPalette::Text));
    item->setForeground(LastChangedColumn, palette().color(QPalette::Text));
    item->setText(ChangelistColumn, m_changelists.value(item->data(NameColumn, PathRole).toString()));
}
