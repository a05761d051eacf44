#include "BrowserWindow.h"

#include "BranchDialogs.h"
#include "CommandsPane.h"
#include "CompareDialog.h"
#include "MergeTool.h"
#include "PropertyEditor.h"
#include "QuestionDialogs.h"
#include "RepositoryPane.h"
#include "ShelvesPane.h"

#include <QAction>
#include <QCollator>
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
#include <QPointer>
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
using SvnScc::Outcome;
using SvnScc::Result;
using SvnScc::Status;

const QColor ErrorColor(0xb3, 0x32, 0x1e);

// Entries of one page of the Log tab.
const int LogPageSize = 50;

// What a revert through the session shelves first, by name.
const QLatin1String RevertShelfPrefix("before revert");

QString label(const QStringList& paths)
{
    if (paths.isEmpty() || (paths.size() == 1 && paths.first().isEmpty()))
        return QStringLiteral("the working copy");
    return paths.size() == 1 ? paths.first() : QStringLiteral("%1 items").arg(paths.size());
}

QStringList pathsOf(const QList<QStringList>& files)
{
    QStringList paths;
    for (const QStringList& parts : files)
        paths << joinPathParts(parts);
    return paths;
}

QStringList sortedNames(QStringList names)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(), collator);
    return names;
}

bool isControlled(const FileState& state)
{
    return state.status.controlled;
}

// On disk and not under version control ("?"; an ignored item shows no columns).
bool isUnversioned(const FileState& state)
{
    return state.status.known && !state.status.controlled && state.status.columns.startsWith(QLatin1Char('?'));
}

// Changed here: what a commit would send, or a revert take back.
bool isChanged(const FileState& state)
{
    const QString& columns = state.status.columns;
    return state.status.controlled && !columns.trimmed().isEmpty()
        && (state.status.modified || QStringLiteral("ADR~C").contains(columns.at(0))
            || (columns.size() > 1 && columns.at(1) != QLatin1Char(' '))
            || (columns.size() > 6 && columns.at(6) == QLatin1Char('C')));
}

// A lock held by another working copy (the repository's lock column: "O"
// another's, "T" taken over, "B" broken).
bool isLockedElsewhere(const FileState& state)
{
    const QString& columns = state.status.columns;
    return columns.size() == 7 && QStringLiteral("OTB").contains(columns.at(5));
}

bool isTextConflicted(const FileState& state)
{
    const QString& columns = state.status.columns;
    return columns.size() == 7 && columns.at(0) == QLatin1Char('C');
}

bool isConflicted(const FileState& state)
{
    const QString& columns = state.status.columns;
    return columns.size() == 7
        && (columns.at(0) == QLatin1Char('C') || columns.at(1) == QLatin1Char('C') || columns.at(6) == QLatin1Char('C'));
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
    : QMainWindow(parent), m_options(options), m_session(std::make_unique<SvnScc::Session>(options.plugin))
{
    setWindowTitle(QStringLiteral("scc-browser - %1").arg(options.localRoot));
    buildActions();
    buildLayout();

    SvnScc::Session* session = m_session.get();
    connect(session, &SvnScc::Session::statusChanged, this, [this](const Status& status) {
        m_project->showStatus(status);
        updateActions();
        if (!isBusy())
            updateSummary();
    });
    connect(session, &SvnScc::Session::progress, this, &BrowserWindow::onProgress);
    connect(session, &SvnScc::Session::commandLogged, m_commands, &CommandsPane::appendLine);
    connect(session, &SvnScc::Session::offlineChanged, this, [this](bool offline) {
        logLine(offline ? QStringLiteral("the repository cannot be reached: status comes from the working copy alone "
                                         "until Refresh")
                        : QStringLiteral("the repository is asked again"),
                offline ? ErrorColor.name() : QString());
        updateSummary();
    });
    // The server's and ssh's questions: a dialog each, opened without
    // waiting for it; the operation waits on the session's thread.
    connect(session, &SvnScc::Session::credentialsRequired, this,
            [this](const SourceCodeControl::CredentialsRequest& request, SvnScc::CredentialsReply* reply) {
                ask(new CredentialsDialog(request, this), reply);
            });
    connect(session, &SvnScc::Session::serverTrustRequired, this,
            [this](const SourceCodeControl::ServerCertificate& certificate, SvnScc::CertificateReply* reply) {
                ask(new CertificateDialog(certificate, this), reply);
            });
    connect(session, &SvnScc::Session::sshQuestionAsked, this,
            [this](const SourceCodeControl::SshQuestion& question, SvnScc::SshReply* reply) {
                ask(new SshQuestionDialog(question, this), reply);
            });
    connect(session, &SvnScc::Session::branchChanged, this, &BrowserWindow::showBranch);
    connect(&m_pass, &QFutureWatcher<Status>::resultsReadyAt, this, &BrowserWindow::onPassResults);
    updateBusyIndicator();
    updateActions();
}

BrowserWindow::~BrowserWindow()
{
    // The session ends what runs and hands the provider back; what it
    // finishes meanwhile no longer reaches the window.
    m_pass.disconnect(this);
    m_session->disconnect(this);
    m_session.reset();
}

template <typename Dialog, typename Reply>
void BrowserWindow::ask(Dialog* dialog, Reply* reply)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &Dialog::answered, reply, &Reply::answer);
    connect(dialog, &QDialog::rejected, reply, &SvnScc::SessionReply::decline);
    connect(dialog, &QDialog::finished, reply, &QObject::deleteLater);
    // A cancel or the session's end takes the question back.
    connect(reply, &SvnScc::SessionReply::withdrawn, dialog, &QDialog::reject);
    dialog->open();
}

template <typename T, typename Done>
void BrowserWindow::track(const QString& description, QFuture<T> future, Done done)
{
    ++m_pending;
    m_activity->setText(description + QStringLiteral("..."));
    updateBusyIndicator();
    updateActions();
    future.then(this, [this, done](const QFuture<T>& finished) {
        done(finished);
        --m_pending;
        updateBusyIndicator();
        updateActions();
        if (m_pending == 0)
            emit idle();
    });
}

