#include "BrowserWindow.h"

#include "ProviderWorker.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTime>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

const int PartsRole = Qt::UserRole;
const int FolderRole = Qt::UserRole + 1;
const int LoadedRole = Qt::UserRole + 2;
const int LoadingRole = Qt::UserRole + 3;

const QColor ModifiedColor(0x1c, 0x5f, 0xb8);
const QColor OutOfDateColor(0xb3, 0x32, 0x1e);
const QColor CheckedOutColor(0x2b, 0x7a, 0x2f);
const QColor QuietColor(0x8a, 0x8a, 0x8a);
const QColor ErrorColor(0xb3, 0x32, 0x1e);

QString joined(const QStringList& parts)
{
    return parts.join(QLatin1Char('/'));
}

QString fileList(const QList<QStringList>& files)
{
    return files.size() == 1 ? joined(files.first()) : QStringLiteral("%1 files").arg(files.size());
}

// A panel: a bold caption over its content.
QWidget* captioned(const QString& caption, QWidget* content, QLabel** detail = nullptr)
{
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(3);
    auto* heading = new QLabel(QStringLiteral("<b>%1</b>").arg(caption.toHtmlEscaped()));
    auto* row = new QHBoxLayout;
    row->setContentsMargins(4, 0, 4, 0);
    row->addWidget(heading);
    if (detail) {
        *detail = new QLabel;
        (*detail)->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // A long path must not widen the panel; it is cut at the right.
        (*detail)->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        row->addWidget(*detail, 1);
    } else {
        row->addStretch(1);
    }
    layout->addLayout(row);
    layout->addWidget(content, 1);
    return panel;
}

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

BrowserWindow::BrowserWindow(const HostOptions& options, QWidget* parent)
    : QMainWindow(parent), m_options(options)
{
    setWindowTitle(QStringLiteral("scc-browser - %1").arg(options.localRoot));
    buildActions();
    buildLayout();

    m_worker = new ProviderWorker;
    m_worker->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("provider"));
    const auto queued = Qt::QueuedConnection;
    connect(m_worker, &ProviderWorker::requestStarted, this, &BrowserWindow::onRequestStarted, queued);
    connect(m_worker, &ProviderWorker::requestFinished, this, &BrowserWindow::onRequestFinished, queued);
    connect(m_worker, &ProviderWorker::opened, this, &BrowserWindow::onOpened, queued);
    connect(m_worker, &ProviderWorker::localTreeRead, this, &BrowserWindow::onLocalTreeRead, queued);
    connect(m_worker, &ProviderWorker::statusPassStarted, this, &BrowserWindow::onStatusPassStarted, queued);
    connect(m_worker, &ProviderWorker::statusRead, this, &BrowserWindow::onStatusRead, queued);
    connect(m_worker, &ProviderWorker::statusPassFinished, this, &BrowserWindow::onStatusPassFinished, queued);
    connect(m_worker, &ProviderWorker::repositoryListed, this, &BrowserWindow::onRepositoryListed, queued);
    connect(m_worker, &ProviderWorker::operationFinished, this, &BrowserWindow::onOperationFinished, queued);
    connect(m_worker, &ProviderWorker::failed, this, &BrowserWindow::onFailed, queued);
    connect(m_worker, &ProviderWorker::note, this, [this](const QString& text) { logLine(text); }, queued);
    m_thread.start();

    updateBusyIndicator();
    updateActions();
}

BrowserWindow::~BrowserWindow()
{
    // Nothing queued runs any more and a status pass stops at its next file;
    // a provider call that runs now is waited for (the time limit bounds it).
    m_worker->stop();
    disconnect(m_worker, nullptr, this, nullptr);
    ProviderWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker] {
            worker->shutdown();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
    delete m_worker;
}

