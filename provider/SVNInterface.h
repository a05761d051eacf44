#pragma once

#include "SVNClient.h"
#include "SVNFileStatus.h"
#include "SVNStatusPass.h"
#include "SVNWorkingCopyLayout.h"
#include <svnscc/SourceCodeControlSystemProviderInterface4.h>

#include <QString>
#include <QStringList>

class SVNInterfaceSeam;

/**
 * The Subversion provider. Every operation runs the svn command-line client
 * as a child process (SVNClient, with the command lines of SVNCommands) and
 * reads what it prints. Besides the client's output it reads only what the
 * working copy says of its folders: whether "<dir>/.svn/entries" exists, and
 * the client's own database ".svn/wc.db", read-only (SVNWorkingCopyLayout).
 *
 * Conventions of all operations:
 *  - An operation stops at the first failed client run and returns false;
 *    steps already done are not undone. A run fails when the client exits
 *    with a code other than 0, writes an error or warning of its own on
 *    standard error ("svn: E...", "svn: warning: W..."), cannot be started,
 *    or is ended by the time limit (on silence) or a cancel.
 *  - Every failed run records its subcommand and message, readable through
 *    getLastError(); so does a refusal that runs nothing (a file an update
 *    could not bring back, a checkout of another place). Nothing clears them.
 *  - Working-copy operations take path parts relative to the local root, run
 *    the client in localRootPath (or a directory below it) and end, after
 *    their last successful run, by re-reading the file's record
 *    (SVNStatusPass::reread(), saying what the operation did to it).
 *  - Every status run, and the cache it fills, belongs to the status pass
 *    (SVNStatusPass); the provider forwards to it.
 *  - A null comment is passed to the client as "". A path-parts list with no
 *    component is refused with false before anything runs.
 *
 * One object is used by one thread at a time, but for cancelOperation(),
 * which any thread may call; separate objects share nothing.
 */
class SVNInterface : public SourceCodeControlSystemProviderInterface4
{
public:
    /**
     * A provider with null strings, empty lists, an empty status cache and
     * locking off, answering `version` to interfaceVersion(): the entry
     * point it was made by (3 for those of versions 2 and 3, as before).
     */
    explicit SVNInterface(int version = 3);
    SVNInterface(const SVNInterface&) = delete;
    SVNInterface& operator=(const SVNInterface&) = delete;

