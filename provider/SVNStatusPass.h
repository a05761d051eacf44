#pragma once

#include "SVNClient.h"
#include "SVNFileStatus.h"
#include "SVNStatusCache.h"
#include "SVNStatusReader.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <set>
#include <vector>

class SVNInterfaceSeam;
class SVNWorkingCopyLayout;

/**
 * The status pass: every answer status() gives and every status run the
 * provider makes. It owns the status cache (one entry per folder), reads the
 * client's status lines (SVNStatusReader), fills a whole working copy from
 * one run in the whole-tree scope, keeps which repositories cannot be
 * reached (offline), asks the repository about a file the working copy
 * cannot answer for, and re-reads one file after the host or an operation
 * changed it.
 *
 * Every status-shaped run (a folder, a whole tree, an external, one file,
 * online or local) and the repository question go through one read loop,
 * read(), which alone decides offline: a repository that cannot be reached
 * (SVNRunResult::repositoryUnreachable()) is asked no more until clear() or
 * online(), and the local form of the run answers instead. Offline is kept
 * per repository, so an external on a server that is down takes no other
 * repository offline.
 *
 * Two layouts of working copy, told apart by what is on disk:
 *  - the per-folder layout of older clients (".svn/entries" in every
 *    folder, no database): a folder's run is
 *    "status --non-recursive --show-updates --verbose"; a name it did not
 *    list, and every file of a folder that is no working copy, is asked of
 *    the repository ("info" on its URL, once per name until clear() or a
 *    re-read); a re-read runs "status --show-updates --verbose FILE";
 *  - the newer layout (one ".svn/wc.db" at the top): the working copy
 *    answers what it can. A name without a record is not versioned (true,
 *    controlled false, no run) when its folder is on disk: ignored,
 *    unversioned, inside an unversioned or ignored folder, or not listed by
 *    a successful run. The repository is asked only for a file whose folder
 *    is not on disk (missing, excluded, never fetched in a sparse checkout).
 *    A re-read runs the local "status --verbose FILE" and keeps what only
 *    the server knows from the cached record (see reread()).
 *
 * The whole-tree scope (setTreeScope()) reads a working copy with one
 * "status --show-updates --verbose --ignore-externals" run at its top (the
 * local root, or an external or nested working copy below it, each when
 * first asked about), filling every folder it lists.
 *
 * A folder's run that fails for a reason of the working copy (not the
 * server's, not a stop) is remembered until clear(): its files are answered
 * with that failure and nothing runs for them.
 */
class SVNStatusPass
{
public:
    /** Runs one client command: the provider's run, which records a failure as the last error. */
    using Runner = std::function<SVNRunResult(const SVNCommand&, const SVNOutput&)>;

    SVNStatusPass(Runner runner, SVNWorkingCopyLayout& layout);
    SVNStatusPass(const SVNStatusPass&) = delete;
    SVNStatusPass& operator=(const SVNStatusPass&) = delete;

    /** The local root (absolute, no trailing "/") and its repository URL, which file URLs are built on. */
    void bind(const QString& localRootPath, const QString& rootURL);
    /** True: the whole-tree scope (one run per working copy); false: one run per folder. */
    void setTreeScope(bool wholeTree) { m_treeScope = wholeTree; }

    /** What the pass knows of one file. */
    struct Answer
    {
        enum class Kind
        {
            Record,       ///< `record` holds its state (an unversioned one's too: "?")
            NotVersioned, ///< no record and none to be had: not versioned
            InRepository, ///< no local record; the repository has the file
            NotFound,     ///< neither the working copy nor the repository knows it
            Failed,       ///< a run failed or was cancelled (the last error says which)
        };
        Kind kind = Kind::Failed;
        const SVNFileStatus* record = nullptr;
        /** A remembered failure of the file's folder: its subcommand and message (null otherwise). */
        QString failedCommand;
        QString failedMessage;
    };
    /** The state of the file `pathParts` (relative to the local root), filling its folder first when needed. */
    Answer ask(const QStringList& pathParts);

    /**
     * The cached record of a file, filling its folder first (see ask()), but
     * never asking the repository; null when there is none.
     */
    SVNFileStatus* record(const QStringList& pathParts);

    /** What an operation did to a file before it is re-read. */
    enum Change : unsigned
    {
        Edited = 0,          ///< the host wrote it (saved())
        BroughtUpToDate = 1, ///< it is at its newest revision now (a commit, an update)
        LockChanged = 2,     ///< it was locked or unlocked here
        /**
         * What is out of date is the server's to say (an update to another
         * revision, or one that failed half-way): the re-read asks it
         * ("--show-updates"), and the working copy alone answers only when
         * the repository cannot be reached.
         */
        AskServer = 4,
        AfterStop = 8, ///< the operation was stopped: the re-read runs all the same
    };
    /**
     * Re-reads one file into its folder's entry when the folder is cached
     * (a folder of the newer layout as rereadItems() reads one);
     * runs nothing otherwise, or when the folder's run failed. The records
     * the client prints overwrite the cached one in place; a file it no
     * longer lists loses its record; a failed run changes nothing. In the
     * newer layout the run is local, and what only the server knows is kept
     * from the cached record: the out-of-date mark, unless `change` holds
     * BroughtUpToDate, and a lock held elsewhere ("O", "T", "B" in column 6),
     * unless it holds LockChanged.
     */
    void reread(const QStringList& pathParts, unsigned change);

