// The operations on one file (commit, update, lock, unlock, saved) against
// the bare client run each stands for, a lock in the 20,000-file working
// copy served behind the relay, and the client runs made for names only the
// disk knows (figures 8a to 8d).

#include "StatusPassSetup.h"

#include "BenchFiles.h"
#include "BenchSummary.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

using namespace StatusPassSetup;
using BenchFiles::writeFile;

/**
 * A file of the operations' working copy, in d010, and a provider (per
 * folder) with the file's folder cached, so that an operation on the file
 * ends with its re-read.
 */
struct CachedFile
{
    explicit CachedFile(const QString& name)
        : workingCopy(shared<OperationsTree>().workingCopy), parts{QStringLiteral("d010"), name},
          svn(boundProvider(Scope::PerFolder, shared<ServedTree>().url, workingCopy))
    {
        if (statusPass(*svn, {parts}) != 1)
            throw std::runtime_error(parts.join(QLatin1Char('/')).toStdString() + " did not read as controlled");
        record();
    }

    /** The file's record as the provider's cache holds it now. */
    const SVNFileStatus& record() const { return cachedRecord(*svn, workingCopy, parts); }

    const QString workingCopy;
    const QStringList parts;
    const std::unique_ptr<SVNInterface> svn;
};

/** The bare "svn lock -m ... FILE" and "svn unlock FILE" of `parts`, run in the local root. */
struct BareLock
{
    explicit BareLock(const QStringList& parts)
        : lock(bareRun(QStringLiteral("lock"), {QStringLiteral("-m"), QString::fromLatin1(Comment)},
                       parts.join(QLatin1Char('/')))),
          unlock(bareRun(QStringLiteral("unlock"), {}, parts.join(QLatin1Char('/'))))
    {
    }
    QStringList lock;
    QStringList unlock;
};

/** The provider's lock of `parts`, as an IDE asks for it: checkout(FILE, comment, false). */
bool lockFile(SVNInterface& svn, const QStringList& parts)
{
    return svn.checkout(parts, QString::fromLatin1(Comment), false);
}

// 8a. checkin() against the bare "svn commit -m ... FILE" of the same edit,
// both in the local root. Each side writes a new text first (untimed), so
// that every commit has something to commit; the provider's folder is
// cached, so its checkin ends with the local re-read of the file, which has
// to show the new revision. Alternating order.
void BM_CommitFile(benchmark::State& state)
{
    guarded(state, [&] {
        const CachedFile file(QStringLiteral("file01.cpp"));
        const QString target = file.parts.join(QLatin1Char('/'));
        const QString path = file.workingCopy + QLatin1Char('/') + target;
        const QStringList bare = bareRun(QStringLiteral("commit"), {QStringLiteral("-m"), QString::fromLatin1(Comment)},
                                         target);
        int edits = 0;
        std::vector<double> providerMs, bareMs;
        inTurns(
            state,
            [&] {
                writeFile(path, "edit " + QByteArray::number(++edits) + "\n");
                const QString before = file.record().workingRevision;
                providerMs.push_back(timedCall(*file.svn, "checkin", [&] {
                    return file.svn->checkin(file.parts, QString::fromLatin1(Comment));
                }));
                const SVNFileStatus& after = file.record();
                if (after.workingRevision == before || after.modified)
                    throw std::runtime_error("checkin did not re-read the file");
                return providerMs.back();
            },
            [&] {
                writeFile(path, "edit " + QByteArray::number(++edits) + "\n");
                bareMs.push_back(timedBare(bare, {file.workingCopy}));
            });
        recordRatio(state, "8a. checkin / bare commit of the same edit", providerMs, bareMs, "<= 1.15", "checkin",
                    "bare commit");
    });
}
BENCHMARK(BM_CommitFile)->Iterations(21)->UseManualTime()->Unit(benchmark::kMillisecond);

