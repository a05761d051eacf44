// Figure 10a: the session's first full status pass over a 20,000-file
// working copy (2,000 folders of 10 files, file://), and over the
// 250,000-file one (5,000 folders of 50), against the plug-in's
// own pass made on a worker thread of the caller's, as a host without the
// session makes it. Both load the same plug-in with dlopen, give it the same
// options and start from a fresh provider; both split the same path strings
// into parts and keep every answer. The session's side ends when its future
// is finished (every result in the caller's hands); the plug-in's when its
// thread is joined. Alternating order, median of each side.

#include "BenchFiles.h"
#include "BenchSummary.h"
#include "HugeTree.h"
#include "SessionSides.h"

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

/** The session's first pass over `paths`, in ms; @p watchMs gets how long its worker then took to watch what it read. */
double sessionPass(const QString& url, const QString& workingCopy, const QStringList& paths, double& watchMs)
{
    SvnScc::Session session(QStringLiteral(PLUGIN_PATH));
    SessionSides::open(session, workingCopy, SessionSides::settings(url));
    QElapsedTimer timer;
    timer.start();
    QFuture<SvnScc::Status> pass = session.status(paths);
    pass.waitForFinished();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    // A call queued behind the pass ends when the worker has watched what it read.
    session.saved({}).waitForFinished();
    watchMs = double(timer.nsecsElapsed()) / 1e6 - ms;
    int controlled = 0;
    for (const SvnScc::Status& status : pass.results())
        controlled += status.controlled;
    if (controlled != paths.size())
        throw std::runtime_error("the session's pass answered " + std::to_string(controlled) + " files controlled");
    return ms;
}

/** The plug-in's own first pass over `paths` on a thread of the caller's, in ms. */
double pluginPass(const QString& url, const QString& workingCopy, const QStringList& paths)
{
    SessionSides::BoundPlugin plugin(url, workingCopy);
    std::vector<SessionSides::Answer> answers;
    const double ms = plugin.pass(paths, answers);
    const int controlled = SessionSides::controlledCount(answers);
    if (controlled != paths.size())
        throw std::runtime_error("the plug-in's pass answered " + std::to_string(controlled) + " files controlled");
    return ms;
}

// Both sides over `paths` of `workingCopy`, in turn, once per iteration; recorded as figure 10a at `size`.
void firstPasses(benchmark::State& state, const QString& url, const QString& workingCopy, const QStringList& paths,
                 const std::string& size)
{
    std::vector<double> sessionMs, pluginMs, watchMs;
    int turn = 0;
    for (auto _ : state) {
        double watched = 0;
        BenchSummary::inTurn(
            turn, [&] { sessionMs.push_back(sessionPass(url, workingCopy, paths, watched)); },
            [&] { pluginMs.push_back(pluginPass(url, workingCopy, paths)); });
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
    BenchSummary::record("10a. " + size + " files, file://: the session's first pass / the plug-in's on a worker thread",
                         session / plugin, "ratio", "<= 1.05", detail);
}

void BM_SessionFirstPass(benchmark::State& state)
{
    try {
        if (state.range(0) == 20000) {
            const SessionTree& tree = sessionTree();
            firstPasses(state, tree.url, tree.workingCopy, tree.paths, "20,000");
        } else {
            const HugeTree& tree = HugeTree::shared();
            firstPasses(state, tree.url, tree.workingCopy, tree.files, "250,000");
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_SessionFirstPass)->Arg(20000)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
// Each pass of a fresh session at this size also arms a watch of every file it read.
BENCHMARK(BM_SessionFirstPass)->Arg(250000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
