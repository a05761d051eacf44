#pragma once

#include <QString>
#include <QStringList>

/** The svn subcommands the provider runs, spelled as the client takes them. */
namespace SVNSubcommand {
inline constexpr char Add[] = "add";
inline constexpr char Blame[] = "blame";
inline constexpr char Changelist[] = "changelist";
inline constexpr char Cat[] = "cat";
inline constexpr char Checkout[] = "checkout";
inline constexpr char Cleanup[] = "cleanup";
inline constexpr char Commit[] = "commit";
inline constexpr char Copy[] = "copy";
inline constexpr char Delete[] = "delete";
inline constexpr char Diff[] = "diff";
inline constexpr char Info[] = "info";
inline constexpr char List[] = "list";
inline constexpr char Lock[] = "lock";
inline constexpr char Log[] = "log";
inline constexpr char Merge[] = "merge";
inline constexpr char Mergeinfo[] = "mergeinfo";
inline constexpr char Mkdir[] = "mkdir";
inline constexpr char Move[] = "move";
inline constexpr char Patch[] = "patch";
inline constexpr char Propdel[] = "propdel";
inline constexpr char Proplist[] = "proplist";
inline constexpr char Propset[] = "propset";
inline constexpr char Relocate[] = "relocate";
inline constexpr char Resolve[] = "resolve";
inline constexpr char Revert[] = "revert";
inline constexpr char Status[] = "status";
inline constexpr char Switch[] = "switch";
inline constexpr char Unlock[] = "unlock";
inline constexpr char Update[] = "update";
inline constexpr char Upgrade[] = "upgrade";

/** Whether a run of `subcommand` only reads the working copy or never touches it (no clean-up after a stop). */
bool onlyReads(const QString& subcommand);
} // namespace SVNSubcommand

/**
 * One run of the svn client as the provider means it: the subcommand, its
 * own arguments, where it runs and what it acts on. SVNClient turns it into
 * the argument vector: the executable, the subcommand, the arguments, the
 * credentials when the run carries them, then the target's operands.
 */
struct SVNCommand
{
    SVNCommand() = default;
    /**
     * A run of `subcommand` with `arguments` on `target` in
     * `workingDirectory`; a subcommand that does not only read changes the
     * working copy there (`workingCopy`).
     */
    SVNCommand(const QString& subcommand, const QStringList& arguments, const QString& workingDirectory,
               const QString& target);

    QString subcommand;
    /** The subcommand's own arguments, right after it. */
    QStringList arguments;
    /** Where the client runs; null: the host's current folder. */
    QString workingDirectory;
    /** A path (relative to the working directory) or URL, the last argument; empty: none. */
    QString target;
    /** Several such targets, when `target` is empty: the last arguments, in this order. */
    QStringList targets;
    /** Targets holding "@" get the empty peg revision "@" (a local diff takes none). */
    bool pegTargets = true;
    /** The last target is taken literally, with no peg (a move's destination). */
    bool literalLastTarget = false;
    /**
     * A folder of the working copy the run changes, where a clean-up runs
     * when the run is stopped half-way (it would leave the working copy
     * locked); empty for a run that only reads.
     */
    QString workingCopy;
    /**
     * The run follows a stop of the operation (a check after a stopped
     * commit, an undo): a cancel does not keep it from running, it gets one
     * attempt, and it gets the time limit (ten seconds when none is set), or
     * after a cancel 300 milliseconds at most.
     */
    bool afterStop = false;
    /**
     * A question run: the client may ask ("--force-interactive" instead of
     * "--non-interactive", no password, the stored credentials used and
     * kept), and reads `answers` on standard input, which end there. Only to
     * see what the client asks (a realm, a certificate) and to give it the
     * answers it stores itself.
     */
    bool interactive = false;
    QByteArray answers;
    /** The run passes a log message or lock comment, `message` (null: ""), through a file. */
    bool hasMessage = false;
    QString message;

    /**
     * Whether the run carries "--no-auth-cache", "--non-interactive" and the
     * credentials: every subcommand but exactly "add", which never talks to
     * the repository.
     */
    bool carriesCredentials() const;

    /**
     * The targets as the client must read them, always as paths or URLs: "--"
     * first when one starts with "-" (or it would be read as options), and
     * an empty peg revision "@" after each that holds an "@" (or the last
     * one would be read as a peg revision), unless `pegTargets` is false or
     * it is a literal last target. A check-out's target is the folder to
     * create, where the client reads no peg revision. Empty without targets.
     */
    QStringList operands() const;
};

/**
 * The command lines the provider runs, one function per kind of run. Each
 * spelling here is what hosts and tests rely on, so it is written once and
 * on purpose not unified ("-N" for the root's check-out and
 * "--non-recursive" elsewhere). Every log message and lock comment is
 * carried by the command (`message`) and reaches the client through a file
 * ("--file" FILE "--encoding" "UTF-8", see SVNClient); a null one is "".
 */
