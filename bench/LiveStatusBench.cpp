// The session's live status at 250,000 files (5,000 folders of 50, file://):
// its first pass over the whole tree against the plug-in's own, with the
// watch it then holds and what that costs (figures 11a and 11d); an edit
// seen through the watch (11b); the first and the last batch of results
// against the bare client's first line and end (11e).

#include "BenchFiles.h"
#include "BenchSummary.h"
#include "HugeTree.h"
#include "SessionSides.h"
#include "StatusPassSetup.h"

#include "QTxProcess.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace SessionSides;
using StatusPassSetup::fixed;

/** How long a figure waits for a watch to settle before it says "still rising". */
constexpr int SettleCapMs = 120000;
/** How long 11b waits for an edit to be told. */
constexpr int EditWaitMs = 5000;

/** Items statusTree("") gives: the root, every folder, every file. */
qsizetype treeItems(const HugeTree& tree)
{
    return 1 + tree.folders.size() + tree.files.size();
}

/** Throws unless `results` are every item of the tree, each controlled. */
void mustBeWholeTree(const HugeTree& tree, const QList<SvnScc::Status>& results)
{
    qsizetype controlled = 0;
    for (const SvnScc::Status& status : results)
        controlled += status.controlled;
    if (results.size() != treeItems(tree) || controlled != results.size())
        throw std::runtime_error("statusTree gave " + std::to_string(results.size()) + " items, " +
                                 std::to_string(controlled) + " controlled; the tree has " +
                                 std::to_string(treeItems(tree)));
}