    /**
     * Sets one host option, the key compared exactly (case-sensitive): the
     * three of SourceCodeControlOption that every host sets (SVNExecutable,
     * SVNRepositoryURL, SVNLockSupported, true only for "Yes"), and the three
     * that change nothing unless set: SVNPasswordFromStdin ("Yes"),
     * SVNTimeout (whole seconds; anything else is no limit) and
     * SVNStatusScope ("WorkingCopy"). Values are taken as given. Returns
     * false, changing nothing, for any other key.
     */
    bool setOption(const QString& key, const QString& value) override;
    /** Appends repositoryURL (null on a fresh provider) to `list`. Always true. */
    bool getRepositoryList(QStringList& list) override;
    /**
     * Stores the three values first (they stay stored whatever happens),
     * takes the provider back online, then runs "info" on repositoryURL.
     * True when that run succeeds.
     */
    bool login(const QString& userName, const QString& password,
               const QString& repositoryURL) override;
    /** Calls refresh() (through the interface). The credentials stay. Always true. */
    bool logout() override;
    /**
     * Binds an existing working copy. Sets localRoots and localRootPath
     * ("/" + parts joined by "/"); returns false without a run when
     * localRootPath is no working copy (see isWorkingCopy()). Otherwise runs
     * "info" on it and reads "URL:" and "Repository Root:": rootURL becomes
     * the URL value and repositoryRoots the URL's path below the repository
     * root. False when "info" fails (rootURL and repositoryRoots then keep
     * their old values).
     */
    bool setRoots(const QStringList& localRoots) override;
    /**
     * Binds the local root to repositoryURL + "/" + the repository roots,
     * each percent-encoded (rootURL). When localRootPath is already a working
     * copy nothing runs: true when its database records it as a checkout of
     * rootURL (the per-folder layout's entries files are never read, so such a
     * working copy is taken unchecked), otherwise false
     * with the last error ("checkout") naming both. Otherwise "checkout -N
     * rootURL <last local component>" runs in the local root's parent
     * directory and its result is returned.
     */
    bool setRoots(const QStringList& localRoots, const QStringList& repositoryRoots) override;
    /** Replaces both lists with localRoots and repositoryRoots. Always true. */
    bool getRoots(QStringList& localRoots, QStringList& repositoryRoots) override;
    /** Returns lockSupported. */
    bool checkOutSupported() override;
    /**
     * Empties the cache: every folder's records and repository answers, the
     * whole-tree passes, and the offline state (the repository is asked
     * again). Always true.
     */
    bool refresh() override;
    /**
     * The control state of one file: SVNStatusPass::ask() turned into the
     * interface's outputs (a record's flags and texts; not versioned: true,
     * every flag false, empty texts; in the repository only: controlled,
     * modified and outOfDate true, "missing" and "fixme", lastChangedText
     * untouched). False, controlled false and the rest untouched, when
     * neither the working copy nor the repository knows the file, or a run
     * failed or was cancelled; a remembered failure of the file's folder
     * becomes the last error again.
     */
    bool status(const QStringList& pathParts, bool& controlled, bool& checkedOut,
                bool& modified, bool& outOfDate, QString& statusText,
                QString& revisionText, QString& lastChangedText) override;
    /**
     * Adds and commits one file with `comment`. Each directory level on the
     * way that is no working copy is first brought in when the repository
     * has it ("info" probe): in a working copy of the central layout with
     * "update --force --set-depth" (infinity below a folder of that depth,
     * else empty), in one of the per-folder layout with "checkout
     * --non-recursive"; a level the repository lacks is added and committed
     * non-recursively. The status cache entry of each such level is dropped.
     * Then "add" and "commit" the file in its directory. False at the first
     * failed run (a failed probe only selects the add-and-commit path,
     * unless the time limit ended it); what was done before stays done.
     */
    bool addFile(const QStringList& pathParts, const QString& comment) override;
    /**
     * Re-reads one file's record, or a folder's with everything below it in
     * one local run (SVNStatusPass::reread(), as after an edit). Always true.
     */
    bool saved(const QStringList& pathParts) override;
    /**
     * Brings one file up to date: each directory level that is no working
     * copy is first brought into place (as addFile() does in the central
     * layout; "update --non-recursive" in the per-folder one) and its cache
     * entry dropped; with keepLocal false the local changes go first (see
     * discardLocalChanges()); then "update" on the file, or, for a file
     * external, "update" of the folder that defines it. False at the first
     * failed run or refusal.
     */
    bool getFile(const QStringList& pathParts, bool keepLocal) override;
    /**
     * Writes the file's text at `revision` ("cat --revision") to
     * `destination`, the client's bytes unchanged: the client writes into a
     * scratch file in the destination's folder, renamed over the destination
     * once the run succeeded. False, the destination as it was and the last
     * error ("cat") saying what failed, when the folder is missing, the run
     * fails (a full disk, a file-size limit: said so) or the file cannot be
     * written.
     */
    bool getTo(const QStringList& pathParts, const QString& revision,
               const QString& destination) override;
    /**
     * Takes the repository lock ("lock -m comment", done also when only the
     * post-lock hook failed) and sets the owner write bit of the local file.
     * With replaceLocal true, a changed or missing file first loses its
     * local changes (discardLocalChanges(): in the newer layout decided from
     * a fresh local status; in the per-folder layout from the cached record's
     * modified flag) and is updated from the repository (no lock is
     * requested if that fails). Without it no status is read before the
     * lock in the newer layout. False at the first failed run.
     */
    bool checkout(const QStringList& pathParts, const QString& comment, bool replaceLocal) override;
    /**
     * Releases the lock ("unlock", done also when only the post-unlock hook
     * failed). With discardChanges true the local changes go
     * (discardLocalChanges()) and, once the unlock succeeded, "update"
     * restores the file. In a working copy of the newer layout the unlock
     * runs first (its client cannot unlock a file that is gone), so a refused
     * unlock leaves the file; in the per-folder layout the file goes first
     * and a refused unlock leaves it deleted. Permissions are not changed.
     */
    bool undoCheckout(const QStringList& pathParts, bool discardChanges) override;
    /** Commits the file ("commit -m comment" in localRootPath). The cache is untouched on failure. */
    bool checkin(const QStringList& pathParts, const QString& comment) override;
    /** Always false; merging is not supported. */
    bool merged(const QStringList& pathParts, const QString& text) override;
    /** Leaves `root` unchanged. Always true. */
    bool getRoot(QString& root) override;
    /** Nothing is cached; always true. */
    bool refreshDirectoriesList(const QStringList& pathParts) override;
    /**
     * Runs "list" on repositoryURL + "/" + parts and appends, for every line
     * holding a "/", the text before its last "/" (the subdirectory names).
     * False, `names` unchanged, when the listing fails.
     */
    bool getDirectoriesList(const QStringList& pathParts, QStringList& names) override;
    /** As getDirectoriesList(), appending the lines without any "/" (the files). */
    bool getFilesList(const QStringList& pathParts, QStringList& names) override;
    /**
     * Creates repositoryURL + "/" + parent parts + "/" + name in the
     * repository ("mkdir" with the log message "Quillhaven Generated").
     */
    bool createDirectory(const QStringList& parentParts, const QString& name) override;
    /**
     * Sets `command` to the subcommand of the last failed run and returns its
     * message: the standard-error lines joined with "\n" (empty when it wrote
     * none), then which signal ended it when one did ("the client was ended
     * by signal 9 (SIGKILL)"); why it could not be started ("cannot run
     * 'svnx': not found"); or that the time limit stopped it. Both null
     * while nothing failed. Reading does not clear them.
     */
    QString getLastError(QString& command) override;