namespace SVNCommands {

/** "info" on a URL or absolute path, in the host's current folder (login, roots, probes). */
SVNCommand info(const QString& pathOrURL);

/** "checkout -N url folder" in `parentDirectory`: the local root's own check-out. */
SVNCommand checkOutRoot(const QString& url, const QString& parentDirectory, const QString& folderName);

/** "checkout --non-recursive url" with target `name` in `directory`: a folder level of the per-folder layout. */
SVNCommand checkOutFolder(const QString& url, const QString& directory, const QString& name);

/**
 * "update --force --set-depth depth name" in `directory`: brings a missing
 * folder into a working copy of the central layout. --force takes a local
 * folder of the same name in as it is, instead of a tree conflict.
 */
SVNCommand fetchFolder(const QString& directory, const QString& name, const QString& depth);

/** "update --non-recursive name" in `directory`: a folder level of the per-folder layout. */
SVNCommand updateFolder(const QString& directory, const QString& name);

/** "add --non-recursive --quiet name" in `directory`. */
SVNCommand add(const QString& directory, const QString& name);

/** "commit --non-recursive" with `message`, name in `directory`: a folder just added. */
SVNCommand commitFolder(const QString& directory, const QString& name, const QString& message);

/** "commit" with `message`, name in `directory`: a file just added. */
SVNCommand commitAdded(const QString& directory, const QString& name, const QString& message);

/** "update path" in the local root. */
SVNCommand update(const QString& localRoot, const QString& path);

/** "cat --revision revision path" in the local root. */
SVNCommand cat(const QString& localRoot, const QString& path, const QString& revision);

/** "lock" with `comment` as the message, path in the local root. */
SVNCommand lock(const QString& localRoot, const QString& path, const QString& comment);

/** "unlock path" in the local root. */
SVNCommand unlock(const QString& localRoot, const QString& path);

/** "commit" with `comment` as the message, path in the local root. */
SVNCommand commit(const QString& localRoot, const QString& path, const QString& comment);

/** "status --non-recursive --show-updates --verbose" in `directory`: one folder's records. */
SVNCommand folderStatus(const QString& directory);

/** "status --non-recursive --verbose" in `directory`: one folder's records from the working copy alone. */
SVNCommand localFolderStatus(const QString& directory);

/**
 * "status --show-updates --verbose --ignore-externals" in `root`, all
 * depths: every folder's records of one working copy in one run (an
 * external is a working copy of its own, read by a run of its own).
 */
SVNCommand treeStatus(const QString& root);

/** "status --verbose --ignore-externals" in `root`, all depths, from the working copy alone. */
SVNCommand localTreeStatus(const QString& root);

/** "status --verbose name" in `directory`: one file's record from the working copy alone. */
SVNCommand localFileStatus(const QString& directory, const QString& name);

/** "status --show-updates --verbose name" in `directory`: one file's record. */
SVNCommand fileStatus(const QString& directory, const QString& name);

/** "log --xml --limit 1 url" in the host's current folder: the newest revision that changed `url`. */
SVNCommand newestChange(const QString& url);

/** "revert path" in the local root: drops the file's local changes and conflict. */
SVNCommand revert(const QString& localRoot, const QString& path);

/**
 * "update" with no target in `directory`: the folder and everything below
 * it, file externals defined there included (the client brings a file
 * external up to date only so).
 */
SVNCommand updateTree(const QString& directory);

/** "cleanup" in `directory`: releases the locks a stopped client left in its working copy. */
SVNCommand cleanup(const QString& directory);

/** "list url" in the host's current folder. */
SVNCommand list(const QString& url);

/** "mkdir" with the message "Quillhaven Generated", url in the host's current folder. */
SVNCommand mkdir(const QString& url);

// The operations of the version-2 interface. `paths` are relative to the
// local root, where each runs; "" is the local root itself (".").

/** "add --parents --depth empty paths...": schedules the items and missing parents, a folder without its contents. */
SVNCommand schedule(const QString& localRoot, const QStringList& paths);

/** "commit [--depth empty]" with `message`, paths...: one revision. */
SVNCommand commitPaths(const QString& localRoot, const QStringList& paths, const QString& message, bool depthEmpty);

/** "revert [--depth infinity] paths...". */
SVNCommand revertPaths(const QString& localRoot, const QStringList& paths, bool recursive);

/** "delete [--keep-local] paths...". */
SVNCommand deletePaths(const QString& localRoot, const QStringList& paths, bool keepLocal);

/** "move --parents from to": the source pegged when it holds "@", the destination taken literally. */
SVNCommand move(const QString& localRoot, const QString& from, const QString& to);

/** "update --accept postpone [--revision revision] paths...". */
SVNCommand updatePaths(const QString& localRoot, const QStringList& paths, const QString& revision);

/** "resolve --accept accept path". */
SVNCommand resolve(const QString& localRoot, const QString& path, const QString& accept);

/** "log --xml --verbose [--limit limit] url" in the host's current folder: the history up to the newest revision. */
SVNCommand history(const QString& url, int limit);

/** "info --xml --revision revision path" in the local root: the number a revision keyword names now. */
SVNCommand revisionNumber(const QString& localRoot, const QString& path, const QString& revision);

/** "blame --xml [--revision revision] path": the working file when `revision` is null. */
SVNCommand blame(const QString& localRoot, const QString& path, const QString& revision);

/**
 * "diff [--revision from[:to]] path": local changes when `from` is empty
 * (the name then taken without a peg, as a local diff reads it).
 */
SVNCommand diff(const QString& localRoot, const QString& path, const QString& from, const QString& to);

/** "status" of `folder`, all depths, from the working copy alone: what is not unchanged. */
SVNCommand changes(const QString& localRoot, const QString& folder);

/**
 * "status [--show-updates] --verbose --ignore-externals paths..." at the
 * local root: the items with everything below the folders among them, all
 * depths; with `online` the server says what is out of date.
 */
SVNCommand subtreesStatus(const QString& localRoot, const QStringList& paths, bool online);

/** "cleanup folder". */
SVNCommand cleanupFolder(const QString& localRoot, const QString& folder);

/** "info --xml paths..." at the local root: what the working copy records, no server. */
SVNCommand itemInfo(const QString& localRoot, const QStringList& paths);

/** "info --depth empty url" at the local root (where "^/" URLs resolve): whether the repository has it. */
SVNCommand urlInfo(const QString& localRoot, const QString& url);

/** "copy --parents [--revision r] from to" of two URLs, a commit with `message`. */
SVNCommand copyURL(const QString& localRoot, const QString& from, const QString& revision, const QString& to,
                   const QString& message);

/** "switch --accept postpone [--revision r] url path", the path taken literally (no peg). */
SVNCommand switchPath(const QString& localRoot, const QString& path, const QString& url, const QString& revision);

/**
 * "merge --accept postpone [--dry-run] [--record-only] [-c changes] url
 * path", the path taken literally (no peg); no `changes`: every eligible
 * revision.
 */
SVNCommand merge(const QString& localRoot, const QString& path, const QString& url, const QString& changes,
                 bool dryRun, bool recordOnly);

/** "mergeinfo --show-revs merged|eligible url path". */
SVNCommand mergeInfo(const QString& localRoot, const QString& path, const QString& url, bool merged);

/** "lock [--force] paths..." with `comment`, or "unlock [--force] paths...". */
SVNCommand lockPaths(const QString& localRoot, const QStringList& paths, const QString& comment, bool force);
SVNCommand unlockPaths(const QString& localRoot, const QStringList& paths, bool force);

/** "relocate from to ." at the local root: the two-URL form. */
SVNCommand relocate(const QString& localRoot, const QString& from, const QString& to);

/** "proplist --verbose --xml path": every property with its value, from the working copy alone. */
SVNCommand propertyList(const QString& localRoot, const QString& path);

/** "propset name --file valueFile paths...": the value byte for byte from the file, never "--force". */
SVNCommand propertySet(const QString& localRoot, const QStringList& paths, const QString& name,
                       const QString& valueFile);

/** "propdel name paths...". */
SVNCommand propertyDelete(const QString& localRoot, const QStringList& paths, const QString& name);

/** "changelist name paths...", or "changelist --remove paths..." for an empty `name`. */
SVNCommand changelist(const QString& localRoot, const QStringList& paths, const QString& name);

/**
 * "log --xml --verbose [--revision start:0] [--limit limit] [--search
 * pattern] url" in the host's current folder: the history going back from
 * `start` (the newest revision when empty).
 */
SVNCommand historyRange(const QString& url, const QString& start, int limit, const QString& pattern);

/**
 * "diff --summarize --xml from to" of two URLs that carry their own peg
 * revisions ("URL@12"), in the host's current folder: what changed between them.
 */
SVNCommand summary(const QString& fromURL, const QString& toURL);

/** "update --set-depth depth path". */
SVNCommand setDepth(const QString& localRoot, const QString& path, const QString& depth);

/**
 * "diff --git --show-copies-as-adds paths...": the local changes as a
 * patch, binary files and properties included, copies as additions, the
 * names taken without a peg.
 */
SVNCommand patchOf(const QString& localRoot, const QStringList& paths);

/** "patch [--strip strip] [--dry-run] patchFile" in the local root. */
SVNCommand applyPatch(const QString& localRoot, const QString& patchFile, int strip, bool dryRun);

/** "upgrade" in the local root: the working copy brought to the client's format. */
SVNCommand upgrade(const QString& localRoot);

} // namespace SVNCommands
