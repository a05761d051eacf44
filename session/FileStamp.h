#pragma once

#include <QString>

namespace SvnScc {

/**
 * How a file or folder looks on disk, enough to tell that it changed: it
 * exists or not, its kind, size, inode and the times of its last change of
 * content and of metadata, to the nanosecond. A link is looked at itself,
 * not followed.
 */
struct FileStamp
{
    bool exists = false;
    bool directory = false;
    qint64 size = 0;
    quint64 inode = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    /** The stamp of @p path now; a path that cannot be looked at does not exist. */
    static FileStamp of(const QString& path);

    bool operator==(const FileStamp& other) const
    {
        return exists == other.exists && directory == other.directory && size == other.size
            && inode == other.inode && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

} // namespace SvnScc
