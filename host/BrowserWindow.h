#pragma once

#include "HostCommands.h"
#include "HostOptions.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>

class ProviderWorker;
struct LocalEntry;
class QAction;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

/**
 * The main window of scc-browser, a graphical host of the Subversion
 * provider plug-in.
 *
 * It shows the working copy's folders and files with the provider's status
 * of each file, a repository pane that lists repository folders on demand,
 * the file operations as actions (toolbar, menu and the project tree's
 * context menu), and a message log where every failure appears with the svn
 * subcommand and the client's text that getLastError() gave.
 *
 * The provider lives in a worker thread of the window's own (see
 * ProviderWorker): every provider call is queued there and every result comes
 * back as a signal, so the window stays responsive while svn runs. The
 * window counts the requests it queued; while any runs, the status bar shows
 * what runs and a busy indicator, and the operations are disabled. The
 * destructor stops what is queued, waits for the running provider call to
 * end, and has the worker release the provider in its thread.
 */
class BrowserWindow : public QMainWindow
{
    Q_OBJECT

public:
    /** The columns of the project tree. */
    enum Column {
        NameColumn,        ///< folder or file name
        StatusColumn,      ///< the provider's status characters, or "not controlled"
        RevisionColumn,    ///< working revision
        LastChangedColumn, ///< last changed revision
        CheckedOutColumn,  ///< "yes"/"no": locked in this working copy
        ModifiedColumn,    ///< "yes"/"no"
        OutOfDateColumn,   ///< "yes"/"no": the repository has a newer text
        ColumnCount
    };

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

    /** The project tree's row of a file or folder (path parts relative to the local root), or null. */
    QTreeWidgetItem* projectItem(const QStringList& parts) const;

    /** The text of the message log. */
    QString messageLog() const;

public slots:
    /** Empties the provider's status cache, scans the local root again, re-reads every status and re-lists the repository. */
    void refreshAll();
    /** Stops the running status pass before its next provider call. */
    void cancelStatusPass();
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
    struct FileState
    {
        bool read = false;  // a status answer arrived
        bool known = false; // the provider answered it
        FileStatus status;
        QString error;      // the provider's error when not known
    };
    using StatePredicate = std::function<bool(const FileState&)>;

    void buildActions();
    void buildLayout();
    void enqueue(const QString& description, const std::function<void(ProviderWorker&)>& request);
    void updateBusyIndicator();
    void updateActions();
    void updateSummary();
    QList<QStringList> selectedFiles(const StatePredicate& predicate) const;
    void showStatus(QTreeWidgetItem* item, const FileState& state);
    void logLine(const QString& text, const QString& color = QString());
    void listRepositoryFolder(QTreeWidgetItem* item);
    void clearRepositoryChildren(QTreeWidgetItem* item);
    void resetRepositoryTree();

    void onRequestStarted(const QString& description);
    void onRequestFinished();
    void onOpened(bool ok, bool checkOutSupported, const QStringList& repositoryRoot);
    void onLocalTreeRead(const QList<LocalEntry>& entries);
    void onStatusPassStarted(int fileCount);
    void onStatusRead(const QStringList& parts, bool known, const FileStatus& status,
                      const QString& errorCommand, const QString& errorText);
    void onStatusPassFinished(bool cancelled);
    void onRepositoryListed(const QStringList& parts, bool ok, const QStringList& directories,
                            const QStringList& files);
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

    QTreeWidget* m_projectTree = nullptr;
    QTreeWidget* m_repositoryTree = nullptr;
    QPlainTextEdit* m_messages = nullptr;
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

    QHash<QString, QTreeWidgetItem*> m_projectItems;   // by joined path parts
    QHash<QString, FileState> m_states;                // files only
    QHash<QString, QTreeWidgetItem*> m_repositoryFolders;
    QSet<QString> m_repositoryExpanded;                // folders to open again after a re-listing
    QStringList m_repositoryRoot;                      // the local root's place in the repository

    int m_pending = 0;
    bool m_opened = false;
    bool m_checkOutSupported = false;
    bool m_errorDialogs = true;
    bool m_treeShown = false;
    bool m_passRunning = false;
    int m_passTotal = 0;
    int m_passDone = 0;
    int m_passUnknown = 0;
    QString m_passFirstUnknown;
};