    // Version 2: the contracts are in SourceCodeControlSystemProviderInterface2.h.
    // Each checks its paths first (checkPaths()), runs the client once where
    // it can, and re-reads what it changed (SVNStatusPass::rereadItems()).

    /** The version given to the constructor. */
    int interfaceVersion() override;
    /** "add --parents --depth empty paths..." in the local root. */
    bool add(const QStringList& paths) override;
    /**
     * "commit paths..." in the local root, with the added parents the items
     * need among the targets ("--depth empty" then, unless a listed item is a
     * folder); the revision from "Committed revision N.". A commit stopped
     * before its end was seen is checked as checkin()'s is.
     */
    bool commit(const QStringList& paths, const QString& message, QString& newRevision) override;
    /** "revert [--depth infinity] paths..."; an item the working copy does not hold refuses the whole call first. */
    bool revert(const QStringList& paths, bool recursive) override;
    /** "delete [--keep-local] paths..."; an item the working copy does not hold refuses the whole call first. */
    bool remove(const QStringList& paths, bool keepLocal) override;
    /** "move --parents from to"; refused first when `to` exists on disk or in the working copy. */
    bool move(const QString& from, const QString& to) override;
    /** "update --accept postpone [--revision r] paths..."; the "C" lines of its output are the conflicts. */
    bool update(const QStringList& paths, const QString& revision, QStringList& conflicted) override;
    /** "resolve --accept working|base|mine-full|theirs-full path". */
    bool resolve(const QString& path, SourceCodeControl::Resolution choice) override;
    /** "log --xml --verbose [--limit n]" of the item's URL (up to the newest revision), read as XML. */
    bool log(const QString& path, int limit, QList<SourceCodeControl::LogEntry>& entries) override;
    /** "blame --xml" (with "--revision" unless WORKING), and the text: "cat" at the revision, or the working file. */
    bool annotate(const QString& path, const QString& revision, QList<SourceCodeControl::AnnotatedLine>& lines) override;
    /** "diff [--revision from[:to]] path" in the local root, its output through a file, byte for byte. */
    bool diff(const QString& path, const QString& from, const QString& to, QByteArray& unifiedDiff) override;
    /** "status folder" in the local root, every depth, no server. */
    bool changes(const QString& folder, QList<SourceCodeControl::Change>& changes) override;
    /** Keeps the handler; run() reports the item lines of the runs that make progress. */
    void setProgressHandler(ProgressHandler handler, void* context) override;
    /** "cleanup folder" in the local root; the folder's cached entries go. */
    bool cleanup(const QString& folder) override;

    // Version 3: the contracts are in SourceCodeControlSystemProviderInterface3.h.

    /** Hands the handler to the client, which asks it when a run fails for a question (SVNClient::run()). */
    void setPromptHandler(SourceCodeControl::SourceCodeControlSystemPromptHandler* handler) override;
    /** Removes the stored files of the realm's user name and password (SVNCredentialStore), running nothing. */
    bool forgetCredentials(const QString& realm) override;
    /** Whether the status pass holds a repository offline. */
    bool isOffline() override;
    /** The client's command log (SVNCommandLog), which the status pass and the database reader share. */
    void setCommandLogHandler(CommandLogHandler handler, void* context) override;