// 8a. getFile(FILE, true) against the bare "svn update FILE", both in the
// local root, each bringing the file from an older revision whose text
// differs: before each side the file is put back to it (a bare
// "update --revision", untimed; the provider is told with saved()), so each
// update fetches the same text. The provider's re-read has to show the new
// revision. Alternating order.
void BM_UpdateFile(benchmark::State& state)
{
    guarded(state, [&] {
        const CachedFile file(QStringLiteral("file02.cpp"));
        const QString target = file.parts.join(QLatin1Char('/'));
        const QString older = file.record().workingRevision;
        writeFile(file.workingCopy + QLatin1Char('/') + target, "newer\n");
        mustSucceed(*file.svn, file.svn->checkin(file.parts, QString::fromLatin1(Comment)), "checkin");
        const QString newer = file.record().workingRevision;
        const QStringList backdate = bareRun(QStringLiteral("update"), {QStringLiteral("--revision"), older}, target);
        const QStringList bare = bareRun(QStringLiteral("update"), {}, target);
        std::vector<double> providerMs, bareMs;
        inTurns(
            state,
            [&] {
                runBare(backdate, file.workingCopy);
                mustSucceed(*file.svn, file.svn->saved(file.parts), "saved");
                if (file.record().workingRevision != older)
                    throw std::runtime_error("the file did not go back to revision " + older.toStdString());
                providerMs.push_back(
                    timedCall(*file.svn, "getFile", [&] { return file.svn->getFile(file.parts, true); }));
                if (file.record().workingRevision != newer)
                    throw std::runtime_error("getFile did not re-read the file");
                return providerMs.back();
            },
            [&] {
                runBare(backdate, file.workingCopy);
                bareMs.push_back(timedBare(bare, {file.workingCopy}));
            });
        recordRatio(state, "8a. getFile(keepLocal) / bare update of the file", providerMs, bareMs, "<= 1.15",
                    "getFile", "bare update");
    });
}
BENCHMARK(BM_UpdateFile)->Iterations(21)->UseManualTime()->Unit(benchmark::kMillisecond);

// 8a. checkout(FILE, comment, false) and undoCheckout(FILE, false) against
// the bare "svn lock -m ... FILE" and "svn unlock FILE", both in the local
// root, in lock-then-unlock pairs on the same file. The provider's re-reads
// have to show the lock taken and released. Alternating order.
void BM_LockAndUnlock(benchmark::State& state)
{
    guarded(state, [&] {
        const CachedFile file(QStringLiteral("file03.cpp"));
        const BareLock bare(file.parts);
        std::vector<double> lockMs, unlockMs, bareLockMs, bareUnlockMs;
        inTurns(
            state,
            [&] {
                lockMs.push_back(timedCall(*file.svn, "checkout", [&] { return lockFile(*file.svn, file.parts); }));
                if (!file.record().locked)
                    throw std::runtime_error("checkout did not re-read the file");
                unlockMs.push_back(
                    timedCall(*file.svn, "undoCheckout", [&] { return file.svn->undoCheckout(file.parts, false); }));
                if (file.record().locked)
                    throw std::runtime_error("undoCheckout did not re-read the file");
                return lockMs.back() + unlockMs.back();
            },
            [&] {
                bareLockMs.push_back(timedBare(bare.lock, {file.workingCopy}));
                bareUnlockMs.push_back(timedBare(bare.unlock, {file.workingCopy}));
            });
        recordRatio(state, "8a. checkout (lock) / bare lock", lockMs, bareLockMs, "<= 1.25", "checkout",
                    "bare lock");
        recordRatio(state, "8a. undoCheckout (unlock) / bare unlock", unlockMs, bareUnlockMs, "<= 1.25",
                    "undoCheckout", "bare unlock");
    });
}
BENCHMARK(BM_LockAndUnlock)->Iterations(21)->UseManualTime()->Unit(benchmark::kMillisecond);

