#pragma once

#include "SVNCommandLog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace QTx {
class ProcessStopper;
}
struct sqlite3;
struct sqlite3_stmt;

/** Whether "<directory>/.svn/entries" exists (it is never read). */
bool hasEntriesFile(const QString& directory);

/**
 * What the working copy says about one local folder. Subversion 1.7 and
 * later keep a single ".svn" at the top of a working copy, holding the
 * database "wc.db"; the folders below have no ".svn" of their own. Older
 * clients keep a ".svn" (with "entries") in every folder.
 */
struct SVNFolderState
{
    /** The nearest ".svn" at or above the folder holds "wc.db". */
    bool central = false;
    /**
     * The folder is on disk and a versioned folder of that database: present
     * ("normal", "incomplete") or scheduled for deletion with its files kept.
     */
    bool versioned = false;
    /** Its recorded depth ("infinity", "immediates", "files", "empty") when versioned. */
    QString depth;
    /** The database records it as a folder of the working copy, but it is not on disk. */
    bool missing = false;
    /**
     * The database cannot be read (a format that svn 1.7 to 1.14 do not
     * write, or no database at all where one should be): a folder on disk
     * counts as versioned, and the client's own run tells.
     */
    bool unreadable = false;
};

/** What a working copy of the central layout records about one file. */
struct SVNNodeState
{
    /** The nearest ".svn" above the file holds "wc.db" (nothing else is known otherwise). */
    bool central = false;
    /** The database has a node of that name. */
    bool known = false;
    /** Its kind now: "file", "dir", "symlink"; empty when not known. */
    QString kind;
    /** A local change is scheduled on it (added, copied, replaced or deleted). */
    bool scheduled = false;
    /** The revision it was checked out at (its base); -1 when it has none (added, not known). */
    qint64 baseRevision = -1;
    /** It is scheduled for deletion. */
    bool deleted = false;
    /** It is in a text, property or tree conflict. */
    bool conflicted = false;
    /** It is a file external; `externalOwner` is then the folder whose svn:externals defines it. */
    bool fileExternal = false;
    QString externalOwner;
};

/**
 * Reads folder and file states from working-copy databases, keeping the
 * last few databases open so that a later question about the same working
 * copy costs one query. A database is opened read-only and never written;
 * while the client holds it locked a read waits up to ten seconds, less when
 * the operation is cancelled (setStopper()). A database that was replaced on
 * disk (a new checkout in the same place) is opened afresh. Only the formats
 * that svn 1.7 to 1.14 write are read: another format, or a database that
 * cannot be opened, is said once in the command log, and the client is asked
 * instead (a folder on disk below it counts as versioned; its run tells).
 */
class SVNWorkingCopyLayout
{
public:
    SVNWorkingCopyLayout() = default;
    SVNWorkingCopyLayout(const SVNWorkingCopyLayout&) = delete;
    SVNWorkingCopyLayout& operator=(const SVNWorkingCopyLayout&) = delete;
    ~SVNWorkingCopyLayout();

    /** The stop request of the provider's operations: it ends a wait for a busy database. */
    void setStopper(const QTx::ProcessStopper* stopper) { m_stopper = stopper; }
    /** Where the reader says that it cannot read a database (and the client is asked instead). */
    void setLog(const SVNCommandLog* log) { m_log = log; }
    /** The command log set with setLog(); one that goes nowhere before. */
    const SVNCommandLog& log() const { return m_log ? *m_log : s_noLog; }

    /**
     * The state of `directory` (an absolute path), read from the nearest
     * ".svn" at or above it. Nested working copies and directory externals
     * have a ".svn" of their own, so the nearest one is always the one that
     * owns the folder; unversioned and ignored folders have no row in it.
     */
    SVNFolderState inspect(const QString& directory);

    /**
     * Whether `directory` is a working copy: "<directory>/.svn/entries"
     * exists (never read), or it is on disk and a versioned folder of an
     * enclosing working copy of the newer layout.
     */
    bool isWorkingCopy(const QString& directory) { return hasEntriesFile(directory) || inspect(directory).versioned; }

    /** The state of the file (or folder) `path` (absolute), read from the nearest ".svn" above it. */
    SVNNodeState inspectNode(const QString& path);

    /**
     * The items at `path` (absolute) and, with `recursive`, below it that the
     * working copy holds as added with history (copied or moved here) with
     * nothing checked out at their place: what "svn revert" takes off the
     * disk, a folder with everything it holds, where it leaves any other
     * addition there. Absolute paths, the topmost only (a folder stands for
     * what it holds); none when no database of the newer layout records
     * `path`, or the working copy cannot be read.
     */
    QStringList copiesAt(const QString& path, bool recursive);

    /**
     * The repository URL the working copy records for `directory` (its
     * checked-out location: the repository root and the folder's path in
     * it, percent-encoded); null when no database records the folder.
     */
    QString recordedURL(const QString& directory);

    /**
     * The other half of each local move `path` (absolute) is part of: where
     * it went when it was moved away, where it came from when it was moved
     * here (absolute paths); empty when it is neither, or no database
     * records it.
     */
    QStringList moveCounterparts(const QString& path);

    /**
     * The root URL of the repository that the working copy holding
     * `directory` was checked out from; null when no database records one
     * (the per-folder layout, no working copy).
     */
    QString repositoryRoot(const QString& directory);

    /**
     * The top of the working copy that holds `directory` (absolute): the
     * nearest folder at or above it with a ".svn" of its own; null when
     * there is none. A nested working copy or an external is its own top.
     */
    static QString top(const QString& directory);

private:
    struct Database
    {
        QByteArray path;
        unsigned long long device = 0;
        unsigned long long inode = 0;
        long long modified = 0; ///< the file's modification time in nanoseconds when it was opened
        sqlite3* connection = nullptr;
        sqlite3_stmt* nodes = nullptr;
        sqlite3_stmt* conflict = nullptr;
        sqlite3_stmt* external = nullptr;
        sqlite3_stmt* repository = nullptr;
        sqlite3_stmt* move = nullptr;
    };
    /** Where a path lies: its database (null: none readable) and its path below the top. */
    struct Location
    {
        bool central = false;
        bool unreadable = false;
        Database* database = nullptr;
        QByteArray top;
        QByteArray relative;
    };

    /** Finds the nearest ".svn" at or above `folder` (absolute, clean) and opens its database. */
    Location locate(const QByteArray& folder);
    /** The database at `path`, a regular file on device `device` with inode `inode`, modified at `modified`. */
    Database* open(const QByteArray& path, unsigned long long device, unsigned long long inode, long long modified);
    static void close(Database& database);
    /** The database's format (PRAGMA user_version); false when it cannot be read. */
    static bool readFormat(sqlite3* connection, int& format);
    /** SQLite's busy handler: whether to wait once more for a client that writes the database. */
    static int waitWhileBusy(void* layout, int count);

    std::vector<Database> m_databases; // most recently used last; an unreadable one has no connection
    const QTx::ProcessStopper* m_stopper = nullptr;
    const SVNCommandLog* m_log = nullptr;
    static const SVNCommandLog s_noLog;
};
