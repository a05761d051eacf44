// The provider's status path: the cached query, the first query of a real
// working copy against the bare client run, and the status-line parser.

#include "Ballast.h"
#include "BenchFiles.h"
#include "BenchSummary.h"
#include "PeakMemory.h"
#include "QTxProcess.h"
#include "SVNInterfaceSeam.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {

constexpr int DirectoryEntries = 2000;
const char* const SvnClient = "/usr/bin/svn";

// A provider bound to `localRoot` that runs `client`, with the credentials the benchmarks' runs carry.
void setUp(SVNInterface& svn, const QString& client, const QString& localRoot)
{
    svn.setOption(QLatin1String(SourceCodeControlOption::Executable), client);
    SVNInterfaceSeam seam(svn);
    seam.bind(localRoot, QString());
    seam.client().setCredentials(QStringLiteral("bench"), QStringLiteral("secret"));
}

QString entryName(int i)
{
    return QStringLiteral("file%1.cpp").arg(i, 5, 10, QLatin1Char('0'));
}

/**
 * One line as the svn client (1.14) prints it for "status --show-updates
 * --verbose". With `outOfDate` every seventh line carries the "*" that this
 * client prints in column 9.
 */
QByteArray statusLine(int i, bool outOfDate)
{
    static const char* const columns[] = {" ", "M", " ", "!", " ", "A"};
    char line[160];
    std::snprintf(line, sizeof line, "%-8s%c %8d %8d %-12s %s\n", columns[i % 6], outOfDate && i % 7 == 0 ? '*' : ' ',
                  1000 + i % 50, 900 + i % 37, "developer", entryName(i).toLatin1().constData());
    return line;
}

using BenchFiles::runOrThrow;
using BenchFiles::writeFile;

// 1. A query answered from the cache: two map lookups, no process, no file access.
void BM_CachedStatus(benchmark::State& state)
{
    QTemporaryDir scratch;
    const QString directory = scratch.path() + QStringLiteral("/project");
    QDir().mkpath(directory + QStringLiteral("/.svn"));
    writeFile(directory + QStringLiteral("/.svn/entries"), "12\n");
    QByteArray listing;
    for (int i = 0; i < DirectoryEntries; ++i)
        listing += statusLine(i, false);
    listing += "Status against revision:   1049\n";
    writeFile(scratch.path() + QStringLiteral("/status.txt"), listing);
    const QString client = scratch.path() + QStringLiteral("/svn");
    writeFile(client, "#!/bin/sh\nexec cat \"$(dirname \"$0\")/status.txt\"\n");
    QFile::setPermissions(client, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    SVNInterface svn;
    setUp(svn, client, scratch.path());
    std::vector<QStringList> queries;
    for (int i = 0; i < DirectoryEntries; ++i)
        queries.push_back({QStringLiteral("project"), entryName((i * 7919) % DirectoryEntries)});
    bool controlled, checkedOut, modified, outOfDate;
    QString statusText, revisionText, lastChangedText;
    if (!svn.status(queries[0], controlled, checkedOut, modified, outOfDate, statusText, revisionText,
                    lastChangedText) || !controlled || SVNInterfaceSeam(svn).statusCache().size() != 1)
        throw std::runtime_error("the directory did not get cached");

    static std::vector<double> perQueryNs;
    size_t next = 0;
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        svn.status(queries[next], controlled, checkedOut, modified, outOfDate, statusText, revisionText,
                   lastChangedText);
        benchmark::DoNotOptimize(controlled);
        if (++next == queries.size())
            next = 0;
    }
    perQueryNs.push_back(double(timer.nsecsElapsed()) / double(state.iterations()));
    if (SVNInterfaceSeam(svn).statusCache().size() != 1)
        throw std::runtime_error("a cached query ran the client");
    state.SetItemsProcessed(state.iterations());
    BenchSummary::record("1. cached status, 2,000-entry directory", BenchSummary::median(perQueryNs) / 1e3,
                         "us/query", "<= 0.5",
                         "median of " + std::to_string(perQueryNs.size()) + " repetitions, worst " +
                             std::to_string(*std::max_element(perQueryNs.begin(), perQueryNs.end()) / 1e3) + " us");
}
BENCHMARK(BM_CachedStatus)->Iterations(2000000)->Repetitions(5);

