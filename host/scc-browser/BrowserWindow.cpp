#include "BrowserWindow.h"

#include "CommandsPane.h"
#include "ProviderWorker.h"
#include "RepositoryPane.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
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
#include <QVBoxLayout>

#include <algorithm>

namespace {

using FileState = ProjectPane::FileState;

const QColor ErrorColor(0xb3, 0x32, 0x1e);

QString fileList(const QList<QStringList>& files)
{
    return files.size() == 1 ? joinPathParts(files.first()) : QStringLiteral("%1 files").arg(files.size());
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
    connect(m_worker, &ProviderWorker::repositoryListed, m_repository, &RepositoryPane::showListing, queued);
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
    disconnect(m_worker, nullptr, nullptr, nullptr);
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
    m_project = new ProjectPane;
    m_project->addActions({m_addAction, m_getLatestAction, m_checkOutAction, m_undoCheckOutAction,
                           m_checkInAction, m_getRevisionAction});
    connect(m_project, &QTreeWidget::itemSelectionChanged, this, &BrowserWindow::updateActions);
    connect(m_project, &ProjectPane::note, this, &BrowserWindow::logLine);

    m_repository = new RepositoryPane(m_options.repositoryURL);
    connect(m_repository, &RepositoryPane::listingRequested, this, [this](const QStringList& parts) {
        enqueue(QStringLiteral("Listing %1 in the repository")
                    .arg(parts.isEmpty() ? QStringLiteral("/") : joinPathParts(parts)),
                [parts](ProviderWorker& worker) { worker.listRepository(parts); });
    });

    m_messages = new QPlainTextEdit;
    m_messages->setReadOnly(true);
    m_messages->setMaximumBlockCount(2000);
    m_messages->setPlaceholderText(QStringLiteral("Failures and results of operations appear here."));

    QLabel* rootLabel = nullptr;
    QWidget* projectPanel = captioned(QStringLiteral("Working copy"), m_project, &rootLabel);
    rootLabel->setText(m_options.localRoot);
    rootLabel->setToolTip(m_options.localRoot);
    QWidget* repositoryPanel = captioned(QStringLiteral("Repository"), m_repository);

    auto* panes = new QSplitter(Qt::Horizontal);
    panes->addWidget(projectPanel);
    panes->addWidget(repositoryPanel);
    panes->setStretchFactor(0, 3);
    panes->setStretchFactor(1, 1);
    panes->setSizes({780, 300});

    m_commands = new CommandsPane;
    auto* logs = new QSplitter(Qt::Horizontal);
    logs->addWidget(captioned(QStringLiteral("Messages"), m_messages));
    logs->addWidget(captioned(QStringLiteral("Commands"), m_commands));
    logs->setSizes({540, 540});

    auto* vertical = new QSplitter(Qt::Vertical);
    vertical->addWidget(panes);
    vertical->addWidget(logs);
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
    m_cancelButton->setToolTip(QStringLiteral("Stop the svn client running now, and the reading of statuses"));
    connect(m_cancelButton, &QPushButton::clicked, this, &BrowserWindow::cancel);
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
    return m_project->item(parts);
}

QString BrowserWindow::messageLog() const
{
    return m_messages->toPlainText();
}

QString BrowserWindow::commandLog() const
{
    return m_commands->toPlainText();
}

void BrowserWindow::refreshAll()
{
    if (!m_opened)
        return;
    enqueue(QStringLiteral("Refreshing"), [](ProviderWorker& worker) { worker.refresh(); });
    m_repository->reset();
}

void BrowserWindow::cancelStatusPass()
{
    m_worker->cancelStatusPass();
    m_cancelButton->setEnabled(false);
    m_activity->setText(QStringLiteral("Cancelling after the file being read..."));
}

void BrowserWindow::cancel()
{
    // The pass first: back from the call that is ended, the worker then
    // stops the pass instead of reading the next file.
    m_worker->cancelStatusPass();
    m_worker->cancelProviderCall();
    if (!isBusy())
        return;
    m_cancelButton->setEnabled(false);
    m_activity->setText(QStringLiteral("Cancelling..."));
}

void BrowserWindow::addFiles(const QList<QStringList>& files, const QString& comment)
{
    for (const QStringList& parts : files)
        enqueue(QStringLiteral("Adding %1").arg(joinPathParts(parts)),
                [parts, comment](ProviderWorker& worker) { worker.addFile(parts, comment); });
}

void BrowserWindow::getLatest(const QList<QStringList>& files)
{
    for (const QStringList& parts : files)
        enqueue(QStringLiteral("Getting the latest %1").arg(joinPathParts(parts)),
                [parts](ProviderWorker& worker) { worker.getLatest(parts, true); });
}

void BrowserWindow::checkOut(const QList<QStringList>& files, const QString& comment)
{
    for (const QStringList& parts : files)
        enqueue(QStringLiteral("Checking out %1").arg(joinPathParts(parts)),
                [parts, comment](ProviderWorker& worker) { worker.checkOut(parts, comment); });
}

void BrowserWindow::undoCheckOut(const QList<QStringList>& files, bool discardChanges)
{
    for (const QStringList& parts : files)
        enqueue(QStringLiteral("Undoing the check-out of %1").arg(joinPathParts(parts)),
                [parts, discardChanges](ProviderWorker& worker) { worker.undoCheckOut(parts, discardChanges); });
}

void BrowserWindow::checkIn(const QList<QStringList>& files, const QString& comment)
{
    for (const QStringList& parts : files)
        enqueue(QStringLiteral("Checking in %1").arg(joinPathParts(parts)),
                [parts, comment](ProviderWorker& worker) { worker.checkIn(parts, comment); });
}

void BrowserWindow::getRevision(const QStringList& file, const QString& revision, const QString& destination)
{
    enqueue(QStringLiteral("Getting revision %1 of %2").arg(revision, joinPathParts(file)),
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
    m_cancelButton->setVisible(busy);
    if (!busy)
        m_cancelButton->setEnabled(true);
    const bool passRunning = m_project->isStatusPassRunning();
    if (passRunning) {
        m_progress->setRange(0, std::max(m_project->statusPassTotal(), 1));
        m_progress->setValue(m_project->statusPassDone());
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
    auto any = [&](const ProjectPane::StatePredicate& predicate) {
        return ready && !m_project->selectedFiles(predicate).isEmpty();
    };
    m_addAction->setEnabled(any([](const FileState& s) { return !s.status.controlled; }));
    m_getLatestAction->setEnabled(any([](const FileState& s) { return s.status.controlled; }));
    m_checkOutAction->setEnabled(m_checkOutSupported && any([](const FileState& s) {
                                     return s.status.controlled && !s.status.checkedOut;
                                 }));
    m_undoCheckOutAction->setEnabled(m_checkOutSupported
                                     && any([](const FileState& s) { return s.status.checkedOut; }));
    m_checkInAction->setEnabled(any([](const FileState& s) { return s.status.controlled && s.status.modified; }));
    m_getRevisionAction->setEnabled(
        ready && m_project->selectedItems().size() == 1
        && m_project->selectedFiles([](const FileState& s) { return s.status.controlled; }).size() == 1);
    m_refreshAction->setEnabled(ready);
}

void BrowserWindow::updateSummary()
{
    if (!m_opened) {
        m_activity->setText(m_pending ? QString() : QStringLiteral("Not connected"));
        return;
    }
    m_activity->setText(QStringLiteral("Ready.  ") + m_project->summary());
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

void BrowserWindow::onRequestStarted(const QString& description)
{
    // After a cancel, the next request can be cancelled in its turn.
    m_cancelButton->setEnabled(true);
    if (!m_project->isStatusPassRunning())
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
        m_repository->setWorkingCopyPlace(repositoryRoot);
        logLine(QStringLiteral("opened %1 (locking %2)")
                    .arg(m_options.localRoot, checkOutSupported ? QStringLiteral("on") : QStringLiteral("off")));
        enqueue(QStringLiteral("Reading the working copy"), [](ProviderWorker& worker) { worker.readLocalTree(); });
        m_repository->reset();
    }
    updateActions();
    emit opened(ok);
}

void BrowserWindow::onLocalTreeRead(const QList<LocalEntry>& entries)
{
    m_project->showLocalTree(entries);
    updateActions();
}

void BrowserWindow::onStatusPassStarted(int fileCount)
{
    m_project->startStatusPass(fileCount);
    m_cancelButton->setEnabled(true);
    m_activity->setText(QStringLiteral("Reading the status of %1 files...").arg(fileCount));
    updateBusyIndicator();
    emit statusPassStarted(fileCount);
}

void BrowserWindow::onStatusRead(const QStringList& parts, bool known, const FileStatus& status,
                                 const QString& errorCommand, const QString& errorText)
{
    m_project->showStatus(parts, known, status, errorCommand, errorText);
    if (m_project->isStatusPassRunning())
        m_progress->setValue(m_project->statusPassDone());
    else
        updateActions();
}

void BrowserWindow::onStatusPassFinished(bool cancelled)
{
    m_project->finishStatusPass(cancelled);
    updateBusyIndicator();
    updateActions();
    emit statusPassFinished(cancelled);
}

void BrowserWindow::onOperationFinished(const QString& operation, const QStringList& parts, bool ok)
{
    // A written revision was already reported with its destination.
    if (ok && operation != QLatin1String("get revision"))
        logLine(QStringLiteral("%1 %2: done").arg(operation, joinPathParts(parts)));
    // An added file is new in its repository folder: list that folder again.
    if (ok && operation == QLatin1String("add"))
        m_repository->fileAdded(parts);
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
    const QList<QStringList> files = m_project->selectedFiles([](const FileState& s) { return !s.status.controlled; });
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
    getLatest(m_project->selectedFiles([](const FileState& s) { return s.status.controlled; }));
}

void BrowserWindow::onCheckOutTriggered()
{
    const QList<QStringList> files =
        m_project->selectedFiles([](const FileState& s) { return s.status.controlled && !s.status.checkedOut; });
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
    const QList<QStringList> files = m_project->selectedFiles([](const FileState& s) { return s.status.checkedOut; });
    if (files.isEmpty())
        return;
    bool discard = false;
    if (!m_project->selectedFiles([](const FileState& s) { return s.status.checkedOut && s.status.modified; }).isEmpty()) {
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
        m_project->selectedFiles([](const FileState& s) { return s.status.controlled && s.status.modified; });
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
    const QList<QStringList> files = m_project->selectedFiles([](const FileState& s) { return s.status.controlled; });
    if (files.size() != 1)
        return;
    const QStringList parts = files.first();
    bool ok = false;
    const QString revision = QInputDialog::getText(
        this, QStringLiteral("Get Revision"),
        QStringLiteral("Revision of %1 (a number, HEAD, BASE, PREV or {DATE}):").arg(joinPathParts(parts)), QLineEdit::Normal,
        m_project->fileState(parts).status.revisionText, &ok).trimmed();
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
