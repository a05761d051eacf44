// The file operations that go straight to POSIX calls.

#include "QTxFiles.h"

#include "Path.h"

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

namespace QTx {

bool removeFile(const QString& path)
{
    return ::unlink(Path::toOsPath(path).toLatin1().constData()) == 0;
}

bool setWriteable(const QString& path, bool writeable)
{
    const QByteArray name = path.toLatin1();
    int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    int statResult = ::fstat(fd, &st);
    ::close(fd);
    if (statResult != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    if (writeable)
        mode |= S_IWUSR;
    else
        mode &= ~mode_t(S_IWUSR);
    return ::chmod(name.constData(), mode) == 0;
}

} // namespace QTx
