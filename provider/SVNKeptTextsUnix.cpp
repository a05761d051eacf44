// Scratch copies of files a client run removes: hard links (or copies) in a
// folder the run leaves, renamed back afterwards.

#include "SVNKeptTexts.h"

#include "EightBit.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool present(const QByteArray& path, struct stat& st)
{
    return ::lstat(path.constData(), &st) == 0;
}

// A byte-for-byte copy of the regular file `from` at the new path `to`, with its permissions.
int copyBytes(const QByteArray& from, const QByteArray& to, mode_t mode)
{
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < got && !error;) {
            const ssize_t wrote = ::write(out, buffer + done, size_t(got - done));
            if (wrote < 0 && errno != EINTR)
                error = errno;
            else if (wrote > 0)
                done += wrote;
        }
        if (error)
            break;
    }
    ::close(in);
    if (::close(out) != 0 && !error)
        error = errno;
    if (error)
        ::unlink(to.constData());
    return error;
}

// A copy of the symbolic link `from` at `to`, pointing where it points.
int copyLink(const QByteArray& from, const QByteArray& to)
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t size = ::readlink(from.constData(), target.data(), size_t(target.size()));
    if (size < 0)
        return errno;
    if (size >= target.size())
        return ENAMETOOLONG;
    target.truncate(size);
    return ::symlink(target.constData(), to.constData()) == 0 ? 0 : errno;
}

} // namespace

SVNKeptTexts::~SVNKeptTexts()
{
    putBack();
}

bool SVNKeptTexts::keep(const QString& item)
{
    const QByteArray path = toEightBit(QDir::cleanPath(item));
    const qsizetype slash = path.lastIndexOf('/');
    struct stat st;
    if (slash <= 0 || !present(path, st))
        return true;
    const QByteArray folder = path.left(slash);
    if (!S_ISDIR(st.st_mode))
        return keepFile(path, folder);
    // Depth first, without following links: the scratch copies all go
    // beside the folder, which the run removes with all it holds.
    std::vector<QByteArray> pending{path};
    while (!pending.empty()) {
        const QByteArray directory = pending.back();
        pending.pop_back();
        DIR* stream = ::opendir(directory.constData());
        if (!stream) {
            m_error = QStringLiteral("cannot read the folder %1: %2").arg(fromEightBit(directory), reason(errno));
            return false;
        }
        while (const dirent* entry = ::readdir(stream)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray child = directory + '/' + name;
            if (!present(child, st))
                continue;
            if (S_ISDIR(st.st_mode)) {
                if (name != ".svn")
                    pending.push_back(child);
            } else if (!keepFile(child, folder)) {
                ::closedir(stream);
                return false;
            }
        }
        ::closedir(stream);
    }
    return true;
}

bool SVNKeptTexts::keepFile(const QByteArray& path, const QByteArray& folder)
{
    struct stat st;
    if (!present(path, st) || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
        return true; // a pipe, a socket, a device: no text to keep
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1).left(100);
    for (;;) {
        const QByteArray scratch = folder + "/.svnscc-kept-" + QByteArray::number(qint64(::getpid())) + '-'
            + QByteArray::number(m_next++) + '-' + name;
        // A second name for the same file: no byte is copied, and the client
        // removing the first name leaves the text where it is.
        int error = ::link(path.constData(), scratch.constData()) == 0 ? 0 : errno;
        if (error != 0 && error != EEXIST)
            error = S_ISLNK(st.st_mode) ? copyLink(path, scratch) : copyBytes(path, scratch, st.st_mode);
        if (error == EEXIST)
            continue;
        if (error != 0) {
            m_error = QStringLiteral("cannot keep a copy of %1 in %2: %3")
                          .arg(fromEightBit(path), fromEightBit(folder), reason(error));
            return false;
        }
        m_kept.push_back(Kept{path, scratch});
        return true;
    }
}

bool SVNKeptTexts::putBack()
{
    QStringList problems;
    for (const Kept& kept : m_kept) {
        struct stat st;
        if (present(kept.path, st)) {
            ::unlink(kept.scratch.constData()); // the run left something there: it stays
            continue;
        }
        const QByteArray parent = kept.path.left(kept.path.lastIndexOf('/'));
        QString why;
        if (!QDir().mkpath(fromEightBit(parent)))
            why = QStringLiteral("its folder cannot be made");
        else if (::rename(kept.scratch.constData(), kept.path.constData()) != 0)
            why = reason(errno);
        if (!why.isNull())
            problems << QStringLiteral("the text of %1 cannot be put back (%2): it is kept at %3")
                            .arg(fromEightBit(kept.path), why, fromEightBit(kept.scratch));
    }
    m_kept.clear();
    if (problems.isEmpty())
        return true;
    m_error = problems.join(QLatin1Char('\n'));
    return false;
}