void BrowserWindow::operate(const QString& operation, const QStringList& paths, QFuture<Outcome> future)
{
    QString description = operation;
    description[0] = description.at(0).toUpper();
    track(QStringLiteral("%1 %2").arg(description, label(paths)), future,
          [this, operation, paths](const QFuture<Outcome>& finished) {
              const Outcome outcome = finished.result();
              if (outcome.ok)
                  logLine(QStringLiteral("%1 %2: done").arg(operation, label(paths)));
              else
                  reportFailure(QStringLiteral("%1 %2").arg(operation, label(paths)), outcome);
              for (const QString& path : paths) {
                  // An added file is new in its repository folder: that folder is listed again.
                  if (outcome.ok && operation == QLatin1String("add"))
                      m_repository->fileAdded(splitPathParts(path));
                  emit operationFinished(operation, splitPathParts(path), outcome.ok);
              }
          });
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
        if (handler)
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
                           QStringLiteral("Commit the selected changed files and folders in one revision"),
                           &BrowserWindow::onCheckInTriggered);
    m_getRevisionAction = make(QStringLiteral("Get Revision..."), QStyle::SP_DialogSaveButton, QKeySequence(),
                               QStringLiteral("Write one revision of the selected file to another file"),
                               &BrowserWindow::onGetRevisionTriggered);
    m_updateAction = make(QStringLiteral("Update"), QStyle::SP_BrowserReload, QKeySequence(Qt::CTRL | Qt::Key_T),
                          QStringLiteral("Bring the selection (or the whole working copy) up to date"),
                          &BrowserWindow::onUpdateTriggered);
    m_revertAction = make(QStringLiteral("Revert"), QStyle::SP_DialogDiscardButton, QKeySequence(),
                          QStringLiteral("Throw the local changes of the selection away"),
                          &BrowserWindow::onRevertTriggered);
    m_deleteAction = make(QStringLiteral("Delete"), QStyle::SP_TrashIcon, QKeySequence(),
                          QStringLiteral("Schedule the selection for deletion"), &BrowserWindow::onDeleteTriggered);
    m_renameAction = make(QStringLiteral("Rename..."), QStyle::SP_FileDialogDetailedView, QKeySequence(),
                          QStringLiteral("Rename or move the selected item, its history kept"),
                          &BrowserWindow::onRenameTriggered);
    m_resolveAction = make(QStringLiteral("Resolve..."), QStyle::SP_DialogApplyButton, QKeySequence(),
                           QStringLiteral("Mark the conflict of the selected item resolved"),
                           &BrowserWindow::onResolveTriggered);
    m_logAction = make(QStringLiteral("Log"), QStyle::SP_FileDialogInfoView, QKeySequence(Qt::CTRL | Qt::Key_L),
                       QStringLiteral("Show the history of the selected item (or of the working copy)"), nullptr);
    m_annotateAction = make(QStringLiteral("Annotate"), QStyle::SP_FileDialogContentsView, QKeySequence(),
                            QStringLiteral("Show who last changed each line of the selected file"), nullptr);
    m_diffAction = make(QStringLiteral("Diff"), QStyle::SP_FileDialogListView, QKeySequence(Qt::CTRL | Qt::Key_D),
                        QStringLiteral("Show the local changes of the selected file"), nullptr);
    m_changesAction = make(QStringLiteral("Changes"), QStyle::SP_FileDialogToParent, QKeySequence(),
                           QStringLiteral("List every changed item of the working copy"), &BrowserWindow::showChanges);
    m_refreshAction = make(QStringLiteral("Refresh"), QStyle::SP_BrowserReload, QKeySequence::Refresh,
                           QStringLiteral("Read every status and the repository again"), &BrowserWindow::refreshAll);
    m_branchAction = make(QStringLiteral("Branch or Tag..."), QStyle::SP_FileDialogNewFolder, QKeySequence(),
                          QStringLiteral("Copy a branch in the repository to a new branch or tag"),
                          &BrowserWindow::showBranchDialog);
    m_switchAction = make(QStringLiteral("Switch..."), QStyle::SP_BrowserReload, QKeySequence(),
                          QStringLiteral("Switch the working copy (or the selected folder) to another branch"),
                          &BrowserWindow::showSwitchDialog);
    m_mergeAction = make(QStringLiteral("Merge..."), QStyle::SP_ArrowRight, QKeySequence(),
                         QStringLiteral("Merge revisions of another branch, after a preview"),
                         &BrowserWindow::showMergeDialog);
    m_takeOverLockAction = make(QStringLiteral("Take Over Lock"), QStyle::SP_DialogYesButton, QKeySequence(),
                                QStringLiteral("Lock the selected files, taking over a lock another user holds"),
                                &BrowserWindow::onTakeOverLockTriggered);
    m_breakLockAction = make(QStringLiteral("Break Lock"), QStyle::SP_DialogNoButton, QKeySequence(),
                             QStringLiteral("Remove the lock another working copy holds on the selected files"),
                             &BrowserWindow::onBreakLockTriggered);
    m_mergeToolAction = make(QStringLiteral("Open in Merge Tool"), QStyle::SP_FileDialogContentsView, QKeySequence(),
                             QStringLiteral("Settle the selected file's text conflict in a three-way merge tool"),
                             nullptr);
    m_ignoreAction = make(QStringLiteral("Ignore"), QStyle::SP_DialogCancelButton, QKeySequence(),
                          QStringLiteral("Add the selected unversioned items to their folder's svn:ignore"),
                          &BrowserWindow::onIgnoreTriggered);
    m_propertiesAction = make(QStringLiteral("Properties..."), QStyle::SP_FileDialogDetailedView, QKeySequence(),
                              QStringLiteral("Show and edit the properties of the selected item (or of the working copy)"),
                              nullptr);
    m_changelistAction = make(QStringLiteral("Move to Changelist..."), QStyle::SP_FileDialogListView, QKeySequence(),
                              QStringLiteral("Put the selected files into a changelist, or take them out of theirs"),
                              &BrowserWindow::onMoveToChangelistTriggered);
    m_compareAction = make(QStringLiteral("Compare with Revision..."), QStyle::SP_FileDialogContentsView,
                           QKeySequence(),
                           QStringLiteral("List what changed in the repository between two revisions of the selected "
                                          "item (or of the working copy)"),
                           nullptr);
    m_shelveAction = make(QStringLiteral("Shelve..."), QStyle::SP_DialogSaveButton, QKeySequence(),
                          QStringLiteral("Put the changes of the selection aside, to bring them back later"),
                          &BrowserWindow::onShelveTriggered);
    m_undoRevertAction = make(QStringLiteral("Undo Last Revert"), QStyle::SP_DialogResetButton, QKeySequence(),
                              QStringLiteral("Bring back the changes the latest revert threw away"),
                              &BrowserWindow::undoLastRevert);
    const auto single = [this] {
        const QStringList paths = m_project->selectedPaths([](const FileState&) { return true; }, true);
        return paths.size() == 1 ? paths.first() : QString();
    };
    connect(m_logAction, &QAction::triggered, this, [this, single] { showLog(single()); });
    connect(m_annotateAction, &QAction::triggered, this, [this, single] { showAnnotation(single()); });
    connect(m_diffAction, &QAction::triggered, this, [this, single] { showDiff(single()); });
    connect(m_mergeToolAction, &QAction::triggered, this, [this, single] { openInMergeTool(single()); });
    connect(m_propertiesAction, &QAction::triggered, this, [this, single] { showPropertyEditor(single()); });
    connect(m_compareAction, &QAction::triggered, this, [this, single] { showCompareDialog(single()); });

    auto* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = fileMenu->addAction(QStringLiteral("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    const QList<QAction*> fileActions = {m_addAction, m_getLatestAction, m_checkOutAction,
                                         m_undoCheckOutAction, m_checkInAction, m_getRevisionAction};
    const QList<QAction*> changeActions = {m_updateAction, m_revertAction, m_undoRevertAction, m_deleteAction,
                                           m_renameAction, m_resolveAction};
    const QList<QAction*> viewActions = {m_logAction, m_annotateAction, m_diffAction, m_changesAction,
                                         m_compareAction};
    const QList<QAction*> propertyActions = {m_ignoreAction, m_propertiesAction, m_changelistAction,
                                             m_shelveAction};
    QMenu* controlMenu = menuBar()->addMenu(QStringLiteral("&Source Control"));
    controlMenu->addActions(fileActions);
    controlMenu->addSeparator();
    controlMenu->addActions(changeActions);
    controlMenu->addSeparator();
    controlMenu->addActions(viewActions);
    controlMenu->addSeparator();
    controlMenu->addActions(propertyActions);
    controlMenu->addSeparator();
    controlMenu->addAction(m_refreshAction);
    QMenu* branchMenu = menuBar()->addMenu(QStringLiteral("&Branches"));
    branchMenu->addActions({m_branchAction, m_switchAction, m_mergeAction, m_mergeToolAction});
    branchMenu->addSeparator();
    branchMenu->addActions({m_takeOverLockAction, m_breakLockAction});

    QToolBar* toolBar = addToolBar(QStringLiteral("Source control"));
    toolBar->setObjectName(QStringLiteral("sourceControlToolBar"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->addActions(fileActions);
    toolBar->addSeparator();
    toolBar->addAction(m_updateAction);
    toolBar->addAction(m_logAction);
    toolBar->addAction(m_refreshAction);
}

void BrowserWindow::buildLayout()
{
    m_project = new ProjectPane(m_options.localRoot);
    for (const QList<QAction*>& group :
         {QList<QAction*>{m_addAction, m_getLatestAction, m_checkOutAction, m_undoCheckOutAction, m_checkInAction,
                          m_getRevisionAction},
          QList<QAction*>{m_updateAction, m_revertAction, m_deleteAction, m_renameAction, m_resolveAction},
          QList<QAction*>{m_logAction, m_annotateAction, m_diffAction, m_compareAction},
          QList<QAction*>{m_ignoreAction, m_propertiesAction, m_changelistAction, m_shelveAction},
          QList<QAction*>{m_switchAction, m_mergeAction, m_mergeToolAction, m_takeOverLockAction,
                          m_breakLockAction}}) {
        if (!m_project->actions().isEmpty()) {
            auto* separator = new QAction(m_project);
            separator->setSeparator(true);
            m_project->addAction(separator);
        }
        m_project->addActions(group);
    }
    connect(m_project, &QTreeWidget::itemSelectionChanged, this, &BrowserWindow::updateActions);
    connect(m_project, &ProjectPane::note, this, &BrowserWindow::logLine);

    m_repository = new RepositoryPane(m_options.repositoryURL);
    connect(m_repository, &RepositoryPane::listingRequested, this, [this](const QStringList& parts) {
        const QString path = joinPathParts(parts);
        const QFuture<Result<QStringList>> folders = m_session->listDirectories(path);
        track(QStringLiteral("Listing %1 in the repository").arg(path.isEmpty() ? QStringLiteral("/") : path),
              m_session->listFiles(path), [this, parts, folders](const QFuture<Result<QStringList>>& files) {
                  // The folders were listed first: their result is in.
                  const Result<QStringList> directories = folders.result(), names = files.result();
                  if (!directories.ok || !names.ok) {
                      reportFailure(QStringLiteral("list %1 in the repository").arg(joinPathParts(parts)),
                                    directories.ok ? names : directories);
                      m_repository->showListing(parts, false, {}, {});
                      return;
                  }
                  m_repository->showListing(parts, true, sortedNames(directories.value), sortedNames(names.value));
              });
    });
    m_shelves = new ShelvesPane;
    connect(m_shelves, &ShelvesPane::unshelveRequested, this, &BrowserWindow::unshelve);
    connect(m_shelves, &ShelvesPane::dropRequested, this, [this](const QString& name) {
        auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Drop Shelf"),
                                    QStringLiteral("Remove the shelf \"%1\" without applying it? Its changes are lost.")
                                        .arg(name),
                                    QMessageBox::Yes | QMessageBox::Cancel, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QMessageBox::accepted, this, [this, name] { dropShelf(name); });
        box->open();
    });
    m_details = new DetailsPane(m_repository, m_shelves);
    connect(m_details, &DetailsPane::logPageRequested, this, &BrowserWindow::loadLogPage);

    m_messages = new QPlainTextEdit;
    m_messages->setReadOnly(true);
    m_messages->setMaximumBlockCount(2000);
    m_messages->setPlaceholderText(QStringLiteral("Failures and results of operations appear here."));

    QLabel* rootLabel = nullptr;
    QWidget* projectPanel = captioned(QStringLiteral("Working copy"), m_project, &rootLabel);
    rootLabel->setText(m_options.localRoot);
    rootLabel->setToolTip(m_options.localRoot);

    auto* panes = new QSplitter(Qt::Horizontal);
    panes->addWidget(projectPanel);
    panes->addWidget(m_details);
    panes->setStretchFactor(0, 3);
    panes->setStretchFactor(1, 2);
    panes->setSizes({760, 500});

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
    m_branchLabel = new QLabel;
    m_branchLabel->setObjectName(QStringLiteral("branch"));
    statusBar()->addWidget(m_activity, 1);
    statusBar()->addPermanentWidget(m_branchLabel);
    statusBar()->addPermanentWidget(m_progress);
    statusBar()->addPermanentWidget(m_cancelButton);
}

void BrowserWindow::start()
{
    SvnScc::SessionSettings settings;
    settings.executable = m_options.svnExecutable;
    settings.repositoryUrl = m_options.repositoryURL;
    settings.locking = m_options.lockSupported;
    settings.timeLimitSeconds = m_options.timeoutSeconds;
    settings.user = m_options.userName;
    settings.password = m_options.password;
    // The check-out runs in the local root's parent folder, which must exist.
    if (!m_options.repositoryRoot.isNull())
        QDir().mkpath(QFileInfo(m_options.localRoot).path());
    logLine(QStringLiteral("opening %1 with %2").arg(m_options.localRoot, m_session->pluginPath()));
    track(QStringLiteral("Opening the working copy"),
          m_session->open(m_options.localRoot, settings, m_options.repositoryRoot),
          [this](const QFuture<Result<QString>>& finished) { onOpened(finished.result()); });
}

QTreeWidgetItem* BrowserWindow::projectItem(const QStringList& parts) const
{
    return m_project->item(joinPathParts(parts));
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
    operate(QStringLiteral("refresh"), {QString()}, m_session->refresh());
    readTree();
    m_repository->reset();
}

void BrowserWindow::cancel()
{
    if (!isBusy())
        return;
    if (m_project->isStatusPassRunning())
        m_passCancelled = true;
    m_session->cancel();
    m_cancelButton->setEnabled(false);
    m_activity->setText(QStringLiteral("Cancelling..."));
}

void BrowserWindow::addFiles(const QList<QStringList>& files, const QString& comment)
{
    for (const QString& path : pathsOf(files))
        operate(QStringLiteral("add"), {path}, m_session->addFile(path, comment));
}

void BrowserWindow::getLatest(const QList<QStringList>& files)
{
    for (const QString& path : pathsOf(files))
        operate(QStringLiteral("get latest"), {path}, m_session->getFile(path, true));
}

void BrowserWindow::checkOut(const QList<QStringList>& files, const QString& comment)
{
    for (const QString& path : pathsOf(files))
        operate(QStringLiteral("check out"), {path}, m_session->checkout(path, comment, false));
}

void BrowserWindow::undoCheckOut(const QList<QStringList>& files, bool discardChanges)
{
    for (const QString& path : pathsOf(files))
        operate(QStringLiteral("undo check-out"), {path}, m_session->undoCheckout(path, discardChanges));
}

void BrowserWindow::checkIn(const QList<QStringList>& files, const QString& comment)
{
    const QStringList paths = pathsOf(files);
    track(QStringLiteral("Checking in %1").arg(label(paths)), m_session->commit(paths, comment),
          [this, paths](const QFuture<Result<QString>>& finished) {
              const Result<QString> committed = finished.result();
              if (!committed.ok)
                  reportFailure(QStringLiteral("check in %1").arg(label(paths)), committed);
              else
                  logLine(QStringLiteral("check in %1: %2")
                              .arg(label(paths), committed.value.isEmpty()
                                                     ? QStringLiteral("nothing to commit")
                                                     : QStringLiteral("revision %1").arg(committed.value)));
              for (const QString& path : paths)
                  emit operationFinished(QStringLiteral("check in"), splitPathParts(path), committed.ok);
          });
}

void BrowserWindow::getRevision(const QStringList& file, const QString& revision, const QString& destination)
{
    const QString path = joinPathParts(file);
    operate(QStringLiteral("get revision"), {path}, m_session->getTo(path, revision, destination));
}

void BrowserWindow::update(const QStringList& paths)
{
    const QStringList targets = paths.isEmpty() ? QStringList{QString()} : paths;
    track(QStringLiteral("Updating %1").arg(label(targets)), m_session->update(targets),
          [this, targets](const QFuture<Result<QStringList>>& finished) {
              const Result<QStringList> updated = finished.result();
              if (!updated.ok)
                  return reportFailure(QStringLiteral("update %1").arg(label(targets)), updated);
              logLine(updated.value.isEmpty()
                          ? QStringLiteral("update %1: done").arg(label(targets))
                          : QStringLiteral("update %1: done, in conflict: %2")
                                .arg(label(targets), updated.value.join(QStringLiteral(", "))),
                      updated.value.isEmpty() ? QString() : ErrorColor.name());
          });
}

void BrowserWindow::revert(const QStringList& paths)
{
    operate(QStringLiteral("revert"), paths, m_session->revert(paths, true));
    // The revert kept a shelf of what it threw away.
    readShelves();
}

void BrowserWindow::remove(const QStringList& paths)
{
    operate(QStringLiteral("delete"), paths, m_session->remove(paths, false));
}

void BrowserWindow::rename(const QString& from, const QString& to)
{
    operate(QStringLiteral("rename"), {from, to}, m_session->move(from, to));
}

void BrowserWindow::resolve(const QString& path, SvnScc::Resolution choice)
{
    operate(QStringLiteral("resolve"), {path}, m_session->resolve(path, choice));
}

void BrowserWindow::showLog(const QString& path)
{
    loadLogPage(path, QString(), QString());
}

void BrowserWindow::loadLogPage(const QString& path, const QString& startRevision, const QString& search)
{
    track(QStringLiteral("Reading the history of %1").arg(label({path})),
          m_session->logRange(path, startRevision, LogPageSize, search),
          [this, path, startRevision, search](const QFuture<Result<QList<SvnScc::LogEntry>>>& finished) {
              const Result<QList<SvnScc::LogEntry>> log = finished.result();
              if (!log.ok) {
                  m_details->logPageFailed();
                  return reportFailure(QStringLiteral("log %1").arg(label({path})), log);
              }
              // A full page: the history may go on.
              m_details->showLogPage(path, search, startRevision, log.value, log.value.size() == LogPageSize);
          });
}

void BrowserWindow::showAnnotation(const QString& path)
{
    track(QStringLiteral("Annotating %1").arg(path), m_session->annotate(path),
          [this, path](const QFuture<Result<QList<SvnScc::AnnotatedLine>>>& finished) {
              const Result<QList<SvnScc::AnnotatedLine>> lines = finished.result();
              if (!lines.ok)
                  return reportFailure(QStringLiteral("annotate %1").arg(path), lines);
              m_details->showAnnotation(path, lines.value);
          });
}

void BrowserWindow::showDiff(const QString& path)
{
    track(QStringLiteral("Comparing %1").arg(path), m_session->diff(path),
          [this, path](const QFuture<Result<QByteArray>>& finished) {
              const Result<QByteArray> diff = finished.result();
              if (!diff.ok)
                  return reportFailure(QStringLiteral("diff %1").arg(path), diff);
              m_details->showDiff(path, diff.value);
          });
}

void BrowserWindow::showChanges()
{
    track(QStringLiteral("Listing the changes"), m_session->changes(),
          [this](const QFuture<Result<QList<SvnScc::Change>>>& finished) {
              const Result<QList<SvnScc::Change>> changes = finished.result();
              if (!changes.ok)
                  return reportFailure(QStringLiteral("list the changes"), changes);
              m_details->showChanges(changes.value);
          });
}

void BrowserWindow::readChangelists()
{
    // One info() for every versioned file shown: status does not give changelists.
    const QStringList files = m_project->controlledFiles();
    if (files.isEmpty()) {
        m_project->setChangelists({});
        emit changelistsShown();
        return;
    }
    track(QStringLiteral("Reading the changelists"), m_session->info(files),
          [this](const QFuture<Result<QList<SvnScc::ItemInfo>>>& finished) {
              const Result<QList<SvnScc::ItemInfo>> infos = finished.result();
              if (!infos.ok)
                  return reportFailure(QStringLiteral("read the changelists"), infos);
              QHash<QString, QString> changelists;
              for (const SvnScc::ItemInfo& info : infos.value)
                  if (!info.changelist.isEmpty())
                      changelists.insert(info.path, info.changelist);
              m_project->setChangelists(changelists);
              emit changelistsShown();
          });
}

void BrowserWindow::readShelves()
{
    track(QStringLiteral("Reading the shelves"), m_session->shelves(),
          [this](const QFuture<Result<QList<SvnScc::Shelf>>>& finished) {
              const Result<QList<SvnScc::Shelf>> shelves = finished.result();
              if (!shelves.ok)
                  return reportFailure(QStringLiteral("list the shelves"), shelves);
              m_shelves->showShelves(shelves.value);
              // Newest first: the first a revert kept is the one to undo.
              m_lastRevertShelf.clear();
              for (const SvnScc::Shelf& shelf : shelves.value)
                  if (shelf.name.startsWith(RevertShelfPrefix)) {
                      m_lastRevertShelf = shelf.name;
                      break;
                  }
              emit shelvesShown();
          });
}

void BrowserWindow::readTree()
{
    m_project->startStatusPass();
    m_passCancelled = false;
    m_passShown = 0;
    emit statusPassStarted();
    const QFuture<Status> pass = m_session->statusTree();
    m_pass.setFuture(pass);
    track(QStringLiteral("Reading the working copy"), pass, [this](const QFuture<Status>& finished) {
        // Results the watcher has not handed over yet are shown now.
        onPassResults(0, finished.resultCount());
        m_project->finishStatusPass(m_passCancelled);
        emit statusPassFinished(m_passCancelled);
        if (!m_passCancelled)
            readChangelists();
    });
}

void BrowserWindow::onPassResults(int begin, int end)
{
    const QFuture<Status> pass = m_pass.future();
    for (int i = std::max(begin, m_passShown); i < end && m_project->isStatusPassRunning(); ++i)
        m_project->showStatus(pass.resultAt(i));
    m_passShown = std::max(m_passShown, end);
    if (m_project->isStatusPassRunning())
        m_activity->setText(QStringLiteral("Reading the working copy: %1 items").arg(m_project->statusPassDone()));
}

void BrowserWindow::onProgress(const QString& item, int itemsSoFar)
{
    m_progressItems = itemsSoFar;
    m_activity->setText(QStringLiteral("%1  (%2 items)").arg(item.simplified()).arg(itemsSoFar));
    updateBusyIndicator();
}

void BrowserWindow::onOpened(const Result<QString>& result)
{
    m_opened = result.ok;
    if (result.ok) {
        m_repository->setWorkingCopyPlace(splitPathParts(result.value));
        logLine(QStringLiteral("opened %1 (locking %2)")
                    .arg(m_options.localRoot, m_options.lockSupported ? QStringLiteral("on") : QStringLiteral("off")));
        readTree();
        readShelves();
        m_repository->reset();
    } else {
        reportFailure(QStringLiteral("open %1").arg(m_options.localRoot), result);
    }
    updateActions();
    emit opened(result.ok);
}

void BrowserWindow::updateBusyIndicator()
{
    const bool busy = m_pending > 0;
    m_progress->setVisible(busy);
    m_cancelButton->setVisible(busy);
    if (!busy) {
        m_cancelButton->setEnabled(true);
        m_progressItems = 0;
        updateSummary();
        return;
    }
    // The client's items as they come (an update, a commit, a check-out), or the items a pass read.
    const int items = m_project->isStatusPassRunning() ? m_project->statusPassDone() : m_progressItems;
    m_progress->setRange(0, items > 0 ? items : 0);
    m_progress->setValue(items);
    m_progress->setFormat(QStringLiteral("%v items"));
    m_progress->setTextVisible(items > 0);
}

void BrowserWindow::updateActions()
{
    const bool ready = m_opened && m_pending == 0;
    const bool locking = m_options.lockSupported;
    const auto files = [&](const ProjectPane::StatePredicate& predicate) {
        return ready ? m_project->selectedPaths(predicate).size() : 0;
    };
    const auto items = [&](const ProjectPane::StatePredicate& predicate) {
        return ready ? m_project->selectedPaths(predicate, true).size() : 0;
    };
    const qsizetype selected = m_project->selectedItems().size();
    m_addAction->setEnabled(files([](const FileState& s) { return !s.status.controlled; }) > 0);
    m_getLatestAction->setEnabled(files(isControlled) > 0);
    m_checkOutAction->setEnabled(locking && files([](const FileState& s) {
                                     return s.status.controlled && !s.status.checkedOut;
                                 }) > 0);
    m_undoCheckOutAction->setEnabled(locking && files([](const FileState& s) { return s.status.checkedOut; }) > 0);
    m_checkInAction->setEnabled(items(isChanged) > 0);
    m_getRevisionAction->setEnabled(selected == 1 && files(isControlled) == 1);
    m_updateAction->setEnabled(ready && (selected == 0 || items(isControlled) == selected));
    m_revertAction->setEnabled(items(isChanged) > 0);
    m_deleteAction->setEnabled(items(isControlled) > 0);
    m_renameAction->setEnabled(selected == 1 && items(isControlled) == 1);
    m_resolveAction->setEnabled(selected == 1 && items(isConflicted) == 1);
    m_logAction->setEnabled(ready && (selected == 0 || (selected == 1 && items(isControlled) == 1)));
    m_annotateAction->setEnabled(selected == 1 && files(isControlled) == 1);
    m_diffAction->setEnabled(selected == 1 && files(isChanged) == 1);
    m_changesAction->setEnabled(ready);
    m_refreshAction->setEnabled(ready);
    m_branchAction->setEnabled(ready);
    m_switchAction->setEnabled(ready && (selected == 0 || (selected == 1 && items(isControlled) == 1)));
    m_mergeAction->setEnabled(ready && (selected == 0 || (selected == 1 && items(isControlled) == 1)));
    m_takeOverLockAction->setEnabled(files([](const FileState& s) {
                                         return s.status.controlled && !s.status.checkedOut;
                                     }) > 0);
    m_breakLockAction->setEnabled(files(isLockedElsewhere) > 0);
    m_mergeToolAction->setEnabled(selected == 1 && files(isTextConflicted) == 1);
    m_ignoreAction->setEnabled(items(isUnversioned) > 0);
    m_propertiesAction->setEnabled(ready && (selected == 0 || (selected == 1 && items(isControlled) == 1)));
    m_changelistAction->setEnabled(files(isControlled) > 0);
    m_compareAction->setEnabled(ready && (selected == 0 || (selected == 1 && items(isControlled) == 1)));
    m_shelveAction->setEnabled(items([](const FileState& s) { return isChanged(s) || isUnversioned(s); }) > 0);
    m_undoRevertAction->setEnabled(ready && !m_lastRevertShelf.isEmpty());
    m_shelves->setReady(ready);
}

void BrowserWindow::updateSummary()
{
    if (!m_opened) {
        m_activity->setText(m_pending ? QString() : QStringLiteral("Not connected"));
        return;
    }
    m_activity->setText(QStringLiteral("Ready.  ") + m_project->summary()
                        + (m_session->isOffline() ? QStringLiteral("  (offline)") : QString()));
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

void BrowserWindow::reportFailure(const QString& what, const Outcome& outcome)
{
    const QString text = outcome.error.isEmpty() ? QStringLiteral("(no error text)") : outcome.error;
    const QString detail = outcome.command.isEmpty() ? text : QStringLiteral("svn %1: %2").arg(outcome.command, text);
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
    const QStringList paths = m_project->selectedPaths([](const FileState& s) { return !s.status.controlled; });
    if (paths.isEmpty())
        return;
    bool ok = false;
    const QString comment = QInputDialog::getMultiLineText(
        this, QStringLiteral("Add"), QStringLiteral("Log message for adding %1:").arg(label(paths)),
        QStringLiteral("Add %1").arg(paths.size() == 1 ? QFileInfo(paths.first()).fileName() : QStringLiteral("files")),
        &ok);
    if (ok)
        for (const QString& path : paths)
            operate(QStringLiteral("add"), {path}, m_session->addFile(path, comment));
}

void BrowserWindow::onGetLatestTriggered()
{
    for (const QString& path : m_project->selectedPaths(isControlled))
        operate(QStringLiteral("get latest"), {path}, m_session->getFile(path, true));
}

void BrowserWindow::onCheckOutTriggered()
{
    const QStringList paths =
        m_project->selectedPaths([](const FileState& s) { return s.status.controlled && !s.status.checkedOut; });
    if (paths.isEmpty())
        return;
    bool ok = false;
    const QString comment = QInputDialog::getText(
        this, QStringLiteral("Check Out"), QStringLiteral("Lock comment for %1 (may be empty):").arg(label(paths)),
        QLineEdit::Normal, QString(), &ok);
    if (ok)
        for (const QString& path : paths)
            operate(QStringLiteral("check out"), {path}, m_session->checkout(path, comment, false));
}

void BrowserWindow::onUndoCheckOutTriggered()
{
    const QStringList paths = m_project->selectedPaths([](const FileState& s) { return s.status.checkedOut; });
    if (paths.isEmpty())
        return;
    bool discard = false;
    if (!m_project->selectedPaths([](const FileState& s) { return s.status.checkedOut && s.status.modified; }).isEmpty()) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Undo Check-Out"),
            QStringLiteral("%1 has local changes. Discard them and restore the repository's text?").arg(label(paths)),
            QMessageBox::Discard | QMessageBox::Save | QMessageBox::Cancel, QMessageBox::Save);
        if (answer == QMessageBox::Cancel)
            return;
        discard = answer == QMessageBox::Discard;
    }
    for (const QString& path : paths)
        operate(QStringLiteral("undo check-out"), {path}, m_session->undoCheckout(path, discard));
}