    bool info(const QStringList& paths, QList<SourceCodeControl::ItemInfo>& infos) override;
    bool copy(const QString& fromRepositoryPath, const QString& revision, const QString& toRepositoryPath,
              const QString& message, QString& newRevision) override;
    bool switchTo(const QString& path, const QString& repositoryPath, const QString& revision,
                  QStringList& conflicted) override;
    bool merge(const QString& path, const QString& sourceRepositoryPath, const QStringList& revisions, bool dryRun,
               bool recordOnly, QList<SourceCodeControl::ItemChange>& changes, QStringList& conflicted) override;
    bool mergeInfo(const QString& path, const QString& sourceRepositoryPath, bool merged,
                   QStringList& revisions) override;
    bool lock(const QStringList& paths, const QString& comment, bool steal) override;
    bool unlock(const QStringList& paths, bool breakLock) override;
    bool relocate(const QString& newRepositoryRoot) override;
    bool properties(const QString& path, QList<SourceCodeControl::Property>& properties) override;
    bool setProperty(const QStringList& paths, const QString& name, const QByteArray& value) override;
    bool deleteProperty(const QStringList& paths, const QString& name) override;
    bool ignore(const QStringList& paths) override;
    bool setChangelist(const QStringList& paths, const QString& name) override;
    bool logRange(const QString& path, const QString& startRevision, int limit, const QString& search,
                  QList<SourceCodeControl::LogEntry>& entries) override;
    bool changedBetween(const QString& path, const QString& from, const QString& to,
                        QList<SourceCodeControl::ItemChange>& changes) override;
    bool setDepth(const QString& path, SourceCodeControl::Depth depth) override;
    bool upgrade() override;
    bool createPatch(const QStringList& paths, QByteArray& patch) override;
    bool applyPatch(const QByteArray& patch, int strip, bool dryRun,
                    QList<SourceCodeControl::ItemChange>& changes) override;

    // Version 4.

    /** The whole-tree run of SVNStatusPass::listTree(), each entry handed over as status() answers it. */
    bool listStatus(SourceCodeControl::StatusReceiver& receiver, bool& listed) override;

    virtual ~SVNInterface();

    /**
     * Ends the operation another thread is running now (see SVNClient::cancel()):
     * it returns false, the last error giving its run's subcommand and
     * "cancelled". Does nothing while no operation runs. Thread-safe.
     */
    void cancelOperation();

    /** Stores the last-error pair. */
    void setLastError(const QString& command, const QString& message);

    /**
     * Runs `command` with its standard output written, byte for byte, to a
     * scratch file, and gives the bytes once it succeeded (a repeated
     * attempt starts the file again). False, `bytes` untouched, otherwise.
     */
    bool runToBytes(const SVNCommand& command, QByteArray& bytes);
    /** The repository URL of a root-relative item: the local root's URL and the item's names, encoded. */
    QString itemURL(const QString& item) const;
    /** A path below the local root (absolute) as a root-relative one ("" the root); other paths as they are. */
    QString rootRelative(const QString& path) const;
    /**
     * Runs a switch or merge, reading its item lines as they come: each into
     * `changes` (when not null) with its root-relative path and the client's
     * columns, and the conflicted ones into `conflicted`, both set only when
     * the run succeeded. True when it did.
     */
    bool readItemLines(const SVNCommand& command, QList<SourceCodeControl::ItemChange>* changes,
                       QStringList& conflicted);
    /**
     * The local root's repository URL is now `url` (a switch of the root, a
     * relocation, the binding; empty: not known, rootURL kept): rootURL, the
     * status pass and the repository roots follow it (names below the host's repository URL when the
     * working copy lies there, else below `repositoryRoot`).
     */
    void adoptRootURL(const QString& url, const QString& repositoryRoot);
    /**
     * The properties of `item` (root-relative) from the working copy alone
     * ("proplist --verbose --xml"), sorted by name, values byte for byte;
     * false with the last error when the run fails or its XML cannot be read.
     */
    bool readProperties(const QString& item, QList<SourceCodeControl::Property>& properties);
    /**
     * "propset name --file F items..." with `value` written byte for byte
     * into F, a file in a private temporary folder removed afterwards.
     */
    bool writeProperty(const QStringList& items, const QString& name, const QByteArray& value);

    /** localRootPath followed by "/" and each component but the last. */
    QString getLocalDirectory(const QStringList& pathParts);

private:
    friend class SVNInterfaceSeam;

    /**
     * Every operation's one entry: the span in which cancelOperation() acts,
     * and no exception reaching the host (an allocation failure is false).
     */
    template <typename Body>
    bool guarded(Body&& body)
    {
        try {
            const SVNClient::Operation operation(client);
            progressItems = 0;
            return body();
        } catch (...) {
            return false;
        }
    }

