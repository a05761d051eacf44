// Figure 10a: the session's first full status pass over a 20,000-file
// working copy (2,000 folders of 10 files, file://) against the plug-in's
// own pass made on a worker thread of the caller's, as a host without the
// session makes it. Both load the same plug-in with dlopen, give it the same
// options and start from a fresh provider; both split the same path strings
// into parts and keep every answer. The session's side ends when its future
// is finished (every result in the caller's hands); the plug-in's when its
// thread is joined. Alternating order, median of each side.

#include "BenchFiles.h"
#include "BenchSummary.h"
#include "PluginLoader.h"
#include "Session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace BenchFiles;

const char SvnClient[] = "/usr/bin/svn";
const char UserName[] = "bench";
const char Password[] = "secret";
constexpr int Folders = 2000;
constexpr int FilesPerFolder = 10;

/** The 20,000-file working copy, made once: the repository where writes cost no disk flush (/dev/shm). */
struct SessionTree
{
    QTemporaryDir scratch;
    QTemporaryDir repositoryScratch{fastScratchTemplate()};
    QString url;
    QString workingCopy;
    QStringList paths;

    SessionTree()
    {
        if (!scratch.isValid() || !repositoryScratch.isValid())
            throw std::runtime_error("no scratch folder");
        const QString repository = repositoryScratch.path() + QStringLiteral("/repo");
        const QString stage = repositoryScratch.path() + QStringLiteral("/stage");
        runOrThrow({QStringLiteral("svnadmin"), QStringLiteral("create"), repository});
        for (int folder = 0; folder < Folders; ++folder) {
            const QString name = QStringLiteral("d%1").arg(folder, 4, 10, QLatin1Char('0'));
            QDir().mkpath(stage + QLatin1Char('/') + name);
            for (int file = 0; file < FilesPerFolder; ++file) {
                const QString path = name + QStringLiteral("/file%1.cpp").arg(file, 2, 10, QLatin1Char('0'));
                writeFile(stage + QLatin1Char('/') + path, path.toUtf8() + '\n');
                paths << path;
            }
        }
        url = QStringLiteral("file://") + repository + QStringLiteral("/project");
        workingCopy = scratch.path() + QStringLiteral("/wc");
        importAndCheckOut(QString::fromLatin1(SvnClient), stage, url, workingCopy);
    }
};

SessionTree& sessionTree()
{
    static SessionTree tree;
    return tree;
}

/** The session's first pass, in ms; @p watchMs gets how long its worker then took to watch what it read. */
double sessionPass(const SessionTree& tree, double& watchMs)
{
    SvnScc::Session session(QStringLiteral(PLUGIN_PATH));
    SvnScc::SessionSettings settings;
    settings.executable = QString::fromLatin1(SvnClient);
    settings.repositoryUrl = tree.url;
    settings.timeLimitSeconds = 0;
    settings.user = QString::fromLatin1(UserName);
    settings.password = QString::fromLatin1(Password);
    const SvnScc::Result<QString> opened = session.open(tree.workingCopy, settings).result();
    if (!opened.ok)
        throw std::runtime_error("the session did not open: " + opened.error.toStdString());
    QElapsedTimer timer;
    timer.start();
    QFuture<SvnScc::Status> pass = session.status(tree.paths);
    pass.waitForFinished();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    // A call queued behind the pass ends when the worker has watched what it read.
    session.saved({}).waitForFinished();
    watchMs = double(timer.nsecsElapsed()) / 1e6 - ms;
    int controlled = 0;
    for (const SvnScc::Status& status : pass.results())
        controlled += status.controlled;
    if (controlled != tree.paths.size())
        throw std::runtime_error("the session's pass answered " + std::to_string(controlled) + " files controlled");
    return ms;
}

struct Answer
{
    bool known = false, controlled = false, checkedOut = false, modified = false, outOfDate = false;
    QString columns, revision, lastChanged;
};

/** The plug-in's own first pass on a thread of the caller's, in ms. */
double pluginPass(const SessionTree& tree)
{
    SvnScc::PluginLoader library;
    if (!library.load(QStringLiteral(PLUGIN_PATH)))
        throw std::runtime_error(library.errorString().toStdString());
    SourceCodeControlSystemProviderInterface* provider = library.allocate();
    using namespace SourceCodeControlOption;
    provider->setOption(QLatin1String(Executable), QString::fromLatin1(SvnClient));
    provider->setOption(QLatin1String(RepositoryURL), tree.url);
    provider->setOption(QLatin1String(LockSupported), QStringLiteral("No"));
    provider->setOption(QLatin1String(PasswordFromStdin), QStringLiteral("Yes"));
    provider->setOption(QLatin1String(Timeout), QStringLiteral("0"));
    provider->setOption(QLatin1String(StatusScope), QStringLiteral("WorkingCopy"));
    if (!provider->login(QString::fromLatin1(UserName), QString::fromLatin1(Password), tree.url)
        || !provider->setRoots(tree.workingCopy.split(QLatin1Char('/'), Qt::SkipEmptyParts)))
        throw std::runtime_error("the plug-in did not bind the working copy");
    std::vector<Answer> answers(size_t(tree.paths.size()));
    QElapsedTimer timer;
    timer.start();
    std::thread worker([&] {
        for (qsizetype i = 0; i < tree.paths.size(); ++i) {
            Answer& a = answers[size_t(i)];
            a.known = provider->status(tree.paths[i].split(QLatin1Char('/')), a.controlled, a.checkedOut, a.modified,
                                       a.outOfDate, a.columns, a.revision, a.lastChanged);
        }
    });
    worker.join();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    int controlled = 0;
    for (const Answer& a : answers)
        controlled += a.controlled;
    if (controlled != tree.paths.size())
        throw std::runtime_error("the plug-in's pass answered " + std::to_string(controlled) + " files controlled");
    return ms;
}

void BM_SessionFirstPass(benchmark::State& state)
{
    try {
        const SessionTree& tree = sessionTree();
        std::vector<double> sessionMs, pluginMs, watchMs;
        int turn = 0;
        for (auto _ : state) {
            double watched = 0;
            BenchSummary::inTurn(
                turn, [&] { sessionMs.push_back(sessionPass(tree, watched)); },
                [&] { pluginMs.push_back(pluginPass(tree)); });
            watchMs.push_back(watched);
            state.SetIterationTime(sessionMs.back() / 1000.0);
        }
        const double session = BenchSummary::median(sessionMs), plugin = BenchSummary::median(pluginMs);
        state.counters["session_ms"] = session;
        state.counters["plugin_ms"] = plugin;
        state.counters["ratio"] = session / plugin;
        char detail[200];
        std::snprintf(detail, sizeof detail,
                      "session %.1f ms, plug-in on a worker thread %.1f ms (medians of %zu); the session then "
                      "watches what it read in %.0f ms more",
                      session, plugin, sessionMs.size(), BenchSummary::median(watchMs));
        BenchSummary::record("10a. 20,000 files, file://: the session's first pass / the plug-in's on a worker thread",
                             session / plugin, "ratio", "<= 1.05", detail);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_SessionFirstPass)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