void BrowserWindow::onCheckInTriggered()
{
    const QStringList paths = m_project->selectedPaths(isChanged, true);
    if (paths.isEmpty())
        return;
    bool ok = false;
    const QString comment = QInputDialog::getMultiLineText(
        this, QStringLiteral("Check In"),
        QStringLiteral("Log message for %1 (one revision):\n%2").arg(label(paths), paths.join(QLatin1Char('\n'))),
        QString(), &ok);
    QList<QStringList> files;
    for (const QString& path : paths)
        files << splitPathParts(path);
    if (ok)
        checkIn(files, comment);
}

void BrowserWindow::onGetRevisionTriggered()
{
    const QStringList paths = m_project->selectedPaths(isControlled);
    if (paths.size() != 1)
        return;
    const QString path = paths.first();
    bool ok = false;
    const QString revision = QInputDialog::getText(
        this, QStringLiteral("Get Revision"),
        QStringLiteral("Revision of %1 (a number, HEAD, BASE, PREV or {DATE}):").arg(path), QLineEdit::Normal,
        m_project->fileState(path).status.revision, &ok).trimmed();
    if (!ok || revision.isEmpty())
        return;
    const QFileInfo name(path);
    const QString suggestion = QDir::home().filePath(
        name.completeBaseName() + QStringLiteral("-r") + revision
        + (name.suffix().isEmpty() ? QString() : QLatin1Char('.') + name.suffix()));
    const QString destination =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save Revision %1 As").arg(revision), suggestion);
    if (!destination.isEmpty())
        getRevision(splitPathParts(path), revision, destination);
}

