// An IDE's status pass over a whole working copy whose repository is 10 ms
// away (svnserve behind a relay that holds every chunk 10 ms each way): the
// whole-tree scope against the one client run it makes and against the
// per-folder scope; both scopes with the server refusing connections and
// with a server that never answers; the client runs each scope makes
// (figures 6a to 6e); figure 6a again at 250,000 files.

#include "StatusPassSetup.h"

#include "BenchSummary.h"

#include <algorithm>
#include <map>

namespace {

using namespace StatusPassSetup;

/** The time limit of figure 6d's provider, in seconds. */
constexpr int TimeoutSeconds = 5;

// 6a. The IDE's first full pass with the whole-tree scope against the one
// client run it makes ("svn status -u -v" at the root with the provider's
// credentials options, run bare, output thrown away). Alternating order.
void BM_TreeScopeFirstPass(benchmark::State& state)
{
    guarded(state, [&] {
        ServedTree& tree = shared<ServedTree>();
        std::vector<double> providerMs, bareMs;
        auto svn = wholeTreePasses(state, tree.url, tree.workingCopy, tree.files, providerMs, bareMs);
        // One run filled every folder: the root, the 200 below it and the external.
        if (SVNInterfaceSeam(*svn).statusCache().size() < size_t(tree.files.folders.size()) + 1)
            throw std::runtime_error("the whole-tree pass did not fill every folder");
        recordRatio(state, "6a. first full pass, WorkingCopy / one bare status -u -v", providerMs, bareMs,
                    "<= 1.10", "pass", "bare run");
    });
}
BENCHMARK(BM_TreeScopeFirstPass)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);

// 6a at 250,000 files (5,000 folders of 50, served the same way): the same
// first pass against the same one client run. Alternating order.
void BM_TreeScopeFirstPassHuge(benchmark::State& state)
{
    guarded(state, [&] {
        ServedHugeTree tree;
        std::vector<double> providerMs, bareMs;
        auto svn = wholeTreePasses(state, tree.url, tree.workingCopy, tree.files, providerMs, bareMs);
        if (SVNInterfaceSeam(*svn).statusCache().size() < size_t(tree.files.folders.size()) + 1)
            throw std::runtime_error("the whole-tree pass did not fill every folder");
        recordRatio(state, "6a. 250,000 files: first full pass, WorkingCopy / one bare status -u -v", providerMs,
                    bareMs, "<= 1.10", "pass", "bare run");
    });
}
BENCHMARK(BM_TreeScopeFirstPassHuge)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// 6b. The same first pass per folder (one "status -N -u -v" per folder, an
// "info" for each ignored file) against the whole-tree scope. Alternating.
void BM_PerFolderFirstPass(benchmark::State& state)
{
    guarded(state, [&] {
        ServedTree& tree = shared<ServedTree>();
        auto perFolder = boundProvider(Scope::PerFolder, tree.url, tree.workingCopy);
        auto wholeTree = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
        std::vector<double> perFolderMs, wholeTreeMs;
        inTurns(
            state,
            [&] {
                perFolder->refresh();
                perFolderMs.push_back(timedPass(*perFolder, tree.files));
                return perFolderMs.back();
            },
            [&] {
                wholeTree->refresh();
                wholeTreeMs.push_back(timedPass(*wholeTree, tree.files));
            });
        recordRatio(state, "6b. first full pass, per-folder / WorkingCopy", perFolderMs, wholeTreeMs, "",
                    "per-folder", "WorkingCopy");
    });
}
BENCHMARK(BM_PerFolderFirstPass)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

// The first full pass of `scope` while the server refuses connections,
// against the bare local pass of that scope ("status -v" at the root, or
// "status -N -v" in every folder the IDE lists). Alternating order. The
// detail adds the one refused run the pass starts with ("status -u -v" at
// the root, or "status -N -u -v" in the first folder), timed bare too.
void refusedServerPass(benchmark::State& state, Scope scope)
{
    ServedTree& tree = shared<ServedTree>();
    auto svn = boundProvider(scope, tree.url, tree.workingCopy); // logs in while the server answers
    const bool wholeTree = scope == Scope::WorkingCopy;
    const QStringList local = wholeTree ? QStringList{QStringLiteral("--verbose")}
                                        : QStringList{QStringLiteral("--non-recursive"), QStringLiteral("--verbose")};
    const QStringList bare = bareStatus(local);
    const QStringList refused = bareStatus(QStringList{QStringLiteral("--show-updates")} + local);
    const QStringList bareFolders = wholeTree ? QStringList{tree.workingCopy} : tree.files.folders;
    RelaySetting refusing(*tree.relay, DelayRelay::Mode::Refusing);
    std::vector<double> providerMs, bareMs, refusedMs;
    int turn = 0;
    for (auto _ : state) {
        BenchSummary::inTurn(
            turn,
            [&] {
                svn->refresh(); // the server is tried again, and refuses again
                providerMs.push_back(timedPass(*svn, tree.files));
            },
            [&] { bareMs.push_back(timedBare(bare, bareFolders)); });
        refusedMs.push_back(timedBare(refused, {bareFolders.first()}, true));
        state.SetIterationTime(providerMs.back() / 1e3);
    }
    const std::string name = std::string("6c. server refusing: first pass, ") + scopeName(scope) + " / bare " +
                             (wholeTree ? "status -v" : "status -N -v per folder");
    // The whole-tree pass starts with one refused run, which costs a client
    // start: about half of this small tree's whole local pass.
    recordRatio(state, name, providerMs, bareMs, wholeTree ? "<= 2.0" : "<= 1.5", "pass", "bare local",
                std::string("; the refused ") + (wholeTree ? "status -u -v" : "status -N -u -v") + " alone, bare: " +
                    fixed(BenchSummary::median(refusedMs)) + " ms");
}