void BrowserWindow::buildActions()
{
    QStyle* style = this->style();
    auto make = [&](const QString& text, QStyle::StandardPixmap icon, const QKeySequence& shortcut,
                    const QString& tip, void (BrowserWindow::*handler)()) {
        auto* action = new QAction(style->standardIcon(icon), text, this);
        action->setShortcut(shortcut);
        action->setToolTip(tip);
        action->setStatusTip(tip);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    m_addAction = make(QStringLiteral("Add"), QStyle::SP_FileDialogNewFolder, QKeySequence(Qt::CTRL | Qt::Key_Plus),
                       QStringLiteral("Add the selected files to the repository and commit them"),
                       &BrowserWindow::onAddTriggered);
    m_getLatestAction = make(QStringLiteral("Get Latest"), QStyle::SP_ArrowDown, QKeySequence(Qt::CTRL | Qt::Key_G),
                             QStringLiteral("Bring the selected files up to date, keeping local changes"),
                             &BrowserWindow::onGetLatestTriggered);
    m_checkOutAction = make(QStringLiteral("Check Out"), QStyle::SP_DialogOpenButton, QKeySequence(Qt::CTRL | Qt::Key_E),
                            QStringLiteral("Lock the selected files for editing"),
                            &BrowserWindow::onCheckOutTriggered);
    m_undoCheckOutAction = make(QStringLiteral("Undo Check-Out"), QStyle::SP_DialogResetButton, QKeySequence(Qt::CTRL | Qt::Key_U),
                                QStringLiteral("Release the lock of the selected files"),
                                &BrowserWindow::onUndoCheckOutTriggered);
    m_checkInAction = make(QStringLiteral("Check In"), QStyle::SP_ArrowUp, QKeySequence(Qt::CTRL | Qt::Key_K),
                           QStringLiteral("Commit the selected modified files with a log message"),
                           &BrowserWindow::onCheckInTriggered);
    m_getRevisionAction = make(QStringLiteral("Get Revision..."), QStyle::SP_DialogSaveButton, QKeySequence(),
                               QStringLiteral("Write one revision of the selected file to another file"),
                               &BrowserWindow::onGetRevisionTriggered);
    m_refreshAction = make(QStringLiteral("Refresh"), QStyle::SP_BrowserReload, QKeySequence::Refresh,
                           QStringLiteral("Read every status and the repository again"),
                           &BrowserWindow::refreshAll);

    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = fileMenu->addAction(QStringLiteral("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    QMenu* controlMenu = menuBar()->addMenu(QStringLiteral("&Source Control"));
    const QList<QAction*> fileActions = {m_addAction, m_getLatestAction, m_checkOutAction,
                                         m_undoCheckOutAction, m_checkInAction, m_getRevisionAction};
    controlMenu->addActions(fileActions);
    controlMenu->addSeparator();
    controlMenu->addAction(m_refreshAction);

    QToolBar* toolBar = addToolBar(QStringLiteral("Source control"));
    toolBar->setObjectName(QStringLiteral("sourceControlToolBar"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->addActions(fileActions);
    toolBar->addSeparator();
    toolBar->addAction(m_refreshAction);
}

void BrowserWindow::buildLayout()
{
    m_projectTree = new QTreeWidget;
    m_projectTree->setColumnCount(ColumnCount);
    m_projectTree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Status"), QStringLiteral("Revision"),
                                    QStringLiteral("Last Changed"), QStringLiteral("Checked Out"),
                                    QStringLiteral("Modified"), QStringLiteral("Out of Date")});
    m_projectTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_projectTree->setUniformRowHeights(true);
    m_projectTree->setAlternatingRowColors(true);
    m_projectTree->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_projectTree->addActions({m_addAction, m_getLatestAction, m_checkOutAction, m_undoCheckOutAction,
                               m_checkInAction, m_getRevisionAction});
    QHeaderView* header = m_projectTree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    const QFontMetrics metrics(m_projectTree->font());
    for (int column = StatusColumn; column < ColumnCount; ++column) {
        const QString sample = column == StatusColumn ? QStringLiteral("MMMMMMM") : QStringLiteral("00000");
        const int width = std::max(metrics.horizontalAdvance(m_projectTree->headerItem()->text(column)),
                                   metrics.horizontalAdvance(sample));
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, width + 24);
        m_projectTree->headerItem()->setTextAlignment(
            column, column == StatusColumn ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    }
    connect(m_projectTree, &QTreeWidget::itemSelectionChanged, this, &BrowserWindow::updateActions);

    m_repositoryTree = new QTreeWidget;
    m_repositoryTree->setColumnCount(1);
    m_repositoryTree->setHeaderHidden(true);
    m_repositoryTree->setUniformRowHeights(true);
    // The top row is the URL: a narrow pane keeps its scheme and its end.
    m_repositoryTree->setTextElideMode(Qt::ElideMiddle);
    connect(m_repositoryTree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        m_repositoryExpanded.insert(joined(item->data(0, PartsRole).toStringList()));
        listRepositoryFolder(item);
    });
    connect(m_repositoryTree, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        m_repositoryExpanded.remove(joined(item->data(0, PartsRole).toStringList()));
    });
    // Selecting a folder lists it: its subfolders and files appear below it.
    connect(m_repositoryTree, &QTreeWidget::currentItemChanged, this, [](QTreeWidgetItem* current) {
        if (current && current->data(0, FolderRole).toBool())
            current->setExpanded(true);
    });

    m_messages = new QPlainTextEdit;
    m_messages->setReadOnly(true);
    m_messages->setMaximumBlockCount(2000);
    m_messages->setPlaceholderText(QStringLiteral("Failures and results of operations appear here."));

    QLabel* rootLabel = nullptr;
    QWidget* projectPanel = captioned(QStringLiteral("Working copy"), m_projectTree, &rootLabel);
    rootLabel->setText(m_options.localRoot);
    rootLabel->setToolTip(m_options.localRoot);
    QWidget* repositoryPanel = captioned(QStringLiteral("Repository"), m_repositoryTree);

    auto* panes = new QSplitter(Qt::Horizontal);
    panes->addWidget(projectPanel);
    panes->addWidget(repositoryPanel);
    panes->setStretchFactor(0, 3);
    panes->setStretchFactor(1, 1);
    panes->setSizes({780, 300});

    auto* vertical = new QSplitter(Qt::Vertical);
    vertical->addWidget(panes);
    vertical->addWidget(captioned(QStringLiteral("Messages"), m_messages));
    vertical->setStretchFactor(0, 4);
    vertical->setStretchFactor(1, 1);
    vertical->setSizes({440, 120});

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(vertical);
    setCentralWidget(central);

    m_activity = new QLabel;
    m_progress = new QProgressBar;
    m_progress->setFixedWidth(180);
    m_progress->setMaximumHeight(16);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"));
    m_cancelButton->setToolTip(QStringLiteral("Stop reading statuses after the file being read now"));
    connect(m_cancelButton, &QPushButton::clicked, this, &BrowserWindow::cancelStatusPass);
    statusBar()->addWidget(m_activity, 1);
    statusBar()->addPermanentWidget(m_progress);
    statusBar()->addPermanentWidget(m_cancelButton);
}

void BrowserWindow::start()
{
    const HostOptions options = m_options;
    logLine(QStringLiteral("opening %1 with %2").arg(options.localRoot, options.plugin));
    enqueue(QStringLiteral("Opening the working copy"), [options](ProviderWorker& worker) { worker.open(options); });
}

QTreeWidgetItem* BrowserWindow::projectItem(const QStringList& parts) const
{
    return m_projectItems.value(joined(parts));
}

QString BrowserWindow::messageLog() const
{
    return m_messages->toPlainText();
}

void BrowserWindow::refreshAll()
{
    if (!m_opened)
        return;
    enqueue(QStringLiteral("Refreshing"), [](ProviderWorker& worker) { worker.refresh(); });
    resetRepositoryTree();
}

void BrowserWindow::cancelStatusPass()
{
    m_worker->cancelStatusPass();
    m_cancelButton->setEnabled(false);
    m_activity->setText(QStringLiteral("Cancelling after the file being read..."));
}

void BrowserWindow::addFiles(const QList<QStringList>& files, const QString& comment)
{
    for (const QStringList& parts : files)
        enqueue(QStringLiteral("Adding %1").arg(joined(parts)),
                [parts, comment](ProviderWorker& worker) { worker.addFile(parts, comment); });
}

void BrowserWindow::getLatest(const QList<QStringList>& files)
{
    for (const QStringList& parts : files)
        enqueue(QStringLiteral("Getting the latest %1").arg(joined(parts)),
                [parts](ProviderWorker& worker) { worker.getLatest(parts, true); });
}

void BrowserWindow::checkOut(const QList<QStringList>& files, const QString& comment)
{
    for (const QStringList& parts : files)
        enqueue(QStringLiteral("Checking out %1").arg(joined(parts)),
                [parts, comment](ProviderWorker& worker) { worker.checkOut(parts, comment); });
}

void BrowserWindow::undoCheckOut(const QList<QStringList>& files, bool discardChanges)
{
    for (const QStringList& parts : files)
        enqueue(QStringLiteral("Undoing the check-out of %1").arg(joined(parts)),
                [parts, discardChanges](ProviderWorker& worker) { worker.undoCheckOut(parts, discardChanges); });
}

void BrowserWindow::checkIn(const QList<QStringList>& files, const QString& comment)
{
    for (const QStringList& parts : files)
        enqueue(QStringLiteral("Checking in %1").arg(joined(parts)),
                [parts, comment](ProviderWorker& worker) { worker.checkIn(parts, comment); });
}

void BrowserWindow::getRevision(const QStringList& file, const QString& revision, const QString& destination)
{
    enqueue(QStringLiteral("Getting revision %1 of %2").arg(revision, joined(file)),
            [file, revision, destination](ProviderWorker& worker) {
                worker.getRevision(file, revision, destination);
            });
}

void BrowserWindow::enqueue(const QString& description, const std::function<void(ProviderWorker&)>& request)
{
    ++m_pending;
    updateBusyIndicator();
    updateActions();
    ProviderWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker, description, request] { worker->runRequest(description, request); },
        Qt::QueuedConnection);
}