// 8b. saved() against the bare local "svn status --verbose FILE" in the
// file's folder, where the provider's re-read runs. Each side writes the
// file first (untimed), an edit and the original text by turns; the
// provider's record has to follow. Alternating order.
void BM_SavedReread(benchmark::State& state)
{
    guarded(state, [&] {
        const CachedFile file(QStringLiteral("file04.cpp"));
        const QString path = file.workingCopy + QLatin1Char('/') + file.parts.join(QLatin1Char('/'));
        QFile reader(path);
        if (!reader.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " + path.toStdString());
        const QByteArray original = reader.readAll();
        reader.close();
        const QStringList bare = bareRun(QStringLiteral("status"), {QStringLiteral("--verbose")}, file.parts.last());
        const QString folder = QFileInfo(path).path();
        std::vector<double> providerMs, bareMs;
        int providerWrites = 0, bareWrites = 0;
        inTurns(
            state,
            [&] {
                const bool edited = providerWrites++ % 2;
                writeFile(path, edited ? QByteArray("edited\n") : original);
                providerMs.push_back(timedCall(*file.svn, "saved", [&] { return file.svn->saved(file.parts); }));
                if (file.record().modified != edited)
                    throw std::runtime_error("saved did not re-read the file");
                return providerMs.back();
            },
            [&] {
                writeFile(path, bareWrites++ % 2 ? QByteArray("edited\n") : original);
                bareMs.push_back(timedBare(bare, {folder}));
            });
        writeFile(path, original);
        recordRatio(state, "8b. saved / bare local status -v of the file", providerMs, bareMs, "<= 1.3", "saved",
                    "bare status");
    });
}
BENCHMARK(BM_SavedReread)->Iterations(41)->UseManualTime()->Unit(benchmark::kMillisecond);

// 8c. checkout(FILE, comment, false) with nothing cached (refresh() first),
// the whole-tree scope, in the served 20,000-file working copy, against the
// bare "svn lock -m ... FILE" in the local root. Each lock is released by a
// bare "svn unlock" (untimed). Alternating order. The detail says how many
// folders the provider had cached after its lock.
void BM_LockLargeTree(benchmark::State& state)
{
    guarded(state, [&] {
        ServedLargeTree& tree = shared<ServedLargeTree>();
        auto svn = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
        const QStringList parts{QStringLiteral("d1234"), QStringLiteral("file05.cpp")};
        const BareLock bare(parts);
        std::vector<double> providerMs, bareMs;
        size_t cachedFolders = 0;
        inTurns(
            state,
            [&] {
                svn->refresh();
                providerMs.push_back(timedCall(*svn, "checkout", [&] { return lockFile(*svn, parts); }));
                cachedFolders = std::max(cachedFolders, SVNInterfaceSeam(*svn).statusCache().size());
                runBare(bare.unlock, tree.workingCopy);
                return providerMs.back();
            },
            [&] {
                bareMs.push_back(timedBare(bare.lock, {tree.workingCopy}));
                runBare(bare.unlock, tree.workingCopy);
            });
        recordRatio(state, "8c. lock, nothing cached, WorkingCopy, 20,000 files / bare lock", providerMs, bareMs,
                    "<= 1.15", "checkout", "bare lock",
                    "; folders cached after the lock: " + std::to_string(cachedFolders));
    });
}
BENCHMARK(BM_LockLargeTree)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);

// 8d. The client runs of one scope for names only the disk knows, counted
// through a client that notes each run: a first pass over the versioned
// files fills their folders, then each group is asked once and its runs
// counted (200 ignored files, 200 files in an unversioned folder, 200 in an
// ignored one). The relay forwards without delay meanwhile (a count does not
// depend on the distance).
void diskOnlyRuns(benchmark::State& state, Scope scope)
{
    ServedTree& served = shared<ServedTree>();
    const OperationsTree& tree = shared<OperationsTree>();
    CountingClient client;
    auto svn = boundProvider(scope, served.url, tree.workingCopy, client.program());
    RelaySetting undelayed(*served.relay, DelayRelay::Mode::Forwarding, 0);
    const std::vector<QStringList>* groups[] = {&tree.ignoredFiles, &tree.inUnversionedFolder, &tree.inIgnoredFolder};
    int runs[3] = {};
    QString firstRun;
    for (auto _ : state) {
        svn->refresh();
        if (statusPass(*svn, served.files.versioned) != served.files.versioned.size())
            throw std::runtime_error("a versioned file did not read as controlled");
        firstRun.clear();
        for (int group = 0; group < 3; ++group) {
            const int before = int(client.runs().size());
            if (statusPass(*svn, *groups[group]) != 0)
                throw std::runtime_error("a name only the disk knows read as controlled");
            const QStringList all = client.runs();
            runs[group] = int(all.size()) - before;
            if (runs[group] && firstRun.isEmpty())
                firstRun = QString(all.at(before)).remove(QLatin1Char(' ') + credentials().join(QLatin1Char(' ')));
        }
    }
    state.counters["ignored_runs"] = runs[0];
    state.counters["unversioned_folder_runs"] = runs[1];
    state.counters["ignored_folder_runs"] = runs[2];
    BenchSummary::record(std::string("8d. names only the disk knows, ") + scopeName(scope) + ": first-pass runs",
                         runs[0] + runs[1] + runs[2], "runs", "<= 0",
                         std::to_string(runs[0]) + " for " + std::to_string(tree.ignoredFiles.size()) +
                             " ignored files, " + std::to_string(runs[1]) + " for " +
                             std::to_string(tree.inUnversionedFolder.size()) + " in an unversioned folder, " +
                             std::to_string(runs[2]) + " for " + std::to_string(tree.inIgnoredFolder.size()) +
                             " in an ignored folder" +
                             (firstRun.isEmpty() ? std::string() : "; first: svn " + firstRun.toStdString()));
}

// 8d. Whole-tree scope, then per folder.
[[maybe_unused]] const int diskOnly = registerForBothScopes("BM_DiskOnlyRuns", diskOnlyRuns, 1, 1, false);

} // namespace