void BrowserWindow::onUpdateTriggered()
{
    update(m_project->selectedPaths(isControlled, true));
}

void BrowserWindow::onRevertTriggered()
{
    const QStringList paths = m_project->selectedPaths(isChanged, true);
    if (paths.isEmpty()
        || QMessageBox::question(this, QStringLiteral("Revert"),
                                 QStringLiteral("Throw the local changes of %1 away?\n%2")
                                     .arg(label(paths), paths.join(QLatin1Char('\n'))))
            != QMessageBox::Yes)
        return;
    revert(paths);
}

void BrowserWindow::onDeleteTriggered()
{
    const QStringList paths = m_project->selectedPaths(isControlled, true);
    if (paths.isEmpty()
        || QMessageBox::question(this, QStringLiteral("Delete"),
                                 QStringLiteral("Delete %1 from disk and schedule its deletion?\n%2")
                                     .arg(label(paths), paths.join(QLatin1Char('\n'))))
            != QMessageBox::Yes)
        return;
    remove(paths);
}

void BrowserWindow::onRenameTriggered()
{
    const QStringList paths = m_project->selectedPaths(isControlled, true);
    if (paths.size() != 1)
        return;
    bool ok = false;
    const QString to = QInputDialog::getText(this, QStringLiteral("Rename"),
                                             QStringLiteral("New path of %1:").arg(paths.first()), QLineEdit::Normal,
                                             paths.first(), &ok).trimmed();
    if (ok && !to.isEmpty() && to != paths.first())
        rename(paths.first(), to);
}

