// Reaping the child, and ending it by a limit or a stop request.

#include "ProcessEnding.h"

#include "QTxProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace {

// After SIGKILL, how long a descendant that left the group may keep the pipes open.
constexpr qint64 PipeGraceMs = 1000;
// How often the silence limit reads the group's counters.
constexpr qint64 ActivitySampleMs = 250;

} // namespace

namespace QTx::Spawn {

qint64 nowMs()
{
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

Child::Child(pid_t pid) : m_pid(pid)
{
    // Readable once the child has ended; absent on kernels before 5.3.
    m_exitFd.reset(int(::syscall(SYS_pidfd_open, pid, 0)));
}

Child::~Child()
{
    if (m_pid > 0) {
        signal(SIGKILL);
        reap(nullptr);
    }
}

void Child::signal(int number) const
{
    // Once reaped, its number may be another process's: never signalled.
    if (m_pid > 0)
        ::kill(-m_pid, number);
}

bool Child::reap(int* status)
{
    int local = 0;
    pid_t reaped;
    do {
        reaped = ::waitpid(m_pid, &local, 0);
    } while (reaped < 0 && errno == EINTR);
    m_pid = -1;
    m_lost = reaped < 0;
    if (status)
        *status = local;
    return reaped > 0;
}

bool Child::tryReap(int* status)
{
    if (m_pid <= 0)
        return true; // reaped before: waitpid(-1) would take any child of the host
    const pid_t reaped = ::waitpid(m_pid, status, WNOHANG);
    if (reaped == 0 || (reaped < 0 && errno == EINTR))
        return false;
    // Ended; a failure (ECHILD: SIGCHLD ignored) means its status is gone.
    m_pid = -1;
    m_lost = reaped < 0;
    return true;
}

Ending::Ending(pid_t group, const ProcessOptions& options, bool wait)
    : m_limitMs(wait && options.timeoutMs > 0 ? nowMs() + options.timeoutMs : 0),
      m_silenceMs(wait ? qMax(0, options.silenceLimitMs) : 0), m_killGraceMs(qMax(0, options.killGraceMs)),
      m_stopper(wait ? options.stopper : nullptr), m_stopGraceMs(qMax(0, options.stopGraceMs)),
      m_watchFd(wait && options.watchHandler ? options.watchDescriptor : -1), m_watchHandler(options.watchHandler),
      m_activity(group), m_heardMs(nowMs()), m_nextSampleMs(m_heardMs)
{
}

int Ending::stopDescriptor() const
{
    return m_stage == 0 && m_stopper ? m_stopper->descriptor() : -1;
}

void Ending::serveWatch(short revents)
{
    if (m_stage != 0 || m_watchFd < 0 || revents == 0)
        return;
    if (revents & POLLNVAL) {
        m_watchFd = -1; // closed under us: nothing more to watch
        return;
    }
    const qint64 start = nowMs();
    const bool keep = m_watchHandler();
    const qint64 end = nowMs();
    if (!keep)
        m_watchFd = -1;
    // The handler's time is the caller's, not the child's.
    m_heardMs = end;
    m_nextSampleMs = qMax(m_nextSampleMs, end);
    if (m_limitMs != 0)
        m_limitMs += end - start;
}

int Ending::step(const Child& child)
{
    const qint64 now = nowMs();
    if (m_stage == 0) {
        if (m_stopper && m_stopper->stopRequested()) {
            m_stopped = true;
            begin(child, now, m_stopGraceMs);
        } else if ((m_limitMs != 0 && now >= m_limitMs) || (m_silenceMs != 0 && silent(now))) {
            m_expired = true;
            begin(child, now, m_killGraceMs);
        }
    } else if (m_stage == 1 && now >= m_endMs) {
        child.signal(SIGKILL);
        m_stage = 2;
        m_endMs = now + PipeGraceMs;
    } else if (m_stage == 2 && now >= m_endMs) {
        m_stage = 3; // a descendant outside the group holds the pipes: stop reading
    }
    qint64 next = m_stage == 0 ? (m_limitMs != 0 ? m_limitMs : now + PollTimeoutMs) : m_endMs;
    if (m_stage == 0 && m_silenceMs != 0)
        next = qMin(next, qMin(m_nextSampleMs, m_heardMs + m_silenceMs));
    return int(qBound<qint64>(1, next - nowMs(), qint64(PollTimeoutMs)));
}

// Whether nothing has moved for the whole silence limit. The counters are
// read every sample period, and once more before a run is ended, so that a
// movement since the last reading still counts.
bool Ending::silent(qint64 now)
{
    if (now >= m_nextSampleMs || now - m_heardMs >= m_silenceMs) {
        if (m_activity.moved())
            m_heardMs = now;
        m_nextSampleMs = now + ActivitySampleMs;
    }
    return now - m_heardMs >= m_silenceMs;
}

void Ending::begin(const Child& child, qint64 now, qint64 graceMs)
{
    child.signal(graceMs > 0 ? SIGTERM : SIGKILL);
    m_stage = graceMs > 0 ? 1 : 2;
    m_endMs = now + (graceMs > 0 ? graceMs : PipeGraceMs);
}

// Its exit descriptor wakes the wait the moment it ends (it has often closed
// its pipes an instant before it can be reaped); without one, pauses grow
// from 1 ms, so a child that ends at once is still seen at once.
void waitOut(Child& child, Ending& deadline, int& status, bool& reaped)
{
    int pauseMs = 1;
    while (!(reaped = child.tryReap(&status))) {
        const int stepMs = deadline.step(child);
        const int waitMs = child.exitDescriptor() >= 0 ? stepMs : qMin(pauseMs, stepMs);
        pollfd fds[3] = {{child.exitDescriptor(), POLLIN, 0},
                         {deadline.stopDescriptor(), POLLIN, 0},
                         {deadline.watchDescriptor(), POLLIN, 0}};
        if (::poll(fds, 3, waitMs) > 0)
            deadline.serveWatch(fds[2].revents);
        pauseMs = qMin(2 * pauseMs, PollTimeoutMs);
    }
}

} // namespace QTx::Spawn

namespace QTx {

ProcessStopper::ProcessStopper() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

ProcessStopper::~ProcessStopper()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void ProcessStopper::stop()
{
    m_requested.store(true);
    const uint64_t one = 1;
    if (m_fd >= 0)
        (void)!::write(m_fd, &one, sizeof one); // wakes a run that polls; a full counter is awake anyway
}

void ProcessStopper::reset()
{
    // Only a request made the descriptor readable: most resets cost no system call.
    if (!m_requested.exchange(false))
        return;
    uint64_t count = 0;
    if (m_fd >= 0)
        (void)!::read(m_fd, &count, sizeof count);
}

bool ProcessStopper::wait(int ms) const
{
    pollfd stop{m_requested.load() ? -1 : m_fd, POLLIN, 0};
    if (!m_requested.load())
        ::poll(&stop, 1, ms);
    return m_requested.load();
}

} // namespace QTx
