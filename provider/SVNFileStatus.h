#pragma once

#include <QString>

#include <map>

/** The state of one working-copy entry, read from one line of "svn status". */
struct SVNFileStatus
{
    bool modified = false;       ///< first status column is "M" or "!" (modified or missing)
    bool outOfDate = false;      ///< the out-of-date mark "*": alone in column 9 (column 7 in the older layout)
    bool locked = false;         ///< sixth status column is "K": locked in this working copy
    QString statusColumns;       ///< the first seven characters of the line, unchanged
    QString workingRevision;     ///< first field after the status columns
    QString lastChangedRevision; ///< second field after the status columns
};

/** One directory's records, keyed by entry name as the client printed it. */
using SVNDirectoryStatus = std::map<QString, SVNFileStatus>;
