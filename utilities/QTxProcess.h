#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace QTx {

class ProcessEnvironment;

/**
 * A way to end a run of spawnProcess() from another thread. stop() may be
 * called from any thread at any time and returns at once: the run that uses
 * this stopper (now, or later until reset()) ends its child as its options
 * say and reports it stopped; a run that has not started yet is not
 * started. reset() takes the request back; call it only while no run uses
 * the stopper.
 */
class SVNSCC_UTILITIES_EXPORT ProcessStopper
{
public:
    ProcessStopper();
    ~ProcessStopper();
    ProcessStopper(const ProcessStopper&) = delete;
    ProcessStopper& operator=(const ProcessStopper&) = delete;

    /** Asks for the stop. Thread-safe; never blocks. */
    void stop();
    /** Takes a stop request back. */
    void reset();
    /** Whether a stop has been asked for since the last reset(). */
    bool stopRequested() const { return m_requested.load(); }
    /** Waits up to `ms` milliseconds, less when a stop is asked for; whether one was. */
    bool wait(int ms) const;
    /** Readable while a stop is asked for (for poll()); -1 when the system has none. */
    int descriptor() const { return m_fd; }

private:
    std::atomic<bool> m_requested{false};
    int m_fd;
};

/** Sees one line of a child's standard output: its bytes, without the line end. */
using OutputLineObserver = std::function<void(QByteArrayView)>;

/** Settings of one spawnProcess() run beyond the basic ones; the defaults change nothing. */
struct SpawnOptions
{
    /** The child's environment; null: the caller's own. */
    ProcessEnvironment* environment = nullptr;
    /**
     * When not null, these bytes are put on the child's standard input
     * through a pipe, which is then closed; otherwise the child inherits
     * standard input. At most 64 KiB (the pipe is filled before the child
     * starts, so writing it can never block or fail on a child that ended).
     */
    const QByteArray* input = nullptr;
    /**
     * When not negative, the child's standard output goes straight to this
     * descriptor (for example a file) instead of being cut into lines; the
     * output list is then left alone. Standard error is still captured.
     */
    int outputDescriptor = -1;
    /**
     * When positive, and `wait` is true: a limit on the run's whole time.
     * When the child is still running after this many milliseconds, its
     * process group (the child and whatever it started) gets SIGTERM, then
     * SIGKILL `killGraceMs` later, and is reaped. The run then reports -1.
     */
    int timeoutMs = 0;
    /**
     * When positive, and `wait` is true: a limit on silence. The run is
     * ended as by the time limit (the same grace; `timedOut` set) once, for
     * this many milliseconds, nothing in the child's process group has moved
     * a byte: no output arrived from it, the kernel's read and write
     * counters of its processes stood still (files, pipes and sockets alike,
     * a grandchild's too), and no send queue of a TCP socket they hold got
     * shorter (bytes handed to the kernel still leaving over a slow link).
     * A child that keeps moving data may so run for any length of time. The
     * counters are read (from /proc, on Linux only; elsewhere only output
     * counts) a few times a second and only while this limit is set, so a
     * silent child is ended at most a quarter of a second after the limit.
     */
    int silenceLimitMs = 0;
    /** How long a child ended by the time or silence limit gets after SIGTERM; 0: SIGKILL at once. */
    int killGraceMs = 2000;
    /** When not null: set to whether the time limit or the silence limit ended the run. */
    bool* timedOut = nullptr;
    /**
     * When not null, and `wait` is true: a stop request ends the run (the
     * child's process group gets SIGTERM, then SIGKILL `stopGraceMs` later,
     * or SIGKILL at once with no grace), or keeps it from starting. The run
     * then reports -1 and `stopped` true.
     */
    const ProcessStopper* stopper = nullptr;
    /** How long a stopped child gets after SIGTERM; 0: SIGKILL at once. */
    int stopGraceMs = 0;
    /** When not null: set to whether a stop request ended (or prevented) the run. */
    bool* stopped = nullptr;
    /**
     * When not null: set to why the child could not be started, in the
     * user's terms ("cannot run 'svnx': not found", "cannot run 'x': not
     * executable", "cannot run 'svn' in '/w/lib': no such folder"), or to a
     * null string when it was started. A run that reports -1 with a null
     * reason was started and was killed by a signal (or by the time limit).
     */
    QString* startError = nullptr;
    /**
     * True: a working directory that cannot be entered is a reason not to
     * start the child (reported through startError). False: it is ignored
     * and the child runs in the caller's directory.
     */
    bool requireWorkingDirectory = false;
    /**
     * When set, called with each line of standard output as soon as it is
     * complete, while the child still runs (before the line is appended to
     * the output list, which may then be null).
     */
    OutputLineObserver outputObserver;
};

/**
 * Runs a program as a child process and collects what it prints.
 *
 * @param arguments        the argument vector; the first element names the
 *                         program (looked up along PATH when it has no "/").
 *                         Each element is passed in its 8-bit form (UTF-8,
 *                         see toEightBit()); a null element becomes an empty
 *                         argument.
 * @param wait             true: block until the child ends. false: after the
 *                         output is read, ask up to ten times, 1 ms apart,
 *                         whether the child has ended; 0 if it has not.
 * @param workingDirectory directory the child changes into first (null: keep
 *                         the caller's; a directory that cannot be entered is
 *                         ignored).
 * @param unused           no effect.
 * @param output, errors   receive the child's standard output and standard
 *                         error as lines (appended, never cleared). Only when
 *                         both are given is anything captured; otherwise the
 *                         child writes to the caller's own streams. LF and
 *                         CR LF end a line, an empty line is a null QString,
 *                         and output without a final line end still gives its
 *                         last line. Reading lasts until the child closes both
 *                         streams.
 * @return the child's exit status as a signed 8-bit value (255 gives -1);
 *         -1 when the program could not be started, the child was killed by
 *         a signal or could not be forked (then no line is appended).
 *
 * The child starts in a session of its own, which is also a process group
 * of its own, with no controlling terminal: nothing it starts can open
 * /dev/tty, so a program that would ask the user there (ssh about an
 * unknown host key or a passphrase) fails at once with its reason instead
 * of being stopped by the terminal, and signals of the host's terminal
 * (Ctrl-C, a hang-up) do not reach it. The time limit, the silence limit
 * and a stop end that whole group.
 *
 * Safe to call from several threads at once: the pipes are close-on-exec, so
 * no other child inherits them. The child is started without copying the
 * caller's memory; it starts with the caller's handlers reset to their
 * defaults, no signal blocked, and SIGHUP, SIGINT, SIGQUIT, SIGPIPE and
 * SIGTERM at their defaults even when the caller ignores them. Installs no
 * signal handler. Needs SIGCHLD not to be ignored by the host (an ignored
 * SIGCHLD discards every exit status, and every run then reports -1).
 */
SVNSCC_UTILITIES_EXPORT int spawnProcess(const QStringList& arguments, bool wait,
                                         const QString& workingDirectory, bool unused,
                                         QStringList* output, QStringList* errors);

/**
 * As above, with the settings of `options`. Capturing needs `errors` and
 * one of `output`, an output descriptor or an output observer.
 */
SVNSCC_UTILITIES_EXPORT int spawnProcess(const QStringList& arguments, bool wait,
                                         const QString& workingDirectory,
                                         const SpawnOptions& options, QStringList* output,
                                         QStringList* errors);

} // namespace QTx
