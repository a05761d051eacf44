#pragma once

/**
 * @file
 * The contract between an IDE (the host) and the Subversion provider
 * plug-in libsvnscc.so.
 *
 * The host opens the plug-in with dlopen(), looks up the entry points
 * declared at the end of this file (the third, to cancel, is optional),
 * makes one provider with
 * AllocateSourceCodeControlSystemInterface() and drives it only through
 * SourceCodeControlSystemProviderInterface. Every operation runs the svn
 * command-line client as a child process and returns when it has ended.
 *
 * Threads: a provider is used by one thread at a time (any thread; a GUI
 * host keeps it on a worker thread so that the window never waits for svn).
 * Separate providers share nothing and may run at once. The one call that
 * is safe from any thread while another is inside the provider is
 * CancelSourceCodeControlSystemOperation().
 *
 * Command log: every client run is logged in the Qt logging category
 * "svnscc.client" (debug level; off unless enabled, for example with
 * QT_LOGGING_RULES="svnscc.client.debug=true" or
 * QLoggingCategory::setFilterRules()), through the host's message handler:
 * where and what runs (the password shown as "******"), how it ended, and
 * the decisions the provider takes (a repeat, a wait, going offline, a
 * clean-up).
 *
 * Signals: the plug-in installs no handler and changes no process-wide
 * setting. It needs SIGCHLD not to be ignored (SIG_IGN or SA_NOCLDWAIT
 * discards every exit status, and every operation then fails), and no
 * handler of the host may reap children it did not start.
 *
 * The host owns the Qt application object; the plug-in uses the host's Qt
 * (6.x, Core).
 */

#include <QString>
#include <QStringList>

/**
 * The keys of the host options that setOption() takes, compared exactly
 * (case-sensitive). The first three have no defaults; every host sets them.
 * The other three (PasswordFromStdin, Timeout, StatusScope) change nothing
 * unless a host sets them.
 */
namespace SourceCodeControlOption {
/** The svn client to run: a path, or a name looked up along PATH (e.g. "svn"). */
inline constexpr char Executable[] = "Environment/Source Code Control/SVNExecutable";
/** The repository URL: the base of login, repository browsing and the two-list setRoots(). */
inline constexpr char RepositoryURL[] = "Environment/Source Code Control/SVNRepositoryURL";
/** "Yes" (exactly) offers check-out (locking); any other value turns it off. */
inline constexpr char LockSupported[] = "Environment/Source Code Control/SVNLockSupported";
/**
 * "Yes" (exactly): the password reaches the client on its standard input
 * ("--password-from-stdin", svn 1.10 and later) instead of as a command-line
 * argument, which any local user can read while the client runs. Unset or
 * any other value: as an argument. Either way only when a user name is set
 * (see login()).
 */
inline constexpr char PasswordFromStdin[] = "Environment/Source Code Control/SVNPasswordFromStdin";
/**
 * Whole seconds one client run may stay silent; unset, 0 or not a number:
 * no limit. Silent means that neither the client nor anything it started
 * (ssh, for svn+ssh) has printed anything or moved a byte: read or written
 * a file, a pipe or the network, or seen the data it handed to the network
 * leave. A long commit over a slow link therefore runs as long as it needs.
 * A run silent that long is ended (with whatever it started: at once when
 * it only reads; a run that changes the working copy gets two seconds to
 * stop, and "svn cleanup" then runs on that working copy, so it is not left
 * locked) and its operation fails at once, getLastError() saying that the
 * client was silent for that many seconds and when it was stopped.
 */
inline constexpr char Timeout[] = "Environment/Source Code Control/SVNTimeout";
/**
 * "WorkingCopy" (exactly): the first status() of a folder below the local
 * root runs the client once for the whole local root ("svn status
 * --show-updates --verbose", all depths) and fills every folder it lists;
 * a name that run did not list is then answered as not versioned, with no
 * further run. Unset or any other value: one run per folder, when a folder
 * is first asked about. Set it unless the IDE shows only a few folders of a
 * huge working copy.
 */
inline constexpr char StatusScope[] = "Environment/Source Code Control/SVNStatusScope";
} // namespace SourceCodeControlOption