void BrowserWindow::updateBusyIndicator()
{
    const bool busy = m_pending > 0;
    m_progress->setVisible(busy);
    m_cancelButton->setVisible(m_passRunning);
    if (m_passRunning) {
        m_progress->setRange(0, std::max(m_passTotal, 1));
        m_progress->setValue(m_passDone);
        m_progress->setFormat(QStringLiteral("%v of %m files"));
        m_progress->setTextVisible(true);
    } else {
        // An indeterminate bar: a single provider call gives no progress.
        m_progress->setRange(0, 0);
        m_progress->setTextVisible(false);
    }
    if (!busy)
        updateSummary();
}

void BrowserWindow::updateActions()
{
    const bool ready = m_opened && m_pending == 0;
    auto any = [&](const StatePredicate& predicate) { return ready && !selectedFiles(predicate).isEmpty(); };
    m_addAction->setEnabled(any([](const FileState& s) { return !s.status.controlled; }));
    m_getLatestAction->setEnabled(any([](const FileState& s) { return s.status.controlled; }));
    m_checkOutAction->setEnabled(m_checkOutSupported && any([](const FileState& s) {
                                     return s.status.controlled && !s.status.checkedOut;
                                 }));
    m_undoCheckOutAction->setEnabled(m_checkOutSupported
                                     && any([](const FileState& s) { return s.status.checkedOut; }));
    m_checkInAction->setEnabled(any([](const FileState& s) { return s.status.controlled && s.status.modified; }));
    m_getRevisionAction->setEnabled(
        ready && m_projectTree->selectedItems().size() == 1
        && selectedFiles([](const FileState& s) { return s.status.controlled; }).size() == 1);
    m_refreshAction->setEnabled(ready);
}

