#include "SessionSides.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace SessionSides {

namespace {

const char UserName[] = "bench";
const char Password[] = "secret";

double elapsedMs(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

SvnScc::SessionSettings settings(const QString& url, const QString& executable)
{
    SvnScc::SessionSettings settings;
    settings.executable = executable;
    settings.repositoryUrl = url;
    settings.timeLimitSeconds = 0;
    settings.user = QString::fromLatin1(UserName);
    settings.password = QString::fromLatin1(Password);
    return settings;
}

void open(SvnScc::Session& session, const QString& workingCopy, const SvnScc::SessionSettings& settings)
{
    const SvnScc::Result<QString> opened = session.open(workingCopy, settings).result();
    if (!opened.ok)
        throw std::runtime_error("the session did not open: " + opened.error.toStdString());
}

BoundPlugin::BoundPlugin(const QString& url, const QString& workingCopy) : m_root(workingCopy)
{
    if (!m_library.load(QStringLiteral(PLUGIN_PATH)))
        throw std::runtime_error(m_library.errorString().toStdString());
    m_provider = m_library.allocate();
    if (!m_provider)
        throw std::runtime_error(m_library.errorString().toStdString());
    using namespace SourceCodeControlOption;
    m_provider->setOption(QLatin1String(Executable), QString::fromLatin1(SvnClient));
    m_provider->setOption(QLatin1String(RepositoryURL), url);
    m_provider->setOption(QLatin1String(LockSupported), QStringLiteral("No"));
    m_provider->setOption(QLatin1String(PasswordFromStdin), QStringLiteral("Yes"));
    m_provider->setOption(QLatin1String(Timeout), QStringLiteral("0"));
    m_provider->setOption(QLatin1String(StatusScope), QStringLiteral("WorkingCopy"));
    if (!m_provider->login(QString::fromLatin1(UserName), QString::fromLatin1(Password), url)
        || !m_provider->setRoots(workingCopy.split(QLatin1Char('/'), Qt::SkipEmptyParts)))
        throw std::runtime_error("the plug-in did not bind the working copy");
}

double BoundPlugin::pass(const QStringList& paths, std::vector<Answer>& answers)
{
    answers.assign(size_t(paths.size()), Answer());
    QElapsedTimer timer;
    timer.start();
    std::thread worker([&] {
        for (qsizetype i = 0; i < paths.size(); ++i) {
            Answer& a = answers[size_t(i)];
            a.known = m_provider->status(paths[i].split(QLatin1Char('/')), a.controlled, a.checkedOut, a.modified,
                                         a.outOfDate, a.columns, a.revision, a.lastChanged);
        }
    });
    worker.join();
    return elapsedMs(timer);
}

double BoundPlugin::treePass(std::vector<Answer>& answers)
{
    answers.clear();
    QElapsedTimer timer;
    timer.start();
    std::thread worker([&] {
        const qsizetype prefix = m_root.size() + 1;
        QDirIterator it(m_root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(QLatin1String("/.svn")) || path.contains(QLatin1String("/.svn/")))
                continue;
            Answer a;
            a.known = m_provider->status(path.mid(prefix).split(QLatin1Char('/')), a.controlled, a.checkedOut,
                                         a.modified, a.outOfDate, a.columns, a.revision, a.lastChanged);
            answers.push_back(std::move(a));
        }
    });
    worker.join();
    return elapsedMs(timer);
}

int controlledCount(const std::vector<Answer>& answers)
{
    int controlled = 0;
    for (const Answer& a : answers)
        controlled += a.controlled;
    return controlled;
}

int inotifyWatches()
{
    static const QByteArray Line("inotify wd:");
    int watches = 0;
    const QStringList descriptors = QDir(QStringLiteral("/proc/self/fdinfo")).entryList(QDir::Files);
    for (const QString& descriptor : descriptors) {
        QFile file(QStringLiteral("/proc/self/fdinfo/") + descriptor);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = file.readAll();
        for (qsizetype at = text.indexOf(Line); at >= 0; at = text.indexOf(Line, at + Line.size()))
            ++watches;
    }
    return watches;
}

double heapBytes()
{
    ::malloc_trim(0);
    const struct mallinfo2 info = ::mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

void handedToTheWatch(SvnScc::Session& session)
{
    session.saved({}).waitForFinished();
}

Settled settleWatches(int baseline, int capMs)
{
    constexpr int QuietMs = 1000;
    QElapsedTimer timer;
    timer.start();
    Settled settled;
    int last = inotifyWatches();
    double changedMs = 0;
    for (;;) {
        // Reading the watches of a large watch costs time of its own: look less often then.
        const double readStart = elapsedMs(timer);
        const int now = inotifyWatches();
        const double readMs = elapsedMs(timer) - readStart;
        if (now != last) {
            last = now;
            changedMs = elapsedMs(timer);
        }
        if (elapsedMs(timer) - changedMs >= QuietMs)
            break;
        if (elapsedMs(timer) >= capMs) {
            settled.stillRising = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(20, int(readMs * 2))));
    }
    settled.watches = last - baseline;
    settled.armingMs = changedMs;
    return settled;
}

} // namespace SessionSides