/**
 * The source-code-control provider as the host sees it.
 *
 * The order and the signatures of the 24 operations below form a binary
 * interface: never reorder, insert or change them. There is deliberately no
 * virtual destructor (it would add a slot); hand the provider back to
 * ReleaseSourceCodeControlSystemInterface(), never delete it.
 *
 * How the interface grows: no slot is ever added to this class. New
 * operations are appended, in order, to a new interface derived from it,
 * which the plug-in hands out through a new entry point of its own. That
 * entry point is optional: a host looks it up with dlsym() and keeps to
 * this interface when an older plug-in lacks it. A derived interface
 * answers interfaceVersion(), and a host asks it before calling any slot
 * that came after these 24.
 *
 * Path parts: an operation taking a `const QStringList&` of path parts takes
 * ONE path split into its components, never a list of files. For working-copy
 * operations they are relative to the local root ({"src", "main.c"}: the
 * last one is the file's name); for repository browsing they are relative to
 * the repository URL. An empty list is refused with false where a file is
 * meant.
 *
 * Results: every operation except getLastError() returns true on success
 * and false on failure; nothing is thrown. A client run fails when the
 * client exits with a code other than 0 or writes an error or warning of
 * its own on standard error ("svn: E...", "svn: warning: W..."; other lines
 * there, such as a server's login banner, are logged and ignored); an
 * operation stops at its first failed run, and what it did before stays
 * done.
 *
 * The last error: every false result sets it, to the svn subcommand that
 * failed and its error lines, or, for a refusal that runs no client (a
 * folder that is no working copy, a file an update could not bring back, a
 * checkout of another place), to the subcommand it would have run and why.
 * Two false results leave it as it was: merged(), which is never supported,
 * and an empty path-parts list, refused before anything runs. A true result
 * leaves it too, unless a hook failed after the work was done (see
 * checkout(), undoCheckout(), checkin()). Nothing clears it, so read it
 * right after the failing call.
 *
 * The client runs only in the folder the operation means: a folder that is
 * missing on disk is a refusal, never a run in the host's current folder.
 *
 * Log messages and lock comments reach the client through a UTF-8 file in a
 * private temporary folder ("--file" FILE "--encoding" "UTF-8"), removed
 * afterwards: a message of any size (a pasted build log) and any first
 * character ("-") works, and none shows in the process list.
 *
 * Status cache: status() answers from records the provider keeps per
 * folder, each filled by one "svn status" run (or every folder of a working
 * copy by one run, with the StatusScope option); saved() and every
 * operation that changes a file re-read that one file's record, and
 * refresh() forgets them all.
 *
 * Reading the status characters (statusText, the client's seven columns):
 *  - column 1, the file itself: " " unchanged, "A" scheduled for addition,
 *    "C" in a text conflict, "D" scheduled for deletion, "I" ignored, "M"
 *    modified, "R" replaced, "X" an external definition's folder, "?" not
 *    under version control, "!" missing on disk (or incomplete), "~" in the
 *    way of a versioned item of another kind (an obstruction);
 *  - column 2, its properties: " ", "M" modified, "C" in a conflict;
 *  - column 3: "L" the working copy is locked by a client at work (or left
 *    so by one that was stopped);
 *  - column 4: "+" added with history (copied or moved here);
 *  - column 5: "S" switched to another place, "X" a file external;
 *  - column 6, the repository lock: "K" held here (checkedOut), "O" held
 *    by someone else, "T" taken from this working copy by someone else,
 *    "B" broken;
 *  - column 7: "C" a tree conflict (the file was edited here and deleted,
 *    moved or replaced there, or the reverse).
 * outOfDate comes from the client's separate out-of-date mark ("*"), and
 * modified keeps its narrow meaning: "M" or "!" in column 1. An IDE shows a
 * conflict from "C" in column 1, 2 or 7 (resolve it before committing), an
 * addition from "A" (or "+"), a deletion from "D", a missing file from "!",
 * and a lock held elsewhere from "O".
 */
