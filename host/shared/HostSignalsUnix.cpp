#include "HostSignals.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QThread>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

// How long the host may take to return from a cancelled operation: a
// cancelled client that changes a working copy gets a second after SIGTERM,
// and the clean-up after it runs on.
const int s_cancelWaitMs = 5000;
const int s_pollMs = 20;
const int s_graceMs = 2000;
std::atomic<bool> s_stopping{false};
std::atomic<bool> s_finished{false};
std::mutex s_handlerMutex;
std::function<void()> s_handler;

// The children of every thread of this process, from the kernel's own list.
QList<pid_t> children()
{
    QList<pid_t> pids;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task) + QStringLiteral("/children"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& pid : file.readAll().split(' '))
            if (pid.trimmed().toInt() > 0)
                pids << pid_t(pid.trimmed().toInt());
    }
    return pids;
}

void signalChildren(int number)
{
    for (pid_t pid : children()) {
        ::kill(-pid, number); // the child's group, when it leads one
        ::kill(pid, number);
    }
}

// Calls the stop handler; false when none is set. Held locked during the
// call, so that clearing the handler waits for it to return.
bool callStopHandler()
{
    const std::lock_guard<std::mutex> lock(s_handlerMutex);
    if (!s_handler)
        return false;
    s_handler();
    return true;
}

// Waits for the host to finish after its operation was cancelled; false at
// a second signal, or when it has not finished in time.
bool awaitHost(const sigset_t& set)
{
    const timespec poll{0, s_pollMs * 1000000L};
    for (int waited = 0; waited < s_cancelWaitMs; waited += s_pollMs) {
        if (s_finished)
            return true;
        if (::sigtimedwait(&set, nullptr, &poll) > 0)
            return false;
        // An operation begun since the last call is ended too.
        callStopHandler();
    }
    return s_finished;
}

void watch(sigset_t set)
{
    int number = 0;
    while (::sigwait(&set, &number) != 0) {
    }
    s_stopping = true;
    if (!(callStopHandler() && awaitHost(set))) {
        signalChildren(number);
        for (int waited = 0; waited < s_graceMs && !children().isEmpty(); waited += s_pollMs)
            QThread::msleep(s_pollMs);
    }
    signalChildren(SIGKILL);
    // Ends scc-host as the signal would have.
    ::signal(number, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(number);
    ::_exit(128 + number);
}

} // namespace

void setStopHandler(std::function<void()> handler)
{
    const std::lock_guard<std::mutex> lock(s_handlerMutex);
    s_handler = std::move(handler);
}

void waitIfStopping()
{
    if (!s_stopping)
        return;
    s_finished = true;
    while (true)
        ::pause();
}

void stopChildrenWithHost()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(watch, set).detach();
}
