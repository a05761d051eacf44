// Process spawning with posix_spawn and pipes read under poll.
//
// posix_spawn starts the child without copying the caller's address space
// (glibc uses clone(CLONE_VM | CLONE_VFORK) on a small stack of its own), so
// the cost of a start does not grow with the memory the host holds. glibc
// also blocks every signal across the start and resets, in the child, every
// handler the host installed to its default before the mask is restored, so
// no host handler ever runs in the child. Everything the child needs (the
// resolved program path, argument and environment vectors, descriptors) is
// made here in the parent; the child only redirects, changes directory and
// executes.

#include "QTxProcess.h"

#include "EightBit.h"
#include "GroupActivity.h"
#include "LineCutter.h"
#include "QTxProcessEnvironment.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

extern char** environ;

namespace {

constexpr int PollTimeoutMs = 100;
constexpr int NoWaitTries = 10;
constexpr useconds_t NoWaitPauseUs = 1000;
// A larger pipe means fewer wake-ups for a child that writes a lot.
constexpr int CapturePipeSize = 1 << 20;
// What one read may take from a pipe while capturing.
constexpr size_t CaptureReadSize = 256 * 1024;
// How long the reader lets a child's output gather after a small read.
constexpr long GatherPauseUs = 2000;
// After SIGKILL, how long a descendant that left the group may keep the pipes open.
constexpr qint64 PipeGraceMs = 1000;
// How often the silence limit reads the group's counters.
constexpr qint64 ActivitySampleMs = 250;

// Owns one descriptor and closes it on every way out.
class Descriptor
{
public:
    Descriptor() = default;
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void reset(int fd)
    {
        close();
        m_fd = fd;
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd); // never retried: the descriptor is gone even on EINTR
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

// A close-on-exec pipe, so that a child started meanwhile by another thread
// never inherits an end (a stray write end would hold our end of file back).
// Neither end lands on descriptors 0 to 2, which the child's redirection uses.
bool openPipe(Descriptor& readEnd, Descriptor& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    for (int& fd : fds) {
        if (fd <= 2) {
            const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
            ::close(fd);
            fd = moved;
        }
    }
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return readEnd.isOpen() && writeEnd.isOpen();
}

qint64 nowMs()
{
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int signedExitStatus(int status)
{
    return static_cast<signed char>(WEXITSTATUS(status));
}

// Why a path cannot be executed, in the user's terms; null when it can.
const char* executionProblem(const QByteArray& path)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return errno == EACCES ? "not executable" : "not found";
    if (!S_ISREG(st.st_mode) || ::access(path.constData(), X_OK) != 0)
        return "not executable";
    return nullptr;
}

// The path to execute: a name holding "/" as it is; otherwise the first
// executable file of that name along PATH, as execvp() would find it (an
// entry that is not a directory is passed over; an empty entry is the
// current directory). A relative entry is looked up from `directory`, where
// the child will be. Null when nothing is found, with `problem` saying why:
// "not executable" when only files that cannot be run have the name.
QByteArray resolveProgram(const QByteArray& name, const QByteArray& directory, const char*& problem)
{
    problem = "not found";
    if (name.isEmpty())
        return QByteArray();
    if (name.contains('/')) {
        const QByteArray seenFrom = name.startsWith('/') || directory.isEmpty() ? name : directory + '/' + name;
        problem = executionProblem(seenFrom);
        return problem ? QByteArray() : name;
    }
    const char* pathVariable = std::getenv("PATH");
    const QByteArray searchPath = pathVariable ? QByteArray(pathVariable) : QByteArray("/bin:/usr/bin");
    for (const QByteArray& entry : searchPath.split(':')) {
        const QByteArray candidate = (entry.isEmpty() ? QByteArray(".") : entry) + '/' + name;
        const QByteArray seenFrom = candidate.startsWith('/') || directory.isEmpty()
                ? candidate
                : directory + '/' + candidate;
        const char* candidateProblem = executionProblem(seenFrom);
        if (!candidateProblem) {
            problem = nullptr;
            return candidate;
        }
        if (qstrcmp(candidateProblem, "not executable") == 0)
            problem = candidateProblem;
    }
    return QByteArray();
}

// What a failed start of `program` tells the user.
QString startProblem(const QByteArray& program, const QString& why)
{
    return QStringLiteral("cannot run '%1': %2").arg(fromEightBit(program), why);
}

QString errnoText(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("not found");
    case EACCES:
    case ENOEXEC:
        return QStringLiteral("not executable");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Starts the child in a session of its own. The descriptors become the
// child's 0 (when `input` is open), 1 and 2 (when open); `directoryFd` (when
// open) is entered first. Returns the child's pid, or -1 with `error` set
// when it could not be started.
pid_t startChild(const QByteArray& program, char* const* argv, char* const* envp, int input,
                 int output, int errors, int directoryFd, int& error)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if ((error = ::posix_spawn_file_actions_init(&actions)) != 0)
        return -1;
    if ((error = ::posix_spawnattr_init(&attributes)) != 0) {
        ::posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    bool ready = true;
    if (input >= 0)
        ready = ready && ::posix_spawn_file_actions_adddup2(&actions, input, 0) == 0;
    if (output >= 0)
        ready = ready && ::posix_spawn_file_actions_adddup2(&actions, output, 1) == 0;
    if (errors >= 0)
        ready = ready && ::posix_spawn_file_actions_adddup2(&actions, errors, 2) == 0;
    if (directoryFd >= 0)
        ready = ready && ::posix_spawn_file_actions_addfchdir_np(&actions, directoryFd) == 0;
    // The child starts as from a shell, whatever the calling thread blocks
    // or the host ignores: nothing blocked, and the signals that stop a
    // program at their defaults, so that it can always be ended.
    sigset_t none, stopping;
    sigemptyset(&none);
    sigemptyset(&stopping);
    for (int number : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM})
        sigaddset(&stopping, number);
    // A new session (and with it a new process group, the one a limit or a
    // stop signals) without a controlling terminal: a program that would
    // ask on /dev/tty cannot open it and fails, where in a background group
    // of the host's terminal it would be stopped until killed.
    const short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID;
    ready = ready && ::posix_spawnattr_setsigmask(&attributes, &none) == 0
        && ::posix_spawnattr_setsigdefault(&attributes, &stopping) == 0
        && ::posix_spawnattr_setflags(&attributes, flags) == 0;

    pid_t pid = -1;
    error = ready ? ::posix_spawn(&pid, program.constData(), &actions, &attributes, argv, envp) : EINVAL;
    if (error != 0)
        pid = -1;
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// One captured stream: what has been read and not yet cut into lines.
struct Capture
{
    explicit Capture(QStringList* lines, const QTx::OutputLineObserver* observer = nullptr)
        : cutter(lines, observer) {}

    Descriptor fd;
    QByteArray bytes;
    LineCutter cutter;
    bool open = false;

    // Drains the pipe and cuts the lines that are complete; true while the
    // stream stays open. The bytes taken are added to `taken`.
    bool take(qsizetype& taken)
    {
        const qsizetype before = bytes.size();
        const bool stillOpen = drain();
        taken += bytes.size() - before;
        cutter.cut(bytes, !stillOpen);
        return stillOpen;
    }

    // Reads what the pipe holds now. Returns false at end of file or on a
    // lasting error.
    bool drain()
    {
        for (;;) {
            const qsizetype used = bytes.size();
            if (bytes.capacity() - used < qsizetype(CaptureReadSize))
                bytes.reserve(qMax<qsizetype>(2 * bytes.capacity(), used + CaptureReadSize));
            bytes.resize(used + qsizetype(CaptureReadSize));
            const ssize_t count = ::read(fd.get(), bytes.data() + used, CaptureReadSize);
            bytes.resize(used + qMax<ssize_t>(count, 0));
            if (count > 0)
                continue;
            if (count == 0)
                return false;
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }
};

// The child being run: reaped on every way out, also when an exception
// (an allocation failure while capturing) leaves spawnProcess.
class Child
{
public:
    explicit Child(pid_t pid) : m_pid(pid)
    {
        // Readable once the child has ended; absent on kernels before 5.3.
        m_exitFd.reset(int(::syscall(SYS_pidfd_open, pid, 0)));
    }
    ~Child()
    {
        if (m_pid > 0) {
            signal(SIGKILL);
            reap(nullptr);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Signals the child's process group: the child and whatever it started.
    void signal(int number) const { ::kill(-m_pid, number); }

    // Blocks until the child has ended; true with its wait status.
    bool reap(int* status)
    {
        int local = 0;
        pid_t reaped;
        do {
            reaped = ::waitpid(m_pid, &local, 0);
        } while (reaped < 0 && errno == EINTR);
        m_pid = -1;
        if (status)
            *status = local;
        return reaped > 0;
    }

    // Asks without blocking; true with its wait status once it has ended.
    bool tryReap(int* status)
    {
        const pid_t reaped = ::waitpid(m_pid, status, WNOHANG);
        if (reaped == 0)
            return false;
        m_pid = -1;
        return reaped > 0;
    }

    // Gives up on the child without reaping it (the no-wait form).
    void abandon() { m_pid = -1; }

    // A descriptor that polls readable when the child has ended; -1 when
    // the system has none.
    int exitDescriptor() const { return m_exitFd.get(); }

private:
    Descriptor m_exitFd;
    pid_t m_pid;
};

// How one run is ended early: by its time limit, its silence limit, or by a
// stop request from another thread. Either way the child's group gets
// SIGTERM, then SIGKILL after the grace (at once without one), and a
// descendant that keeps the pipes open after that is no longer waited for.
class Ending
{
public:
    Ending(pid_t group, const QTx::SpawnOptions& options, bool wait)
        : m_limitMs(wait && options.timeoutMs > 0 ? nowMs() + options.timeoutMs : 0),
          m_silenceMs(wait ? qMax(0, options.silenceLimitMs) : 0), m_killGraceMs(qMax(0, options.killGraceMs)),
          m_stopper(wait ? options.stopper : nullptr), m_stopGraceMs(qMax(0, options.stopGraceMs)),
          m_activity(group), m_heardMs(nowMs()), m_nextSampleMs(m_heardMs)
    {
    }

    bool isSet() const { return m_limitMs != 0 || m_silenceMs != 0 || m_stopper; }

    // The child's output arrived: it is not silent now.
    void heard() { m_heardMs = nowMs(); }

    bool expired() const { return m_expired; }
    bool stopped() const { return m_stopped; }

    // Polled for a stop request until the child is being ended; -1 after.
    int stopDescriptor() const { return m_stage == 0 && m_stopper ? m_stopper->descriptor() : -1; }

    // Signals the child as the clock and a stop request say; the longest
    // poll wait until the next step.
    int step(const Child& child)
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

    bool gaveUpReading() const { return m_stage > 2; }

private:
    // Whether nothing has moved for the whole silence limit. The counters
    // are read every sample period, and once more before a run is ended,
    // so that a movement since the last reading still counts.
    bool silent(qint64 now)
    {
        if (now >= m_nextSampleMs || now - m_heardMs >= m_silenceMs) {
            if (m_activity.moved())
                m_heardMs = now;
            m_nextSampleMs = now + ActivitySampleMs;
        }
        return now - m_heardMs >= m_silenceMs;
    }

    void begin(const Child& child, qint64 now, qint64 graceMs)
    {
        child.signal(graceMs > 0 ? SIGTERM : SIGKILL);
        m_stage = graceMs > 0 ? 1 : 2;
        m_endMs = now + (graceMs > 0 ? graceMs : PipeGraceMs);
    }

    qint64 m_limitMs;
    qint64 m_silenceMs;
    qint64 m_killGraceMs;
    const QTx::ProcessStopper* m_stopper;
    qint64 m_stopGraceMs;
    GroupActivity m_activity;
    qint64 m_heardMs;
    qint64 m_nextSampleMs;
    qint64 m_endMs = 0;
    int m_stage = 0;
    bool m_expired = false;
    bool m_stopped = false;
};

// Reads both pipes until each has reported end of file, cutting lines as
// they complete. Polling both keeps a child that fills one pipe while we
// wait on the other from blocking.
//
// A reader that polls a pipe is woken by every write into it, and the svn
// client writes each status line on its own: thousands of wake-ups, each of
// which slows the writer down. So after a wake-up that found a little output
// the reader pauses briefly and lets more gather; only a child that writes a
// lot (a quarter of the pipe at once) is read without pauses. The child's
// exit descriptor is polled too, so its end is seen at once.
void collect(Capture& out, Capture& err, const Child& child, Ending& deadline)
{
    const int capacity = out.fd.isOpen() ? ::fcntl(out.fd.get(), F_GETPIPE_SZ) : 65536;
    const qsizetype streamingThreshold = capacity > 0 ? capacity / 4 : 16384;
    const timespec pause{0, GatherPauseUs * 1000};
    Capture* captures[2] = {&out, &err};
    bool exited = false;
    while (out.open || err.open) {
        const int waitMs = deadline.step(child);
        if (deadline.gaveUpReading())
            return;
        pollfd fds[4] = {{out.open ? out.fd.get() : -1, POLLIN, 0},
                         {err.open ? err.fd.get() : -1, POLLIN, 0},
                         {exited ? -1 : child.exitDescriptor(), POLLIN, 0},
                         {deadline.stopDescriptor(), POLLIN, 0}};
        const int ready = ::poll(fds, 4, waitMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return; // the caller closes the pipes before it waits
        }
        qsizetype taken = 0;
        for (int i = 0; i < 2; ++i) {
            Capture& capture = *captures[i];
            if (!capture.open || fds[i].revents == 0)
                continue;
            if ((fds[i].revents & POLLNVAL) || !capture.take(taken))
                capture.open = false;
        }
        exited = exited || fds[2].revents != 0;
        if (taken > 0)
            deadline.heard();
        if (taken > 0 && taken < streamingThreshold && !exited && (out.open || err.open)) {
            // The pause ends early when the child ends or a stop is asked for.
            pollfd wake[2] = {{child.exitDescriptor(), POLLIN, 0}, {deadline.stopDescriptor(), POLLIN, 0}};
            ::ppoll(wake, 2, &pause, nullptr);
        }
    }
}

// Waits for the child's end under the limits and a stop request. Its exit
// descriptor wakes the wait the moment it ends (it has often closed its
// pipes an instant before it can be reaped); without one, pauses grow from
// 1 ms, so a child that ends at once is still seen at once.
void waitOut(Child& child, Ending& deadline, int& status, bool& reaped)
{
    int pauseMs = 1;
    while (!(reaped = child.tryReap(&status))) {
        const int stepMs = deadline.step(child);
        const int waitMs = child.exitDescriptor() >= 0 ? stepMs : qMin(pauseMs, stepMs);
        pollfd fds[2] = {{child.exitDescriptor(), POLLIN, 0}, {deadline.stopDescriptor(), POLLIN, 0}};
        ::poll(fds, 2, waitMs);
        pauseMs = qMin(2 * pauseMs, PollTimeoutMs);
    }
}

int run(const QStringList& arguments, bool wait, const QString& workingDirectory,
        const QTx::SpawnOptions& options, QStringList* output, QStringList* errors)
{
    const bool toDescriptor = options.outputDescriptor >= 0;
    const bool capture = errors && (output || toDescriptor || options.outputObserver);
    if (options.timedOut)
        *options.timedOut = false;
    if (options.stopped)
        *options.stopped = false;
    if (options.startError)
        *options.startError = QString();
    const auto fail = [&options](const QString& why) {
        if (options.startError)
            *options.startError = why;
        return -1;
    };

    // Everything the child needs is made here, before it exists.
    std::vector<QByteArray> argumentBytes;
    argumentBytes.reserve(size_t(arguments.size()) + 1);
    for (const QString& argument : arguments)
        argumentBytes.push_back(toEightBit(argument));
    if (argumentBytes.empty())
        argumentBytes.emplace_back();
    std::vector<char*> argv;
    argv.reserve(argumentBytes.size() + 1);
    for (QByteArray& bytes : argumentBytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);
    char* const* envp = options.environment ? options.environment->envp() : environ;

    // A directory that cannot be entered is ignored (the child then runs in
    // the inherited one) unless the caller requires it. Opening it here
    // tells; the child only enters it.
    Descriptor directory;
    QByteArray directoryBytes;
    if (!workingDirectory.isNull()) {
        directoryBytes = toEightBit(workingDirectory);
        const int fd = ::open(directoryBytes.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int openError = fd >= 0 ? (::access(directoryBytes.constData(), X_OK) == 0 ? 0 : errno) : errno;
        if (fd >= 0 && openError == 0)
            directory.reset(fd);
        else if (fd >= 0)
            ::close(fd);
        if (!directory.isOpen() && options.requireWorkingDirectory) {
            const QString why = openError == ENOENT ? QStringLiteral("no such folder")
                : openError == ENOTDIR              ? QStringLiteral("not a folder")
                                                    : QString::fromLocal8Bit(std::strerror(openError));
            return fail(QStringLiteral("cannot run '%1' in '%2': %3")
                            .arg(fromEightBit(argumentBytes.front()), workingDirectory, why));
        }
        if (!directory.isOpen())
            directoryBytes.clear();
    }
    const char* lookupProblem = nullptr;
    const QByteArray program = resolveProgram(argumentBytes.front(), directoryBytes, lookupProblem);
    if (program.isEmpty()) // nothing to execute: as an exec failure, no line is appended
        return fail(startProblem(argumentBytes.front(), QString::fromLatin1(lookupProblem)));

    Descriptor inputRead, inputWrite;
    if (options.input) {
        // Filled before the child starts: the write can neither block on a
        // child that does not read nor fail on one that already ended.
        if (!openPipe(inputRead, inputWrite)
            || ::fcntl(inputWrite.get(), F_SETFL, O_NONBLOCK) != 0)
            return fail(startProblem(argumentBytes.front(), errnoText(errno)));
        const qsizetype size = options.input->size();
        if (size > 65536 || (size > 0 && ::write(inputWrite.get(), options.input->constData(), size_t(size)) != size))
            return fail(startProblem(argumentBytes.front(), QStringLiteral("more than 64 KiB of input")));
        inputWrite.close();
    }
    Capture out(output, options.outputObserver ? &options.outputObserver : nullptr);
    Capture err(errors);
    Descriptor outWrite, errWrite;
    if (capture) {
        if ((!toDescriptor && !openPipe(out.fd, outWrite)) || !openPipe(err.fd, errWrite))
            return fail(startProblem(argumentBytes.front(), errnoText(errno)));
        if (!toDescriptor)
            ::fcntl(out.fd.get(), F_SETPIPE_SZ, CapturePipeSize); // a hint; failure is harmless
    }

    // A stop asked for before the start: nothing is started.
    if (options.stopper && options.stopper->stopRequested()) {
        if (options.stopped)
            *options.stopped = true;
        return -1;
    }
    const int childOut = !capture ? -1 : toDescriptor ? options.outputDescriptor : outWrite.get();
    int spawnError = 0;
    const pid_t pid = startChild(program, argv.data(), envp, inputRead.get(), childOut,
                                 capture ? errWrite.get() : -1, directory.get(), spawnError);
    if (pid < 0)
        return fail(startProblem(argumentBytes.front(), errnoText(spawnError)));
    Child child(pid);
    Ending deadline(pid, options, wait);
    inputRead.close();
    // Our copies of the write ends must go, or end of file never arrives.
    outWrite.close();
    errWrite.close();

    if (capture) {
        for (Capture* c : {&out, &err}) {
            c->open = c->fd.isOpen();
            if (c->open)
                ::fcntl(c->fd.get(), F_SETFL, ::fcntl(c->fd.get(), F_GETFL) | O_NONBLOCK);
        }
        collect(out, err, child, deadline);
        // Closed before waiting: a child blocked on a full pipe (after a poll
        // failure) then gets EPIPE and ends instead of hanging us both.
        out.fd.close();
        err.fd.close();
        // What a stream left unfinished (no read reported its end) is its last line.
        for (Capture* c : {&out, &err})
            c->cutter.cut(c->bytes, true);
    }

    int status = 0;
    int result = -1;
    if (wait) {
        bool reaped = false;
        if (deadline.isSet())
            waitOut(child, deadline, status, reaped);
        else
            reaped = child.reap(&status);
        if (reaped && WIFEXITED(status) && !deadline.expired() && !deadline.stopped())
            result = signedExitStatus(status);
        if (options.timedOut)
            *options.timedOut = deadline.expired();
        if (options.stopped)
            *options.stopped = deadline.stopped();
    } else {
        result = 0;
        for (int attempt = 0; attempt < NoWaitTries; ++attempt) {
            if (child.tryReap(&status)) {
                result = WIFEXITED(status) ? signedExitStatus(status) : -1;
                break;
            }
            if (attempt + 1 < NoWaitTries)
                ::usleep(NoWaitPauseUs);
        }
        child.abandon(); // still running: left to run, not waited for
    }
    return result;
}

} // namespace

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

int spawnProcess(const QStringList& arguments, bool wait, const QString& workingDirectory,
                 bool /*unused*/, QStringList* output, QStringList* errors)
{
    return spawnProcess(arguments, wait, workingDirectory, SpawnOptions(), output, errors);
}

int spawnProcess(const QStringList& arguments, bool wait, const QString& workingDirectory,
                 const SpawnOptions& options, QStringList* output, QStringList* errors)
{
    try {
        return run(arguments, wait, workingDirectory, options, output, errors);
    } catch (const std::bad_alloc&) {
        // Every descriptor and the child were released on the way out.
        try {
            if (options.startError)
                *options.startError = QStringLiteral("cannot run '%1': out of memory").arg(arguments.value(0));
        } catch (const std::bad_alloc&) {
        }
        return -1;
    }
}

} // namespace QTx