class SourceCodeControlSystemProviderInterface
{
public:
    /**
     * Sets one host option (see SourceCodeControlOption); the value is taken
     * as given, no check is made. Returns false, changing nothing, for a key
     * the provider does not know.
     */
    virtual bool setOption(const QString& key, const QString& value) = 0;

    /** Appends the one repository URL the provider knows (null before it was set). Always true. */
    virtual bool getRepositoryList(QStringList& list) = 0;

    /**
     * Stores the three values (they stay stored whatever happens; every later
     * run but "add" carries the user name and password), then checks them
     * with "svn info" on @p repositoryURL. From then on the repository is
     * asked for status again, after it could not be reached.
     *
     * Credentials: every run but "add" gets "--non-interactive" and
     * "--no-auth-cache" (the client never asks and stores nothing). With a
     * user name it also gets "--username" and the password (as an argument
     * or on standard input, see PasswordFromStdin). With an empty user name
     * (and before any login()) it gets neither, whatever the password: the
     * client then uses what it has cached (a login made in a terminal) or
     * the OS login name, which over file:// becomes a commit's author.
     * @return false when the client refuses (wrong password, unreachable or
     *         untrusted server); getLastError() then gives "info" and the
     *         client's error lines.
     */
    virtual bool login(const QString& userName, const QString& password,
                       const QString& repositoryURL) = 0;

    /** Forgets the status cache, as refresh() does; the credentials stay. Always true. */
    virtual bool logout() = 0;

    /**
     * Binds an existing working copy as the local root: @p localRoots is its
     * absolute path split into components ({"home", "ann", "proj"}). Runs
     * "svn info" on it to learn its place in the repository (read back with
     * getRoots()): the repository roots are the names below the
     * repository URL option when the working copy lies below it, otherwise
     * below the repository's root; so what getRoots() gives, the two-list
     * setRoots() takes back.
     * @return false, running nothing, when the folder is no working copy
     *         (getLastError(): "info", "... is not a working copy"); false
     *         when "info" fails.
     */
    virtual bool setRoots(const QStringList& localRoots) = 0;

    /**
     * Binds the local root to @p repositoryRoots below the repository URL
     * (both split into components; a component is a name, percent-encoded
     * here on its way into the URL). When the local root is no working copy
     * yet, checks it out there non-recursively ("svn checkout -N", run in
     * its parent folder, which must exist); when it already is one of svn
     * 1.7 or later, checks from its database, with no client run, that it
     * is a checkout of that place. A working copy of the per-folder layout
     * (".svn/entries" in every folder, whose contents the provider never
     * reads) is taken as it is, unchecked.
     * @return false when the check-out fails, when the existing working
     *         copy is a checkout of another place (getLastError():
     *         "checkout" and both locations), or for the file-system root
     *         itself (an empty @p localRoots).
     */
    virtual bool setRoots(const QStringList& localRoots,
                          const QStringList& repositoryRoots) = 0;

    /**
     * Replaces both lists with the local and repository roots last set. The
     * repository components are names ("My Project", never "My%20Project").
     * Always true.
     */
    virtual bool getRoots(QStringList& localRoots, QStringList& repositoryRoots) = 0;

    /** Whether the host should offer check-out (the SVNLockSupported option). */
    virtual bool checkOutSupported() = 0;

    /**
     * Forgets the status cache and the repository's answers, so that the
     * next status() asks the client again, and the server too after it could
     * not be reached. Always true.
     */
    virtual bool refresh() = 0;