void BrowserWindow::onResolveTriggered()
{
    const QStringList paths = m_project->selectedPaths(isConflicted, true);
    if (paths.size() != 1)
        return;
    const QStringList choices{QStringLiteral("The working file as it is now"),
                              QStringLiteral("The text before the update (base)"),
                              QStringLiteral("My text, the repository's changes dropped"),
                              QStringLiteral("The repository's text, my changes dropped")};
    bool ok = false;
    const QString choice = QInputDialog::getItem(this, QStringLiteral("Resolve"),
                                                 QStringLiteral("Resolve %1 keeping:").arg(paths.first()), choices, 0,
                                                 false, &ok);
    if (!ok)
        return;
    const SvnScc::Resolution resolutions[] = {SvnScc::Resolution::Working, SvnScc::Resolution::Base,
                                              SvnScc::Resolution::MineFull, SvnScc::Resolution::TheirsFull};
    resolve(paths.first(), resolutions[choices.indexOf(choice)]);
}

void BrowserWindow::showBranch(const QString& branch)
{
    const QString shown = branch.isEmpty() ? QStringLiteral("/") : branch;
    setWindowTitle(QStringLiteral("scc-browser - %1 [%2]").arg(m_options.localRoot, shown));
    m_branchLabel->setText(QStringLiteral("Branch: %1").arg(shown));
}

