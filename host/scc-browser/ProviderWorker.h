#pragma once

#include "FileStatus.h"
#include "HostOptions.h"
#include "ProviderLibrary.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

/** One folder or file below the local root, as the local scan found it. */
struct LocalEntry
{
    QStringList parts;   ///< path parts relative to the local root
    bool folder = false; ///< a folder rather than a file
};

/**
 * The provider's own thread: owns the plug-in (a ProviderLibrary) and the one
 * provider made from it, and makes every provider call.
 *
 * A host may use a provider from one thread at a time, and every operation
 * blocks until its svn run ends, so the browser moves one ProviderWorker to a
 * QThread and hands it requests through runRequest() as queued calls. The
 * worker answers with signals, which reach the window through queued
 * connections. Requests run one after another, in the order they were
 * queued.
 *
 * Everything below except cancelStatusPass(), cancelProviderCall() and
 * stop() runs in the worker's thread; those three may be called from any
 * thread and never wait.
 */
class ProviderWorker : public QObject
{
    Q_OBJECT

public:
    explicit ProviderWorker(QObject* parent = nullptr);
    ~ProviderWorker() override;

    /**
     * Runs one request: emits requestStarted(description), calls `request`
     * with this worker, then emits requestFinished(description). After stop()
     * the request is not called (both signals are still emitted, so a
     * caller counting requests stays balanced).
     */
    void runRequest(const QString& description, const std::function<void(ProviderWorker&)>& request);

    /**
     * Thread-safe: the status pass that runs now (if any) stops before its
     * next provider call; the call that runs is not interrupted. A pass
     * started later is not affected.
     */
    void cancelStatusPass();

    /**
     * Thread-safe: ends the provider call that runs now in the worker's
     * thread (ProviderLibrary::cancelOperation()): its operation returns
     * false and the provider's last error reads "cancelled". Does nothing
     * between two calls; a later call is not affected.
     */
    void cancelProviderCall();

    /**
     * Thread-safe: every request not started yet is skipped, and the status
     * pass that runs now stops before its next call. Used before shutdown().
     */
    void stop();

    /**
     * Loads the plug-in `options.plugin`, makes the provider and sets it up
     * with setUpProvider(): its options (the password always on the client's
     * standard input, and the time limit), login when a user is given, and
     * the roots: `options.localRoot` alone (an existing working copy), or
     * with `options.repositoryRoot` (checked out there when it is not a
     * working copy yet). Emits failed() and opened(false, ...) at the first
     * problem, otherwise opened(true, checkOutSupported(), the local root's
     * path parts in the repository as getRoots() gives them).
     */
    void open(const HostOptions& options);

    /**
     * Lists the local root's folders and files (every level; ".svn" folders
     * are skipped) and emits localTreeRead() with them: per folder, its
     * subfolders first, then its files, each group by name. Then reads the
     * status of every file in that order, as readStatuses() does.
     */
    void readLocalTree();

    /**
     * The status pass: emits statusPassStarted(number of files), then calls
     * the provider's status for each file and emits statusRead() with its
     * outputs, then statusPassFinished(). Between two calls it checks for
     * cancelStatusPass() and stop(); a cancelled pass emits
     * statusPassFinished(true) and leaves the remaining files unread.
     */
    void readStatuses(const QList<QStringList>& files);

    /** Empties the provider's status cache (refresh), then readLocalTree(). */
    void refresh();

    /**
     * Lists a repository folder (path parts relative to the repository URL)
     * with getDirectoriesList and getFilesList and emits repositoryListed();
     * on failure also failed().
     */
    void listRepository(const QStringList& parts);

    /**
     * The file operations. Each calls the provider once for one file (path
     * parts relative to the local root), emits operationFinished() with its
     * result (and failed() before it when the call failed), then reads the
     * file's status again and emits statusRead(), so the window shows what
     * the operation left.
     */
    void addFile(const QStringList& parts, const QString& comment);
    /** getFile; with `keepLocal` false the local copy is replaced by the repository's. */
    void getLatest(const QStringList& parts, bool keepLocal);
    /** checkout (the lock), keeping the local text. */
    void checkOut(const QStringList& parts, const QString& comment);
    /** undoCheckout; `discardChanges` restores the repository's text. */
    void undoCheckOut(const QStringList& parts, bool discardChanges);
    /** checkin with the log message `comment`. */
    void checkIn(const QStringList& parts, const QString& comment);
    /** getTo: writes `revision` of the file to `destination`; no status re-read. */
    void getRevision(const QStringList& parts, const QString& revision, const QString& destination);

    /** Hands the provider back and closes the plug-in. Call last, in the worker's thread. */
    void shutdown();

signals:
    /** A request begins; `description` says what it does, for the busy indicator. */
    void requestStarted(const QString& description);
    /** A request ended (also a skipped one). */
    void requestFinished(const QString& description);
    /** open() ended; see open(). */
    void opened(bool ok, bool checkOutSupported, const QStringList& repositoryRoot);
    /** The local scan of readLocalTree(), in display order. */
    void localTreeRead(const QList<LocalEntry>& entries);
    /** A status pass over `fileCount` files begins. */
    void statusPassStarted(int fileCount);
    /**
     * The status of one file. `known` is the provider's result; when false,
     * `status` is not controlled and `errorCommand`/`errorText` give the
     * provider's last error (a file that is not under version control is
     * answered so too).
     */
    void statusRead(const QStringList& parts, bool known, const FileStatus& status,
                    const QString& errorCommand, const QString& errorText);
    /** The status pass ended, all files read or `cancelled`. */
    void statusPassFinished(bool cancelled);
    /** A repository listing; both lists are empty when `ok` is false. */
    void repositoryListed(const QStringList& parts, bool ok, const QStringList& directories,
                          const QStringList& files);
    /** A file operation ended; `operation` is its name as the user reads it ("check in"). */
    void operationFinished(const QString& operation, const QStringList& parts, bool ok);
    /** Something failed: what was attempted, and the provider's last error (svn subcommand and text). */
    void failed(const QString& what, const QString& command, const QString& message);
    /** A line for the message log that is no failure. */
    void note(const QString& text);

private:
    bool haveProvider(const QString& what);
    void reportFailure(const QString& what);
    void finishOperation(const QString& operation, const QStringList& parts, bool ok,
                         bool rereadStatus = true);
    void emitStatus(const QStringList& parts);

    ProviderLibrary m_library;
    SourceCodeControlSystemProviderInterface* m_provider = nullptr;
    QString m_localRoot;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_stopping{false};
};

Q_DECLARE_METATYPE(LocalEntry)
Q_DECLARE_METATYPE(FileStatus)