void BrowserWindow::updateSummary()
{
    if (!m_opened) {
        m_activity->setText(m_pending ? QString() : QStringLiteral("Not connected"));
        return;
    }
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
    m_activity->setText(QStringLiteral("Ready.  ") + parts.join(QStringLiteral(", ")));
}

QList<QStringList> BrowserWindow::selectedFiles(const StatePredicate& predicate) const
{
    QList<QStringList> files;
    const QList<QTreeWidgetItem*> items = m_projectTree->selectedItems();
    for (const QTreeWidgetItem* item : items) {
        if (item->data(NameColumn, FolderRole).toBool())
            continue;
        const QStringList parts = item->data(NameColumn, PartsRole).toStringList();
        const auto state = m_states.constFind(joined(parts));
        if (state != m_states.constEnd() && state->read && predicate(*state))
            files << parts;
    }
    return files;
}

void BrowserWindow::showStatus(QTreeWidgetItem* item, const FileState& state)
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
                                              : m_projectTree->palette().color(QPalette::Text);
    item->setForeground(NameColumn, nameColor);
    item->setForeground(StatusColumn, nameColor);
    item->setForeground(RevisionColumn, m_projectTree->palette().color(QPalette::Text));
    item->setForeground(LastChangedColumn, m_projectTree->palette().color(QPalette::Text));
}