QString BrowserWindow::selectedTarget() const
{
    const QStringList paths = m_project->selectedPaths(isControlled, true);
    return paths.size() == 1 ? paths.first() : QString();
}

void BrowserWindow::showBranchDialog()
{
    auto* dialog = new BranchDialog(m_session->branch(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &BranchDialog::copyRequested, this,
            [this](const QString& from, const QString& revision, const QString& to, const QString& message) {
                track(QStringLiteral("Copying %1 to %2").arg(from, to),
                      m_session->copy(from, to, message, revision),
                      [this, from, to](const QFuture<Result<QString>>& finished) {
                          const Result<QString> copied = finished.result();
                          if (!copied.ok)
                              return reportFailure(QStringLiteral("copy %1 to %2").arg(from, to), copied);
                          logLine(QStringLiteral("copied %1 to %2 in revision %3").arg(from, to, copied.value));
                          m_repository->reset();
                      });
            });
    dialog->open();
}

void BrowserWindow::showSwitchDialog()
{
    const QString target = selectedTarget();
    auto* dialog = new SwitchDialog(target, m_session->branch(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &SwitchDialog::switchRequested, this,
            [this, target](const QString& repositoryPath, const QString& revision) {
                track(QStringLiteral("Switching %1 to %2").arg(label({target}), repositoryPath),
                      m_session->switchTo(target, repositoryPath, revision),
                      [this, target, repositoryPath](const QFuture<Result<QStringList>>& finished) {
                          const Result<QStringList> switched = finished.result();
                          if (!switched.ok)
                              return reportFailure(
                                  QStringLiteral("switch %1 to %2").arg(label({target}), repositoryPath), switched);
                          logLine(QStringLiteral("switched %1 to %2").arg(label({target}), repositoryPath));
                          if (!switched.value.isEmpty())
                              logLine(QStringLiteral("left in conflict:\n  %1")
                                          .arg(switched.value.join(QStringLiteral("\n  "))),
                                      ErrorColor.name());
                          // Items may have come and gone: the tree is read again.
                          readTree();
                      });
            });
    dialog->open();
}

void BrowserWindow::showMergeDialog()
{
    const QString target = selectedTarget();
    // Where a branch usually merges from: trunk, or from a branch into trunk.
    const QString source = m_session->branch() == QLatin1String("trunk") ? QString() : QStringLiteral("trunk");
    QPointer<MergeDialog> dialog = new MergeDialog(target, source, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &MergeDialog::eligibleRequested, this, [this, target, dialog](const QString& from) {
        if (from.isEmpty())
            return;
        track(QStringLiteral("Reading what %1 has left to merge").arg(from), m_session->mergeInfo(target, from, false),
              [dialog, from](const QFuture<Result<QStringList>>& finished) {
                  const Result<QStringList> eligible = finished.result();
                  if (!dialog)
                      return;
                  if (eligible.ok)
                      dialog->showEligible(from, eligible.value);
                  else
                      dialog->showFailure(eligible.error);
              });
    });
    connect(dialog, &MergeDialog::previewRequested, this,
            [this, target, dialog](const QString& from, const QStringList& revisions) {
                track(QStringLiteral("Previewing the merge of %1").arg(from),
                      m_session->merge(target, from, revisions, true, false),
                      [dialog, from, revisions](const QFuture<Result<SvnScc::MergeResult>>& finished) {
                          const Result<SvnScc::MergeResult> preview = finished.result();
                          if (!dialog)
                              return;
                          if (preview.ok)
                              dialog->showPreview(from, revisions, preview.value.changes);
                          else
                              dialog->showFailure(preview.error);
                      });
            });
    connect(dialog, &MergeDialog::mergeRequested, this,
            [this, target](const QString& from, const QStringList& revisions) {
                const QString what = QStringLiteral("merge %1 into %2").arg(from, label({target}));
                track(QStringLiteral("Merging %1").arg(from), m_session->merge(target, from, revisions, false, false),
                      [this, what](const QFuture<Result<SvnScc::MergeResult>>& finished) {
                          const Result<SvnScc::MergeResult> merged = finished.result();
                          if (!merged.ok)
                              return reportFailure(what, merged);
                          QStringList lines;
                          for (const SvnScc::ItemChange& change : merged.value.changes)
                              lines << change.action + QLatin1Char(' ')
                                      + (change.path.isEmpty() ? QStringLiteral(".") : change.path);
                          logLine(QStringLiteral("%1: done\n  %2").arg(what, lines.join(QStringLiteral("\n  "))));
                          if (!merged.value.conflicted.isEmpty())
                              logLine(QStringLiteral("left in conflict:\n  %1")
                                          .arg(merged.value.conflicted.join(QStringLiteral("\n  "))),
                                      ErrorColor.name());
                          readTree();
                      });
            });
    dialog->open();
}

void BrowserWindow::takeOverLocks(const QStringList& paths)
{
    operate(QStringLiteral("take over the lock of"), paths, m_session->lock(paths, QString(), true));
}

void BrowserWindow::breakLocks(const QStringList& paths)
{
    operate(QStringLiteral("break the lock of"), paths, m_session->unlock(paths, true));
}

void BrowserWindow::onTakeOverLockTriggered()
{
    const QStringList paths =
        m_project->selectedPaths([](const FileState& s) { return s.status.controlled && !s.status.checkedOut; });
    if (paths.isEmpty())
        return;
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Take Over Lock"),
                                QStringLiteral("Lock %1 here, taking over a lock another user holds?\n%2")
                                    .arg(label(paths), paths.join(QLatin1Char('\n'))),
                                QMessageBox::Yes | QMessageBox::Cancel, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::accepted, this, [this, paths] { takeOverLocks(paths); });
    box->open();
}

void BrowserWindow::onBreakLockTriggered()
{
    const QStringList paths = m_project->selectedPaths(isLockedElsewhere);
    if (paths.isEmpty())
        return;
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Break Lock"),
                                QStringLiteral("Remove the lock another working copy holds on %1?\n%2")
                                    .arg(label(paths), paths.join(QLatin1Char('\n'))),
                                QMessageBox::Yes | QMessageBox::Cancel, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::accepted, this, [this, paths] { breakLocks(paths); });
    box->open();
}

