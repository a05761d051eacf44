#pragma once

#include "FileStamp.h"
#include "PluginLoader.h"
#include "SessionShelf.h"
#include "SessionTypes.h"
#include "SessionWatch.h"

#include <QFutureInterface>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace SvnScc {

class FolderListings;
class SessionReply;
class WorkingCopyDigest;

/**
 * One question of a server or ssh, asked in the worker's thread and put to
 * the host in the session's thread. The answer fields and `ended` are
 * written under SessionShared::questionMutex; `reply` is the session
 * thread's own.
 */
struct SessionQuestion
{
    enum class Kind { Credentials, Certificate, Ssh };
    Kind kind = Kind::Credentials;
    SourceCodeControl::CredentialsRequest credentialsRequest;
    SourceCodeControl::ServerCertificate certificate;
    SourceCodeControl::SshQuestion sshQuestion;

    /** Answered, declined or withdrawn: the worker stops waiting, and later answers are not taken. */
    bool ended = false;
    /** Answered (not declined). */
    bool given = false;
    SourceCodeControl::Credentials credentials;
    SourceCodeControl::Trust trust = SourceCodeControl::Trust::Reject;
    QString text;

    /** The host's reply object, while it exists. */
    QPointer<SessionReply> reply;
};

/** What the worker tells its session, handed over in order and acted on in the session's thread. */
struct SessionEvent
{
    enum class Kind {
        StatusChanged, ///< status
        Progress,      ///< text (the item), number (items so far)
        Logged,        ///< text (a line of the command log)
        Offline,       ///< flag
        Calls,         ///< SessionShared::pending changed
        Watching,      ///< number (folders not watched, polled instead), flag (no folder is watched)
        Asked,         ///< question: put it to the host
        Withdrawn,     ///< question: it ended unanswered (a cancel, the session closing)
        Branch         ///< text (the local root's path in the repository)
    };
    Kind kind = Kind::Calls;
    Status status;
    QString text;
    int number = 0;
    bool flag = false;
    std::shared_ptr<SessionQuestion> question;
};

/** What a session and its worker share across their threads. */
struct SessionShared
{
    /** The plug-in; its cancel() is safe from any thread and outlives the session while a canceller is kept. */
    const std::shared_ptr<PluginLoader> plugin = std::make_shared<PluginLoader>();
    /** The session is being destroyed: queued calls are refused, the running one stops at its next step. */
    std::atomic<bool> closing{false};
    /** A cancel() came while the running call ran; cleared when the next call starts. */
    std::atomic<bool> cancelled{false};
    /** Calls queued or running. */
    std::atomic<int> pending{0};

    /**
     * Any thread: cancels call number @p call when it runs now, as
     * Session::cancel() does; nothing otherwise (a queued call checks its
     * future before it runs).
     */
    void cancelCall(quint64 call);
    /** Any thread: cancels the call that runs now and ends a question it waits for. */
    void cancelRunning();
    /** The worker's thread: call number @p call runs from now (0: none runs). */
    void setRunning(quint64 call);

    /**
     * Hands @p event to the session: queued under a lock (the only way data
     * goes from the worker to the session) and, when the queue was empty,
     * wake() is called so that the session takes the events in its thread.
     */
    void tell(SessionEvent event);
    /** Takes every event told so far, in order. */
    std::deque<SessionEvent> takeEvents();
    /** Set before the worker starts, called in the worker's thread: asks the session's thread to take the events. */
    std::function<void()> wake;

    /**
     * Any thread: ends @p question with what @p fill writes into it, unless
     * it has ended already (then false, and @p fill is not called); the
     * worker waiting for it goes on.
     */
    bool endQuestion(SessionQuestion& question, const std::function<void(SessionQuestion&)>& fill);
    /** Whether @p question has ended. */
    bool questionEnded(const SessionQuestion& question);
    /** Any thread, after setting cancelled or closing: a worker waiting for an answer sees it. */
    void wakeQuestions();
    /**
     * The worker's thread: puts @p question to the session and waits until
     * it ends, the call is cancelled or the session closes (then it ends
     * declined, and the session withdraws it). True when it was answered.
     */
    bool ask(const std::shared_ptr<SessionQuestion>& question);

private:
    std::mutex m_eventsMutex;
    std::deque<SessionEvent> m_events;
    std::mutex m_runningMutex;
    quint64 m_running = 0; // under m_runningMutex
    std::mutex m_questionMutex;
    std::condition_variable m_questionChanged;
};

