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
 * A way to end a run of runProcess() or spawnProcess() from another
 * thread. stop() may be called from any thread at any time and returns at
 * once: the run that uses this stopper (now, or later until reset()) ends
 * its child as its options say and reports it stopped; a run that has not
 * started yet is not started. reset() takes the request back; call it only while no run uses
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

/**
 * What one runProcess() run is to do. The defaults run the program in the
 * caller's folder and environment, on the caller's own streams, with no
 * limit.
 */
struct ProcessOptions
{
    /**
     * The argument vector; the first element names the program (looked up
     * along PATH as execvp() would when it has no "/", relative entries seen
     * from the working directory). Each element is passed in its 8-bit form
     * (UTF-8, see toEightBit()); a null element becomes an empty argument.
     */
    QStringList arguments;
    /** The folder the child runs in; null: the caller's. */
    QString workingDirectory;
    /**
     * True: a working directory that cannot be entered means the child is
     * not started (NotStarted, "cannot run 'svn' in '/w/lib': no such
     * folder"). False: it is ignored and the child runs in the caller's folder.
     */
    bool requireWorkingDirectory = true;
    /** The child's environment; null: the caller's own. */
    ProcessEnvironment* environment = nullptr;
    /**
     * When not null, these bytes are put on the child's standard input
     * through a pipe, which is then closed; otherwise the child inherits
     * standard input. At most 64 KiB (the pipe is filled before the child
     * starts, so writing it can never block or fail on a child that ended);
     * more is a start failure.
     */
    const QByteArray* input = nullptr;
    /**
     * Where standard output goes: straight into `outputDescriptor` (for
     * example a file) when that is not negative; otherwise cut into lines,
     * each handed to `outputObserver` as soon as it is complete (while the
     * child still runs) and then appended to `output`, when either is set;
     * otherwise to the caller's own standard output. Lines: LF and CR LF end
     * a line, an empty line is a null QString, output without a final line
     * end still gives its last line; lists are appended to, never cleared.
     */
    QStringList* output = nullptr;
    /** See `output`. */
    int outputDescriptor = -1;
    /** See `output`. */
    OutputLineObserver outputObserver;
    /**
     * Standard error, cut into lines as `output` is, when not null;
     * otherwise the caller's own standard error. Reading lasts until the
     * child (and whatever it started) closes both captured streams.
     */
    QStringList* errors = nullptr;
    /**
     * When positive: a limit on the run's whole time. When the child is
     * still running after this many milliseconds, its process group (the
     * child and whatever it started) gets SIGTERM, then SIGKILL
     * `killGraceMs` later, and is reaped; the run ends TimedOut.
     */
    int timeoutMs = 0;
    /**
     * When positive: a limit on silence. The run is ended as by the time
     * limit (the same grace; TimedOut) once, for this many milliseconds,
     * nothing in the child's process group has moved a byte: no output
     * arrived from it, the kernel's read and write counters of its
     * processes stood still (files, pipes and sockets alike, a grandchild's
     * too), and no send queue of a TCP socket they hold got shorter (bytes
     * handed to the kernel still leaving over a slow link). A child that
     * keeps moving data may so run for any length of time. The counters are
     * read (from /proc, on Linux only; elsewhere only output counts) a few
     * times a second and only while this limit is set, so a silent child is
     * ended at most a quarter of a second after the limit.
     */
    int silenceLimitMs = 0;
    /** How long a child ended by the time or silence limit gets after SIGTERM; 0: SIGKILL at once. */
    int killGraceMs = 2000;
    /**
     * When not null: a stop request ends the run (the child's process group
     * gets SIGTERM, then SIGKILL `stopGraceMs` later, or SIGKILL at once
     * with no grace), or keeps it from starting; the run ends Stopped.
     */
    const ProcessStopper* stopper = nullptr;
    /** How long a stopped child gets after SIGTERM; 0: SIGKILL at once. */
    int stopGraceMs = 0;
    /**
     * When not negative and `watchHandler` is set: one more descriptor of
     * the caller's (a listening socket, a pipe) watched while the run waits
     * for the child. Each time it polls readable, `watchHandler` is called
     * on the thread that runs runProcess(), and the run waits for the child
     * again when it returns. It must take what made the descriptor readable
     * (accept the connection, read the bytes), or it is called again at
     * once; it returns false to stop the watch for the rest of the run. The
     * watch ends when the child is being ended (a limit, a stop) or has
     * ended, and only runs that wait are watched.
     *
     * The time the handler takes (a question to the user, minutes long) is
     * the caller's, not the child's: it counts towards neither limit, the
     * silence limit starts afresh when it returns, and the time limit moves
     * on by as long. A stop requested while it runs ends the run as soon as
     * it returns.
     */
    int watchDescriptor = -1;
    /** See `watchDescriptor`. */
    std::function<bool()> watchHandler;
};

