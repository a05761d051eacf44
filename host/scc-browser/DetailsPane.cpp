#include "DetailsPane.h"

#include "RepositoryPane.h"
#include "ShelvesPane.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QColor AddedColor(0x2b, 0x7a, 0x2f);
const QColor RemovedColor(0xb3, 0x32, 0x1e);
const QColor HunkColor(0x1c, 0x5f, 0xb8);
const QColor QuietColor(0x8a, 0x8a, 0x8a);

// Colours a unified diff line by line, as the client printed it.
class DiffHighlighter : public QSyntaxHighlighter
{
public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

protected:
    void highlightBlock(const QString& line) override
    {
        QTextCharFormat format;
        if (line.startsWith(QLatin1String("+++")) || line.startsWith(QLatin1String("---"))
            || line.startsWith(QLatin1String("Index: ")) || line.startsWith(QLatin1String("====")))
            format.setForeground(QuietColor);
        else if (line.startsWith(QLatin1Char('+')))
            format.setForeground(AddedColor);
        else if (line.startsWith(QLatin1Char('-')))
            format.setForeground(RemovedColor);
        else if (line.startsWith(QLatin1String("@@")))
            format.setForeground(HunkColor);
        else
            return;
        setFormat(0, int(line.size()), format);
    }
};

QTreeWidget* makeTable(const QStringList& headers)
{
    auto* table = new QTreeWidget;
    table->setHeaderLabels(headers);
    table->setRootIsDecorated(false);
    table->setUniformRowHeights(true);
    table->setAlternatingRowColors(true);
    table->header()->setStretchLastSection(true);
    return table;
}

QString dateText(const QDateTime& date)
{
    return date.isValid() ? date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

QString treeText(const QTreeWidget* tree)
{
    QStringList lines;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = tree->topLevelItem(i);
        QStringList cells;
        for (int column = 0; column < tree->columnCount(); ++column)
            cells << row->text(column);
        lines << cells.join(QLatin1Char('\t'));
        for (int child = 0; child < row->childCount(); ++child)
            lines << QStringLiteral("\t") + row->child(child)->text(tree->columnCount() - 1);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

DetailsPane::DetailsPane(RepositoryPane* repository, ShelvesPane* shelves, QWidget* parent)
    : QTabWidget(parent), m_shelves(shelves)
{
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_log = makeTable({QStringLiteral("Revision"), QStringLiteral("Author"), QStringLiteral("Date"),
                       QStringLiteral("Message")});
    m_log->setObjectName(QStringLiteral("log"));
    m_log->setRootIsDecorated(true);
    m_log->setWordWrap(true);
    connect(m_log->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value == m_log->verticalScrollBar()->maximum())
            requestMoreLog();
    });
    m_logSearch = new QLineEdit;
    m_logSearch->setObjectName(QStringLiteral("logSearch"));
    m_logSearch->setPlaceholderText(QStringLiteral("Search author, date, message and paths (Enter)"));
    m_logSearch->setClearButtonEnabled(true);
    // A new search starts from the newest revision.
    connect(m_logSearch, &QLineEdit::returnPressed, this, [this] {
        m_logAsked = true;
        emit logPageRequested(m_logPath, QString(), m_logSearch->text().trimmed());
    });
    auto* logTab = new QWidget;
    auto* logLayout = new QVBoxLayout(logTab);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->addWidget(m_logSearch);
    logLayout->addWidget(m_log, 1);
    m_annotation = makeTable({QStringLiteral("Line"), QStringLiteral("Revision"), QStringLiteral("Author"),
                              QStringLiteral("Text")});
    m_annotation->setFont(fixed);
    m_diff = new QPlainTextEdit;
    m_diff->setReadOnly(true);
    m_diff->setFont(fixed);
    m_diff->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_diff->setPlaceholderText(QStringLiteral("Diff a modified file to see its local changes here."));
    new DiffHighlighter(m_diff->document());
    m_changes = makeTable({QStringLiteral("Status"), QStringLiteral("Path")});
    m_changes->setFont(fixed);
    addTab(repository, QStringLiteral("Repository"));
    addTab(logTab, QStringLiteral("Log"));
    addTab(m_annotation, QStringLiteral("Annotate"));
    addTab(m_diff, QStringLiteral("Diff"));
    addTab(m_changes, QStringLiteral("Changes"));
    addTab(shelves, QStringLiteral("Shelves"));
}

