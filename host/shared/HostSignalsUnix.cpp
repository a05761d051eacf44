#include "HostSignals.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QThread>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

const int s_graceMs = 2000;
std::atomic<bool> s_stopping{false};

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

void watch(sigset_t set)
{
    int number = 0;
    while (::sigwait(&set, &number) != 0) {
    }
    s_stopping = true;
    signalChildren(number);
    for (int waited = 0; waited < s_graceMs && !children().isEmpty(); waited += 20)
        QThread::msleep(20);
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

void waitIfStopping()
{
    while (s_stopping)
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
