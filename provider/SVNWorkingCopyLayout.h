#pragma once

#include <QString>

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
 * Reads the state of `directory` (an absolute path) from the nearest ".svn"
 * at or above it. The database is opened read-only and never written; while
 * the client holds it locked the read waits up to ten seconds. A database
 * that cannot be read gives a folder that is not versioned. Nested working
 * copies and directory externals have a ".svn" of their own, so the nearest
 * one is always the one that owns the folder; unversioned and ignored
 * folders have no row in it.
 */
SVNFolderState inspectFolder(const QString& directory);
