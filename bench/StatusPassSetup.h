#pragma once

// What the status pass figures (6a to 6f), the operations figures (8a to 8d)
// and version 2's figures (9a, 9b) share: the working copies they run on,
// made once each on first use; the provider bound as an IDE binds it; the
// bare client runs they are measured against; and how a figure is recorded.
// Every function throws std::runtime_error when what it sets up fails.

#include "BenchSummary.h"
#include "DelayRelay.h"
#include "SVNInterfaceSeam.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace StatusPassSetup {

inline constexpr char SvnClient[] = "/usr/bin/svn";
inline constexpr int RelayDelayMs = 10;
/** The comment of the operations' commits and locks. */
inline constexpr char Comment[] = "bench";

enum class Scope
{
    PerFolder,
    WorkingCopy,
};

/** The scope as the figures name it: "WorkingCopy" or "per-folder". */
const char* scopeName(Scope scope);

/** What every run of the provider carries, in the provider's order. */
QStringList credentials();

/**
 * "svn subcommand" with `options`, the credentials and `target` (none when
 * empty), in the provider's order: what a careful user types for the same run.
 */
QStringList bareRun(const QString& subcommand, const QStringList& options, const QString& target = QString());

/** "svn status" with `options` and the credentials, as the provider's status runs are built. */
QStringList bareStatus(const QStringList& options);

/**
 * Runs `arguments` in `directory` as the provider starts the client
 * (posix_spawn, so the start costs the same whatever this process holds),
 * with standard output and error thrown away. Throws unless it exits with
 * 0, or, with `mustFail`, unless it exits with another code.
 */
void runBare(const QStringList& arguments, const QString& directory, bool mustFail = false);

/** When a bare run's first line and its end came, in milliseconds from its start. */
struct BareLines
{
    double firstLineMs = -1;
    double endMs = 0;
};

/**
 * Runs `arguments` in `directory` as runBare() does, but with its standard
 * output read through a pipe as the provider reads it (and thrown away):
 * when its first line arrived and when it ended. Throws unless it exits with
 * 0 having printed a line.
 */
BareLines timedBareLines(const QStringList& arguments, const QString& directory);

/** `runBare` in each of `directories` in turn; the milliseconds they took in all. */
double timedBare(const QStringList& arguments, const QStringList& directories, bool mustFail = false);

class ServerProcess;

/** Every file of a working copy as an IDE lists them (the disk walked, ".svn" skipped), sorted. */
struct TreeFiles
{
    std::vector<QStringList> all;
    std::vector<QStringList> versioned;
    std::vector<QStringList> unversioned; // "notes*.txt"
    std::vector<QStringList> ignored;     // "*.o"
    /** Every folder holding one of them, absolute. */
    QStringList folders;

    TreeFiles() = default;
    explicit TreeFiles(const QString& root);

    std::vector<QStringList> unlisted() const;
};

/**
 * The working copy of figures 6a to 6e: a repository served by svnserve
 * behind a relay that holds every chunk 10 ms each way; a recursive checkout
 * over the relay of 200 folders of 10 files and a folder external of 50
 * (svn:externals "^/extsrc ext"); 100 unversioned files (one in each of the
 * first 100 folders) and 100 ignored ones (svn:ignore "*.o" on the other
 * 100, one object file in each). The first folder ignores "build" (none here;
 * the working copy of figures 8a to 8d has one).
 */
struct ServedTree
{
    QTemporaryDir scratch;
    QTemporaryDir repositoryScratch;
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<DelayRelay> relay;
    QString url;
    QString workingCopy;
    TreeFiles files;

    ServedTree();
    ~ServedTree();
};

/** 2,000 folders of 10 files, a file:// repository, checked out recursively; figures 6f and 9b. */
struct LargeTree
{
    QTemporaryDir scratch;
    QTemporaryDir repositoryScratch;
    QString repository;
    QString url;
    QString workingCopy;
    TreeFiles files;

    LargeTree();
};

/**
 * The working copy of figures 8a, 8b, 8d and 9a: a copy of the served
 * tree's (its commits and locks leave that one as figures 6a to 6e read it),
 * with names only the disk knows: 200 ignored files (a second object file in
 * each folder that ignores "*.o"), 200 files in an unversioned folder at the
 * top ("generated") and 200 in an ignored one ("d000/build").
 */
struct OperationsTree
{
    QTemporaryDir scratch;
    QString workingCopy;
    std::vector<QStringList> ignoredFiles;
    std::vector<QStringList> inUnversionedFolder;
    std::vector<QStringList> inIgnoredFolder;

    OperationsTree();
};

/**
 * The large tree served as figures 6a to 6e serve theirs (figure 8c):
 * svnserve on its repository behind a relay that holds every chunk 10 ms
 * each way, and a copy of its working copy relocated to that URL (a copy
 * costs seconds where a checkout over the relay would cost minutes).
 */
struct ServedLargeTree
{
    QTemporaryDir scratch;
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<DelayRelay> relay;
    QString url;
    QString workingCopy;

    ServedLargeTree();
    ~ServedLargeTree();
};

/**
 * The 250,000-file working copy (HugeTree) served as figures 6a to 6e serve
 * theirs: svnserve on its repository behind a relay that holds every chunk
 * 10 ms each way, the working copy relocated to that URL for as long as
 * this object lives (a relocation rewrites one row; a copy of the tree
 * would cost minutes) and back to file:// after.
 */
