#pragma once

#include "DetailsPane.h"
#include "HostOptions.h"
#include "ProjectPane.h"
#include "Session.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CommandsPane;
class RepositoryPane;
class ShelvesPane;
class QAction;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

/**
 * The main window of scc-browser, a graphical host of the Subversion
 * provider plug-in, built on SvnScc::Session.
 *
 * It shows the working copy's folders and files with the status of each (a
 * ProjectPane, filled as the session's pass goes and kept right by its
 * statusChanged(), so edits, builds and svn in a terminal show at once), a
 * DetailsPane with the repository's folders and the history, annotate, diff
 * and changes views, the operations as actions (toolbar, menu and the
 * project tree's context menu), a message log where every failure appears
 * with the svn subcommand and the client's text, and beside it a
 * CommandsPane with every svn run of the session.
 *
 * A server's or ssh's question while an operation runs opens a dialog
 * (QuestionDialogs.h) without blocking the window: a password dialog naming
 * the realm, a certificate dialog (Reject, Accept once, Accept always) or
 * ssh's question. Its answer goes to the session's reply; Cancel declines;
 * a cancelled operation closes it.
 *
 * Branches: the branch the working copy is on (the session's `branch`)
 * shows in the title bar and the status bar. "Branch or tag…", "Switch…"
 * and "Merge…" open dialogs (BranchDialogs.h); a merge is previewed with a
 * dry run, its eligible revisions offered to pick, before anything changes.
 * "Take over lock" and "Break lock" lock or unlock with force, and "Open in
 * merge tool" starts a three-way tool (MergeTool.h) on the three files of
 * a text conflict, detached.
 *
 * Properties and changelists: "Ignore" adds unversioned items to their
 * folder's svn:ignore; "Properties…" opens a PropertyEditor for one item;
 * the project tree's Changelist column shows each file's changelist (read
 * with one info() call for the files shown, after each pass and each
 * change of changelists), and "Move to Changelist…" puts files into one
 * (an empty name takes them out). The Log tab pages as it scrolls and
 * searches; "Compare with Revision…" lists what changed in the repository
 * between two revisions (CompareDialog). "Shelve…" puts the changes of
 * the selection aside; the Shelves tab lists the shelves with Unshelve and
 * Drop, and "Undo Last Revert" unshelves the newest shelf a revert kept.
 *
 * Every operation is a call of the session, which runs it on its own
 * thread; the window counts the calls it made. While any runs, the status
 * bar shows what runs, a progress bar (the items of an update, commit or
 * check-out as the client reports them, or the items a status pass read)
 * and a Cancel button (cancel()), and the operations are disabled. The
 * destructor destroys the session, which cancels what runs and hands the
 * provider back.
 */
class BrowserWindow : public QMainWindow
{
    Q_OBJECT

public:
    /**
     * Builds the window for the command-line options of scc-browser (the
     * plug-in, the client, URL, credentials, local root, locking, time
     * limit) and its session. Nothing is loaded before start().
     */
    explicit BrowserWindow(const HostOptions& options, QWidget* parent = nullptr);
    ~BrowserWindow() override;

    /**
     * Opens the working copy: the session loads the plug-in, logs in when a
     * user is given and binds the local root; then the status pass over the
     * tree, and the listing of the repository's top folder (opened down to
     * the local root's place). opened() tells how the opening went.
     */
    void start();

    /** Whether a failure also pops up a (non-modal) message box; on by default. The message log gets every failure either way. */
    void setErrorDialogsEnabled(bool enabled) { m_errorDialogs = enabled; }

    /** True while a call the window made has not finished. */
    bool isBusy() const { return m_pending > 0; }

    /** The project tree's row of a file or folder (path parts relative to the local root), or null; its columns are ProjectPane::Column. */
    QTreeWidgetItem* projectItem(const QStringList& parts) const;

    /** The text of the message log. */
    QString messageLog() const;

    /** The text of the Commands pane: one line per entry of the session's command log. */
    QString commandLog() const;

    /** The branch the working copy is on, as the title and status bar show it; empty before opening. */
    QString branch() const { return m_session->branch(); }

