#include "FileStamp.h"

#include <QFile>

#include <sys/stat.h>

namespace SvnScc {

FileStamp FileStamp::of(const QString& path)
{
    FileStamp stamp;
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.directory = S_ISDIR(st.st_mode);
    stamp.size = qint64(st.st_size);
    stamp.inode = quint64(st.st_ino);
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changedNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

} // namespace SvnScc