double sinceMs(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

/** Runs the calling thread's event loop for `ms`. */
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct SessionSide
{
    double passMs = 0;
    Settled watch;
    double heapGrowth = 0;
};

/**
 * A fresh session's statusTree() of the root, until its future is finished;
 * then the watch it arms, and the heap the session holds once the results
 * are dropped (growth from before the session was made).
 */
SessionSide sessionSide(const HugeTree& tree)
{
    SessionSide side;
    const double heapBefore = heapBytes();
    const int watchesBefore = inotifyWatches();
    SvnScc::Session session(QStringLiteral(PLUGIN_PATH));
    open(session, tree.workingCopy, settings(tree.url));
    QElapsedTimer timer;
    timer.start();
    QFuture<SvnScc::Status> pass = session.statusTree();
    pass.waitForFinished();
    side.passMs = sinceMs(timer);
    mustBeWholeTree(tree, pass.results());
    pass = QFuture<SvnScc::Status>();
    handedToTheWatch(session);
    const double waited = sinceMs(timer);
    side.watch = settleWatches(watchesBefore, SettleCapMs);
    side.watch.armingMs += waited - side.passMs;
    side.heapGrowth = heapBytes() - heapBefore;
    return side;
}

struct PluginSide
{
    double passMs = 0;
    double heapGrowth = 0;
};

/** The plug-in's own pass over the tree on a worker thread; then the heap it holds once the answers are dropped. */
PluginSide pluginSide(const HugeTree& tree)
{
    PluginSide side;
    const double heapBefore = heapBytes();
    BoundPlugin plugin(tree.url, tree.workingCopy);
    std::vector<Answer> answers;
    side.passMs = plugin.treePass(answers);
    if (answers.size() != size_t(treeItems(tree) - 1) || controlledCount(answers) != int(answers.size()))
        throw std::runtime_error("the plug-in's pass answered " + std::to_string(controlledCount(answers)) + " of " +
                                 std::to_string(answers.size()) + " items controlled");
    std::vector<Answer>().swap(answers);
    side.heapGrowth = heapBytes() - heapBefore;
    return side;
}

// 11a and 11d. Alternating order.
void BM_LiveStatusFirstPass(benchmark::State& state)
{
    StatusPassSetup::guarded(state, [&] {
        const HugeTree& tree = HugeTree::shared();
        std::vector<double> sessionMs, pluginMs, watches, armingMs, perItem, sessionHeap, pluginHeap;
        bool stillRising = false;
        int turn = 0;
        for (auto _ : state) {
            SessionSide session;
            PluginSide plugin;
            BenchSummary::inTurn(
                turn, [&] { session = sessionSide(tree); }, [&] { plugin = pluginSide(tree); });
            sessionMs.push_back(session.passMs);
            pluginMs.push_back(plugin.passMs);
            watches.push_back(session.watch.watches);
            armingMs.push_back(session.watch.armingMs);
            stillRising = stillRising || session.watch.stillRising;
            sessionHeap.push_back(session.heapGrowth);
            pluginHeap.push_back(plugin.heapGrowth);
            perItem.push_back((session.heapGrowth - plugin.heapGrowth) / double(treeItems(tree)));
            state.SetIterationTime(session.passMs / 1e3);
        }
        StatusPassSetup::recordRatio(
            state, "11a. 250,000 files, file://: statusTree's first pass / the plug-in's on a worker thread",
            sessionMs, pluginMs, "<= 1.05", "statusTree", "plug-in walking the disk on a worker thread");
        const std::string folders = std::to_string(tree.folders.size() + 1);
        BenchSummary::record("11a. 250,000 files: inotify watches after the pass", BenchSummary::median(watches),
                             "watches", "<= " + std::to_string(tree.folders.size() + 1 + 2),
                             folders + " folders and the root, " + std::to_string(tree.files.size()) +
                                 " files (median of " + std::to_string(watches.size()) + ")");
        BenchSummary::record("11a. 250,000 files: arming the watch after the pass",
                             BenchSummary::median(armingMs) / 1e3, "s", "<= 1",
                             "until the watch count last changed (no change for 1 s after)" +
                                 std::string(stillRising ? "; still rising when the wait gave up after " +
                                                               std::to_string(SettleCapMs / 1000) + " s"
                                                         : std::string()));
        state.counters["watches"] = BenchSummary::median(watches);
        state.counters["bytes_per_item"] = BenchSummary::median(perItem);
        BenchSummary::record("11d. 250,000 files: the session's heap per reported item beyond the plug-in's",
                             BenchSummary::median(perItem), "bytes", "<= 400",
                             "heap growth (mallinfo2, trimmed) with the session " +
                                 fixed(BenchSummary::median(sessionHeap) / 1048576.0) + " MiB, the plug-in alone " +
                                 fixed(BenchSummary::median(pluginHeap) / 1048576.0) + " MiB, over " +
                                 std::to_string(treeItems(tree)) + " items");
    });
}
BENCHMARK(BM_LiveStatusFirstPass)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

/** The client's own seven columns of `path` (a local "svn status --verbose" of it). */
QString clientColumns(const HugeTree& tree, const QString& path)
{
    QStringList output, errors;
    if (QTx::spawnProcess({QString::fromLatin1(SvnClient), QStringLiteral("status"), QStringLiteral("--verbose"), path},
                          true, tree.workingCopy, true, &output, &errors) != 0
        || output.isEmpty())
        throw std::runtime_error("svn status --verbose " + path.toStdString() + " failed");
    return output.first().left(7);
}

/**
 * Writes `text` to `path` and waits up to `waitMs` for the session's
 * statusChanged of it with `first` in column 1; the columns told (empty
 * when none came) and the milliseconds from the write.
 */
std::pair<QString, double> writeAndWait(SvnScc::Session& session, const HugeTree& tree, const QString& path,
                                        const QByteArray& text, QChar first, int waitMs)
{
    std::pair<QString, double> told{QString(), double(waitMs)};
    QEventLoop loop;
    QElapsedTimer timer;
    QObject::connect(&session, &SvnScc::Session::statusChanged, &loop, [&](const SvnScc::Status& status) {
        if (status.path == path && status.columns.startsWith(first) && told.first.isEmpty()) {
            told = {status.columns, sinceMs(timer)};
            loop.quit();
        }
    });
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    timer.start();
    BenchFiles::writeFile(tree.workingCopy + QLatin1Char('/') + path, text);
    loop.exec();
    return told;
}

// 11b. After the first pass and the watch's arming, one file edited at a
// time in the first, the middle and the last folder: the time until its
// statusChanged with the client's columns, and the client runs it cost
// (counted until 300 ms after, through a client that notes each run). The
// file's text is then put back and its unmodified state awaited, untimed.
void BM_LiveStatusEdit(benchmark::State& state)
{
    StatusPassSetup::guarded(state, [&] {
        const HugeTree& tree = HugeTree::shared();
        StatusPassSetup::CountingClient client;
        double slowestMs = 0;
        int mostRuns = 0, otherRuns = 0, unseen = 0, wrongColumns = 0;
        std::string detail;
        for (auto _ : state) {
            const int watchesBefore = inotifyWatches();
            SvnScc::Session session(QStringLiteral(PLUGIN_PATH));
            open(session, tree.workingCopy, settings(tree.url, client.program()));
            QFuture<SvnScc::Status> pass = session.statusTree();
            pass.waitForFinished();
            mustBeWholeTree(tree, pass.results());
            pass = QFuture<SvnScc::Status>();
            handedToTheWatch(session);
            settleWatches(watchesBefore, SettleCapMs);
            for (const QString& folder : {tree.folders.first(), tree.folders.at(tree.folders.size() / 2),
                                          tree.folders.last()}) {
                const QString path = folder + QStringLiteral("/file17.cpp");
                const qsizetype runsBefore = client.runs().size();
                const auto [columns, ms] =
                    writeAndWait(session, tree, path, HugeTree::text(17) + "// edited\n", QLatin1Char('M'), EditWaitMs);
                spin(300);
                const QStringList runs = client.runs().mid(runsBefore);
                for (const QString& run : runs)
                    otherRuns += !run.contains(path) || run.contains(QLatin1String("--show-updates"));
                mostRuns = std::max(mostRuns, int(runs.size()));
                unseen += columns.isEmpty();
                const QString expected = clientColumns(tree, path);
                wrongColumns += !columns.isEmpty() && columns != expected;
                slowestMs = std::max(slowestMs, ms);
                detail += (detail.empty() ? "" : ", ") + path.toStdString() + ": " +
                          (columns.isEmpty() ? "not told within " + std::to_string(EditWaitMs / 1000) + " s"
                                             : fixed(ms) + " ms") +
                          ", " + std::to_string(runs.size()) + " runs";
                writeAndWait(session, tree, path, HugeTree::text(17), QLatin1Char(' '), EditWaitMs);
            }
        }
        state.counters["slowest_ms"] = slowestMs;
        state.counters["most_runs"] = mostRuns;
        BenchSummary::record("11b. 250,000 files: an edit told with the client's columns (slowest of 3)", slowestMs,
                             "ms", "<= 1000",
                             detail + (wrongColumns ? "; " + std::to_string(wrongColumns) +
                                                          " told with columns other than the client's"
                                                    : std::string()));
        BenchSummary::record("11b. 250,000 files: client runs for one edit (most of 3)", mostRuns, "runs", "<= 1",
                             otherRuns ? std::to_string(otherRuns) + " runs not a local run of the edited file"
                                       : std::string("each a local run of the edited file"));
        if (unseen)
            state.SkipWithError((std::to_string(unseen) + " of 3 edits were never told").c_str());
    });
}
BENCHMARK(BM_LiveStatusEdit)->Iterations(1)->Unit(benchmark::kMillisecond);

struct Batches
{
    double firstMs = -1;
    double lastMs = -1;
};

/**
 * When a fresh session's statusTree() of the root, in the client's order,
 * gave the host its first batch and its last, from the call.
 */
Batches sessionBatches(const HugeTree& tree)
{
    SvnScc::Session session(QStringLiteral(PLUGIN_PATH));
    open(session, tree.workingCopy, settings(tree.url));
    Batches batches;
    QFutureWatcher<SvnScc::Status> watcher;
    QEventLoop loop;
    QElapsedTimer timer;
    QObject::connect(&watcher, &QFutureWatcherBase::resultsReadyAt, &loop, [&](int, int) {
        if (batches.firstMs < 0)
            batches.firstMs = sinceMs(timer);
    });
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, [&] {
        batches.lastMs = sinceMs(timer);
        loop.quit();
    });
    timer.start();
    watcher.setFuture(session.statusTree(QString(), SvnScc::TreeOrder::AsListed));
    loop.exec();
    mustBeWholeTree(tree, watcher.future().results());
    return batches;
}