void BrowserWindow::openInMergeTool(const QString& path)
{
    track(QStringLiteral("Reading the conflict of %1").arg(path), m_session->info({path}),
          [this, path](const QFuture<Result<QList<SvnScc::ItemInfo>>>& finished) {
              const Result<QList<SvnScc::ItemInfo>> info = finished.result();
              if (!info.ok)
                  return reportFailure(QStringLiteral("read the conflict of %1").arg(path), info);
              SourceCodeControl::ConflictInfo text;
              for (const SourceCodeControl::ConflictInfo& conflict : info.value.value(0).conflicts)
                  if (conflict.kind == QLatin1String("text"))
                      text = conflict;
              const MergeTool::Command command =
                  MergeTool::command(MergeTool::configuredCommandLine(), m_options.localRoot, path, text);
              QString error;
              if (!MergeTool::start(command, m_options.localRoot, error))
                  return reportFailure(QStringLiteral("open %1 in the merge tool").arg(path),
                                       Outcome{false, QString(), error});
              logLine(QStringLiteral("started %1 for %2").arg(command.program, path));
          });
}

void BrowserWindow::askText(const QString& title, const QString& question, const QString& text,
                            const std::function<void(const QString&)>& answered)
{
    auto* dialog = new QInputDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->setLabelText(question);
    dialog->setTextValue(text);
    connect(dialog, &QInputDialog::textValueSelected, this, answered);
    dialog->open();
}

