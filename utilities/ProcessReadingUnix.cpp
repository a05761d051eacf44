// Reading a child's standard output and error from their pipes.

#include "ProcessReading.h"

#include "ProcessEnding.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace {

// A larger pipe means fewer wake-ups for a child that writes a lot.
constexpr int CapturePipeSize = 1 << 20;
// What one read may take from a pipe while capturing.
constexpr size_t CaptureReadSize = 256 * 1024;
// How long the reader lets a child's output gather after a small read.
constexpr long GatherPauseUs = 2000;

} // namespace

namespace QTx::Spawn {

bool Capture::openPipe(Descriptor& childEnd, bool large)
{
    if (!Spawn::openPipe(fd, childEnd))
        return false;
    if (large)
        ::fcntl(fd.get(), F_SETPIPE_SZ, CapturePipeSize); // a hint; failure is harmless
    return true;
}

void Capture::beginReading()
{
    open = fd.isOpen();
    if (open)
        ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) | O_NONBLOCK);
}

void Capture::finish()
{
    fd.close();
    cutter.cut(bytes, true);
}

bool Capture::take(qsizetype& taken)
{
    const qsizetype before = bytes.size();
    const bool stillOpen = drain();
    taken += bytes.size() - before;
    cutter.cut(bytes, !stillOpen);
    return stillOpen;
}

// Reads what the pipe holds now. Returns false at end of file or on a
// lasting error.
bool Capture::drain()
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

// Reads both pipes until each has reported end of file, cutting lines as
// they complete. Polling both keeps a child that fills one pipe while we
// wait on the other from blocking.
//
// A reader that polls a pipe is woken by every write into it, and the svn
// client writes each status line on its own: thousands of wake-ups, each of
// which slows the writer down. So after a wake-up that found a little output
// the reader pauses briefly and lets more gather; only a child that writes a
// lot (a quarter of the pipe at once) is read without pauses. The child's
// exit descriptor is polled too, so its end is seen at once, and so is the
// caller's watched descriptor while the child runs.
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
        pollfd fds[5] = {{out.open ? out.fd.get() : -1, POLLIN, 0},
                         {err.open ? err.fd.get() : -1, POLLIN, 0},
                         {exited ? -1 : child.exitDescriptor(), POLLIN, 0},
                         {deadline.stopDescriptor(), POLLIN, 0},
                         {exited ? -1 : deadline.watchDescriptor(), POLLIN, 0}};
        const int ready = ::poll(fds, 5, waitMs);
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
        if (!exited)
            deadline.serveWatch(fds[4].revents);
        if (taken > 0)
            deadline.heard();
        if (taken > 0 && taken < streamingThreshold && !exited && (out.open || err.open)) {
            // The pause ends early when the child ends or a stop is asked for.
            pollfd wake[2] = {{child.exitDescriptor(), POLLIN, 0}, {deadline.stopDescriptor(), POLLIN, 0}};
            ::ppoll(wake, 2, &pause, nullptr);
        }
    }
}

} // namespace QTx::Spawn