/**
 * A session's worker: a thread of its own (std::thread) that owns the
 * provider and makes every call into it, one at a time, in the order post()
 * queued them. It keeps what the session reported of each path, tells
 * differences as SessionEvent::Kind::StatusChanged, and has what it reported
 * watched (SessionWatch, in a thread of its own), queuing a re-read of what
 * changed on disk.
 *
 * Calls and events cross between the threads only through queues under a
 * std::mutex. Every function but post(), closing(), the constructor and the
 * destructor runs in the worker's thread. Paths are as Session takes them
 * (relative to the local root or absolute below it); a path elsewhere is
 * refused, running nothing.
 */
class SessionWorker
{
public:
    /** Starts the worker's thread. */
    SessionWorker(std::shared_ptr<SessionShared> shared, const QString& pluginPath);
    /**
     * Cancels the running operation, lets the calls queued run (each
     * refused, as the session is closing), hands the provider back, stops
     * watching and ends the thread. While it waits, the cancel is repeated
     * every 50 ms, so that one that came just before a client started cannot
     * be missed.
     */
    ~SessionWorker();
    SessionWorker(const SessionWorker&) = delete;
    SessionWorker& operator=(const SessionWorker&) = delete;

    /**
     * Thread-safe: queues @p run behind every call queued before it. A call
     * of the host has its number @p call (Session::cancelCall()) and
     * @p cancelled, which says that its future was cancelled: it is then
     * dropped without running (its promise finishes it as it goes).
     */
    void post(quint64 call, std::function<void()> run, std::function<bool()> cancelled);
    /** Thread-safe: queues work of the session's own (a re-read), which no future waits for. */
    void post(std::function<void()> run) { post(0, std::move(run), {}); }
    /** Whether the session is being destroyed: a queued call then gives closedOutcome(). */
    bool closing() const { return m_shared->closing; }
    /**
     * Takes the plug-in's answer whether a repository could not be reached
     * as the session's, telling a change; each call does so before its
     * future finishes, so that offlineChanged() comes first.
     */
    void takeOffline();
    /** What a call refused because the session is being destroyed gives. */
    static Outcome closedOutcome();

    Outcome forgetCredentials(const QString& realm);

    Result<QString> open(const QString& localRoot, const SessionSettings& settings, const QString& repositoryPath);
    Outcome login(const QString& user, const QString& password);
    Outcome logout();
    Outcome refresh();
    /** Gives one Status per path into @p results, finishes it, and watches what it read. */
    void status(const QStringList& paths, QFutureInterface<Status> results);
    /** Session::statusTree() into @p results, which it finishes. */
    void statusTree(const QString& folder, TreeOrder order, QFutureInterface<Status> results);
    Outcome saved(const QStringList& paths);

    Outcome addFile(const QString& path, const QString& comment);
    Outcome getFile(const QString& path, bool keepLocal);
    Outcome getTo(const QString& path, const QString& revision, const QString& destination);
    Outcome checkout(const QString& path, const QString& comment, bool replaceLocal);
    Outcome undoCheckout(const QString& path, bool discardChanges);
    Outcome checkin(const QString& path, const QString& comment);
    Result<QStringList> listDirectories(const QString& repositoryPath);
    Result<QStringList> listFiles(const QString& repositoryPath);
    Outcome createDirectory(const QString& repositoryParent, const QString& name);

    Outcome add(const QStringList& paths);
    Result<QString> commit(const QStringList& paths, const QString& message);
    /** With @p keepShelf, the changes of the paths are shelved first (keepBeforeRevert()). */
    Outcome revert(const QStringList& paths, bool recursive, bool keepShelf = false);
    Outcome remove(const QStringList& paths, bool keepLocal);
    Outcome move(const QString& from, const QString& to);
    Result<QStringList> update(const QStringList& paths, const QString& revision);
    Outcome resolve(const QString& path, Resolution choice);
    Result<QList<LogEntry>> log(const QString& path, int limit);
    Result<QList<AnnotatedLine>> annotate(const QString& path, const QString& revision);
    Result<QByteArray> diff(const QString& path, const QString& from, const QString& to);
    Result<QList<Change>> changes(const QString& folder);
    Outcome cleanup(const QString& folder);

