// Version 3's merge of 20 revisions touching 200 files into a branch,
// against the bare "svn merge" of the same (figure 12a).

#include "StatusPassSetup.h"

#include "BenchFiles.h"
#include "BenchSummary.h"

#include <QTemporaryDir>

#include <unistd.h>

namespace {

using namespace StatusPassSetup;
using BenchFiles::runOrThrow;
using BenchFiles::writeFile;

// A repository (file://) whose trunk holds 20 folders of 10 files, a branch
// made from it, then 20 trunk revisions, each changing the 10 files of one
// folder; and a working copy of the branch.
struct MergeTree
{
    QTemporaryDir scratch{BenchFiles::fastScratchTemplate()};
    QString url;
    QString workingCopy;

    MergeTree()
    {
        const QString svn = QString::fromLatin1(SvnClient);
        const QString repository = scratch.filePath(QStringLiteral("repository"));
        runOrThrow({QStringLiteral("svnadmin"), QStringLiteral("create"), repository});
        url = QStringLiteral("file://") + repository;
        const QString stage = scratch.filePath(QStringLiteral("stage"));
        for (int folder = 0; folder < 20; ++folder) {
            const QString dir = stage + QStringLiteral("/d%1").arg(folder, 2, 10, QLatin1Char('0'));
            QDir().mkpath(dir);
            for (int file = 0; file < 10; ++file)
                writeFile(dir + QStringLiteral("/f%1.txt").arg(file), QByteArray(20, 'a') + "\nline two\nline three\n");
        }
        const QString trunk = scratch.filePath(QStringLiteral("trunk"));
        BenchFiles::importAndCheckOut(svn, stage, url + QStringLiteral("/trunk"), trunk);
        runOrThrow({svn, QStringLiteral("copy"), QStringLiteral("--quiet"), QStringLiteral("-m"),
                    QStringLiteral("branch"), url + QStringLiteral("/trunk"), url + QStringLiteral("/branch")});
        for (int folder = 0; folder < 20; ++folder) {
            const QString dir = trunk + QStringLiteral("/d%1").arg(folder, 2, 10, QLatin1Char('0'));
            for (int file = 0; file < 10; ++file)
                writeFile(dir + QStringLiteral("/f%1.txt").arg(file),
                          QByteArray(20, 'a') + "\nline two changed in " + QByteArray::number(folder) + "\nline three\n");
            runOrThrow({svn, QStringLiteral("commit"), QStringLiteral("--quiet"), QStringLiteral("-m"),
                        QStringLiteral("change"), dir});
        }
        workingCopy = QDir::tempPath() + QStringLiteral("/svnscc-bench-merge-") + QString::number(::getpid());
        QDir(workingCopy).removeRecursively();
        runOrThrow({svn, QStringLiteral("checkout"), QStringLiteral("--quiet"), url + QStringLiteral("/branch"),
                    workingCopy});
    }
    ~MergeTree() { QDir(workingCopy).removeRecursively(); }
};

// 12a. merge() of trunk into the branch (the client's automatic merge: 20
// revisions, 200 files), the working copy's status cached, against the bare
// "svn merge ^/trunk ." in the same working copy. Each side starts from a
// reverted working copy (untimed). Alternating order.
void BM_MergeTwentyRevisions(benchmark::State& state)
{
    guarded(state, [&] {
        MergeTree& tree = shared<MergeTree>();
        auto svn = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
        QList<SourceCodeControl::Change> none;
        mustSucceed(*svn, svn->changes(QString(), none), "changes");
        const QStringList revert{QString::fromLatin1(SvnClient), QStringLiteral("revert"), QStringLiteral("--quiet"),
                                 QStringLiteral("-R"), QStringLiteral(".")};
        const QStringList bare{QString::fromLatin1(SvnClient), QStringLiteral("merge"), QStringLiteral("^/trunk"),
                               QStringLiteral(".")};
        std::vector<double> providerMs, bareMs;
        inTurns(
            state,
            [&] {
                runOrThrow(revert, tree.workingCopy);
                QList<SourceCodeControl::ItemChange> changes;
                QStringList conflicted;
                providerMs.push_back(timedCall(*svn, "merge", [&] {
                    return svn->merge(QString(), QStringLiteral("trunk"), {}, false, false, changes, conflicted);
                }));
                if (changes.size() < 200)
                    throw std::runtime_error("the merge did not touch the 200 files");
                return providerMs.back();
            },
            [&] {
                runOrThrow(revert, tree.workingCopy);
                bareMs.push_back(timedBare(bare, {tree.workingCopy}));
            });
        runOrThrow(revert, tree.workingCopy);
        recordRatio(state, "12a. merge of 20 revisions, 200 files / bare svn merge", providerMs, bareMs, "<= 1.10",
                    "merge", "bare merge");
    });
}
BENCHMARK(BM_MergeTwentyRevisions)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