/** How one runProcess() run ended. */
struct ProcessResult
{
    enum class End
    {
        /** The child exited on its own: `exitCode` holds its status. */
        Exited,
        /** A signal not sent by this run ended the child (a crash, the out-of-memory killer): `signal` says which. */
        Signalled,
        /** The time limit or the silence limit ended the child. */
        TimedOut,
        /** A stop request ended the child, or kept it from starting. */
        Stopped,
        /** The child was not started: `startError` says why. */
        NotStarted,
        /** The child ran, but how it ended is not known: the host ignores SIGCHLD, which discards exit statuses. */
        Lost,
    };

    End end = End::NotStarted;
    /** The exit status as the child gave it, 0 to 255 (255 is 255), when it Exited; -1 otherwise. */
    int exitCode = -1;
    /** The number of the signal that ended the child (9 for SIGKILL) when it was Signalled; 0 otherwise. */
    int signal = 0;
    /**
     * Why the child was not started, in the user's terms ("cannot run
     * 'svnx': not found", "cannot run 'x': not executable", "cannot run
     * 'svn' in '/w/lib': no such folder", "cannot run 'svn': out of
     * memory"), when it is NotStarted; null otherwise.
     */
    QString startError;
};

/**
 * Runs a program as a child process as `options` say and blocks until it
 * has ended and is reaped; what it printed is in the options' lists by
 * then (a child that was not started adds no line). Every way the run can
 * end is told apart in the result. An allocation that fails is a start
 * failure; what the output observer or the watch handler throws (anything
 * else) passes through; either way the child is ended and reaped first.
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
 * signal handler. Needs SIGCHLD not to be ignored by the host (see Lost).
 */
SVNSCC_UTILITIES_EXPORT ProcessResult runProcess(const ProcessOptions& options);

/**
 * Settings of one spawnProcess() run beyond the basic ones; the defaults
 * change nothing. The fields ProcessOptions has too mean what they mean
 * there, limits and stopper only when `wait` is true.
 */
struct SpawnOptions
{
    /** The child's environment; null: the caller's own. */
    ProcessEnvironment* environment = nullptr;
    /** Bytes for standard input (at most 64 KiB); null: inherited. */
    const QByteArray* input = nullptr;
    /**
     * When not negative, the child's standard output goes straight to this
     * descriptor instead of being cut into lines; the output list is then
     * left alone. Standard error is still captured.
     */
    int outputDescriptor = -1;
    /** A limit on the run's whole time in milliseconds; the run then reports -1. */
    int timeoutMs = 0;
    /** A limit on silence in milliseconds, as ProcessOptions::silenceLimitMs; the run then reports -1. */
    int silenceLimitMs = 0;
    /** How long a child ended by the time or silence limit gets after SIGTERM; 0: SIGKILL at once. */
    int killGraceMs = 2000;
    /** When not null: set to whether the time limit or the silence limit ended the run. */
    bool* timedOut = nullptr;
    /** When not null: a stop request ends the run, or keeps it from starting; the run then reports -1. */
    const ProcessStopper* stopper = nullptr;
    /** How long a stopped child gets after SIGTERM; 0: SIGKILL at once. */
    int stopGraceMs = 0;
    /** When not null: set to whether a stop request ended (or prevented) the run. */
    bool* stopped = nullptr;
    /**
     * When not null: set to why the child could not be started, in the
     * user's terms (as ProcessResult::startError), or to a null string when
     * it was started. A run that reports -1 with a null reason was started
     * and was killed by a signal (or by the time limit).
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
 * The child is started, run and ended as runProcess() says (the same code
 * runs both); an ignored SIGCHLD makes every run report -1. runProcess()
 * tells these endings apart.
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
