#pragma once

/**
 * @file
 * SvnScc::Session: the Subversion plug-in as a Qt object for IDE code. It
 * loads the plug-in, runs every operation on a thread of its own, hands back
 * each result as a QFuture, keeps the status of what it reported right while
 * files change on disk, routes the command log into a signal, and puts the
 * questions of servers and ssh to the IDE as signals with a reply object.
 */

#include "SessionTypes.h"
#include "svnscc_session_export.h"

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QFuture>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace SvnScc {

class SessionPrivate;
struct SessionQuestion;
struct SessionShared;

/**
 * The host's side of one question a Session put to it (see Session,
 * Questions). It lives in the session's thread; answer it from there, once.
 * The first answer, decline() or the question's withdrawal ends it; what
 * comes after is ignored. Deleting it unanswered declines.
 */
class SVNSCC_SESSION_EXPORT SessionReply : public QObject
{
    Q_OBJECT

public:
    /** Declines the question when it is still open. */
    ~SessionReply() override;
    /** Whether the question still waits for an answer. */
    bool isPending() const;

public slots:
    /** Declines: the operation fails with the server's refusal (a certificate: as Reject). */
    void decline();

signals:
    /** The question ended unanswered (a cancel, the session destroyed): close what asks the user. */
    void withdrawn();

protected:
    SessionReply(std::shared_ptr<SessionShared> shared, std::shared_ptr<SessionQuestion> question, QObject* parent);
    /** Ends the question with what @p fill writes into it, when it is still open. */
    void give(const std::function<void(SessionQuestion&)>& fill);

private:
    friend class SessionPrivate;
    void withdraw();

    const std::shared_ptr<SessionShared> m_shared;
    const std::shared_ptr<SessionQuestion> m_question;
    bool m_told = false; // answered, declined or withdrawn through this object
};

/** The reply to Session::credentialsRequired(). */
class SVNSCC_SESSION_EXPORT CredentialsReply : public SessionReply
{
    Q_OBJECT
    friend class SessionPrivate;
    using SessionReply::SessionReply;

public slots:
    /**
     * The user's name and password for the realm asked about; with
     * @p remember the client may store them as the user's Subversion set-up
     * allows (a keyring, plain text only where allowed).
     */
    void answer(const QString& user, const QString& password, bool remember = false);
};

/** The reply to Session::serverTrustRequired(). */
class SVNSCC_SESSION_EXPORT CertificateReply : public SessionReply
{
    Q_OBJECT
    friend class SessionPrivate;
    using SessionReply::SessionReply;

public slots:
    /** Reject, trust once (for the session's life, nothing stored) or always (stored as the client stores it). */
    void answer(SourceCodeControl::Trust trust);
};

/** The reply to Session::sshQuestionAsked(). */
class SVNSCC_SESSION_EXPORT SshReply : public SessionReply
{
    Q_OBJECT
    friend class SessionPrivate;
    using SessionReply::SessionReply;

public slots:
    /** What the user typed ("yes", a passphrase), given to ssh as it is. */
    void answer(const QString& text);
};

/**
 * One working copy, reached through the plug-in libsvnscc.so.
 *
 * A Session loads the plug-in (the one installed with this library, unless
 * another is named), makes one provider of its version-2 interface and owns
 * one worker thread that makes every call into it. Each operation below is
 * asynchronous: it queues the call and returns a QFuture at once, so the
 * calling thread never waits for svn. Calls run one at a time, in the order
 * they were made; open() comes first. A future is always finished in the
 * end, also when the call was refused or the session was destroyed first.
 * Use QFutureWatcher, QFuture::then() with a context object, or, outside
 * the session's thread, QFuture::result(). A future and every value read
 * from it stay valid after the session is gone (the plug-in's library stays
 * mapped when the session closes it: see PluginLoader).
 *
 * Every signal a call causes (statusChanged(), progress(), commandLogged(),
 * offlineChanged()) reaches the receivers in the session's thread before a
 * QFutureWatcher or a continuation there learns that its future finished:
 * both travel as events posted to that thread, in order, also when the
 * thread is busy for a while.
 *
 * QFuture::cancel() cancels one call, Qt's way: a call still queued is
 * dropped without running; the call that runs is cancelled as cancel()
 * cancels it (its client stopped, a pass ended before its next path);
 * other calls are untouched. A cancelled future is finished with no
 * result (QFuture::isCanceled(); result() must not be read). The cancel
 * reaches the running call through the session's thread's event loop.
 *
 * Threads: the object belongs to the thread that made it; call its
 * functions from there, except cancel() and the function canceller()
 * returns, which any thread may call. Every signal is emitted in that
 * thread.
 *
 * Live status: after a status pass the session watches what it reported:
 * each versioned folder that holds what it reported (one inotify watch per
 * folder, which sees the content of the files in it change and names
 * appear, vanish or be renamed) and the working copy's database
 * (.svn/wc.db, through its folder). A file that changed on disk is read
 * again (the plug-in's saved(): a local client run of that file alone, no
 * server); a name that appeared in a folder the session read is read and
 * told, even one never asked about (a new file, as "?"); a change of the
 * database made by another client (svn revert, add, commit in a terminal)
 * has the items it changed read again after one local "svn status" of the
 * working copy. statusChanged() tells each difference. Only what looks
 * otherwise on disk than when it was read costs a run (a change this
 * session made itself costs nothing more); an item that is not versioned
 * only when it appears or vanishes. Folders the pass answered as not
 * versioned (ignored or unversioned trees, such as build output) are never
 * watched, so their files never cost a client run. Changes are gathered
 * for 50 ms, then read in one call queued behind those already queued;
 * status() and statusTree() first read what the watch has seen and not yet
 * read, so an edit followed at once by a question is answered as it is on
 * disk.
 *
 * When the system refuses a watch (its limit of watches,
 * fs.inotify.max_user_watches, or a file system that sends no change
 * notices, such as many network ones), the property `watching` turns
 * Partial (None when nothing is watched), unwatchedFolders() counts those
 * folders, and the command log says so once, with the reason. They are
 * polled instead, every SessionSettings::pollIntervalMs (2 s): a stat() of
 * each such folder and of each versioned file in it, a listing of a folder
 * whose time changed, and the database's stamp when its folder is not
 * watched. The client runs only for what changed. status() looks at the
 * polled files it is asked about, and statusTree() polls everything, before
 * it answers, so an edit followed at once by a question is answered as it
 * is on disk there too. An update by another
 * client changes the revision of files it does not rewrite without the
 * session seeing it; refresh() reads everything again.
 *
 * Offline: the plug-in answers status from the working copy alone (out of
 * date always false) once a repository could not be reached (connection
 * refused or timed out, a name that does not resolve, credentials refused,
 * the time limit), until refresh(), logout() or login(). The session asks
 * the plug-in after each call (its isOffline()) and shows the answer as the
 * property `offline`.
 *
 * Command log: every line of the plug-in's command log from this session's
 * calls (where and what runs, the password shown as "******", how it ended,
 * its decisions) reaches commandLogged(), handed over by the plug-in itself
 * (its setCommandLogHandler()). The session installs no message handler and
 * no logging filter: the category "svnscc.client" stays as the host's own
 * rules set it (QT_LOGGING_RULES="svnscc.client.debug=true" shows the same
 * lines through the host's handler).
 *
 * Questions: a server that wants a user name and password, a server
 * certificate the client does not trust, and ssh's own questions over
 * svn+ssh (an unknown host key, a key's passphrase, a password) are put to
 * the host as the signals credentialsRequired(), serverTrustRequired() and
 * sshQuestionAsked(), in the session's thread, one at a time. Each carries
 * the question and a reply object; the host answers it then or later, from
 * the session's thread, without blocking it (a dialog opened with open(),
 * not exec()): reply->answer(...) or reply->decline(). The operation waits
 * on the worker thread meanwhile, for as long as the user takes (the time
 * limit on a silent client does not run). A reply deleted unanswered
 * declines. A question no receiver is connected to is declined at once, as
 * is every question of a session with no receivers at all: the operation
 * then fails with the server's refusal, as it would without the questions.
 * cancel(), QFuture::cancel() of the call that asks, and the session's
 * destruction end a waiting question: it is declined, the reply emits
 * withdrawn() (close the dialog), and a later answer is not taken. The
 * plug-in asks again after a refused password (up to 3 attempts, see
 * CredentialsRequest::attempt) and asks once per server for a certificate
 * (again after a Reject). The receiver owns the reply: delete it
 * (deleteLater()) when done; those left are deleted with the session.
 * Questions need a plug-in of version 3; with an older one nothing is asked,
 * commandLogged() stays silent and `offline` stays false.
 *
 * Branches: the property `branch` is the local root's path in the
 * repository ("trunk", "branches/1.0"), as the working copy records it:
 * set by open(), and read again after switchTo() and relocate(). The
 * branch and merge calls (info() to relocate()) need a plug-in of
 * version 3; with an older one each fails saying so, running nothing.
 */
class SVNSCC_SESSION_EXPORT Session : public QObject
{
    Q_OBJECT
    /** Whether the repository could not be reached and status comes from the working copy alone (see above). */
    Q_PROPERTY(bool offline READ isOffline NOTIFY offlineChanged)
    /** Whether an operation is queued or runs (a live re-read counts too). */
    Q_PROPERTY(bool busy READ isBusy NOTIFY busyChanged)
    /** How much of what the session reported the system's change notices cover (see Live status). */
    Q_PROPERTY(Watching watching READ watching NOTIFY watchingChanged)
    /** The local root's path in the repository: the branch it is on (see Branches). */
    Q_PROPERTY(QString branch READ branch NOTIFY branchChanged)

public:
    /** How the live status learns of changes on disk (see Live status). */
    enum class Watching {
        Full,    ///< every versioned folder reported is watched through the system's notices
        Partial, ///< some are polled instead: the system refused their watches
        None     ///< none is watched: everything is polled
    };
    Q_ENUM(Watching)

    /**
     * A session of the plug-in installed with this library
     * (installedPluginPath()). Starts the worker thread; loads nothing yet.
     */
    explicit Session(QObject* parent = nullptr);
    /** A session of the plug-in library at @p pluginPath instead. */
    explicit Session(const QString& pluginPath, QObject* parent = nullptr);
    /**
     * Cancels the operation that runs (as cancel() does), finishes every
     * future still queued with "the session was closed", waits for the
     * worker thread, hands the provider back and closes the plug-in. It
     * waits for as long as the running operation takes to end after its
     * cancel: about a second for a client that writes, which then gets
     * cleaned up.
     */
    ~Session() override;

    /**
     * The plug-in installed with this library: the folder of this library, then svnscc/libsvnscc.so,
     * where the installed tree puts it from any prefix it is copied to.
     */
    static QString installedPluginPath();

    /** The plug-in this session loads. */
    QString pluginPath() const;
    /** The local root open() was given, absolute and cleaned; empty before open(). */
    QString localRoot() const;
    /** See the property offline. */
    bool isOffline() const;
    /** See the property busy. */
    bool isBusy() const;
    /** See the property watching. */
    Watching watching() const;
    /** The folders the system refused to watch, which are polled instead; 0 while watching is Full. */
    int unwatchedFolders() const;
    /** See the property branch; empty before open() succeeded. */
    QString branch() const;

    /**
     * Loads the plug-in, makes its provider, gives it @p settings, logs in
     * when a user is given, and binds @p localRoot (made absolute): an
     * existing working copy, or, with @p repositoryPath (a path below the
     * repository URL), that place, checked out non-recursively into
     * @p localRoot when it is no working copy yet (its parent folder must
     * exist; progress() tells the items). Gives the local root's path below
     * the repository root ("trunk/proj").
     * Fails when the plug-in is missing ("no plug-in at PATH"), cannot be
     * loaded, or has no version-2 interface; when the login is refused
     * (command "info"); when @p localRoot is not a working copy (command
     * "info", error "... is not a working copy"); and when called twice.
     */
    QFuture<Result<QString>> open(const QString& localRoot, const SessionSettings& settings,
                                  const QString& repositoryPath = QString());

    /** Logs in again as @p user ("svn info" on the repository URL); on success the session is online again. */
    QFuture<Outcome> login(const QString& user, const QString& password);
    /**
     * Removes the user names and passwords the client stored for exactly
     * @p realm (as CredentialsRequest::realm names it; not the certificate
     * trust of that server); "" removes all of them. Succeeds also when
     * nothing was stored. Needs a plug-in of version 3.
     */
    QFuture<Outcome> forgetCredentials(const QString& realm);
    /** Forgets the plug-in's status cache; the credentials stay. */
    QFuture<Outcome> logout();
    /**
     * Forgets the plug-in's status cache and what it knew of the servers
     * (so the session is online until a server fails again), then reads the
     * status of every path reported so far again, with the server, and
     * tells each difference through statusChanged().
     */
    QFuture<Outcome> refresh();

    /**
     * The status of each of @p paths: one result per path, in the order
     * given, delivered in batches as the pass goes (a QFutureWatcher's
     * resultsReadyAt() fills a view while the pass runs), with the
     * future's progress counting them. The first question about a folder
     * runs the client (see SessionSettings::statusScope); later ones are
     * answered from the plug-in's cache. After a cancel() the paths not read
     * yet are given with known false and error "cancelled", and no client
     * runs for them. The paths are watched afterwards (see Live status).
     */
    QFuture<Status> status(const QStringList& paths);
    /**
     * The status of @p folder and of every file and folder on disk below
     * it, each folder before what it holds (its subfolders first, each
     * followed by what it holds, then its files; each group by name), then
     * the versioned items that are not on disk (missing, deleted), read from
     * the working copy alone. Folders answered as not versioned are given
     * but not entered. What "svn status --verbose" lists is exactly the
     * results whose columns are not empty. A cancel() ends it after the
     * item being read.
     */
    QFuture<Status> statusTree(const QString& folder = QString());
    /**
     * statusTree() in @p order. TreeOrder::AsListed gives the local root's
     * items while the client lists them: the client's lines as they come,
     * in its order (its own "svn status --show-updates" order puts a
     * folder after what it holds), then the items on disk it does not list
     * (ignored files, what an external holds), in the walk's order. Each
     * item once, the same results as the walk's but for their order; a path
     * the client listed twice because its run was repeated (a retry, or
     * the working copy answering after the server could not be reached)
     * is given twice, and the later result holds. With a plug-in older than
     * version 4, a folder other than the local root, or the status already
     * read (nothing runs), the results come in the walk's order.
     */
    QFuture<Status> statusTree(const QString& folder, TreeOrder order);
    /**
     * Reads the status of each of @p paths again after the host wrote them
     * (the plug-in's saved(): a local run of the file alone) and tells each
     * difference through statusChanged(). The live watch does this by
     * itself; a host that writes a file and wants its status at once calls it.
     */
    QFuture<Outcome> saved(const QStringList& paths);

    /**
     * Adds one file and commits it at once with @p comment; each folder on
     * the way that is not versioned is brought in first (from the
     * repository when it has it, or added and committed on its own).
     */
    QFuture<Outcome> addFile(const QString& path, const QString& comment);
    /**
     * Brings one file up to date; with @p keepLocal false its local changes
     * go, but never what no update brings back (the file is then left as it
     * is and the call fails, naming it).
     */
    QFuture<Outcome> getFile(const QString& path, bool keepLocal);
    /** Writes the file's text at @p revision to @p destination, which stays as it was on failure. */
    QFuture<Outcome> getTo(const QString& path, const QString& revision, const QString& destination);
    /**
     * Locks one file for editing with the lock comment @p comment; with
     * @p replaceLocal a locally changed file first gets the repository's
     * text. Refused unless the settings offer locking.
     */
    QFuture<Outcome> checkout(const QString& path, const QString& comment, bool replaceLocal);
    /** Releases the lock of one file; @p discardChanges restores the repository's text too. */
    QFuture<Outcome> undoCheckout(const QString& path, bool discardChanges);
    /** Commits one file (or folder) with @p comment; a lock held on it is released. */
    QFuture<Outcome> checkin(const QString& path, const QString& comment);
    /** The names of the subfolders of a repository folder ("" is the repository URL itself). */
    QFuture<Result<QStringList>> listDirectories(const QString& repositoryPath);
    /** The names of the files of a repository folder. */
    QFuture<Result<QStringList>> listFiles(const QString& repositoryPath);
    /** Creates the folder @p name below a repository folder with an immediate commit. */
    QFuture<Outcome> createDirectory(const QString& repositoryParent, const QString& name);

    /** Schedules files and folders for addition, with missing parents; a folder is added itself only. */
    QFuture<Outcome> add(const QStringList& paths);
    /**
     * Commits all of @p paths in one revision with @p message (a folder:
     * everything changed below it). Gives the new revision ("" when nothing
     * was to commit: still a success). progress() tells the items.
     */
    QFuture<Result<QString>> commit(const QStringList& paths, const QString& message);
    /**
     * Back to the base text and properties; folders with all they hold when
     * @p recursive. An added file becomes unversioned and stays on disk,
     * a copied or moved one too, with the user's text; unversioned files are
     * never touched (the plug-in's revert() says how).
     * The changes are shelved first (see shelvesBeforeRevert()).
     */
    QFuture<Outcome> revert(const QStringList& paths, bool recursive);
    /** Schedules deletion; with @p keepLocal the items leave version control and stay on disk. */
    QFuture<Outcome> remove(const QStringList& paths, bool keepLocal);
    /** Moves or renames one item inside the working copy, history kept; @p to is its new path. */
    QFuture<Outcome> move(const QString& from, const QString& to);
    /**
     * Brings @p paths (folders recursively) to @p revision ("" for the
     * newest); conflicts are postponed. Gives every path left in conflict.
     * progress() tells the items.
     */
    QFuture<Result<QStringList>> update(const QStringList& paths, const QString& revision = QString());
    /** Marks the conflict of @p path resolved, keeping the text @p choice names. */
    QFuture<Outcome> resolve(const QString& path, Resolution choice);
    /** The history of @p path, newest first, at most @p limit entries (0: all), up to the repository's newest revision. */
    QFuture<Result<QList<LogEntry>>> log(const QString& path, int limit = 0);
    /**
     * Every line of @p path at @p revision ("" for the base; "WORKING"
     * includes local edits, whose lines have no revision) with who last
     * changed it.
     */
    QFuture<Result<QList<AnnotatedLine>>> annotate(const QString& path, const QString& revision = QString());
    /**
     * The client's unified diff of @p path, byte for byte: the local changes
     * when both revisions are empty, from @p from to the working file when
     * only @p to is empty, else between the two revisions.
     */
    QFuture<Result<QByteArray>> diff(const QString& path, const QString& from = QString(),
                                     const QString& to = QString());
    /**
     * Every item below @p folder that is not unchanged (added, deleted,
     * modified, missing, conflicted, unversioned, locked, ...), from the
     * working copy alone: it answers offline too.
     */
    QFuture<Result<QList<Change>>> changes(const QString& folder = QString());
    /** Finishes or undoes what a client stopped from outside left below @p folder ("svn cleanup"). */
    QFuture<Outcome> cleanup(const QString& folder = QString());

    // Branches and merges (see Branches). A repository path is relative to
    // the repository root ("trunk", "branches/1.0/src"), never a URL.

    /**
     * What the working copy records of each of @p paths (URL, repository
     * path, revisions, lock, conflicts with their files, the halves of a
     * move), one per path in the order given, from the working copy alone.
     */
    QFuture<Result<QList<ItemInfo>>> info(const QStringList& paths);
    /**
     * Makes a branch or tag: one server-side copy of @p fromRepositoryPath
     * at @p revision ("" for the newest) to @p toRepositoryPath with
     * @p message. Gives the new revision. An existing target is refused.
     */
    QFuture<Result<QString>> copy(const QString& fromRepositoryPath, const QString& toRepositoryPath,
                                  const QString& message, const QString& revision = QString());
    /**
     * Switches @p path ("" the whole working copy) to @p repositoryPath at
     * @p revision ("" for the newest); conflicts are postponed. Gives every
     * path left in conflict; the status of what changed is told through
     * statusChanged(), and `branch` follows a switch of the root.
     */
    QFuture<Result<QStringList>> switchTo(const QString& path, const QString& repositoryPath,
                                          const QString& revision = QString());
    /**
     * Merges @p sourceRepositoryPath into @p path: every eligible revision
     * when @p revisions is empty, else each of them ("42", "40-45", "-42"
     * to undo 42), in one run. With @p dryRun nothing changes and the
     * result still lists what would; with @p recordOnly only the merge
     * information is recorded.
     */
    QFuture<Result<MergeResult>> merge(const QString& path, const QString& sourceRepositoryPath,
                                       const QStringList& revisions = QStringList(), bool dryRun = false,
                                       bool recordOnly = false);
    /**
     * The revisions of @p sourceRepositoryPath merged into @p path already
     * (@p merged) or still eligible, as numbers without "r", oldest first.
     */
    QFuture<Result<QStringList>> mergeInfo(const QString& path, const QString& sourceRepositoryPath, bool merged);
    /**
     * Locks the files @p paths in one run with @p comment; with @p steal a
     * lock another user holds is taken over. Unlike checkout() it needs no
     * SessionSettings::locking.
     */
    QFuture<Outcome> lock(const QStringList& paths, const QString& comment, bool steal = false);
    /** Unlocks the files @p paths in one run; with @p breakLock also a lock this working copy does not hold. */
    QFuture<Outcome> unlock(const QStringList& paths, bool breakLock = false);
    /**
     * Points the working copy at the repository's new root URL @p newRepositoryRoot
     * (the server moved); later runs use it. `branch` is read again.
     */
    QFuture<Outcome> relocate(const QString& newRepositoryRoot);

    // Properties, changelists, history pages, depth, upgrade and patches.
    // Each needs a plug-in of version 3; on an older one the call is
    // refused, running nothing. A call that changes the working copy tells
    // the status it changed through statusChanged() before its future
    // finishes.

    /**
     * Every property of @p path, sorted by name, each value exactly as
     * stored (binary values too), from the working copy alone.
     */
    QFuture<Result<QList<Property>>> properties(const QString& path);
    /**
     * Sets the property @p name to @p value on each of @p paths in one run.
     * Values of properties outside "svn:" are stored byte for byte; the
     * client normalises "svn:" values (line ends to LF, UTF-8 only), and
     * properties() then gives what it stored. Fails with the client's error
     * for a value it refuses (nothing set), or when some path failed (the
     * others may hold the value).
     */
    QFuture<Outcome> setProperty(const QStringList& paths, const QString& name, const QByteArray& value);
    /** Deletes the property @p name from each of @p paths in one run; one that is not set is no failure. */
    QFuture<Outcome> deleteProperty(const QStringList& paths, const QString& name);
    /**
     * Adds the name of each unversioned item of @p paths to the svn:ignore
     * property of its folder (each name once, the other patterns and
     * properties kept; a name holding a pattern character is escaped so
     * that the line hides that name alone). The items are then told and
     * answered as ignored: not under version control, empty columns; their
     * folders (the local root too) as property-changed, as the plug-in read
     * them again after writing, each told when it was reported.
     * Fails, writing nothing, when a path is under version control.
     */
    QFuture<Outcome> ignore(const QStringList& paths);
    /**
     * Puts the files @p paths into the changelist @p name in one run, or
     * takes them out of theirs for "" (info() gives it). Refused, running
     * nothing, when a path is a folder.
     */
    QFuture<Outcome> setChangelist(const QStringList& paths, const QString& name);
    /**
     * One page of the history of @p path: from @p startRevision (a number,
     * or "" for the newest) going back, at most @p limit entries (0: all),
     * newest first. With @p search, only the revisions whose author, date,
     * message or changed paths match it (a glob, ignoring case), up to
     * @p limit matches. The next page starts at the revision below the
     * last entry: no entry comes twice, none is skipped.
     */
    QFuture<Result<QList<LogEntry>>> logRange(const QString& path, const QString& startRevision, int limit,
                                              const QString& search = QString());
    /**
     * What changed in the repository below @p path between its revisions
     * @p from and @p to ("" is the newest), asked of the server: each item
     * relative to @p path ("" is @p path itself), sorted by path, with the
     * action letters without trailing blanks ("A", "D", "M", " M", "MM").
     */
    QFuture<Result<QList<ItemChange>>> changedBetween(const QString& path, const QString& from,
                                                      const QString& to = QString());
    /**
     * Makes the folder @p folder sparse (Empty, Files, Immediates) or full
     * (Infinity) in one run; Exclude takes it out of the working copy. The
     * status of the folder and of everything reported below it is read
     * again and told. Fails, changing nothing, when the folder holds
     * modified or unversioned items and @p depth is not Infinity.
     */
    QFuture<Outcome> setDepth(const QString& folder, Depth depth);
    /**
     * Brings a working copy of an older format to the client's format in
     * one run (a current one is no failure), then reads the status of
     * everything reported again and `branch`.
     */
    QFuture<Outcome> upgrade();
    /**
     * The local changes of @p paths as a patch in git's format, byte for
     * byte as the client writes it (text, added, deleted and binary files,
     * property changes); applyPatch() with strip -1 applies it.
     */
    QFuture<Result<QByteArray>> createPatch(const QStringList& paths);
    /**
     * Applies @p patch to the working copy with @p strip leading name
     * components removed (-1: worked out from the names, as for
     * createPatch()'s patches); with @p dryRun nothing changes. Gives the
     * client's item lines (a rejected hunk as "C", an item not patched as
     * "Skipped"); the status of everything reported is read again and told.
     * Fails with the client's words when a hunk was rejected (a
     * FILE.svnpatch.rej is left) or an item was skipped or refused.
     */
    QFuture<Result<QList<ItemChange>>> applyPatch(const QByteArray& patch, int strip = -1, bool dryRun = false);

    /**
     * The shelf: changes put aside and brought back later. shelve() saves
     * what createPatch() of the plug-in makes of @p paths (one client run),
     * and a copy of each unversioned file named among them, byte for byte,
     * as the shelf @p name, then reverts the paths (folders recursively)
     * and removes those unversioned files, only once the shelf is written
     * whole. Fails, changing nothing, when the name is taken or the paths
     * hold no change. Shelves live outside the working copy, in the user's
     * data folder (QStandardPaths::GenericDataLocation, svnscc/shelves/ and
     * a key of the working copy), and stay there after the session: another
     * session of the same working copy finds them. Each is written under a
     * temporary name and then renamed, so a crash leaves no half shelf (what
     * a killed writer left is cleaned up later). Needs a plug-in of version 3.
     */
    QFuture<Outcome> shelve(const QString& name, const QStringList& paths);
    /**
     * Applies the newest shelf named @p name back (the patch, then its
     * unversioned files) and removes it. When its patch does not apply
     * cleanly (a dry run first), or one of its unversioned files exists with
     * other bytes, nothing changes, the shelf is kept and the error says
     * what would not apply (the client's lines, the file).
     */
    QFuture<Outcome> unshelve(const QString& name);
    /** Every shelf of this working copy, newest first. */
    QFuture<Result<QList<Shelf>>> shelves();
    /** Removes the newest shelf named @p name without applying it. */
    QFuture<Outcome> dropShelf(const QString& name);
    /**
     * Whether revert() shelves the changes of its paths first (on by
     * default), as "before revert DATE PATHS" (DATE in UTC, ISO 8601), so
     * that unshelve() of that shelf undoes the revert; a revert whose
     * changes cannot be shelved is refused and reverts nothing. It costs one
     * client run (nothing is kept when the paths hold no change). Shelves of
     * revert older than 14 days, or beyond the 50 newest, are dropped. A
     * change applies to the calls made after it.
     */
    bool shelvesBeforeRevert() const;
    void setShelvesBeforeRevert(bool keep);

    /**
     * A function that does what cancel() does, for any thread, valid for as
     * long as it is kept: also while the session is being destroyed and
     * after it is gone, when it does nothing.
     */
    std::function<void()> canceller() const;

public slots:
    /**
     * Ends the operation that runs now: its client is stopped (a client that
     * writes gets a second, and the working copy is cleaned up after it), a
     * status pass stops before its next path, and its future gives
     * "cancelled". Operations queued after it still run. Does nothing
     * while nothing runs. Never blocks. Safe from any thread.
     */
    void cancel();

signals:
    /**
     * The status of a path changed: after an operation of this session (for
     * each path it named that lies in a folder the session was asked about,
     * and each path reported before below them), after the file changed on
     * disk or another client changed it, or in a later pass. Only paths this
     * session was asked about, or named in its operations, are told.
     */
    void statusChanged(const SvnScc::Status& status);
    /**
     * One item of the update, commit, add, revert, remove or check-out that
     * runs ("A    src/a.c", "Sending src/b.c": the line as the client prints
     * it), with the count of items so far, from 1 in each operation.
     */
    void progress(const QString& item, int itemsSoFar);
    /** One line of the plug-in's command log, from this session's calls (see Command log), or the session's own about its watch. */
    void commandLogged(const QString& line);
    /** The property offline changed. */
    void offlineChanged(bool offline);
    /** The property busy changed. */
    void busyChanged(bool busy);
    /** The property watching changed. */
    void watchingChanged(SvnScc::Session::Watching watching);
    /** The property branch changed. */
    void branchChanged(const QString& branch);
    /**
     * A server wants a user name and password for @p request's realm (see
     * Questions): answer @p reply with them, or decline it.
     */
    void credentialsRequired(const SourceCodeControl::CredentialsRequest& request, SvnScc::CredentialsReply* reply);
    /**
     * The client does not trust a server's certificate (see Questions):
     * answer @p reply with Reject, Once or Always.
     */
    void serverTrustRequired(const SourceCodeControl::ServerCertificate& certificate, SvnScc::CertificateReply* reply);
    /**
     * ssh asks something while a svn+ssh operation runs (see Questions):
     * answer @p reply with what the user types (shown as dots when
     * @p question is secret), or decline it.
     */
    void sshQuestionAsked(const SourceCodeControl::SshQuestion& question, SvnScc::SshReply* reply);

private:
    Q_DECLARE_PRIVATE(Session)
    const std::unique_ptr<SessionPrivate> d_ptr;
};

} // namespace SvnScc