void BrowserWindow::ignore(const QStringList& paths)
{
    operate(QStringLiteral("ignore"), paths, m_session->ignore(paths));
}

void BrowserWindow::onIgnoreTriggered()
{
    const QStringList paths = m_project->selectedPaths(isUnversioned, true);
    if (!paths.isEmpty())
        ignore(paths);
}

void BrowserWindow::showPropertyEditor(const QString& path)
{
    QPointer<PropertyEditor> editor = new PropertyEditor(path, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    const QString shown = path.isEmpty() ? QStringLiteral(".") : path;
    // Calls run in order: a read queued after a change sees it.
    const auto reload = [this, path, shown, editor] {
        track(QStringLiteral("Reading the properties of %1").arg(shown), m_session->properties(path),
              [editor](const QFuture<Result<QList<SvnScc::Property>>>& finished) {
                  const Result<QList<SvnScc::Property>> properties = finished.result();
                  if (!editor)
                      return;
                  if (properties.ok)
                      editor->showProperties(properties.value);
                  else
                      editor->showFailure(properties.error);
              });
    };
    const auto changed = [this, editor](const QString& what) {
        return [this, editor, what](const QFuture<Outcome>& finished) {
            const Outcome outcome = finished.result();
            if (outcome.ok) {
                logLine(QStringLiteral("%1: done").arg(what));
                return;
            }
            if (editor)
                editor->showFailure(outcome.error);
            reportFailure(what, outcome);
        };
    };
    connect(editor, &PropertyEditor::setRequested, this,
            [this, path, shown, reload, changed](const QString& name, const QByteArray& value) {
                const QString what = QStringLiteral("set %1 on %2").arg(name, shown);
                track(QStringLiteral("Setting %1 on %2").arg(name, shown), m_session->setProperty({path}, name, value),
                      changed(what));
                reload();
            });
    connect(editor, &PropertyEditor::deleteRequested, this, [this, path, shown, reload, changed](const QString& name) {
        const QString what = QStringLiteral("delete %1 from %2").arg(name, shown);
        track(QStringLiteral("Deleting %1 from %2").arg(name, shown), m_session->deleteProperty({path}, name),
              changed(what));
        reload();
    });
    reload();
    editor->open();
}

void BrowserWindow::moveToChangelist(const QStringList& paths, const QString& name)
{
    operate(name.isEmpty() ? QStringLiteral("remove from its changelist") : QStringLiteral("move to %1").arg(name),
            paths, m_session->setChangelist(paths, name));
    readChangelists();
}

void BrowserWindow::onMoveToChangelistTriggered()
{
    const QStringList paths = m_project->selectedPaths(isControlled);
    if (paths.isEmpty())
        return;
    const QString current = m_project->item(paths.first())->text(ProjectPane::ChangelistColumn);
    askText(QStringLiteral("Move to Changelist"),
            QStringLiteral("Changelist for %1 (empty: none):").arg(label(paths)), current,
            [this, paths](const QString& name) { moveToChangelist(paths, name.trimmed()); });
}

void BrowserWindow::showCompareDialog(const QString& path)
{
    QPointer<CompareDialog> dialog = new CompareDialog(path, m_project->fileState(path).status.revision, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &CompareDialog::compareRequested, this, [this, path, dialog](const QString& from, const QString& to) {
        track(QStringLiteral("Comparing %1 between revisions").arg(label({path})),
              m_session->changedBetween(path, from, to),
              [dialog, from, to](const QFuture<Result<QList<SvnScc::ItemChange>>>& finished) {
                  const Result<QList<SvnScc::ItemChange>> changes = finished.result();
                  if (!dialog)
                      return;
                  if (changes.ok)
                      dialog->showChanges(from, to, changes.value);
                  else
                      dialog->showFailure(changes.error);
              });
    });
    dialog->open();
}

void BrowserWindow::shelve(const QString& name, const QStringList& paths)
{
    operate(QStringLiteral("shelve as \"%1\"").arg(name), paths, m_session->shelve(name, paths));
    readShelves();
}

void BrowserWindow::unshelve(const QString& name)
{
    operate(QStringLiteral("unshelve \"%1\"").arg(name), {QString()}, m_session->unshelve(name));
    readShelves();
}

void BrowserWindow::dropShelf(const QString& name)
{
    operate(QStringLiteral("drop the shelf \"%1\"").arg(name), {QString()}, m_session->dropShelf(name));
    readShelves();
}

void BrowserWindow::undoLastRevert()
{
    if (!m_lastRevertShelf.isEmpty())
        unshelve(m_lastRevertShelf);
}

void BrowserWindow::onShelveTriggered()
{
    const QStringList paths =
        m_project->selectedPaths([](const FileState& s) { return isChanged(s) || isUnversioned(s); }, true);
    if (paths.isEmpty())
        return;
    askText(QStringLiteral("Shelve"), QStringLiteral("Name of the shelf for %1:").arg(label(paths)), QString(),
            [this, paths](const QString& name) {
                if (!name.trimmed().isEmpty())
                    shelve(name.trimmed(), paths);
            });
}