void DetailsPane::showLogPage(const QString& path, const QString& search, const QString& startRevision,
                              const QList<SvnScc::LogEntry>& entries, bool more)
{
    const bool first = startRevision.isEmpty();
    if (!first && (path != m_logPath || search != m_logSearchShown || startRevision != m_logNext))
        return; // not the page the list waits for
    m_logAsked = false;
    if (first) {
        m_logPath = path;
        m_logSearchShown = search;
        m_log->clear();
        if (m_logSearch->text().trimmed() != search)
            m_logSearch->setText(search);
    }
    for (const SvnScc::LogEntry& entry : entries) {
        auto* row = new QTreeWidgetItem(m_log, {QStringLiteral("r") + entry.revision, entry.author,
                                                dateText(entry.date), entry.message.section(QLatin1Char('\n'), 0, 0)});
        row->setToolTip(3, entry.message);
        for (const QString& changed : entry.changedPaths) {
            auto* child = new QTreeWidgetItem(row, {QString(), QString(), QString(), changed});
            child->setForeground(3, QuietColor);
        }
    }
    const qlonglong last = entries.isEmpty() ? 0 : entries.last().revision.toLongLong();
    m_logNext = more && last > 1 ? QString::number(last - 1) : QString();
    if (first) {
        if (m_log->topLevelItemCount() > 0)
            m_log->topLevelItem(0)->setExpanded(true);
        for (int column = 0; column < 3; ++column)
            m_log->resizeColumnToContents(column);
        const QString shown = path.isEmpty() ? QStringLiteral(".") : path;
        setTabText(LogTab, search.isEmpty() ? QStringLiteral("Log: %1").arg(shown)
                                            : QStringLiteral("Log: %1 \"%2\"").arg(shown, search));
        setCurrentIndex(LogTab);
    }
    // A list that fits with no scrolling can never be scrolled to its end,
    // so the next page is asked for at once (so too when the list still
    // stands at its end). The view lays its rows out later: its scroll
    // bar's range is brought up to date first.
    m_log->doItemsLayout();
    const QScrollBar* bar = m_log->verticalScrollBar();
    if (bar->value() == bar->maximum())
        requestMoreLog();
}

void DetailsPane::logPageFailed()
{
    m_logAsked = false;
}

void DetailsPane::requestMoreLog()
{
    if (m_logAsked || m_logNext.isEmpty())
        return;
    m_logAsked = true;
    emit logPageRequested(m_logPath, m_logNext, m_logSearchShown);
}

void DetailsPane::showAnnotation(const QString& path, const QList<SvnScc::AnnotatedLine>& lines)
{
    m_annotationPath = path;
    m_annotation->clear();
    int number = 0;
    for (const SvnScc::AnnotatedLine& line : lines) {
        auto* row = new QTreeWidgetItem(m_annotation, {QString::number(++number),
                                                       line.revision.isEmpty() ? QStringLiteral("-") : line.revision,
                                                       line.author, line.text});
        row->setTextAlignment(0, Qt::AlignRight);
        row->setToolTip(1, dateText(line.date));
    }
    for (int column = 0; column < 3; ++column)
        m_annotation->resizeColumnToContents(column);
    setTabText(AnnotateTab, QStringLiteral("Annotate: %1").arg(path));
    setCurrentIndex(AnnotateTab);
}

void DetailsPane::showDiff(const QString& path, const QByteArray& unifiedDiff)
{
    m_diffPath = path;
    m_diff->setPlainText(unifiedDiff.isEmpty() ? QStringLiteral("(no local changes)") : QString::fromUtf8(unifiedDiff));
    setTabText(DiffTab, QStringLiteral("Diff: %1").arg(path));
    setCurrentIndex(DiffTab);
}

void DetailsPane::showChanges(const QList<SvnScc::Change>& changes)
{
    m_changes->clear();
    for (const SvnScc::Change& change : changes)
        new QTreeWidgetItem(m_changes, {change.statusColumns, change.path.isEmpty() ? QStringLiteral(".") : change.path});
    setTabText(ChangesTab, QStringLiteral("Changes (%1)").arg(changes.size()));
    setCurrentIndex(ChangesTab);
}

QString DetailsPane::text(Tab tab) const
{
    switch (tab) {
    case LogTab:
        return m_logPath + QLatin1Char('\n') + treeText(m_log);
    case AnnotateTab:
        return m_annotationPath + QLatin1Char('\n') + treeText(m_annotation);
    case DiffTab:
        return m_diffPath + QLatin1Char('\n') + m_diff->toPlainText();
    case ChangesTab:
        return QStringLiteral("changes\n") + treeText(m_changes);
    case ShelvesTab:
        return QStringLiteral("shelves\n") + m_shelves->text();
    case RepositoryTab:
        break;
    }
    return QString();
}