// 6c. Server refusing connections, whole-tree scope, then per folder.
[[maybe_unused]] const int refusedServer = registerForBothScopes("BM_RefusedServer", refusedServerPass, 7, 3, true);

// 6d. A server that accepts connections and never answers, SVNTimeout=5:
// the first full pass with the whole-tree scope. Its bound is the time
// limit, one second more, and the bare local pass ("status -v" at the
// root), measured alongside.
void BM_SilentServerTreeScope(benchmark::State& state)
{
    guarded(state, [&] {
        ServedTree& tree = shared<ServedTree>();
        auto svn = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy, QString::fromLatin1(SvnClient),
                                 TimeoutSeconds);
        const QStringList bare = bareStatus({QStringLiteral("--verbose")});
        RelaySetting silent(*tree.relay, DelayRelay::Mode::Silent);
        std::vector<double> providerMs, bareMs;
        passesAndBareRuns(state, *svn, tree.files, bare, tree.workingCopy, providerMs, bareMs);
        const double pass = BenchSummary::median(providerMs) / 1e3;
        const double local = BenchSummary::median(bareMs) / 1e3;
        const double bound = TimeoutSeconds + 1 + local;
        state.counters["pass_s"] = pass;
        state.counters["bound_s"] = bound;
        BenchSummary::record("6d. silent server, SVNTimeout=5: first pass, WorkingCopy", pass, "s",
                             "<= " + fixed(bound, 3),
                             "bound = " + std::to_string(TimeoutSeconds) + " s limit + 1 s + bare status -v " +
                                 fixed(local * 1e3) + " ms (medians of " + std::to_string(providerMs.size()) +
                                 ")");
    });
}
BENCHMARK(BM_SilentServerTreeScope)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// 6e. The client runs of one scope, counted through a client that notes
// each run: a first pass over the versioned files, then the unversioned and
// ignored files asked twice each (the runs made for their sake, by file),
// then a second full pass without refresh (which should run nothing). The
// relay forwards without delay meanwhile.
void countRuns(benchmark::State& state, Scope scope)
{
    ServedTree& tree = shared<ServedTree>();
    CountingClient client;
    auto svn = boundProvider(scope, tree.url, tree.workingCopy, client.program());
    // A count of client runs does not depend on the distance, and a
    // per-folder pass is a third as long without it.
    RelaySetting undelayed(*tree.relay, DelayRelay::Mode::Forwarding, 0);
    const std::vector<QStringList> unlisted = tree.files.unlisted();
    int firstRuns = 0, unlistedRuns = 0, secondRuns = 0, mostForOneFile = 0, unattributed = 0;
    for (auto _ : state) {
        svn->refresh();
        const int before = int(client.runs().size());
        if (statusPass(*svn, tree.files.versioned) != tree.files.versioned.size())
            throw std::runtime_error("a versioned file did not read as controlled");
        const int afterVersioned = int(client.runs().size());
        statusPass(*svn, unlisted);
        if (statusPass(*svn, unlisted) != 0)
            throw std::runtime_error("an unversioned or ignored file read as controlled");
        const QStringList runs = client.runs();
        const int afterUnlisted = int(runs.size());
        timedPass(*svn, tree.files);
        secondRuns = int(client.runs().size()) - afterUnlisted;
        firstRuns = afterVersioned - before;
        unlistedRuns = afterUnlisted - afterVersioned;

        // Each run is put down to the file it names; a run naming none could be for any of them.
        std::map<QString, int> byFile;
        unattributed = 0;
        for (int i = afterVersioned; i < afterUnlisted; ++i) {
            bool named = false;
            for (const QStringList& parts : unlisted) {
                if (runs.at(i).contains(parts.last())) {
                    ++byFile[parts.last()];
                    named = true;
                }
            }
            unattributed += !named;
        }
        mostForOneFile = 0;
        for (const auto& file : byFile)
            mostForOneFile = std::max(mostForOneFile, file.second);
        mostForOneFile += unattributed;
    }
    state.counters["first_pass_runs"] = firstRuns;
    state.counters["unlisted_runs"] = unlistedRuns;
    state.counters["second_pass_runs"] = secondRuns;
    const std::string scopeText = scopeName(scope);
    BenchSummary::record("6e. second pass without refresh, " + scopeText + ": client runs", secondRuns, "runs",
                         "<= 0", "first pass (versioned files) " + std::to_string(firstRuns) + " runs");
    const std::string unlistedDetail = std::to_string(unlistedRuns) + " runs in all for " +
                                       std::to_string(tree.files.unversioned.size()) + " unversioned + " +
                                       std::to_string(tree.files.ignored.size()) + " ignored files asked twice each";
    if (scope == Scope::WorkingCopy)
        BenchSummary::record("6e. unversioned and ignored files, WorkingCopy: client runs", unlistedRuns, "runs",
                             "<= 0", unlistedDetail);
    else
        BenchSummary::record("6e. unversioned and ignored, per-folder: most runs for one file", mostForOneFile,
                             "runs", "<= 1",
                             unlistedDetail + (unattributed ? ", " + std::to_string(unattributed) +
                                                                  " naming none of them (counted for each)"
                                                            : std::string()));
}

// 6e. Client runs with the whole-tree scope: none for the unversioned and
// ignored files once the tree is read, none in a second pass. Then per
// folder: at most one for each unversioned or ignored file until refresh,
// none in a second pass.
[[maybe_unused]] const int clientRuns = registerForBothScopes("BM_ClientRuns", countRuns, 1, 1, false);

} // namespace