void BrowserWindow::logLine(const QString& text, const QString& color)
{
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    QString html = QStringLiteral("<span style=\"color:#8a8a8a\">%1</span>&nbsp;&nbsp;").arg(time);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i).toHtmlEscaped();
        // Keep the indentation of continuation lines.
        qsizetype lead = 0;
        while (lead < line.size() && line.at(lead) == QLatin1Char(' '))
            ++lead;
        line.replace(0, lead, QStringLiteral("&nbsp;").repeated(lead));
        if (i > 0)
            html += QStringLiteral("<br>") + QStringLiteral("&nbsp;").repeated(10);
        html += color.isEmpty() ? line : QStringLiteral("<span style=\"color:%1\">%2</span>").arg(color, line);
    }
    m_messages->appendHtml(html);
}

void BrowserWindow::listRepositoryFolder(QTreeWidgetItem* item)
{
    if (!item->data(0, FolderRole).toBool() || item->data(0, LoadedRole).toBool()
        || item->data(0, LoadingRole).toBool())
        return;
    item->setData(0, LoadingRole, true);
    const QStringList parts = item->data(0, PartsRole).toStringList();
    enqueue(QStringLiteral("Listing %1 in the repository").arg(parts.isEmpty() ? QStringLiteral("/") : joined(parts)),
            [parts](ProviderWorker& worker) { worker.listRepository(parts); });
}

void BrowserWindow::clearRepositoryChildren(QTreeWidgetItem* item)
{
    const QList<QTreeWidgetItem*> children = item->takeChildren();
    for (QTreeWidgetItem* child : children) {
        if (child->data(0, FolderRole).toBool()) {
            clearRepositoryChildren(child);
            m_repositoryFolders.remove(joined(child->data(0, PartsRole).toStringList()));
        }
        delete child;
    }
}

void BrowserWindow::resetRepositoryTree()
{
    if (m_options.repositoryURL.isEmpty()) {
        m_repositoryTree->clear();
        auto* note = new QTreeWidgetItem(m_repositoryTree, {QStringLiteral("No repository URL (--url) given")});
        note->setForeground(0, QuietColor);
        return;
    }
    QTreeWidgetItem* root = m_repositoryFolders.value(QString());
    if (!root) {
        root = new QTreeWidgetItem(m_repositoryTree, {m_options.repositoryURL});
        root->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
        root->setToolTip(0, m_options.repositoryURL);
        root->setData(0, PartsRole, QStringList());
        root->setData(0, FolderRole, true);
        m_repositoryFolders.insert(QString(), root);
    }
    clearRepositoryChildren(root);
    root->setData(0, LoadedRole, false);
    root->setData(0, LoadingRole, false);
    root->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    m_repositoryExpanded.insert(QString());
    listRepositoryFolder(root);
}