    Result<QList<ItemInfo>> info(const QStringList& paths);
    Result<QString> copy(const QString& fromRepositoryPath, const QString& revision, const QString& toRepositoryPath,
                         const QString& message);
    Result<QStringList> switchTo(const QString& path, const QString& repositoryPath, const QString& revision);
    Result<MergeResult> merge(const QString& path, const QString& sourceRepositoryPath, const QStringList& revisions,
                              bool dryRun, bool recordOnly);
    Result<QStringList> mergeInfo(const QString& path, const QString& sourceRepositoryPath, bool merged);
    Outcome lock(const QStringList& paths, const QString& comment, bool steal);
    Outcome unlock(const QStringList& paths, bool breakLock);
    Outcome relocate(const QString& newRepositoryRoot);
    Result<QList<Property>> properties(const QString& path);
    Outcome setProperty(const QStringList& paths, const QString& name, const QByteArray& value);
    Outcome deleteProperty(const QStringList& paths, const QString& name);
    Outcome ignore(const QStringList& paths);
    Outcome setChangelist(const QStringList& paths, const QString& name);
    Result<QList<LogEntry>> logRange(const QString& path, const QString& startRevision, int limit,
                                     const QString& search);
    Result<QList<ItemChange>> changedBetween(const QString& path, const QString& from, const QString& to);
    Outcome setDepth(const QString& folder, Depth depth);
    Outcome upgrade();
    Result<QByteArray> createPatch(const QStringList& paths);
    Result<QList<ItemChange>> applyPatch(const QByteArray& patch, int strip, bool dryRun);
    // The shelf (SessionWorkerShelf.cpp).
    Outcome shelve(const QString& name, const QStringList& paths);
    Outcome unshelve(const QString& name);
    Result<QList<Shelf>> shelves();
    Outcome dropShelf(const QString& name);

private:
    /** The shelves of this working copy. */
    ShelfStore shelfStore() const;
    /** Whether @p path is on disk and not under version control. */
    bool isUnversioned(const QString& path);
    /** Shelves the changes of @p relativePaths as "before revert DATE PATHS", then prunes old ones. */
    Outcome keepBeforeRevert(const QStringList& relativePaths);
    class Prompts;

    static void reportProgress(void* context, const QString& item, int itemsSoFar);
    static void logLine(void* context, const QString& line);

    void run();
    void shutdown();
    Result<QString> bind(const QString& localRoot, const SessionSettings& settings, const QString& repositoryPath);
    bool stopped() const { return m_shared->closing || m_shared->cancelled; }
    std::optional<QString> relative(const QString& path) const;
    std::optional<QString> belowRoot(const QString& cleanAbsolute) const;
    QString absolute(const QString& path) const;
    Outcome prepare(const QStringList& paths, QStringList& relativePaths, const char* command) const;
    /** As prepare(), and refused, saying so, when the plug-in has no version-3 interface. */
    Outcome prepare3(const QStringList& paths, QStringList& relativePaths, const char* command) const;
    /** Tells the session the local root's path in the repository, as the provider's roots give it now. */
    void tellBranch();
    Outcome outcomeOf(bool ok) const;
    /** The plug-in's status of @p path, whose parts (as partsOf() splits it) @p parts gives when not empty. */
    Status readStatus(const QString& path, const QStringList& parts = QStringList());
    bool givesEveryRecorded(const QList<QList<Status>>& given) const;
    /**
     * Lists each folder of the disk below @p folder in the walk's order,
     * each folder's subfolders (each followed by what it holds) before its
     * files; @p visit gives an item and says whether a folder is entered.
     * False when stopped.
     */
    bool walk(const QString& folder, FolderListings& listings, const std::function<bool(const QString&, char kind)>& visit);
    /**
     * The local root's items through @p give as the version-4 plug-in lists
     * them while its client runs, then, in the walk's order, the items on
     * disk it did not list, through @p read (which gives one and says
     * whether a folder is entered); each walked item's kind noted in
     * @p kinds. False, nothing given, when nothing ran (the status was
     * read already).
     */
    bool giveAsListed(FolderListings& listings, QByteArray& kinds, const std::function<void(Status, char kind)>& give,
                      const std::function<bool(const QString&, char kind)>& read);
    void publish(const Status& status, bool tellNew);
    /** Tells what changed of paths reported before among @p given (batch by batch), then finishes @p results. */
    void finish(QFutureInterface<Status>& results, const QList<QList<Status>>& given);
    void remember(const QList<QList<Status>>& given, const QByteArray& kinds = QByteArray());
    void watchVersioned(const QStringList& paths);
    void watchKinds(QStringList folders, const QStringList& files, const QStringList& paths);
    void coverageChanged(const SessionWatch::Coverage& coverage);
    /** Reads what the watch has seen; @p named and @p everything as SessionWatch::takeSeen() takes them. */
    void catchUp(const QStringList& named = {}, bool everything = false);
    void note(const QString& path);
    bool changedSinceNoted(const QString& path);
    void afterChange(const QStringList& named);
    void reread(QStringList paths, bool database);
    void rereadChangedByOthers(const QSet<QString>& read, bool ownChange);
    void readAgain(const QStringList& paths);
    void setOffline(bool offline);