struct ServedHugeTree
{
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<DelayRelay> relay;
    QString url;
    QString workingCopy;
    TreeFiles files;

    ServedHugeTree();
    ~ServedHugeTree();
    ServedHugeTree(const ServedHugeTree&) = delete;
    ServedHugeTree& operator=(const ServedHugeTree&) = delete;
};

/** The one working copy of its kind, made on first use and kept until the benchmarks end. */
template <typename Tree>
Tree& shared()
{
    static Tree tree;
    return tree;
}

/**
 * A provider set up as an IDE sets it up: the options, login() and the
 * one-list setRoots() of the existing working copy.
 */
std::unique_ptr<SVNInterface> boundProvider(Scope scope, const QString& url, const QString& workingCopy,
                                            const QString& executable = QString::fromLatin1(SvnClient),
                                            int timeoutSeconds = 0);

/** Asks the status of each of `files` in turn, as an IDE's pass does; how many were answered controlled. */
size_t statusPass(SVNInterface& svn, const std::vector<QStringList>& files);

/** A full pass, timed; throws unless exactly the versioned files read as controlled. */
double timedPass(SVNInterface& svn, const TreeFiles& files);

/** The milliseconds since `timer` started. */
double elapsedMs(const QElapsedTimer& timer);

/** `value` with `decimals` digits after the point. */
std::string fixed(double value, int decimals = 1);

/**
 * Records `first` / `second` (their medians) as figure `name`, with counters
 * for the JSON output; `more` is added to the detail.
 */
void recordRatio(benchmark::State& state, const std::string& name, const std::vector<double>& firstMs,
                 const std::vector<double>& secondMs, const std::string& target, const std::string& firstLabel,
                 const std::string& secondLabel, const std::string& more = std::string());

/** Runs `body`; an exception ends the benchmark as failed, with its message, and the run goes on. */
template <typename Body>
void guarded(benchmark::State& state, Body body)
{
    try {
        body();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

/**
 * Runs `provider` and `bare` in turn, once per iteration, the first of the
 * two alternating (BenchSummary::inTurn); the iteration's time is the one
 * `provider` returns, in milliseconds.
 */
template <typename Provider, typename Bare>
void inTurns(benchmark::State& state, Provider provider, Bare bare)
{
    int turn = 0;
    for (auto _ : state) {
        double ms = 0;
        BenchSummary::inTurn(turn, [&] { ms = provider(); }, bare);
        state.SetIterationTime(ms / 1e3);
    }
}

/**
 * The provider's first full pass over `files` (after refresh()) and the
 * bare run `bare` in `workingCopy`, in turn, once per iteration; the times
 * go to `providerMs` and `bareMs`.
 */
void passesAndBareRuns(benchmark::State& state, SVNInterface& svn, const TreeFiles& files, const QStringList& bare,
                       const QString& workingCopy, std::vector<double>& providerMs, std::vector<double>& bareMs);

/**
 * A provider of `workingCopy` with the whole-tree scope, its first full
 * pass over `files` against one bare "status -u -v" at the root, as
 * passesAndBareRuns() runs them.
 */
std::unique_ptr<SVNInterface> wholeTreePasses(benchmark::State& state, const QString& url, const QString& workingCopy,
                                              const TreeFiles& files, std::vector<double>& providerMs,
                                              std::vector<double>& bareMs);

/**
 * The record of `parts` in `svn`'s status cache, as the cache holds it now
 * (nothing is filled); throws when its folder or the record is not cached.
 */
const SVNFileStatus& cachedRecord(SVNInterface& svn, const QString& workingCopy, const QStringList& parts);

/** Throws with the provider's last error unless `ok`. */
void mustSucceed(SVNInterface& svn, bool ok, const char* call);

/**
 * Runs `call`, an operation of `svn` named `name`, and gives the
 * milliseconds it took; throws with the provider's last error unless it
 * returned true.
 */
template <typename Call>
double timedCall(SVNInterface& svn, const char* name, Call call)
{
    QElapsedTimer timer;
    timer.start();
    const bool ok = call();
    const double ms = elapsedMs(timer);
    mustSucceed(svn, ok, name);
    return ms;
}

/**
 * Registers `body`, guarded, for each scope: as the benchmark
 * `<stem>TreeScope` with the whole-tree scope and `treeIterations`
 * iterations, then as `<stem>PerFolder` with `folderIterations`. With
 * `manualTime`, an iteration's time is the one the body sets. Returns 2.
 */
int registerForBothScopes(const std::string& stem, void (*body)(benchmark::State&, Scope), int treeIterations,
                          int folderIterations, bool manualTime);

/**
 * Puts the relay in `mode` with `delayMs` for as long as it lives, then back
 * to forwarding with the usual delay.
 */
class RelaySetting
{
public:
    RelaySetting(DelayRelay& relay, DelayRelay::Mode mode, int delayMs = RelayDelayMs);
    ~RelaySetting();
    RelaySetting(const RelaySetting&) = delete;
    RelaySetting& operator=(const RelaySetting&) = delete;

private:
    DelayRelay& m_relay;
};

/**
 * A client that notes each run (its arguments, one line) in a log and then
 * is the real client: how many runs the provider makes, and for which file.
 */
class CountingClient
{
public:
    CountingClient();

    QString program() const { return m_program; }

    /** Every run noted so far, in order. */
    QStringList runs() const;

private:
    QTemporaryDir m_scratch;
    QString m_program;
    QString m_log;
};

} // namespace StatusPassSetup
