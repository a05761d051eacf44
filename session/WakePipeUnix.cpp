#include "WakePipe.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace SvnScc {

WakePipe::WakePipe()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_read = ends[0];
        m_write = ends[1];
    }
}

WakePipe::~WakePipe()
{
    if (m_read >= 0)
        ::close(m_read);
    if (m_write >= 0)
        ::close(m_write);
}

QSocketNotifier* WakePipe::listen(QObject* parent, std::function<void()> woken)
{
    if (m_read < 0)
        return nullptr;
    auto* notifier = new QSocketNotifier(m_read, QSocketNotifier::Read, parent);
    const int readEnd = m_read;
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [readEnd, woken = std::move(woken)] {
        char bytes[64];
        for (;;) {
            const ssize_t got = ::read(readEnd, bytes, sizeof bytes);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
        }
        woken();
    });
    return notifier;
}

void WakePipe::wake()
{
    // A full pipe already holds a wake-up: the write may fail then.
    const char byte = 0;
    while (m_write >= 0 && ::write(m_write, &byte, 1) < 0 && errno == EINTR) {
    }
}

} // namespace SvnScc
