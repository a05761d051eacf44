// Process spawning with fork/exec and two pipes read under poll.

#include "QTxProcess.h"

#include "ProcessChunks.h"

#include <poll.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr size_t ReadChunkSize = 1024;
constexpr int PollTimeoutMs = 100;
constexpr int NoWaitTries = 10;
constexpr useconds_t NoWaitPauseUs = 1000;

void closeIfOpen(int& fd)
{
    if (fd >= 0) {
        ::close(fd); // never retried: the descriptor is gone even on EINTR
        fd = -1;
    }
}

int signedExitStatus(int status)
{
    return static_cast<signed char>(WEXITSTATUS(status));
}

// Reads both pipes until each has reported end of file. Polling both keeps a
// child that fills one pipe while we wait on the other from blocking.
void collect(int outFd, int errFd, ProcessChunkList& outChunks, ProcessChunkList& errChunks)
{
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? outFd : -1, POLLIN, 0}, {errOpen ? errFd : -1, POLLIN, 0}};
        int ready = ::poll(fds, 2, PollTimeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (ready == 0)
            continue;
        auto drain = [](const pollfd& p, ProcessChunkList& chunks, bool& open) {
            if (!open || p.revents == 0)
                return;
            if (p.revents & POLLNVAL) {
                open = false;
                return;
            }
            if (readFromProcess(unsigned(p.fd), chunks)) {
                if (chunks.back().first == 0)
                    open = false; // end of file
            } else if (p.revents & POLLERR) {
                open = false;
            }
        };
        drain(fds[0], outChunks, outOpen);
        drain(fds[1], errChunks, errOpen);
    }
}

} // namespace

bool readFromProcess(unsigned int fd, ProcessChunkList& chunks)
{
    unsigned char buffer[ReadChunkSize];
    ssize_t count;
    do {
        count = ::read(int(fd), buffer, sizeof buffer);
    } while (count < 0 && errno == EINTR);
    if (count < 0)
        return false;
    unsigned char* copy = new unsigned char[size_t(count)];
    std::memcpy(copy, buffer, size_t(count));
    chunks.emplace_back(unsigned(count), copy);
    return true;
}

namespace QTx {

int spawnProcess(const QStringList& arguments, bool wait, const QString& workingDirectory,
                 bool /*unused*/, QStringList* output, QStringList* errors)
{
    int result = -1;
    const bool capture = output && errors;

    // Everything the child needs is built here: after fork it may not allocate.
    std::vector<QByteArray> argumentBytes;
    argumentBytes.reserve(size_t(arguments.size()) + 1);
    for (const QString& argument : arguments)
        argumentBytes.push_back(argument.toLatin1());
    if (argumentBytes.empty())
        argumentBytes.emplace_back(); // no program: exec fails as for an empty name
    std::vector<char*> argv;
    argv.reserve(argumentBytes.size() + 1);
    for (QByteArray& bytes : argumentBytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);
    const bool changeDirectory = !workingDirectory.isNull();
    QByteArray directory = workingDirectory.toLatin1();
    const char* directoryPath = directory.constData();

    // Close-on-exec, so that a child started meanwhile by another thread never
    // inherits a write end (which would hold our end of file back).
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (capture) {
        if (::pipe2(outPipe, O_CLOEXEC) != 0)
            return -1;
        if (::pipe2(errPipe, O_CLOEXEC) != 0) {
            closeIfOpen(outPipe[0]);
            closeIfOpen(outPipe[1]);
            return -1;
        }
    }

    pid_t pid = ::fork();
    if (pid < 0) {
        closeIfOpen(outPipe[0]);
        closeIfOpen(outPipe[1]);
        closeIfOpen(errPipe[0]);
        closeIfOpen(errPipe[1]);
        return -1;
    }

    if (pid == 0) {
        // DANGER: in the child of a possibly multi-threaded process. No calls
        // to malloc or locks from now on: only descriptor work, chdir, exec.
        if (capture) {
            int outWrite = outPipe[1];
            int errWrite = errPipe[1];
            if (errWrite == 1) // keep it out of the way of the stdout redirection
                errWrite = ::fcntl(errWrite, F_DUPFD_CLOEXEC, 3);
            // dup2 clears close-on-exec on the copy; a pipe end that already
            // sits on the target descriptor needs the flag cleared by hand.
            if (outWrite == 1)
                ::fcntl(1, F_SETFD, 0);
            else
                ::dup2(outWrite, 1);
            if (errWrite == 2)
                ::fcntl(2, F_SETFD, 0);
            else
                ::dup2(errWrite, 2);
            // The originals are close-on-exec anyway; closing them here keeps
            // the child's table tidy should exec fail.
            if (outPipe[0] > 2)
                ::close(outPipe[0]);
            if (errPipe[0] > 2)
                ::close(errPipe[0]);
            if (outWrite > 2)
                ::close(outWrite);
            if (errWrite > 2)
                ::close(errWrite);
        }
        if (changeDirectory)
            (void)::chdir(directoryPath); // a failure leaves the inherited directory
        ::execvp(argv[0], argv.data());
        // _exit, not exit: the host's atexit handlers and stdio buffers belong
        // to the parent and must not run twice. 255 reads back as -1.
        ::_exit(255);
    }

    if (capture) {
        closeIfOpen(outPipe[1]);
        closeIfOpen(errPipe[1]);
        ProcessChunkList outChunks;
        ProcessChunkList errChunks;
        collect(outPipe[0], errPipe[0], outChunks, errChunks);
        bufferListToQStringList(outChunks, output);
        bufferListToQStringList(errChunks, errors);
    }

    int status = 0;
    if (wait) {
        pid_t reaped;
        do {
            reaped = ::waitpid(pid, &status, 0);
        } while (reaped < 0 && errno == EINTR);
        if (reaped == pid && WIFEXITED(status))
            result = signedExitStatus(status);
    } else {
        result = 0;
        for (int attempt = 0; attempt < NoWaitTries; ++attempt) {
            pid_t reaped = ::waitpid(pid, &status, WNOHANG);
            if (reaped == pid) {
                result = WIFEXITED(status) ? signedExitStatus(status) : -1;
                break;
            }
            if (attempt + 1 < NoWaitTries)
                ::usleep(NoWaitPauseUs);
        }
    }

    closeIfOpen(outPipe[0]);
    closeIfOpen(errPipe[0]);
    return result;
}

} // namespace QTx
