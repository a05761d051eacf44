// Version 2's commit of 20 files against one bare commit of them, and its
// list of changes of the 20,000-file working copy against a bare
// "svn status" (figures 9a and 9b).

#include "StatusPassSetup.h"

#include "BenchFiles.h"
#include "BenchSummary.h"

namespace {

using namespace StatusPassSetup;
using BenchFiles::runOrThrow;
using BenchFiles::writeFile;

// 9a. A version-2 commit of 20 files (one in each of 20 folders, each folder
// cached, so that the commit ends with its one local re-read) against one
// bare "svn commit -m ... FILE..." of the same 20, both in the local root,
// behind the relay. Each side edits all 20 first (untimed). Alternating order.
void BM_CommitTwentyFiles(benchmark::State& state)
{
    guarded(state, [&] {
        const QString workingCopy = shared<OperationsTree>().workingCopy;
        std::vector<QStringList> files;
        QStringList targets;
        for (int folder = 20; folder < 40; ++folder) {
            files.push_back({QStringLiteral("d%1").arg(folder, 3, 10, QLatin1Char('0')), QStringLiteral("file02.cpp")});
            targets << files.back().join(QLatin1Char('/'));
        }
        auto svn = boundProvider(Scope::PerFolder, shared<ServedTree>().url, workingCopy);
        if (statusPass(*svn, files) != files.size())
            throw std::runtime_error("the 20 files did not read as controlled");
        const QStringList bare = bareRun(QStringLiteral("commit"), {QStringLiteral("-m"), QString::fromLatin1(Comment)})
            + targets;
        int edits = 0;
        const auto editAll = [&] {
            ++edits;
            for (const QString& target : targets)
                writeFile(workingCopy + QLatin1Char('/') + target, "edit " + QByteArray::number(edits) + "\n");
        };
        std::vector<double> providerMs, bareMs;
        inTurns(
            state,
            [&] {
                editAll();
                QString revision;
                providerMs.push_back(timedCall(*svn, "commit", [&] {
                    return svn->commit(targets, QString::fromLatin1(Comment), revision);
                }));
                if (revision.isEmpty() || cachedRecord(*svn, workingCopy, files.back()).modified)
                    throw std::runtime_error("the commit did not re-read its files");
                return providerMs.back();
            },
            [&] {
                editAll();
                bareMs.push_back(timedBare(bare, {workingCopy}));
            });
        recordRatio(state, "9a. commit of 20 files / one bare commit of them", providerMs, bareMs, "<= 1.10",
                    "commit", "bare commit");
    });
}
BENCHMARK(BM_CommitTwentyFiles)->Iterations(11)->UseManualTime()->Unit(benchmark::kMillisecond);

// 9b. changes() of the 20,000-file working copy (file://, 20 files edited)
// against the bare "svn status" at its root. Alternating order.
void BM_ChangesOfALargeTree(benchmark::State& state)
{
    guarded(state, [&] {
        LargeTree& tree = shared<LargeTree>();
        for (int folder = 0; folder < 20; ++folder)
            writeFile(tree.workingCopy + QStringLiteral("/d%1/file00.cpp").arg(folder * 100, 4, 10, QLatin1Char('0')),
                      "changed\n");
        auto svn = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
        const QStringList bare = bareStatus({});
        std::vector<double> providerMs, bareMs;
        inTurns(
            state,
            [&] {
                QList<SourceCodeControl::Change> changes;
                providerMs.push_back(timedCall(*svn, "changes", [&] { return svn->changes(QString(), changes); }));
                if (changes.size() != 20)
                    throw std::runtime_error("changes() did not list the 20 edits");
                return providerMs.back();
            },
            [&] { bareMs.push_back(timedBare(bare, {tree.workingCopy})); });
        recordRatio(state, "9b. changes of 20,000 files / bare status", providerMs, bareMs, "<= 1.10", "changes",
                    "bare status");
        for (int folder = 0; folder < 20; ++folder)
            runOrThrow(bareRun(QStringLiteral("revert"), {},
                               QStringLiteral("d%1/file00.cpp").arg(folder * 100, 4, 10, QLatin1Char('0'))),
                       tree.workingCopy);
    });
}
BENCHMARK(BM_ChangesOfALargeTree)->Iterations(11)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