    /** What a tab of the details pane shows (see DetailsPane::text()). */
    QString detailsText(DetailsPane::Tab tab) const { return m_details->text(tab); }

public slots:
    /** Forgets the provider's status cache, reads every status and the tree again, and re-lists the repository. */
    void refreshAll();
    /**
     * The Cancel button: ends the call of the session running now (a status
     * pass stops before its next item; a client that changes the working
     * copy gets a second and the working copy is cleaned up after it).
     * Calls queued after it still run. Changes nothing while idle.
     */
    void cancel();
    /** Adds and commits each file with the log message @p comment. */
    void addFiles(const QList<QStringList>& files, const QString& comment);
    /** Brings each file up to date, keeping (merging) local changes. */
    void getLatest(const QList<QStringList>& files);
    /** Locks each file for editing with the lock comment @p comment (may be empty). */
    void checkOut(const QList<QStringList>& files, const QString& comment);
    /** Releases each file's lock; @p discardChanges also restores the repository's text. */
    void undoCheckOut(const QList<QStringList>& files, bool discardChanges);
    /** Commits all of @p files (files or folders) in one revision with the log message @p comment. */
    void checkIn(const QList<QStringList>& files, const QString& comment);
    /** Writes @p revision of one file to @p destination. */
    void getRevision(const QStringList& file, const QString& revision, const QString& destination);
    /** Brings the paths (folders recursively; none: the whole working copy) up to date; conflicts are listed in the message log. */
    void update(const QStringList& paths);
    /** Reverts the paths to their base text. */
    void revert(const QStringList& paths);
    /** Schedules the paths for deletion. */
    void remove(const QStringList& paths);
    /** Renames or moves one item, history kept. */
    void rename(const QString& from, const QString& to);
    /** Marks the conflict of @p path resolved, keeping the text @p choice names. */
    void resolve(const QString& path, SvnScc::Resolution choice);
    /** Shows the history of @p path ("" for the whole working copy) in the Log tab. */
    void showLog(const QString& path);
    /** Shows who last changed each line of @p path in the Annotate tab. */
    void showAnnotation(const QString& path);
    /** Shows the local changes of @p path in the Diff tab. */
    void showDiff(const QString& path);
    /** Shows every changed item of the working copy in the Changes tab. */
    void showChanges();
    /** Opens "Branch or tag…", offering the branch shown as what is copied. */
    void showBranchDialog();
    /** Opens "Switch…" for the selected folder, or the whole working copy when none is. */
    void showSwitchDialog();
    /** Opens "Merge…" into the selected item, or the whole working copy when none is. */
    void showMergeDialog();
    /** Locks each file in one run, taking over a lock another user holds. */
    void takeOverLocks(const QStringList& paths);
    /** Removes the lock of each file in one run, also one this working copy does not hold. */
    void breakLocks(const QStringList& paths);
    /** Starts the merge tool on the three files of @p path's text conflict, without waiting for it. */
    void openInMergeTool(const QString& path);
    /** Adds each unversioned item to the svn:ignore property of its folder. */
    void ignore(const QStringList& paths);
    /** Opens the property editor of @p path ("" the local root). */
    void showPropertyEditor(const QString& path);
    /** Puts the files into the changelist @p name, or takes them out of theirs for "". */
    void moveToChangelist(const QStringList& paths, const QString& name);
    /** Opens "Compare with Revision…" for @p path ("" the whole working copy). */
    void showCompareDialog(const QString& path);
    /** Shelves the changes of @p paths as @p name. */
    void shelve(const QString& name, const QStringList& paths);
    /** Applies the newest shelf named @p name back and removes it. */
    void unshelve(const QString& name);
    /** Removes the newest shelf named @p name. */
    void dropShelf(const QString& name);
    /** Unshelves the newest shelf a revert kept; nothing when there is none. */
    void undoLastRevert();

signals:
    /** The opening ended; @p ok false when the plug-in, the login or the roots failed. */
    void opened(bool ok);
    /** A status pass over the tree began. */
    void statusPassStarted();
    /** A status pass ended, complete or @p cancelled; the tree shows what was read. */
    void statusPassFinished(bool cancelled);
    /** An operation on @p parts ended ("add", "get latest", "check out", "undo check-out", "check in", "get revision", ...). */
    void operationFinished(const QString& operation, const QStringList& parts, bool ok);
    /** The last call the window made finished. */
    void idle();
    /** The Changelist column shows what was read after the latest change. */
    void changelistsShown();
    /** The Shelves tab shows what was read after the latest change. */
    void shelvesShown();

private:
    template <typename Dialog, typename Reply>
    void ask(Dialog* dialog, Reply* reply);
    template <typename T, typename Done>
    void track(const QString& description, QFuture<T> future, Done done);
    void operate(const QString& operation, const QStringList& paths, QFuture<SvnScc::Outcome> future);
    void readTree();
    void readChangelists();
    void readShelves();
    void loadLogPage(const QString& path, const QString& startRevision, const QString& search);
    void askText(const QString& title, const QString& question, const QString& text,
                 const std::function<void(const QString&)>& answered);
    void buildActions();
    void buildLayout();
    void updateBusyIndicator();
    void updateActions();
    void updateSummary();
    void logLine(const QString& text, const QString& color = QString());
    void reportFailure(const QString& what, const SvnScc::Outcome& outcome);