// 11e. A fresh session's statusTree() of the root as the client lists it,
// its batches received by a QFutureWatcher in this thread's event loop,
// against the bare "svn status -u -v" at the root read through a pipe.
// Alternating order.
void BM_LiveStatusBatches(benchmark::State& state)
{
    StatusPassSetup::guarded(state, [&] {
        const HugeTree& tree = HugeTree::shared();
        const QStringList bare =
            StatusPassSetup::bareStatus({QStringLiteral("--show-updates"), QStringLiteral("--verbose")});
        std::vector<double> firstMs, lastMs, bareFirstMs, bareEndMs;
        int turn = 0;
        for (auto _ : state) {
            BenchSummary::inTurn(
                turn,
                [&] {
                    const Batches batches = sessionBatches(tree);
                    firstMs.push_back(batches.firstMs);
                    lastMs.push_back(batches.lastMs);
                },
                [&] {
                    const StatusPassSetup::BareLines lines = StatusPassSetup::timedBareLines(bare, tree.workingCopy);
                    bareFirstMs.push_back(lines.firstLineMs);
                    bareEndMs.push_back(lines.endMs);
                });
            state.SetIterationTime(lastMs.back() / 1e3);
        }
        const double first = BenchSummary::median(firstMs), bareFirst = BenchSummary::median(bareFirstMs);
        state.counters["first_batch_ms"] = first;
        state.counters["bare_first_line_ms"] = bareFirst;
        BenchSummary::record("11e. 250,000 files: statusTree's first batch - bare status -u -v's first line",
                             first - bareFirst, "ms", "<= 50",
                             "first batch " + fixed(first) + " ms, bare first line " + fixed(bareFirst) +
                                 " ms (medians of " + std::to_string(firstMs.size()) + ")");
        StatusPassSetup::recordRatio(state, "11e. 250,000 files: statusTree's last batch / bare status -u -v's end",
                                     lastMs, bareEndMs, "<= 1.05", "last batch", "bare end");
    });
}
BENCHMARK(BM_LiveStatusBatches)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
