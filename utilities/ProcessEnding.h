#pragma once

// The end of a QTx::runProcess() child: reaping it, and ending it early by
// its time limit, its silence limit or a stop request.

#include "GroupActivity.h"
#include "ProcessStart.h"

#include <QtGlobal>

#include <sys/types.h>

#include <functional>

namespace QTx {
struct ProcessOptions;
class ProcessStopper;
} // namespace QTx

namespace QTx::Spawn {

/** The longest a reader or a waiter sleeps before it looks at the clock again. */
constexpr int PollTimeoutMs = 100;

/** Milliseconds of a monotonic clock. */
qint64 nowMs();

/**
 * The child being run: reaped on every way out, also when an exception
 * (an allocation failure while capturing) leaves the run.
 */
class Child
{
public:
    explicit Child(pid_t pid);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    /** Signals the child's process group: the child and whatever it started; nothing once it is reaped. */
    void signal(int number) const;
    /** Blocks until the child has ended; true with its wait status, false when the system kept none (statusLost()). */
    bool reap(int* status);
    /**
     * Asks without blocking; true once the child has ended, with its wait
     * status, or with none when the system kept none for us (statusLost():
     * the host ignores SIGCHLD). Never asks about another process.
     */
    bool tryReap(int* status);
    /** The child has ended but its wait status is gone. */
    bool statusLost() const { return m_lost; }
    /** Gives up on the child without reaping it (the no-wait form). */
    void abandon() { m_pid = -1; }
    /** A descriptor that polls readable when the child has ended; -1 when the system has none. */
    int exitDescriptor() const { return m_exitFd.get(); }

private:
    Descriptor m_exitFd;
    pid_t m_pid;
    bool m_lost = false;
};

/**
 * How one run is ended early: by its time limit, its silence limit, or by a
 * stop request from another thread. Either way the child's group gets
 * SIGTERM, then SIGKILL after the grace (at once without one), and a
 * descendant that keeps the pipes open after that is no longer waited for.
 * It also serves the caller's watched descriptor, whose handler's time the
 * limits leave out.
 */
class Ending
{
public:
    /** The limits and stop of `options`; none unless `wait`. */
    Ending(pid_t group, const ProcessOptions& options, bool wait);

    bool isSet() const { return m_limitMs != 0 || m_silenceMs != 0 || m_stopper || m_watchFd >= 0; }

    /** The child's output arrived: it is not silent now. */
    void heard() { m_heardMs = nowMs(); }

    bool expired() const { return m_expired; }
    bool stopped() const { return m_stopped; }

    /** Polled for a stop request until the child is being ended; -1 after. */
    int stopDescriptor() const;
    /** The caller's watched descriptor until the child is being ended or the watch stopped; -1 after. */
    int watchDescriptor() const { return m_stage == 0 ? m_watchFd : -1; }
    /**
     * Calls the watch handler when `revents` (what poll() said of
     * watchDescriptor()) says so. The silence limit starts afresh after it,
     * and the time limit moves on by the time it took.
     */
    void serveWatch(short revents);

    /**
     * Signals the child as the clock and a stop request say; the longest
     * poll wait until the next step.
     */
    int step(const Child& child);

    /** Whether a descendant outside the group holds the pipes after SIGKILL: reading stops. */
    bool gaveUpReading() const { return m_stage > 2; }

private:
    bool silent(qint64 now);
    void begin(const Child& child, qint64 now, qint64 graceMs);

    qint64 m_limitMs;
    qint64 m_silenceMs;
    qint64 m_killGraceMs;
    const ProcessStopper* m_stopper;
    qint64 m_stopGraceMs;
    int m_watchFd;
    const std::function<bool()>& m_watchHandler;
    GroupActivity m_activity;
    qint64 m_heardMs;
    qint64 m_nextSampleMs;
    qint64 m_endMs = 0;
    int m_stage = 0;
    bool m_expired = false;
    bool m_stopped = false;
};

/**
 * Waits for the child's end under the limits and a stop request; `reaped`
 * tells whether `status` holds its wait status.
 */
void waitOut(Child& child, Ending& deadline, int& status, bool& reaped);

} // namespace QTx::Spawn
