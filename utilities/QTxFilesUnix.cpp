// The file operations that go straight to POSIX calls.

#include "QTxFiles.h"

#include "EightBit.h"
#include "Path.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

const size_t s_copyChunk = 131072;
const mode_t s_newFileMode = 0600;

// Owns one open descriptor; closes it on every way out unless closed first.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

ssize_t readRetrying(int fd, char* buffer, size_t size)
{
    ssize_t count;
    do {
        count = ::read(fd, buffer, size);
    } while (count < 0 && errno == EINTR);
    return count;
}

// Writes all of `size` bytes, going on after a short write or a signal;
// false when the system refuses (a full disk, for example).
bool writeAll(int fd, const char* buffer, size_t size)
{
    while (size > 0) {
        const ssize_t count = ::write(fd, buffer, size);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        buffer += count;
        size -= size_t(count);
    }
    return true;
}

mode_t creationMask()
{
    // Read from the kernel where it says it ("Umask:" since Linux 4.7):
    // setting the mask to read it would give another thread that creates a
    // file meanwhile a world-writable one.
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[128];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return mode_t(mask);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

namespace QTx {

bool removeFile(const QString& path)
{
    return ::unlink(toEightBit(Path::toOsPath(path)).constData()) == 0;
}

bool setWriteable(const QString& path, bool writeable)
{
    const QByteArray name = toEightBit(path);
    struct stat st;
    {
        FileDescriptor file(::open(name.constData(), O_RDONLY | O_CLOEXEC));
        if (!file.isOpen() || ::fstat(file.get(), &st) != 0)
            return false;
    }
    mode_t mode = st.st_mode & 07777;
    if (writeable)
        mode |= S_IWUSR;
    else
        mode &= ~mode_t(S_IWUSR);
    return ::chmod(name.constData(), mode) == 0;
}

bool removeDir(const QString& path)
{
    return ::rmdir(toEightBit(Path::toOsPath(path)).constData()) == 0;
}

bool changeDir(const QString& path)
{
    return ::chdir(toEightBit(path).constData()) == 0;
}

bool copyFile(const QString& source, const QString& destination, bool createDirectories)
{
    const QByteArray sourceName = toEightBit(Path::toOsPath(source));
    struct stat sourceStatus;
    if (::stat(sourceName.constData(), &sourceStatus) != 0)
        return false;
    if (createDirectories)
        makeDir(QFileInfo(destination).dir());

    // Into an existing directory, the copy takes the source's name.
    struct stat destinationStatus;
    const bool intoDirectory = ::stat(toEightBit(Path::toOsPath(destination)).constData(),
                                      &destinationStatus) == 0
        && S_ISDIR(destinationStatus.st_mode);
    const QString target = intoDirectory
            ? destination + QLatin1Char('/') + source.mid(source.lastIndexOf(QLatin1Char('/')) + 1)
            : destination;
    const QByteArray targetName = toEightBit(Path::toOsPath(target));
    // Copying a file onto itself would truncate it before reading it.
    struct stat targetStatus;
    if (::stat(targetName.constData(), &targetStatus) == 0 && sameFile(sourceStatus, targetStatus))
        return false;

    FileDescriptor in(::open(sourceName.constData(), O_RDONLY | O_CLOEXEC));
    if (!in.isOpen())
        return false;
    struct stat st;
    if (::fstat(in.get(), &st) != 0)
        return false;
    FileDescriptor out(::open(targetName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                              s_newFileMode));
    if (!out.isOpen())
        return false;

    // One chunk buffer for the whole copy, on the heap: 128 KiB is too much
    // to take from the stack of a thread in a host process we do not control.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[s_copyChunk]);
    if (!buffer)
        return false;
    for (;;) {
        const ssize_t count = readRetrying(in.get(), buffer.get(), s_copyChunk);
        if (count == 0)
            break;
        if (count < 0)
            return false;
        if (!writeAll(out.get(), buffer.get(), size_t(count)))
            return false;
    }
    in.close();
    out.close();

    struct utimbuf times;
    times.actime = st.st_atime;
    times.modtime = st.st_mtime;
    ::utime(targetName.constData(), &times);
    ::chmod(targetName.constData(), st.st_mode & 07777 & ~creationMask());
    return true;
}

bool createFile(const QString& path, unsigned int size, unsigned char* data, bool readOnly,
                long time)
{
    const QByteArray name = toEightBit(path);
    FileDescriptor file(::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                               s_newFileMode));
    if (!file.isOpen())
        return false;
    if (size > 0)
        writeAll(file.get(), reinterpret_cast<const char*>(data), size); // the result is the open's alone
    struct stat st;
    const bool haveStatus = ::fstat(file.get(), &st) == 0;
    file.close();

    struct utimbuf times;
    times.actime = time_t(time);
    times.modtime = time_t(time);
    ::utime(name.constData(), &times);
    if (readOnly && haveStatus)
        ::chmod(name.constData(), st.st_mode & 07777 & ~mode_t(S_IWUSR));
    return true;
}

long getUTCModificationTime(const QString& path)
{
    struct stat st;
    if (::stat(toEightBit(path).constData(), &st) != 0)
        return 0;
    struct tm fields;
    if (!::gmtime_r(&st.st_mtime, &fields))
        return 0;
    return long(::mktime(&fields));
}

bool setFileTimes(const QString&, const QDateTime&, const QDateTime&, const QDateTime&)
{
    return false;
}

} // namespace QTx
