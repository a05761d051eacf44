// Starting a child: posix_spawn, its descriptors, its program's path.
//
// posix_spawn starts the child without copying the caller's address space
// (glibc uses clone(CLONE_VM | CLONE_VFORK) on a small stack of its own), so
// the cost of a start does not grow with the memory the host holds. glibc
// also blocks every signal across the start and resets, in the child, every
// handler the host installed to its default before the mask is restored, so
// no host handler ever runs in the child.

#include "ProcessStart.h"

#include "EightBit.h"

#include <QList>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr qsizetype MaxInputSize = 65536;

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

} // namespace

namespace QTx::Spawn {

void Descriptor::close()
{
    if (m_fd >= 0)
        ::close(m_fd); // never retried: the descriptor is gone even on EINTR
    m_fd = -1;
}

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

int openDirectory(const QByteArray& path, Descriptor& directory)
{
    const int fd = ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int openError = fd >= 0 ? (::access(path.constData(), X_OK) == 0 ? 0 : errno) : errno;
    if (fd >= 0 && openError == 0)
        directory.reset(fd);
    else if (fd >= 0)
        ::close(fd);
    return openError;
}

QString openInput(const QByteArray& input, Descriptor& readEnd)
{
    Descriptor writeEnd;
    if (!openPipe(readEnd, writeEnd) || ::fcntl(writeEnd.get(), F_SETFL, O_NONBLOCK) != 0)
        return errnoText(errno);
    const qsizetype size = input.size();
    if (size > MaxInputSize || (size > 0 && ::write(writeEnd.get(), input.constData(), size_t(size)) != size))
        return QStringLiteral("more than 64 KiB of input");
    return QString();
}

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

} // namespace QTx::Spawn
