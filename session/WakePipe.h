#pragma once

#include <functional>

class QObject;
class QSocketNotifier;

namespace SvnScc {

/**
 * Wakes one thread's event loop from any other thread through a pipe of
 * its own: wake() writes a byte, and a socket notifier in the woken thread
 * empties the pipe and calls back. Unlike an event posted through Qt, a
 * write and the read that follows it order the two threads' memory in a
 * way ThreadSanitizer sees, so what the waking thread handed over under a
 * lock before wake() is seen as handed over.
 *
 * Make the pipe before the thread that calls wake() starts; it must be
 * destroyed after that thread and the listener are done.
 */
class WakePipe
{
public:
    /** Makes the pipe (close-on-exec, non-blocking). */
    WakePipe();
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    /**
     * In the thread whose event loop it wakes: calls @p woken there after
     * wake() (several wakes may come as one call). Returns the notifier, a
     * child of @p parent, which belongs to that thread; null when the pipe
     * could not be made.
     */
    QSocketNotifier* listen(QObject* parent, std::function<void()> woken);

    /** Any thread: has the listener called. Never blocks. */
    void wake();

private:
    int m_read = -1;
    int m_write = -1;
};

} // namespace SvnScc
