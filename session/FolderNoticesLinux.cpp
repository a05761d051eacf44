#include "FolderNotices.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace SvnScc {

namespace {

// What a folder's watch sees: its files' content (written, closed after a
// write), their metadata, names coming and going (renames both ways), and
// the folder itself going away. A link is never followed to another folder.
const uint32_t s_folderMask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE
    | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

class InotifyNotices : public FolderNotices
{
public:
    InotifyNotices() : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), m_initError(errno)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
            m_wakeRead = ends[0];
            m_wakeWrite = ends[1];
        }
    }

    ~InotifyNotices() override
    {
        for (const int fd : {m_fd, m_wakeRead, m_wakeWrite})
            if (fd >= 0)
                ::close(fd);
    }

    void wait(int timeoutMs) override
    {
        struct pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        // A negative descriptor is skipped by poll().
        if (::poll(fds, 2, timeoutMs) <= 0)
            return; // the time passed, or a signal came: the caller looks again
        if (fds[1].revents) {
            char bytes[64];
            for (;;) {
                const ssize_t got = ::read(m_wakeRead, bytes, sizeof bytes);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    break;
            }
        }
    }

    void wake() override
    {
        // A full pipe already holds a wake-up: the write may fail then.
        const char byte = 0;
        while (m_wakeWrite >= 0 && ::write(m_wakeWrite, &byte, 1) < 0 && errno == EINTR) {
        }
    }

    int add(const QString& absoluteFolder, QString& reason) override
    {
        if (m_fd < 0) {
            reason = QStringLiteral("the system gives no change notices (%1)").arg(systemText(m_initError));
            return -1;
        }
        const int watch = ::inotify_add_watch(m_fd, QFile::encodeName(absoluteFolder).constData(), s_folderMask);
        if (watch >= 0)
            return watch;
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            reason.clear();
        else if (error == ENOSPC)
            reason = QStringLiteral("the system's limit of change notices is reached (fs.inotify.max_user_watches)");
        else
            reason = QStringLiteral("the file system of %1 gives no change notices (%2)")
                         .arg(absoluteFolder, systemText(error));
        return -1;
    }

    void remove(int watch) override
    {
        if (m_fd >= 0)
            ::inotify_rm_watch(m_fd, watch);
    }

    bool read(QList<Notice>& notices) override
    {
        if (m_fd < 0)
            return true;
        bool complete = true;
        alignas(struct inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break; // EAGAIN: nothing more now
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
                at += ssize_t(sizeof(struct inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW) {
                    complete = false;
                    continue;
                }
                Notice notice;
                notice.watch = event->wd;
                if (event->len > 0)
                    notice.name = QFile::decodeName(event->name); // padded with NULs
                notice.folderGone = (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0;
                notices.append(notice);
            }
        }
        return complete;
    }

private:
    const int m_fd;
    const int m_initError;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
};

} // namespace

std::unique_ptr<FolderNotices> FolderNotices::make()
{
    return std::make_unique<InotifyNotices>();
}

} // namespace SvnScc