    /**
     * The control state of one file (or folder), from the status cache; the
     * first question about a folder fills its records with one
     * "svn status --non-recursive --show-updates --verbose" run inside it
     * (or, with the StatusScope option, every folder of its working copy
     * with one "svn status --show-updates --verbose --ignore-externals" run
     * at the working copy's top; an external or a nested working copy is
     * read by a run of its own when first asked about).
     *
     * With a record: true; @p controlled true; @p checkedOut: locked in
     * this working copy ("K"); @p modified: changed or missing locally;
     * @p outOfDate: the repository holds a newer revision; @p statusText:
     * the client's seven status columns; @p revisionText and
     * @p lastChangedText: working and last-changed revision. An unversioned
     * file has a record too, from its folder's "?" line: true, controlled
     * and the other flags false, its columns, empty revisions.
     *
     * Not versioned, answered by the working copy with no client run: true,
     * every flag false, empty texts. That is a file without a record whose
     * folder is on disk in a working copy of svn 1.7 or later: an ignored
     * file, one inside an unversioned or ignored folder, any name a folder's
     * run did not list.
     *
     * The repository is asked about a file without a record only when its
     * folder is not on disk (missing, excluded, never fetched in a sparse
     * checkout), or in a working copy of the per-folder layout ("svn info"
     * on the file's URL, once; the answer is kept until refresh(), or
     * saved() for the file): when it has the file, true with controlled,
     * modified and outOfDate true, checkedOut false, "missing" and "fixme",
     * @p lastChangedText untouched.
     *
     * When a repository cannot be reached (connection refused or timed out,
     * a name that does not resolve, credentials or certificate refused, the
     * time limit), its folders are read from the working copy alone (out of
     * date false; files it does not list are not versioned) and that
     * repository is asked no more until refresh(), logout() or login(); the
     * server's error stays in getLastError(). An external from another
     * server that is down takes only its own repository offline.
     *
     * A folder whose run fails for a reason of the working copy itself (it
     * needs "svn upgrade", it is of a newer client, its database is broken)
     * is remembered: every status() of its files until refresh() returns
     * false at once with that run's error in getLastError(), running nothing.
     * @return false, @p controlled false and the other outputs untouched,
     *         when neither knows the file (getLastError(): "info"), when the
     *         folder's run failed, or when the operation was cancelled.
     */
    virtual bool status(const QStringList& pathParts, bool& controlled, bool& checkedOut,
                        bool& modified, bool& outOfDate, QString& statusText,
                        QString& revisionText, QString& lastChangedText) = 0;

    /**
     * Adds one file and commits it at once with @p comment. Each folder on
     * the way that is not versioned is first brought in: from the
     * repository when it has it ("svn info" on its URL), or, when the
     * repository answers "not found" (and only then), added and committed on
     * its own. Whatever this call scheduled for addition and could not
     * commit is unscheduled again ("svn revert"), so nothing is left "A".
     * @return false at the first failed run ("info" when the repository
     *         could not say whether it has a folder: nothing is added; "add",
     *         "commit", "update" or "checkout" otherwise); a folder committed
     *         before stays committed. A file already under version control
     *         fails at its "add"; a versioned folder missing on disk is
     *         refused by name before anything runs ("add").
     */
    virtual bool addFile(const QStringList& pathParts, const QString& comment) = 0;

    /**
     * Re-reads one file's record after the host wrote the file, when its
     * folder is in the status cache; runs nothing otherwise. In a working
     * copy of svn 1.7 or later the run is local ("svn status --verbose
     * FILE", no server), and what only the server knows is kept from the
     * cached record: the out-of-date mark and a lock held elsewhere ("O",
     * "T", "B"). (The per-folder layout asks the server: "svn status
     * --show-updates --verbose FILE".) Every operation below that changes a
     * file ends with the same re-read; a commit or an update of the file
     * clears its out-of-date mark, a lock or unlock takes the lock column
     * from the local run. A file the client no longer lists (its deletion
     * committed) loses its record. A failed run keeps the old record. Always
     * true. A folder (pathParts naming one) is re-read with everything
     * below it in one local run at the local root ("svn status --verbose
     * --ignore-externals FOLDER"), kept the same way, when it or a folder
     * below it is cached.
     */
    virtual bool saved(const QStringList& pathParts) = 0;