void BrowserWindow::onRequestStarted(const QString& description)
{
    if (!m_passRunning)
        m_activity->setText(description + QStringLiteral("..."));
}

void BrowserWindow::onRequestFinished()
{
    if (m_pending > 0)
        --m_pending;
    updateBusyIndicator();
    updateActions();
    if (m_pending == 0)
        emit idle();
}

void BrowserWindow::onOpened(bool ok, bool checkOutSupported, const QStringList& repositoryRoot)
{
    m_opened = ok;
    m_checkOutSupported = checkOutSupported;
    if (ok) {
        m_repositoryRoot = repositoryRoot;
        // The path down to the local root's place opens as its listings arrive.
        QStringList path;
        for (const QString& part : repositoryRoot) {
            path << part;
            m_repositoryExpanded.insert(joined(path));
        }
        logLine(QStringLiteral("opened %1 (locking %2)")
                    .arg(m_options.localRoot, checkOutSupported ? QStringLiteral("on") : QStringLiteral("off")));
        enqueue(QStringLiteral("Reading the working copy"), [](ProviderWorker& worker) { worker.readLocalTree(); });
        resetRepositoryTree();
    }
    updateActions();
    emit opened(ok);
}

void BrowserWindow::onLocalTreeRead(const QList<LocalEntry>& entries)
{
    QSet<QString> expanded, selected;
    for (auto it = m_projectItems.constBegin(); it != m_projectItems.constEnd(); ++it) {
        if (it.value()->isExpanded())
            expanded.insert(it.key());
        if (it.value()->isSelected())
            selected.insert(it.key());
    }
    const QString current = m_projectTree->currentItem()
        ? joined(m_projectTree->currentItem()->data(NameColumn, PartsRole).toStringList())
        : QString();

    m_projectTree->setUpdatesEnabled(false);
    m_projectTree->clear();
    m_projectItems.clear();
    m_states.clear();
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const LocalEntry& entry : entries) {
        const QString key = joined(entry.parts);
        QTreeWidgetItem* parent = m_projectItems.value(joined(entry.parts.mid(0, entry.parts.size() - 1)));
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_projectTree);
        item->setText(NameColumn, entry.parts.last());
        item->setIcon(NameColumn, entry.folder ? folderIcon : fileIcon);
        item->setData(NameColumn, PartsRole, entry.parts);
        item->setData(NameColumn, FolderRole, entry.folder);
        m_projectItems.insert(key, item);
        if (!entry.folder)
            m_states.insert(key, FileState());
    }
    for (auto it = m_projectItems.constBegin(); it != m_projectItems.constEnd(); ++it) {
        it.value()->setExpanded(m_treeShown ? expanded.contains(it.key()) : true);
        it.value()->setSelected(selected.contains(it.key()));
    }
    if (QTreeWidgetItem* item = m_projectItems.value(current))
        m_projectTree->setCurrentItem(item, NameColumn, QItemSelectionModel::NoUpdate);
    m_projectTree->setUpdatesEnabled(true);
    m_treeShown = true;
    updateActions();
}

void BrowserWindow::onStatusPassStarted(int fileCount)
{
    m_passRunning = true;
    m_passTotal = fileCount;
    m_passDone = 0;
    m_passUnknown = 0;
    m_passFirstUnknown.clear();
    m_cancelButton->setEnabled(true);
    m_activity->setText(QStringLiteral("Reading the status of %1 files...").arg(fileCount));
    updateBusyIndicator();
    emit statusPassStarted(fileCount);
}