    void onOpened(const SvnScc::Result<QString>& result);
    void onPassResults(int begin, int end);
    void onProgress(const QString& item, int itemsSoFar);

    void onAddTriggered();
    void onGetLatestTriggered();
    void onCheckOutTriggered();
    void onUndoCheckOutTriggered();
    void onCheckInTriggered();
    void onGetRevisionTriggered();
    void onUpdateTriggered();
    void onRevertTriggered();
    void onDeleteTriggered();
    void onRenameTriggered();
    void onResolveTriggered();
    void onTakeOverLockTriggered();
    void onBreakLockTriggered();
    void onIgnoreTriggered();
    void onMoveToChangelistTriggered();
    void onShelveTriggered();
    void showBranch(const QString& branch);
    QString selectedTarget() const;

    HostOptions m_options;
    std::unique_ptr<SvnScc::Session> m_session;
    QFutureWatcher<SvnScc::Status> m_pass;
    bool m_passCancelled = false;
    int m_passShown = 0; // results of the pass shown so far

    ProjectPane* m_project = nullptr;
    RepositoryPane* m_repository = nullptr;
    DetailsPane* m_details = nullptr;
    ShelvesPane* m_shelves = nullptr;
    QPlainTextEdit* m_messages = nullptr;
    CommandsPane* m_commands = nullptr;
    QLabel* m_activity = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QAction* m_addAction = nullptr;
    QAction* m_getLatestAction = nullptr;
    QAction* m_checkOutAction = nullptr;
    QAction* m_undoCheckOutAction = nullptr;
    QAction* m_checkInAction = nullptr;
    QAction* m_getRevisionAction = nullptr;
    QAction* m_updateAction = nullptr;
    QAction* m_revertAction = nullptr;
    QAction* m_deleteAction = nullptr;
    QAction* m_renameAction = nullptr;
    QAction* m_resolveAction = nullptr;
    QAction* m_logAction = nullptr;
    QAction* m_annotateAction = nullptr;
    QAction* m_diffAction = nullptr;
    QAction* m_changesAction = nullptr;
    QAction* m_refreshAction = nullptr;
    QAction* m_branchAction = nullptr;
    QAction* m_switchAction = nullptr;
    QAction* m_mergeAction = nullptr;
    QAction* m_takeOverLockAction = nullptr;
    QAction* m_breakLockAction = nullptr;
    QAction* m_mergeToolAction = nullptr;
    QAction* m_ignoreAction = nullptr;
    QAction* m_propertiesAction = nullptr;
    QAction* m_changelistAction = nullptr;
    QAction* m_compareAction = nullptr;
    QAction* m_shelveAction = nullptr;
    QAction* m_undoRevertAction = nullptr;
    QString m_lastRevertShelf; // the newest shelf a revert kept; "" when none
    QLabel* m_branchLabel = nullptr;

    int m_pending = 0;
    int m_progressItems = 0;
    bool m_opened = false;
    bool m_errorDialogs = true;
};