    /**
     * Re-reads several items (root-relative paths, "" the local root), a
     * folder with everything below it, in one run at the local root
     * ("status --verbose --ignore-externals ITEMS...", with
     * "--show-updates" when `change` holds AskServer). An item is read
     * when its folder is cached, a folder also when any folder below it is;
     * nothing runs when none is. Every folder entry below a folder item is
     * filled from the run (complete, as a whole-tree pass fills it), and
     * each record is kept as reread() keeps one (a file item the run does
     * not list loses its record); the folder entries below
     * that the run no longer lists are dropped (those of an external or
     * nested working copy are not). A failed run drops the entries below
     * the folder items, to be read again when asked about.
     */
    void rereadItems(const QStringList& items, unsigned change);

    /**
     * A fresh local read of one file ("status --verbose name" in `folder`,
     * no server, nothing cached): `record` gets its state, `listed` whether
     * the client listed it at all. False when the run failed.
     */
    bool readFile(const QString& folder, const QString& name, SVNFileStatus& record, bool& listed);

    /** Drops a folder's entry with its records and repository answers (it became a working copy). */
    void forget(const QString& folder);
    /** Receives each entry of a whole-tree run as the client prints it: its path as printed, and its record. */
    using Listener = std::function<void(QByteArrayView path, const SVNFileStatus& record)>;
    /**
     * Reads the local root's working copy with the whole-tree run a first
     * question would make, handing each entry to `listener` as it is read.
     * `ran` false, nothing handed over, when no run is needed: not the
     * whole-tree scope, no working copy, or the tree (or its top folder)
     * read already, which ask() then answers as before. False when the run
     * failed or was stopped (the last error says why).
     */
    bool listTree(const Listener& listener, bool& ran);

    /** Forgets everything: entries, whole-tree passes, remembered failures and offline repositories. */
    void clear();
    /** Asks every repository again from now on (login). */
    void online() { m_offline.clear(); }
    /** Whether some repository could not be reached since the last clear() or online(). */
    bool anyOffline() const { return !m_offline.empty(); }

    /**
     * Parses status lines into `records` as a folder's run does (the name
     * check off); a later line with the same key overwrites the earlier
     * record in place.
     */
    static void parse(SVNDirectoryStatus* records, const QStringList& lines);

private:
    friend class SVNInterfaceSeam;

    /** One run of read(): its forms and where its lines go. */
    struct Read
    {
        /** The form that asks the server; null: the run is local only. */
        const SVNCommand* online = nullptr;
        /** The form from the working copy alone; null: none (the server's answer or nothing). */
        const SVNCommand* local = nullptr;
        /** The repository the online form asks. */
        QString repository;
        /** Receives every entry; null: the lines are not read. */
        const SVNStatusReader::Sink* sink = nullptr;
        /** The folder the entries' paths are relative to, for the name check of long authors. */
        QString folder;
        /** Forgets what a failed or repeated run gave. */
        std::function<void()> forget;
    };
    /** How read() went. */
    struct ReadEnd
    {
        bool succeeded = false;
        /** Not run: the repository is offline and the run has no local form. */
        bool offline = false;
        SVNRunResult result;
    };
    ReadEnd read(const Read& run);

    /**
     * The folder's records and the file's record: Record, NotVersioned (no
     * record; the caller asks the repository unless `folder` is complete) or
     * Failed. `folder` gets the file's folder entry.
     */
    Answer lookUp(const QStringList& pathParts, SVNFolderStatus*& folder);
    SVNFolderStatus* folderEntry(const QString& directory);
    /** The top a whole-tree pass reads for `directory`: its working copy's top, never above the local root. */
    QString treeRoot(const QString& directory);
    void readTree(const QString& root, const Listener* listener = nullptr);
    /** The repository key of `directory`: its working copy's repository root, "" when none is recorded. */
    QString repositoryOf(const QString& directory);
    bool folderHolds(const QString& directory, const QString& name);
    bool insideUnversionedFolder(const QString& directory) const;
    /** Keeps `fresh` as the record `name` of `folder` (null: it is gone), as reread() says. */
    void keep(SVNFolderStatus& folder, const QString& name, SVNFileStatus* fresh, unsigned change, bool local);
    /** The external or nested working copy `name` of a folder: its own "." record. */
    const SVNFileStatus* ownRecord(const QString& directory, const QString& name);
    QString directoryOf(const QStringList& pathParts) const;
    /** Whether `path` is a folder on disk or a versioned folder (gone from the disk, still the working copy's). */
    bool isFolder(const QString& path);

    Runner m_run;
    SVNWorkingCopyLayout& m_layout;
    QString m_localRoot;
    QString m_rootURL;
    bool m_treeScope = false;
    SVNStatusCache m_cache;
    /** The tops read by a whole-tree pass since clear(); a failed one with its failure. */
    std::map<QString, SVNFolderStatus> m_trees;
    /** Unversioned folders those passes listed (their contents are not versioned). */
    std::vector<QString> m_unversioned;
    /** Repositories that could not be reached. */
    std::set<QString> m_offline;
    /** The folder of the last question, while the cache's generation says it is still there. */
    struct
    {
        QStringList parts;
        SVNFolderStatus* status = nullptr;
        quint64 generation = 0;
        /** The record after the last one found in it (its end() for none): the likely next question. */
        SVNDirectoryStatus::iterator next;
        bool hasNext = false;
    } m_lastFolder;
};