void BrowserWindow::onStatusRead(const QStringList& parts, bool known, const FileStatus& status,
                                 const QString& errorCommand, const QString& errorText)
{
    const QString key = joined(parts);
    FileState& state = m_states[key];
    state.read = true;
    state.known = known;
    state.status = status;
    state.error = errorText.isEmpty() ? QString() : errorCommand + QStringLiteral(": ") + errorText;
    if (QTreeWidgetItem* item = m_projectItems.value(key))
        showStatus(item, state);
    if (m_passRunning) {
        ++m_passDone;
        if (!known && ++m_passUnknown == 1)
            m_passFirstUnknown = QStringLiteral("%1 (%2: %3)").arg(key, errorCommand, errorText.section(QLatin1Char('\n'), 0, 0));
        m_progress->setValue(m_passDone);
    } else {
        updateActions();
    }
}

void BrowserWindow::onStatusPassFinished(bool cancelled)
{
    m_passRunning = false;
    if (cancelled)
        logLine(QStringLiteral("status reading cancelled after %1 of %2 files").arg(m_passDone).arg(m_passTotal),
                QStringLiteral("#8a6d00"));
    if (m_passUnknown > 0)
        logLine(QStringLiteral("%1 of %2 files have no status: not under version control, or the provider "
                               "could not read them; the first: %3")
                    .arg(m_passUnknown)
                    .arg(m_passDone)
                    .arg(m_passFirstUnknown));
    updateBusyIndicator();
    updateActions();
    emit statusPassFinished(cancelled);
}

void BrowserWindow::onRepositoryListed(const QStringList& parts, bool ok, const QStringList& directories,
                                       const QStringList& files)
{
    QTreeWidgetItem* item = m_repositoryFolders.value(joined(parts));
    if (!item)
        return;
    clearRepositoryChildren(item);
    item->setData(0, LoadingRole, false);
    item->setData(0, LoadedRole, ok);
    if (!ok) {
        // Collapsed with its indicator, so that opening it again tries again.
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        item->setExpanded(false);
        return;
    }
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    QList<QTreeWidgetItem*> reopen;
    for (const QString& name : directories) {
        auto* child = new QTreeWidgetItem(item, {name});
        const QStringList childParts = parts + QStringList{name};
        child->setIcon(0, folderIcon);
        child->setData(0, PartsRole, childParts);
        child->setData(0, FolderRole, true);
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        m_repositoryFolders.insert(joined(childParts), child);
        if (m_repositoryExpanded.contains(joined(childParts)))
            reopen << child;
        if (childParts == m_repositoryRoot)
            child->setToolTip(0, QStringLiteral("The working copy's place in the repository"));
    }
    for (const QString& name : files) {
        auto* child = new QTreeWidgetItem(item, {name});
        child->setIcon(0, fileIcon);
        child->setData(0, PartsRole, parts + QStringList{name});
    }
    item->setExpanded(true);
    for (QTreeWidgetItem* child : reopen)
        child->setExpanded(true);
}

void BrowserWindow::onOperationFinished(const QString& operation, const QStringList& parts, bool ok)
{
    // A written revision was already reported with its destination.
    if (ok && operation != QLatin1String("get revision"))
        logLine(QStringLiteral("%1 %2: done").arg(operation, joined(parts)));
    // An added file is new in its repository folder: list that folder again.
    if (ok && operation == QLatin1String("add")) {
        const QStringList folder = m_repositoryRoot + parts.mid(0, parts.size() - 1);
        QTreeWidgetItem* item = m_repositoryFolders.value(joined(folder));
        if (item && item->data(0, LoadedRole).toBool()) {
            item->setData(0, LoadedRole, false);
            listRepositoryFolder(item);
        }
    }
    emit operationFinished(operation, parts, ok);
}