/**
 * A file:// repository and an ordinary (recursive, central-layout) working
 * copy of 2,000 versioned files, spread over `folders` (each given as a path
 * below the top, "" for the top itself) in equal shares.
 */
struct RealWorkingCopy
{
    QTemporaryDir scratch;
    QString workingCopy;

    explicit RealWorkingCopy(const QStringList& folders = {QString()}, int files = DirectoryEntries)
    {
        const QString repository = scratch.path() + QStringLiteral("/repo");
        workingCopy = scratch.path() + QStringLiteral("/wc");
        runOrThrow({QStringLiteral("svnadmin"), QStringLiteral("create"), repository});
        runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("checkout"), QStringLiteral("--quiet"),
                    QStringLiteral("file://") + repository, workingCopy});
        for (int i = 0; i < files; ++i) {
            const QString folder = workingCopy + QLatin1Char('/') + folders.at(i % folders.size());
            QDir().mkpath(folder);
            writeFile(folder + QLatin1Char('/') + entryName(i), "int x" + QByteArray::number(i) + ";\n");
        }
        runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("add"), QStringLiteral("--quiet"),
                    QStringLiteral("--force"), QStringLiteral(".")},
                   workingCopy);
        runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("commit"), QStringLiteral("--quiet"),
                    QStringLiteral("-m"), QStringLiteral("2,000 files")},
                   workingCopy);
        runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("update"), QStringLiteral("--quiet")},
                   workingCopy);
        // A few local changes so that the lines differ as in real use.
        for (int i = 0; i < files; i += 100)
            writeFile(workingCopy + QLatin1Char('/') + folders.at(i % folders.size()) + QLatin1Char('/')
                          + entryName(i),
                      "changed\n");
    }
};

/** Runs `argv` in `directory` with standard output and error thrown away; the exit status. */
int runBare(const std::vector<char*>& argv, const char* directory)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (::chdir(directory) != 0)
            ::_exit(254);
        ::execv(argv[0], argv.data());
        ::_exit(255);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The provider's whole first query of `parts` (cache miss, working-copy test,
// client run, capture, parse, lookup) against the same command line run bare
// in the file's folder with its output thrown away. Alternating order.
void compareFirstStatus(benchmark::State& state, const QString& workingCopy, const QStringList& parts,
                        const std::string& figure)
{
    SVNInterface svn;
    setUp(svn, QString::fromLatin1(SvnClient), workingCopy);

    std::vector<QByteArray> bareBytes;
    for (const char* argument : {SvnClient, "status", "--non-recursive", "--show-updates", "--verbose",
                                 "--no-auth-cache", "--non-interactive", "--username", "bench",
                                 "--password", "secret"})
        bareBytes.emplace_back(argument);
    std::vector<char*> bareArgv;
    for (QByteArray& bytes : bareBytes)
        bareArgv.push_back(bytes.data());
    bareArgv.push_back(nullptr);
    const QByteArray directory = svn.getLocalDirectory(parts).toUtf8();

    std::vector<double> providerMs;
    std::vector<double> bareMs;
    bool controlled = false, checkedOut, modified, outOfDate;
    QString statusText, revisionText, lastChangedText;
    int iteration = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        auto timeProvider = [&] {
            svn.refresh(); // the query starts from an empty cache
            timer.start();
            svn.status(parts, controlled, checkedOut, modified, outOfDate, statusText, revisionText,
                       lastChangedText);
            providerMs.push_back(timer.nsecsElapsed() / 1e6);
        };
        auto timeBare = [&] {
            timer.start();
            if (runBare(bareArgv, directory.constData()) != 0)
                throw std::runtime_error("the bare client run failed");
            bareMs.push_back(timer.nsecsElapsed() / 1e6);
        };
        BenchSummary::inTurn(iteration, timeProvider, timeBare);
        if (!controlled || SVNInterfaceSeam(svn).statusCache().size() == 0 || revisionText == QLatin1String("fixme"))
            throw std::runtime_error("the provider's query failed");
        state.SetIterationTime(providerMs.back() / 1e3);
    }
    const double provider = BenchSummary::median(providerMs);
    const double bare = BenchSummary::median(bareMs);
    state.counters["provider_ms"] = provider;
    state.counters["bare_ms"] = bare;
    state.counters["ratio"] = provider / bare;
    BenchSummary::record(figure, provider / bare, "ratio", "<= 1.03",
                         "provider " + std::to_string(provider) + " ms, bare " + std::to_string(bare) +
                             " ms (medians)");
}

