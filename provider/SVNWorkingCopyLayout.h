#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

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
    /** The folder is a versioned folder (present, not deleted away) of that database. */
    bool versioned = false;
    /** Its recorded depth ("infinity", "immediates", "files", "empty") when versioned. */
    QString depth;
};

/**
 * Reads folder states from working-copy databases, keeping the last few
 * databases open so that a later question about the same working copy costs
 * one query. A database is opened read-only and never written; while the
 * client holds it locked a read waits up to ten seconds. A database that was
 * replaced on disk (a new checkout in the same place) is opened afresh.
 */
class SVNWorkingCopyLayout
{
public:
    SVNWorkingCopyLayout() = default;
    SVNWorkingCopyLayout(const SVNWorkingCopyLayout&) = delete;
    SVNWorkingCopyLayout& operator=(const SVNWorkingCopyLayout&) = delete;
    ~SVNWorkingCopyLayout();

    /**
     * The state of `directory` (an absolute path), read from the nearest
     * ".svn" at or above it. Nested working copies and directory externals
     * have a ".svn" of their own, so the nearest one is always the one that
     * owns the folder; unversioned and ignored folders have no row in it. A
     * database that cannot be read gives a folder that is not versioned.
     */
    SVNFolderState inspect(const QString& directory);

private:
    struct Database
    {
        QByteArray path;
        unsigned long long device = 0;
        unsigned long long inode = 0;
        sqlite3* connection = nullptr;
        sqlite3_stmt* query = nullptr;
    };

    /** The database at `path`, a regular file on device `device` with inode `inode`. */
    Database* open(const QByteArray& path, unsigned long long device, unsigned long long inode);
    static void close(Database& database);

    std::vector<Database> m_databases; // most recently used last
};