void BrowserWindow::onFailed(const QString& what, const QString& command, const QString& message)
{
    const QString text = message.isEmpty() ? QStringLiteral("(no error text)") : message;
    const QString detail = command.isEmpty() ? text : QStringLiteral("svn %1: %2").arg(command, text);
    QString indented = detail;
    indented.replace(QLatin1Char('\n'), QStringLiteral("\n    "));
    logLine(QStringLiteral("%1 failed\n  %2").arg(what, indented), ErrorColor.name());
    if (!m_errorDialogs)
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("scc-browser"),
                                QStringLiteral("%1 failed.").arg(what), QMessageBox::Ok, this);
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void BrowserWindow::onAddTriggered()
{
    const QList<QStringList> files = selectedFiles([](const FileState& s) { return !s.status.controlled; });
    if (files.isEmpty())
        return;
    bool ok = false;
    const QString comment = QInputDialog::getMultiLineText(
        this, QStringLiteral("Add"), QStringLiteral("Log message for adding %1:").arg(fileList(files)),
        QStringLiteral("Add %1").arg(files.size() == 1 ? files.first().last() : QStringLiteral("files")), &ok);
    if (ok)
        addFiles(files, comment);
}

void BrowserWindow::onGetLatestTriggered()
{
    getLatest(selectedFiles([](const FileState& s) { return s.status.controlled; }));
}

void BrowserWindow::onCheckOutTriggered()
{
    const QList<QStringList> files =
        selectedFiles([](const FileState& s) { return s.status.controlled && !s.status.checkedOut; });
    if (files.isEmpty())
        return;
    bool ok = false;
    const QString comment = QInputDialog::getText(
        this, QStringLiteral("Check Out"), QStringLiteral("Lock comment for %1 (may be empty):").arg(fileList(files)),
        QLineEdit::Normal, QString(), &ok);
    if (ok)
        checkOut(files, comment);
}

void BrowserWindow::onUndoCheckOutTriggered()
{
    const QList<QStringList> files = selectedFiles([](const FileState& s) { return s.status.checkedOut; });
    if (files.isEmpty())
        return;
    bool discard = false;
    if (!selectedFiles([](const FileState& s) { return s.status.checkedOut && s.status.modified; }).isEmpty()) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Undo Check-Out"),
            QStringLiteral("%1 has local changes. Discard them and restore the repository's text?").arg(fileList(files)),
            QMessageBox::Discard | QMessageBox::Save | QMessageBox::Cancel, QMessageBox::Save);
        if (answer == QMessageBox::Cancel)
            return;
        discard = answer == QMessageBox::Discard;
    }
    undoCheckOut(files, discard);
}

void BrowserWindow::onCheckInTriggered()
{
    const QList<QStringList> files =
        selectedFiles([](const FileState& s) { return s.status.controlled && s.status.modified; });
    if (files.isEmpty())
        return;
    bool ok = false;
    const QString comment = QInputDialog::getMultiLineText(
        this, QStringLiteral("Check In"), QStringLiteral("Log message for %1:").arg(fileList(files)), QString(), &ok);
    if (ok)
        checkIn(files, comment);
}

void BrowserWindow::onGetRevisionTriggered()
{
    const QList<QStringList> files = selectedFiles([](const FileState& s) { return s.status.controlled; });
    if (files.size() != 1)
        return;
    const QStringList parts = files.first();
    bool ok = false;
    const QString revision = QInputDialog::getText(
        this, QStringLiteral("Get Revision"),
        QStringLiteral("Revision of %1 (a number, HEAD, BASE, PREV or {DATE}):").arg(joined(parts)), QLineEdit::Normal,
        m_states.value(joined(parts)).status.revisionText, &ok).trimmed();
    if (!ok || revision.isEmpty())
        return;
    const QFileInfo name(parts.last());
    const QString suggestion = QDir::home().filePath(
        name.completeBaseName() + QStringLiteral("-r") + revision
        + (name.suffix().isEmpty() ? QString() : QLatin1Char('.') + name.suffix()));
    const QString destination =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save Revision %1 As").arg(revision), suggestion);
    if (!destination.isEmpty())
        getRevision(parts, revision, destination);
}