    /**
     * Brings one file up to date ("svn update"), fetching folders on the way
     * that are not local; with @p keepLocal true the client merges the
     * repository's changes into local ones. With false, local changes go,
     * but never what no update brings back, decided from the working copy as
     * it is at that moment (a local "svn status --verbose" of the file, never
     * the cache): a modified file is deleted first so that the update
     * restores the repository's text; a conflicted or replaced one, or one
     * whose properties changed, is reverted ("svn revert") first; an
     * unversioned, ignored, added, deleted or obstructed file is left as it
     * is and nothing more runs. A file external is brought up to date with the folder
     * that defines it ("svn update" of that folder: the client updates file
     * externals only so).
     * @return false at the first failed run ("update", "revert"), or when
     *         the file is left as it is (getLastError(): "update", the file
     *         and why).
     */
    virtual bool getFile(const QStringList& pathParts, bool keepLocal) = 0;

    /**
     * Writes the file's text at @p revision ("svn cat --revision") to
     * @p destination, byte for byte, through a scratch file in the
     * destination's folder that replaces it only when complete (an existing
     * file keeps its permissions; a link is written through). The status
     * cache and the working copy are left alone.
     * @return false, an existing destination byte for byte as it was, when
     *         the run fails or the text cannot be written (getLastError():
     *         "cat" and what failed: "no room left on the device writing
     *         ...", "the folder ... does not exist", ...).
     */
    virtual bool getTo(const QStringList& pathParts, const QString& revision,
                       const QString& destination) = 0;

    /**
     * Checks a file out for editing: takes its repository lock ("svn lock",
     * the comment through a file) and makes the local file writable; a lock
     * belongs to a user, so without a user name (login()) it is refused at
     * once ("lock", "... call login() ..."), running nothing. Nothing else runs but
     * the re-read (see saved()). With @p replaceLocal a file that is locally
     * changed or missing, as the working copy shows it at that moment, first
     * gets the repository's text, as getFile() with keepLocal false does it
     * (a file it would leave as it is gets no lock either).
     * @return false when the lock is refused (another user holds it, the
     *         access rules forbid it: "lock") or the replacing update fails
     *         ("update"; no lock is then asked for). A lock taken whose
     *         post-lock hook failed is held: true, the hook's message in
     *         getLastError().
     */
    virtual bool checkout(const QStringList& pathParts, const QString& comment,
                          bool replaceLocal) = 0;

    /**
     * Releases the lock ("svn unlock"). With @p discardChanges the local
     * changes go too: the file is restored from the repository.
     * @return false when the unlock is refused ("unlock"; the local file is
     *         then as it was with working copies of svn 1.7 and later) or the
     *         restoring update fails ("update"). A lock released whose
     *         post-unlock hook failed is released: true, the hook's message in
     *         getLastError(). Discarding follows getFile()'s rules.
     */
    virtual bool undoCheckout(const QStringList& pathParts, bool discardChanges) = 0;

    /**
     * Commits one file (or folder) with @p comment as the log message. The
     * client's defaults apply: a lock held on the file is released. A commit
     * stopped by the time limit or a cancel before its end was seen (a slow
     * post-commit hook, a link that failed at the end) is checked: the
     * server is asked once ("svn log --xml --limit 1" of the file's URL, with
     * the time limit; 300 ms after a cancel) whether its newest revision is
     * newer than the file's base and carries this message and user. Then the
     * commit landed: the file is updated to it and the answer is true (the
     * stop stays in getLastError() and the command log).
     * @return false when the commit is refused ("commit"), or was stopped and
     *         did not land (or the server did not say); the status cache is
     *         then untouched. A commit made whose post-commit hook failed
     *         counts as made: true, the hook's message in getLastError().
     */
    virtual bool checkin(const QStringList& pathParts, const QString& comment) = 0;