    const std::shared_ptr<SessionShared> m_shared;
    const QString m_pluginPath;

    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    struct Queued
    {
        quint64 call = 0;
        std::function<void()> run;
        std::function<bool()> cancelled;
    };
    std::deque<Queued> m_queue;
    bool m_ending = false;   // under m_queueMutex: no call follows those queued
    bool m_finished = false; // under m_queueMutex: the thread is done
    std::thread m_thread;

    // The worker thread's own.
    SourceCodeControlSystemProviderInterface2* m_provider = nullptr;
    SourceCodeControlSystemProviderInterface3* m_provider3 = nullptr; // the same provider, when the plug-in offers version 3
    SourceCodeControlSystemProviderInterface4* m_provider4 = nullptr; // and version 4
    std::unique_ptr<Prompts> m_prompts;
    QString m_localRoot;
    QString m_canonicalRoot; // the local root with every link resolved
    SessionSettings m_settings;
    /**
     * What the session last reported of one path, kept small, as a working
     * copy may hold hundreds of thousands: the columns as bytes, the
     * revisions as numbers. An answer that does not fit (a failure, a
     * revision or columns the client does not usually print) is kept whole
     * in m_unusual instead.
     */
    struct Reported
    {
        enum Flag : quint8 {
            Known = 1,
            Controlled = 2,
            CheckedOut = 4,
            Modified = 8,
            OutOfDate = 16,
            HasColumns = 32, // seven columns; without it none
            Unusual = 64     // the whole answer is in m_unusual
        };
        qint64 revision = -1; // -1: none
        qint64 lastChangedRevision = -1;
        char columns[7] = {};
        quint8 flags = 0;
    };
    Status reported(const QString& path, const Reported& known) const;
    void keep(const Status& status);

    QHash<QString, Reported> m_known; // every path reported, as last reported
    QHash<QString, Status> m_unusual; // the answers m_known cannot hold
    QSet<QString> m_foldersRead;       // the folders of those paths
    QString m_lastFolderRead;          // the one inserted last
    QHash<QString, FileStamp> m_noted; // how each path read looked on disk then
    QString m_database;                // the working copy's .svn/wc.db
    FileStamp m_databaseNoted;         // as last compared, when it cannot be read (the client is asked then)
    std::unique_ptr<WorkingCopyDigest> m_digest; // what the databases recorded when last compared
    std::unique_ptr<SessionWatch> m_watch;
    // What the watch handed over and no call has read yet.
    std::mutex m_handedMutex;
    QSet<QString> m_handed;
    bool m_handedDatabase = false;
    int m_unwatchedState = 0; // as last logged: 0 every folder watched, 1 some, 2 none
    bool m_offline = false;
};

} // namespace SvnScc