// 2. First status in a folder holding all 2,000 entries.
void BM_FirstStatusRealWorkingCopy(benchmark::State& state)
{
    static RealWorkingCopy fixture;
    compareFirstStatus(state, fixture.workingCopy, {entryName(1234)},
                       "2. first status, 2,000-entry folder: provider/bare");
}
BENCHMARK(BM_FirstStatusRealWorkingCopy)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

// 2b. First status in a folder three levels down in a 2,000-file working copy,
// where the working-copy test has to read the central database.
void BM_FirstStatusThreeLevelsDown(benchmark::State& state)
{
    static RealWorkingCopy fixture({QString(), QStringLiteral("src"), QStringLiteral("src/lib"),
                                    QStringLiteral("src/lib/util"), QStringLiteral("doc")});
    compareFirstStatus(state, fixture.workingCopy,
                       {QStringLiteral("src"), QStringLiteral("lib"), QStringLiteral("util"), entryName(1233)},
                       "2b. first status, folder 3 levels down, 2,000-file working copy: provider/bare");
}
BENCHMARK(BM_FirstStatusThreeLevelsDown)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

// 2c. An IDE's first pass: a host holding 2 GiB asks the status of one file
// in each of 50 folders (10 files each) of an ordinary working copy, against
// the same 50 client runs started from a small process. Alternating order.
void BM_FirstPassOverFiftyFolders(benchmark::State& state)
{
    QStringList folders;
    for (int i = 0; i < 50; ++i)
        folders << QStringLiteral("module%1/src").arg(i, 2, 10, QLatin1Char('0'));
    static RealWorkingCopy fixture(folders, 500);
    Ballast ballast(size_t(2048) << 20);
    SVNInterface svn;
    setUp(svn, QString::fromLatin1(SvnClient), fixture.workingCopy);
    QStringList bareArguments{QStringLiteral("statuses"), QString::fromLatin1(SvnClient)};
    for (const QString& folder : folders)
        bareArguments << fixture.workingCopy + QLatin1Char('/') + folder;

    std::vector<double> providerMs, bareMs;
    int iteration = 0;
    for (auto _ : state) {
        auto timeProvider = [&] {
            svn.refresh();
            QElapsedTimer timer;
            timer.start();
            bool controlled = false, checkedOut, modified, outOfDate;
            QString statusText, revisionText, lastChangedText;
            for (int i = 0; i < folders.size(); ++i) {
                svn.status(folders.at(i).split(QLatin1Char('/')) + QStringList{entryName(i)}, controlled,
                           checkedOut, modified, outOfDate, statusText, revisionText, lastChangedText);
                if (!controlled || revisionText == QLatin1String("fixme"))
                    throw std::runtime_error("the provider's query failed");
            }
            providerMs.push_back(timer.nsecsElapsed() / 1e6);
        };
        auto timeBare = [&] {
            QProcess launcher;
            launcher.start(QStringLiteral(BENCH_CHILD_PATH), bareArguments);
            if (!launcher.waitForFinished(120000) || launcher.exitCode() != 0)
                throw std::runtime_error("the bare client runs failed");
            bareMs.push_back(launcher.readAllStandardOutput().trimmed().toDouble());
        };
        BenchSummary::inTurn(iteration, timeProvider, timeBare);
        state.SetIterationTime(providerMs.back() / 1e3);
    }
    const double provider = BenchSummary::median(providerMs);
    const double bare = BenchSummary::median(bareMs);
    state.counters["provider_ms"] = provider;
    state.counters["bare_ms"] = bare;
    BenchSummary::record("2c. first pass, 50 folders, host holding 2 GiB: provider/bare", provider / bare, "ratio",
                         "<= 1.10",
                         "provider " + std::to_string(provider) + " ms, 50 bare runs from a small process " +
                             std::to_string(bare) + " ms (medians)");
}
BENCHMARK(BM_FirstPassOverFiftyFolders)->Iterations(6)->UseManualTime()->Unit(benchmark::kMillisecond);