    /** Merging is not supported: always false. */
    virtual bool merged(const QStringList& pathParts, const QString& text) = 0;

    /** Leaves its argument untouched. Always true. */
    virtual bool getRoot(QString& root) = 0;

    /** Listings are never cached, so there is nothing to refresh. Always true. */
    virtual bool refreshDirectoriesList(const QStringList& pathParts) = 0;

    /**
     * Appends the names of the subfolders of a repository folder (path parts
     * relative to the repository URL, each a name that is percent-encoded
     * on its way into the URL; none for its root), from "svn list".
     * @return false, @p names untouched, when the listing fails ("list").
     */
    virtual bool getDirectoriesList(const QStringList& pathParts, QStringList& names) = 0;

    /** As getDirectoriesList(), appending the names of the files. */
    virtual bool getFilesList(const QStringList& pathParts, QStringList& names) = 0;

    /**
     * Creates the folder @p name below a repository folder with an immediate
     * commit ("svn mkdir", log message "Quillhaven Generated").
     * @return false when the client refuses, for example because the folder
     *         exists ("mkdir").
     */
    virtual bool createDirectory(const QStringList& parentParts, const QString& name) = 0;

    /**
     * The last error: sets @p command to the svn subcommand of the last failed
     * run (or refusal) and returns its error lines joined with "\n" (in
     * English; empty when the client wrote nothing), then, when a signal
     * ended the client (the out-of-memory killer, a crash), which one ("the
     * client was ended by signal 9 (SIGKILL)"); or why the client could not
     * be started ("cannot run 'svnx': not found"), why nothing ran, or that
     * the time limit stopped it and after how long. Both null while nothing has failed. Reading does not
     * clear them.
     */
    virtual QString getLastError(QString& command) = 0;

protected:
    // Not virtual on purpose (see above); protected so nobody deletes through it.
    ~SourceCodeControlSystemProviderInterface() = default;
};

extern "C" {
/** Creates an independent provider (null when out of memory). The caller owns it until it hands it back. */
SourceCodeControlSystemProviderInterface* AllocateSourceCodeControlSystemInterface();
/** Destroys a provider made by AllocateSourceCodeControlSystemInterface(); null is ignored. */
void ReleaseSourceCodeControlSystemInterface(SourceCodeControlSystemProviderInterface* provider);
/**
 * Cancels the operation that another thread is running in @p provider now
 * (a user's Cancel button). Safe from any thread at any time between
 * AllocateSourceCodeControlSystemInterface() and
 * ReleaseSourceCodeControlSystemInterface() for @p provider, never after the
 * release has begun: a host that cancels from another thread makes the
 * release wait for a cancel call in progress. Returns at
 * once, never blocking for longer than it takes to send a signal.
 *
 * The svn client running then is ended: at once when it only reads; when
 * it changes the working copy, with SIGTERM and SIGKILL a second later,
 * after which "svn cleanup" runs there so the working copy stays usable.
 * A wait for another client's lock on the working copy ends too, and the
 * operation starts no further run. It returns false, and getLastError()
 * gives that run's subcommand and "cancelled". A call while no operation
 * runs does nothing, and later operations are not affected. Null is
 * ignored. Hosts that do not look this entry point up lose nothing.
 */
void CancelSourceCodeControlSystemOperation(SourceCodeControlSystemProviderInterface* provider);
}

/** The type of AllocateSourceCodeControlSystemInterface(), for a host that looks it up with dlsym(). */
using AllocateSourceCodeControlSystemInterfaceFn = SourceCodeControlSystemProviderInterface* (*)();
/** The type of ReleaseSourceCodeControlSystemInterface(), for a host that looks it up with dlsym(). */
using ReleaseSourceCodeControlSystemInterfaceFn = void (*)(SourceCodeControlSystemProviderInterface*);
/** The type of CancelSourceCodeControlSystemOperation(), for a host that looks it up with dlsym(). */
using CancelSourceCodeControlSystemOperationFn = void (*)(SourceCodeControlSystemProviderInterface*);