    /**
     * Runs `command`; when it does not succeed, or succeeds only as the retry
     * table accepts (a hook that failed after it), records its subcommand and
     * message as the last error. Returns how it went. The item lines of an
     * add, commit, revert, delete, update or checkout go to the progress
     * handler as they come, when one is set.
     */
    SVNRunResult run(const SVNCommand& command, const SVNOutput& output);
    /** As above with the output lines in `lines` (cleared first); true when the run succeeded. */
    bool run(const SVNCommand& command, QStringList& lines);
    /** As above, the output discarded. */
    bool run(const SVNCommand& command);
    /**
     * Runs a commit of `pathParts` (relative to the local root); true when
     * it succeeded, or when it was stopped (time limit, cancel) before its
     * end was seen and landed() finds it made. Otherwise false, and with
     * `addedHere` (the operation scheduled the item for addition itself)
     * the item is unscheduled again ("revert"), so nothing stays "A".
     */
    bool commit(const SVNCommand& command, const QStringList& pathParts, bool addedHere);
    /**
     * Whether a commit of `pathParts` with `message`, stopped before its end
     * was seen, was made all the same: the newest revision of the item's URL
     * ("log --xml --limit 1", run even after a cancel, with the time limit)
     * is newer than the item's base and carries this message and user. Then
     * the item is brought to it ("update"), so the next commit is not out of
     * date. False when the server does not answer.
     */
    bool landed(const QStringList& pathParts, const QString& message);
    /**
     * The revision a stopped commit with `message` made, as landed() finds
     * it for the item `pathParts` (the item then not updated); empty when
     * it made none, or the server does not answer.
     */
    QString landedRevision(const QStringList& pathParts, const QString& message);
    /**
     * The paths of a version-2 operation, each made one root-relative path
     * ("" the local root, "." and empty components dropped) into `items`;
     * false, with the last error for `subcommand`, for an empty list, an
     * absolute path or one with a ".." component.
     */
    bool checkPaths(const char* subcommand, const QStringList& paths, QStringList& items);
    /**
     * Refuses a call on `items` (root-relative) of which the working copy
     * does not hold some, by its records (a working copy of the per-folder
     * layout has none to ask): true, with the last error for `subcommand`
     * naming them and saying `why` that is refused.
     */
    bool refusedUnversioned(const char* subcommand, const QStringList& items, const QString& why);
    /** The absolute path of a root-relative item. */
    QString localPath(const QString& item) const;
    /** SVNWorkingCopyLayout::isWorkingCopy(). */
    bool isWorkingCopy(const QString& directory);
    /**
     * Brings the folder `name`, missing from the central working copy that
     * holds `parentDirectory`, into that working copy: "update --force
     * --set-depth D name" in the parent, D being "infinity" below a parent of
     * that depth (what a plain update would bring) and "empty" otherwise.
     */
    bool fetchFolder(const QString& parentDirectory, const QString& parentDepth, const QString& name);
    /**
     * Makes way for the repository's text of a file before an update that is
     * to replace the local one. In a working copy of the newer layout it is
     * decided from a fresh local status of the file ("status --verbose"):
     * a conflict ("C" in column 1, 2 or 7), a replacement ("R") or a
     * property change is reverted; a modified file ("M") is deleted; a
     * missing or unchanged one is left for the update; an unversioned,
     * ignored, added, deleted or obstructed one is left alone and the answer
     * is false, with the last error ("update") naming the file and why. In
     * the per-folder layout the file is deleted. `changed`: there was
     * something local to discard (or the file is missing), so an update is
     * due.
     */
    bool discardLocalChanges(const QStringList& pathParts, bool& changed);
    /** localRootPath + "/" + the path parts joined by "/". */
    QString localFilePath(const QStringList& pathParts) const;
    /** "update" of one file, addressed from the local root. */
    bool updateFile(const QStringList& pathParts);
    /** "list" of repositoryURL + "/" + the path parts. */
    bool listRepositoryDirectory(const QStringList& pathParts, QStringList& output);

    /** The client and how it runs: executable, credentials, password route, time limit. */
    SVNClient client;
    QString repositoryURL;
    QStringList localRoots;
    QStringList repositoryRoots;
    QString localRootPath;
    QString rootURL;
    bool lockSupported = false;
    QString lastErrorCommand;
    QString lastErrorMessage;
    /** The working copies' own databases, read to tell which folders are versioned. */
    SVNWorkingCopyLayout workingCopyLayout;
    /** The status cache and every status run. */
    SVNStatusPass statusPass;
    const int offeredVersion;
    /** Where the item lines of long runs go (setProgressHandler()), and how many went in this operation. */
    ProgressHandler progressHandler = nullptr;
    void* progressContext = nullptr;
    int progressItems = 0;
};