// 2d. Peak memory of getTo of a 50 MB file.
void BM_GetToPeakMemory(benchmark::State& state)
{
    QTemporaryDir scratch;
    const QString repository = scratch.path() + QStringLiteral("/repo");
    const QString workingCopy = scratch.path() + QStringLiteral("/wc");
    runOrThrow({QStringLiteral("svnadmin"), QStringLiteral("create"), repository});
    runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("checkout"), QStringLiteral("--quiet"),
                QStringLiteral("file://") + repository, workingCopy});
    QByteArray data(50 * 1000 * 1000, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char((i * 2654435761u) >> 13);
    writeFile(workingCopy + QStringLiteral("/big.bin"), data);
    data.clear();
    data.squeeze();
    runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("add"), QStringLiteral("--quiet"),
                QStringLiteral("big.bin")}, workingCopy);
    runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("commit"), QStringLiteral("--quiet"),
                QStringLiteral("-m"), QStringLiteral("big")}, workingCopy);
    SVNInterface svn;
    setUp(svn, QString::fromLatin1(SvnClient), workingCopy);
    double peak = 0;
    for (auto _ : state) {
        PeakMemory memory;
        if (!svn.getTo({QStringLiteral("big.bin")}, QStringLiteral("HEAD"), scratch.path() + QStringLiteral("/out.bin")))
            throw std::runtime_error("getTo failed");
        peak = memory.mebibytes();
    }
    if (QFileInfo(scratch.path() + QStringLiteral("/out.bin")).size() != 50 * 1000 * 1000)
        throw std::runtime_error("getTo lost bytes");
    state.counters["peak_MiB"] = peak;
    BenchSummary::record("2d. peak memory, getTo of a 50 MB file", peak, "MiB", "", "growth of the resident peak");
}
BENCHMARK(BM_GetToPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// 3. The status-line parser on 10,000 lines of the client's format.
void BM_ParseStatusOutput(benchmark::State& state)
{
    constexpr int Lines = 10000;
    QStringList lines;
    for (int i = 0; i < Lines; ++i)
        lines << QString::fromLatin1(statusLine(i, true).chopped(1));
    lines << QStringLiteral("Status against revision:   1049");
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        SVNDirectoryStatus records;
        SVNStatusPass::parse(&records, lines);
        if (records.size() != size_t(Lines))
            throw std::runtime_error("parser lost lines");
        benchmark::DoNotOptimize(records);
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    state.SetItemsProcessed(state.iterations() * Lines);
    BenchSummary::record("3. SVNStatusPass::parse, 10,000 lines", double(state.iterations()) * Lines / seconds / 1e6,
                         "M lines/s", "", std::to_string(seconds * 1e3 / double(state.iterations())) +
                         " ms per 10,000 lines");
}
BENCHMARK(BM_ParseStatusOutput)->Iterations(100)->Unit(benchmark::kMillisecond);

// Drops every message: the command log enabled, written nowhere.
void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

// 7. What the command log costs a host that turns it on: an IDE's whole
// life cycle over file:// (check-out, add, status, edit, commit, lock,
// unlock, get, a revision to a file, listings) with the "svnscc.client"
// category enabled into a message handler that drops every line, against
// the same with the log disabled (as every host has it unless it asks for
// it), the two in turn. Reported, no target.
void BM_CommandLogEnabled(benchmark::State& state)
{
    QTemporaryDir scratch;
    const QString repository = scratch.path() + QStringLiteral("/repo");
    runOrThrow({QStringLiteral("svnadmin"), QStringLiteral("create"), repository});
    const QString url = QStringLiteral("file://") + repository;
    runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("mkdir"), QStringLiteral("-m"), QStringLiteral("p"),
                url + QStringLiteral("/project")});
    int cycle = 0;
    const auto lifeCycle = [&](bool logged) {
        SVNInterface svn;
        svn.setOption(QLatin1String(SourceCodeControlOption::Executable), QString::fromLatin1(SvnClient));
        svn.setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), url);
        const QString root = scratch.path() + QStringLiteral("/wc%1").arg(++cycle);
        const QString name = QStringLiteral("file%1.c").arg(cycle);
        QtMessageHandler previous = nullptr;
        if (logged) {
            QLoggingCategory::setFilterRules(QStringLiteral("svnscc.client.debug=true"));
            previous = qInstallMessageHandler(dropMessage);
        }
        QElapsedTimer timer;
        timer.start();
        bool ok = svn.login(QStringLiteral("bench"), QStringLiteral("secret"), url)
            && svn.setRoots(root.split(QLatin1Char('/'), Qt::SkipEmptyParts), {QStringLiteral("project")});
        writeFile(root + QLatin1Char('/') + name, "one\n");
        bool controlled, checkedOut, modified, outOfDate;
        QString text, revision, changed;
        QStringList names;
        ok = ok && svn.addFile({name}, QStringLiteral("add"))
            && svn.status({name}, controlled, checkedOut, modified, outOfDate, text, revision, changed);
        writeFile(root + QLatin1Char('/') + name, "two\n");
        ok = ok && svn.saved({name}) && svn.checkin({name}, QStringLiteral("edit"))
            && svn.checkout({name}, QStringLiteral("mine"), false) && svn.undoCheckout({name}, false)
            && svn.getFile({name}, true) && svn.getTo({name}, QStringLiteral("HEAD"), root + QStringLiteral("/copy"))
            && svn.getFilesList({QStringLiteral("project")}, names);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (logged) {
            qInstallMessageHandler(previous);
            QLoggingCategory::setFilterRules(QStringLiteral("svnscc.client.debug=false"));
        }
        if (!ok)
            throw std::runtime_error("the life cycle failed");
        return ms;
    };
    std::vector<double> disabledMs, enabledMs;
    int turn = 0;
    for (auto _ : state) {
        BenchSummary::inTurn(turn, [&] { disabledMs.push_back(lifeCycle(false)); },
                             [&] { enabledMs.push_back(lifeCycle(true)); });
        state.SetIterationTime(enabledMs.back() / 1e3);
    }
    const double disabled = BenchSummary::median(disabledMs);
    const double enabled = BenchSummary::median(enabledMs);
    state.counters["ratio"] = enabled / disabled;
    BenchSummary::record("7. life cycle, command log enabled (lines dropped) / disabled", enabled / disabled, "ratio",
                         "", "enabled " + std::to_string(enabled) + " ms, disabled " + std::to_string(disabled) +
                             " ms (medians of " + std::to_string(enabledMs.size()) + ")");
}
BENCHMARK(BM_CommandLogEnabled)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
