#pragma once

#include "FileStatus.h"
#include "HostOptions.h"
#include "ProjectPane.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>

class CommandsPane;
class ProviderWorker;
class RepositoryPane;
struct LocalEntry;
class QAction;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

/**
 * The main window of scc-browser, a graphical host of the Subversion
 * provider plug-in.
 *
 * It shows the working copy's folders and files with the provider's status
 * of each file (a ProjectPane), a RepositoryPane that lists repository
 * folders on demand, the file operations as actions (toolbar, menu and the
 * project tree's context menu), a message log where every failure
 * appears with the svn subcommand and the client's text that getLastError()
 * gave, and beside it a CommandsPane with every svn run of the provider.
 *
 * The provider lives in a worker thread of the window's own (see
 * ProviderWorker): every provider call is queued there and every result comes
 * back as a signal, so the window stays responsive while svn runs. The
 * window counts the requests it queued; while any runs, the status bar shows
 * what runs, a busy indicator and a Cancel button (cancel()), and the
 * operations are disabled. The destructor stops what is queued, waits for
 * the running provider call to end, and has the worker release the provider
 * in its thread.
 */
class BrowserWindow : public QMainWindow
{
    Q_OBJECT

public:
    /**
     * Builds the window for the command-line options of scc-browser (the
     * plug-in, the client, URL, credentials, local root, locking, time
     * limit) and starts the worker thread. Nothing is loaded before start().
     */
    explicit BrowserWindow(const HostOptions& options, QWidget* parent = nullptr);
    /** Stops the queued requests, releases the provider in the worker thread and ends it. */
    ~BrowserWindow() override;

    /**
     * Queues the opening: load the plug-in, set the options, log in when a
     * user is given, bind the local root; then the local scan with the
     * status pass, and the listing of the repository's top folder (opened
     * down to the local root's place). opened() tells how the opening went.
     */
    void start();

    /**
     * Whether a failure also pops up a (non-modal) message box; on by
     * default. The message log gets every failure either way.
     */
    void setErrorDialogsEnabled(bool enabled) { m_errorDialogs = enabled; }

    /** True while a queued request has not finished. */
    bool isBusy() const { return m_pending > 0; }

    /**
     * The project tree's row of a file or folder (path parts relative to the
     * local root), or null; its columns are ProjectPane::Column.
     */
    QTreeWidgetItem* projectItem(const QStringList& parts) const;

    /** The text of the message log. */
    QString messageLog() const;

    /** The text of the Commands pane: one line per entry of the provider's command log. */
    QString commandLog() const;

public slots:
    /** Empties the provider's status cache, scans the local root again, re-reads every status and re-lists the repository. */
    void refreshAll();
    /** Stops the running status pass before its next provider call. */
    void cancelStatusPass();
    /**
     * The Cancel button: stops the running status pass (cancelStatusPass())
     * and ends the provider call running now, whose operation then fails
     * with "cancelled" (a client that changes the working copy gets a
     * second, and the working copy is cleaned up after it). Requests queued
     * after it still run. Changes nothing while the window is idle.
     */
    void cancel();
    /** Adds and commits each file with the log message `comment`. */
    void addFiles(const QList<QStringList>& files, const QString& comment);
    /** Brings each file up to date, keeping (merging) local changes. */
    void getLatest(const QList<QStringList>& files);
    /** Locks each file for editing with the lock comment `comment` (may be empty). */
    void checkOut(const QList<QStringList>& files, const QString& comment);
    /** Releases each file's lock; `discardChanges` also restores the repository's text. */
    void undoCheckOut(const QList<QStringList>& files, bool discardChanges);
    /** Commits each file with the log message `comment`. */
    void checkIn(const QList<QStringList>& files, const QString& comment);
    /** Writes `revision` of one file to `destination`. */
    void getRevision(const QStringList& file, const QString& revision, const QString& destination);

signals:
    /** The opening ended; `ok` false when the plug-in, the login or the roots failed. */
    void opened(bool ok);
    /** A status pass over `fileCount` files began. */
    void statusPassStarted(int fileCount);
    /** A status pass ended, complete or `cancelled`; the tree shows what was read. */
    void statusPassFinished(bool cancelled);
    /** A file operation ended ("add", "get latest", "check out", "undo check-out", "check in", "get revision"). */
    void operationFinished(const QString& operation, const QStringList& parts, bool ok);
    /** The last queued request finished. */
    void idle();

private:
    void buildActions();
    void buildLayout();
    void enqueue(const QString& description, const std::function<void(ProviderWorker&)>& request);
    void updateBusyIndicator();
    void updateActions();
    void updateSummary();
    void logLine(const QString& text, const QString& color = QString());

    void onRequestStarted(const QString& description);
    void onRequestFinished();
    void onOpened(bool ok, bool checkOutSupported, const QStringList& repositoryRoot);
    void onLocalTreeRead(const QList<LocalEntry>& entries);
    void onStatusPassStarted(int fileCount);
    void onStatusRead(const QStringList& parts, bool known, const FileStatus& status,
                      const QString& errorCommand, const QString& errorText);
    void onStatusPassFinished(bool cancelled);
    void onOperationFinished(const QString& operation, const QStringList& parts, bool ok);
    void onFailed(const QString& what, const QString& command, const QString& message);

    void onAddTriggered();
    void onGetLatestTriggered();
    void onCheckOutTriggered();
    void onUndoCheckOutTriggered();
    void onCheckInTriggered();
    void onGetRevisionTriggered();

    HostOptions m_options;
    QThread m_thread;
    ProviderWorker* m_worker = nullptr;

    ProjectPane* m_project = nullptr;
    RepositoryPane* m_repository = nullptr;
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
    QAction* m_refreshAction = nullptr;

    int m_pending = 0;
    bool m_opened = false;
    bool m_checkOutSupported = false;
    bool m_errorDialogs = true;
};
