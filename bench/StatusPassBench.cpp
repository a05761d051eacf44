// An IDE's status pass over a whole working copy whose repository is 10 ms
// away (svnserve behind a relay that holds every chunk 10 ms each way): the
// whole-tree scope against the one client run it makes and against the
// per-folder scope; both scopes with the server refusing connections and
// with a server that never answers; the client runs each scope makes; and a
// 20,000-file working copy over file://, time and memory.

#include "BenchFiles.h"
#include "BenchSummary.h"
#include "DelayRelay.h"
#include "Loopback.h"
#include "QTxProcess.h"
#include "SVNInterfaceSeam.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

const char SvnClient[] = "/usr/bin/svn";
const char SvnServer[] = "/usr/bin/svnserve";
const char UserName[] = "bench";
const char Password[] = "secret";
constexpr int RelayDelayMs = 10;
constexpr int Folders = 200;
constexpr int FilesPerFolder = 10;
constexpr int ExternalFiles = 50;
constexpr int UnversionedFiles = 100;
constexpr int IgnoredFiles = 100;
constexpr int LargeFolders = 2000;
constexpr int TimeoutSeconds = 5;

enum class Scope
{
    PerFolder,
    WorkingCopy,
};

const char* scopeName(Scope scope)
{
    return scope == Scope::WorkingCopy ? "WorkingCopy" : "per-folder";
}

using BenchFiles::runOrThrow;
using BenchFiles::writeFile;

/** What every run of the provider carries, in the provider's order. */
QStringList credentials()
{
    return {QStringLiteral("--no-auth-cache"), QStringLiteral("--non-interactive"), QStringLiteral("--username"),
            QString::fromLatin1(UserName), QStringLiteral("--password"), QString::fromLatin1(Password)};
}

/** "svn status" with `options` and the credentials, as the provider's status runs are built. */
QStringList bareStatus(const QStringList& options)
{
    return QStringList{QString::fromLatin1(SvnClient), QStringLiteral("status")} + options + credentials();
}

/**
 * The environment the provider gives the client (messages untranslated,
 * names in UTF-8), so that a bare run does the same work as the provider's.
 */
char* const* clientEnvironment()
{
    static std::vector<std::string> strings;
    static std::vector<char*> pointers;
    if (pointers.empty()) {
        for (char** variable = environ; *variable; ++variable) {
            const std::string entry(*variable);
            if (entry.rfind("LC_ALL=", 0) != 0 && entry.rfind("LANGUAGE=", 0) != 0
                && entry.rfind("LC_MESSAGES=", 0) != 0 && entry.rfind("LC_CTYPE=", 0) != 0)
                strings.push_back(entry);
        }
        strings.emplace_back("LC_MESSAGES=C");
        strings.emplace_back("LC_CTYPE=C.UTF-8");
        for (std::string& entry : strings)
            pointers.push_back(entry.data());
        pointers.push_back(nullptr);
    }
    return pointers.data();
}

/**
 * Runs `arguments` in `directory` as the provider starts the client
 * (posix_spawn, so the start costs the same whatever this process holds),
 * with standard output and error thrown away. Throws unless it exits with
 * 0, or, with `mustFail`, unless it exits with another code.
 */
void runBare(const QStringList& arguments, const QString& directory, bool mustFail = false)
{
    std::vector<QByteArray> bytes;
    for (const QString& argument : arguments)
        bytes.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray folder = QFile::encodeName(directory);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    ::posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), clientEnvironment());
    ::posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (error == 0)
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    if (error != 0 || !WIFEXITED(status) || (WEXITSTATUS(status) != 0) != mustFail)
        throw std::runtime_error(std::string("the bare run ") + (mustFail ? "did not fail: " : "failed: ") +
                                 arguments.join(' ').toStdString() + " in " + directory.toStdString());
}

/** `runBare` in each of `directories` in turn; the milliseconds they took in all. */
double timedBare(const QStringList& arguments, const QStringList& directories, bool mustFail = false)
{
    QElapsedTimer timer;
    timer.start();
    for (const QString& directory : directories)
        runBare(arguments, directory, mustFail);
    return double(timer.nsecsElapsed()) / 1e6;
}

/**
 * A scratch folder where writes cost no disk flush when the machine has one
 * (the repositories: a commit syncs every file it writes, which makes a
 * 20,000-file import take minutes on an ordinary disk instead of seconds).
 * The working copies stay in the ordinary temporary folder.
 */
QString fastScratchTemplate()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    return base + QStringLiteral("/svnscc-bench-XXXXXX");
}

/** A repository made with svnadmin, served to the password user bench only. */
QString createRepository(const QString& path)
{
    runOrThrow({QStringLiteral("svnadmin"), QStringLiteral("create"), path});
    writeFile(path + QStringLiteral("/conf/svnserve.conf"),
              "[general]\nanon-access = none\nauth-access = write\npassword-db = passwd\nrealm = svnscc-bench\n");
    writeFile(path + QStringLiteral("/conf/passwd"), QByteArray("[users]\n") + UserName + " = " + Password + "\n");
    return QStringLiteral("file://") + path;
}


/**
 * svnserve serving the repositories below `root` on a free port of
 * 127.0.0.1, in a process group of its own (its per-connection children
 * included) that ends with this object, or with the benchmark if it dies.
 */
class ServerProcess
{
public:
    explicit ServerProcess(const QString& root)
    {
        // The port is free when probed but could be taken before svnserve binds it.
        for (int attempt = 0; attempt < 5 && m_pid < 0; ++attempt)
            start(QFile::encodeName(root));
        if (m_pid < 0)
            throw std::runtime_error("svnserve never accepted connections on 127.0.0.1");
    }
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return m_port; }

private:
    void start(const QByteArray& root)
    {
        m_port = freeLoopbackPort();
        const QByteArray port = QByteArray::number(m_port);
        const char* const argv[] = {SvnServer, "-d", "--foreground", "--listen-host", "127.0.0.1",
                                    "--listen-port", port.constData(), "-r", root.constData(), nullptr};
        m_pid = ::fork();
        if (m_pid > 0)
            ::setpgid(m_pid, m_pid); // also in the child: whichever runs first
        if (m_pid == 0) {
            // Only async-signal-safe calls between fork and exec: this process has threads.
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::execv(SvnServer, const_cast<char* const*>(argv));
            ::_exit(127);
        }
        for (int waited = 0; m_pid > 0 && waited < 10000; waited += 20) {
            if (acceptsConnections(m_port))
                return;
            int status;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop();
    }

    void stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(-m_pid, SIGTERM);
        int status;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }

    pid_t m_pid = -1;
    int m_port = 0;
};

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
    explicit TreeFiles(const QString& root)
    {
        QStringList paths;
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next().mid(root.size() + 1);
            if (!path.startsWith(QLatin1String(".svn/")) && !path.contains(QLatin1String("/.svn/")))
                paths << path;
        }
        paths.sort();
        std::set<QString> folderSet;
        for (const QString& path : paths) {
            const QStringList parts = path.split(QLatin1Char('/'));
            all.push_back(parts);
            if (parts.last().endsWith(QLatin1String(".o")))
                ignored.push_back(parts);
            else if (parts.last().startsWith(QLatin1String("notes")))
                unversioned.push_back(parts);
            else
                versioned.push_back(parts);
            folderSet.insert(QFileInfo(root + QLatin1Char('/') + path).path());
        }
        for (const QString& folder : folderSet)
            folders << folder;
    }

    std::vector<QStringList> unlisted() const
    {
        std::vector<QStringList> both = unversioned;
        both.insert(both.end(), ignored.begin(), ignored.end());
        return both;
    }
};

/**
 * The working copy of figures 6a to 6e: a repository served by svnserve
 * behind a relay that holds every chunk 10 ms each way; a recursive checkout
 * over the relay of 200 folders of 10 files and a folder external of 50
 * (svn:externals "^/extsrc ext"); 100 unversioned files (one in each of the
 * first 100 folders) and 100 ignored ones (svn:ignore "*.o" on the other
 * 100, one object file in each).
 */
struct ServedTree
{
    QTemporaryDir scratch;
    QTemporaryDir repositoryScratch{fastScratchTemplate()};
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<DelayRelay> relay;
    QString url;
    QString workingCopy;
    TreeFiles files;

    ServedTree()
    {
        if (!scratch.isValid() || !repositoryScratch.isValid())
            throw std::runtime_error("no scratch folder");
        const QString repository = repositoryScratch.path() + QStringLiteral("/repo");
        const QString fileURL = createRepository(repository);
        const QString stage = repositoryScratch.path() + QStringLiteral("/stage");
        for (int folder = 0; folder < Folders; ++folder) {
            const QString path = stage + QStringLiteral("/project/d%1").arg(folder, 3, 10, QLatin1Char('0'));
            QDir().mkpath(path);
            for (int file = 0; file < FilesPerFolder; ++file)
                writeFile(path + QStringLiteral("/file%1.cpp").arg(file, 2, 10, QLatin1Char('0')),
                          "int f" + QByteArray::number(folder * FilesPerFolder + file) + ";\n");
        }
        QDir().mkpath(stage + QStringLiteral("/extsrc"));
        for (int file = 0; file < ExternalFiles; ++file)
            writeFile(stage + QStringLiteral("/extsrc/ext%1.h").arg(file, 2, 10, QLatin1Char('0')),
                      "int e" + QByteArray::number(file) + ";\n");
        for (const char* top : {"project", "extsrc"})
            runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("import"), QStringLiteral("--quiet"),
                        QStringLiteral("-m"), QStringLiteral("import"), stage + QLatin1Char('/') + QLatin1String(top),
                        fileURL + QLatin1Char('/') + QLatin1String(top)});
        QDir(stage).removeRecursively();
        QStringList properties{QStringLiteral("svnmucc"), QStringLiteral("--non-interactive"), QStringLiteral("-m"),
                               QStringLiteral("ignores and the external"), QStringLiteral("-U"), fileURL,
                               QStringLiteral("propset"), QStringLiteral("svn:externals"),
                               QStringLiteral("^/extsrc ext"), QStringLiteral("project")};
        for (int folder = Folders - IgnoredFiles; folder < Folders; ++folder)
            properties << QStringLiteral("propset") << QStringLiteral("svn:ignore") << QStringLiteral("*.o")
                       << QStringLiteral("project/d%1").arg(folder, 3, 10, QLatin1Char('0'));
        runOrThrow(properties);

        server = std::make_unique<ServerProcess>(repository);
        relay = std::make_unique<DelayRelay>(server->port(), RelayDelayMs);
        url = QStringLiteral("svn://127.0.0.1:%1/project").arg(relay->port());
        workingCopy = scratch.path() + QStringLiteral("/wc");
        runOrThrow(QStringList{QString::fromLatin1(SvnClient), QStringLiteral("checkout"), QStringLiteral("--quiet")}
                   + credentials() + QStringList{url, workingCopy});
        for (int folder = 0; folder < UnversionedFiles; ++folder)
            writeFile(workingCopy + QStringLiteral("/d%1/notes%1.txt").arg(folder, 3, 10, QLatin1Char('0')), "notes\n");
        for (int folder = Folders - IgnoredFiles; folder < Folders; ++folder)
            writeFile(workingCopy + QStringLiteral("/d%1/build%1.o").arg(folder, 3, 10, QLatin1Char('0')), "object\n");
        files = TreeFiles(workingCopy);
        if (files.versioned.size() != size_t(Folders * FilesPerFolder + ExternalFiles)
            || files.unversioned.size() != size_t(UnversionedFiles) || files.ignored.size() != size_t(IgnoredFiles))
            throw std::runtime_error("the working copy does not hold the files it should");
    }
};

ServedTree& servedTree()
{
    static ServedTree tree;
    return tree;
}

/** 2,000 folders of 10 files, a file:// repository, checked out recursively; figure 6f. */
struct LargeTree
{
    QTemporaryDir scratch;
    QTemporaryDir repositoryScratch{fastScratchTemplate()};
    QString url;
    QString workingCopy;
    TreeFiles files;

    LargeTree()
    {
        if (!scratch.isValid() || !repositoryScratch.isValid())
            throw std::runtime_error("no scratch folder");
        const QString fileURL = createRepository(repositoryScratch.path() + QStringLiteral("/repo"));
        const QString stage = repositoryScratch.path() + QStringLiteral("/stage");
        for (int folder = 0; folder < LargeFolders; ++folder) {
            const QString path = stage + QStringLiteral("/d%1").arg(folder, 4, 10, QLatin1Char('0'));
            QDir().mkpath(path);
            for (int file = 0; file < FilesPerFolder; ++file)
                writeFile(path + QStringLiteral("/file%1.cpp").arg(file, 2, 10, QLatin1Char('0')),
                          "int f" + QByteArray::number(folder * FilesPerFolder + file) + ";\n");
        }
        url = fileURL + QStringLiteral("/project");
        runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("import"), QStringLiteral("--quiet"),
                    QStringLiteral("-m"), QStringLiteral("import"), stage, url});
        QDir(stage).removeRecursively();
        workingCopy = scratch.path() + QStringLiteral("/wc");
        runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("checkout"), QStringLiteral("--quiet"), url,
                    workingCopy});
        files = TreeFiles(workingCopy);
        if (files.versioned.size() != size_t(LargeFolders * FilesPerFolder))
            throw std::runtime_error("the large working copy does not hold the files it should");
    }
};

LargeTree& largeTree()
{
    static LargeTree tree;
    return tree;
}

/**
 * A provider set up as an IDE sets it up: the options, login() and the
 * one-list setRoots() of the existing working copy.
 */
std::unique_ptr<SVNInterface> boundProvider(Scope scope, const QString& url, const QString& workingCopy,
                                            const QString& executable = QString::fromLatin1(SvnClient),
                                            int timeoutSeconds = 0)
{
    using namespace SourceCodeControlOption;
    auto svn = std::make_unique<SVNInterface>();
    svn->setOption(QLatin1String(Executable), executable);
    svn->setOption(QLatin1String(RepositoryURL), url);
    svn->setOption(QLatin1String(LockSupported), QStringLiteral("No"));
    if (scope == Scope::WorkingCopy)
        svn->setOption(QLatin1String(StatusScope), QStringLiteral("WorkingCopy"));
    if (timeoutSeconds)
        svn->setOption(QLatin1String(Timeout), QString::number(timeoutSeconds));
    QString command;
    if (!svn->login(QString::fromLatin1(UserName), QString::fromLatin1(Password), url))
        throw std::runtime_error("login failed: " + svn->getLastError(command).toStdString());
    if (!svn->setRoots(workingCopy.split(QLatin1Char('/'), Qt::SkipEmptyParts)))
        throw std::runtime_error("setRoots failed: " + svn->getLastError(command).toStdString());
    return svn;
}

/** Asks the status of each of `files` in turn, as an IDE's pass does; how many were answered controlled. */
size_t statusPass(SVNInterface& svn, const std::vector<QStringList>& files)
{
    size_t controlledFiles = 0;
    bool controlled, checkedOut, modified, outOfDate;
    QString statusText, revisionText, lastChangedText;
    for (const QStringList& parts : files) {
        svn.status(parts, controlled, checkedOut, modified, outOfDate, statusText, revisionText, lastChangedText);
        controlledFiles += controlled;
    }
    return controlledFiles;
}

/** A full pass, timed; throws unless exactly the versioned files read as controlled. */
double timedPass(SVNInterface& svn, const TreeFiles& files)
{
    QElapsedTimer timer;
    timer.start();
    const size_t controlled = statusPass(svn, files.all);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (controlled != files.versioned.size()) {
        QString command;
        throw std::runtime_error("the pass answered " + std::to_string(controlled) + " files controlled, not " +
                                 std::to_string(files.versioned.size()) + "; last error: " +
                                 svn.getLastError(command).toStdString());
    }
    return ms;
}

std::string fixed(double value, int decimals = 1)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

/**
 * Records `first` / `second` (their medians) as figure `name`, with counters
 * for the JSON output; `more` is added to the detail.
 */
void recordRatio(benchmark::State& state, const std::string& name, const std::vector<double>& firstMs,
                 const std::vector<double>& secondMs, const std::string& target, const std::string& firstLabel,
                 const std::string& secondLabel, const std::string& more = std::string())
{
    const double first = BenchSummary::median(firstMs);
    const double second = BenchSummary::median(secondMs);
    state.counters["first_ms"] = first;
    state.counters["second_ms"] = second;
    state.counters["ratio"] = first / second;
    BenchSummary::record(name, first / second, "ratio", target,
                         firstLabel + " " + fixed(first) + " ms, " + secondLabel + " " + fixed(second) +
                             " ms (medians of " + std::to_string(firstMs.size()) + ")" + more);
}

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
 * Puts the relay in `mode` with `delayMs` for as long as it lives, then back
 * to forwarding with the usual delay.
 */
class RelaySetting
{
public:
    RelaySetting(DelayRelay& relay, DelayRelay::Mode mode, int delayMs = RelayDelayMs) : m_relay(relay)
    {
        m_relay.setDelay(delayMs);
        m_relay.setMode(mode);
    }
    ~RelaySetting()
    {
        m_relay.setDelay(RelayDelayMs);
        try {
            m_relay.setMode(DelayRelay::Mode::Forwarding);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
    }
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
    CountingClient()
    {
        if (!m_scratch.isValid())
            throw std::runtime_error("no scratch folder");
        m_program = m_scratch.path() + QStringLiteral("/svn");
        m_log = m_scratch.path() + QStringLiteral("/runs.log");
        writeFile(m_program, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(m_log) + "'\nexec " +
                                 SvnClient + " \"$@\"\n");
        QFile::setPermissions(m_program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString program() const { return m_program; }

    /** Every run noted so far, in order. */
    QStringList runs() const
    {
        QFile file(m_log);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir m_scratch;
    QString m_program;
    QString m_log;
};

// The provider's first full pass over `files` (after refresh()) and the
// bare run `bare` in `workingCopy`, in turn, once per iteration; the times
// go to `providerMs` and `bareMs`.
void passesAndBareRuns(benchmark::State& state, SVNInterface& svn, const TreeFiles& files, const QStringList& bare,
                       const QString& workingCopy, std::vector<double>& providerMs, std::vector<double>& bareMs)
{
    int turn = 0;
    for (auto _ : state) {
        BenchSummary::inTurn(
            turn,
            [&] {
                svn.refresh();
                providerMs.push_back(timedPass(svn, files));
            },
            [&] { bareMs.push_back(timedBare(bare, {workingCopy})); });
        state.SetIterationTime(providerMs.back() / 1e3);
    }
}

// 6a. The IDE's first full pass with the whole-tree scope against the one
// client run it makes ("svn status -u -v" at the root with the provider's
// credentials options, run bare, output thrown away). Alternating order.
void BM_TreeScopeFirstPass(benchmark::State& state)
{
    guarded(state, [&] {
        ServedTree& tree = servedTree();
        auto svn = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
        const QStringList bare = bareStatus({QStringLiteral("--show-updates"), QStringLiteral("--verbose")});
        std::vector<double> providerMs, bareMs;
        passesAndBareRuns(state, *svn, tree.files, bare, tree.workingCopy, providerMs, bareMs);
        // One run filled every folder: the root, the 200 below it and the external.
        if (SVNInterfaceSeam(*svn).statusCache().size() < size_t(tree.files.folders.size()) + 1)
            throw std::runtime_error("the whole-tree pass did not fill every folder");
        recordRatio(state, "6a. first full pass, WorkingCopy / one bare status -u -v", providerMs, bareMs,
                    "<= 1.10", "pass", "bare run");
    });
}
BENCHMARK(BM_TreeScopeFirstPass)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);

// 6b. The same first pass per folder (one "status -N -u -v" per folder, an
// "info" for each ignored file) against the whole-tree scope. Alternating.
void BM_PerFolderFirstPass(benchmark::State& state)
{
    guarded(state, [&] {
        ServedTree& tree = servedTree();
        auto perFolder = boundProvider(Scope::PerFolder, tree.url, tree.workingCopy);
        auto wholeTree = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
        std::vector<double> perFolderMs, wholeTreeMs;
        int turn = 0;
        for (auto _ : state) {
            BenchSummary::inTurn(
                turn,
                [&] {
                    perFolder->refresh();
                    perFolderMs.push_back(timedPass(*perFolder, tree.files));
                },
                [&] {
                    wholeTree->refresh();
                    wholeTreeMs.push_back(timedPass(*wholeTree, tree.files));
                });
            state.SetIterationTime(perFolderMs.back() / 1e3);
        }
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
    ServedTree& tree = servedTree();
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
    recordRatio(state, name, providerMs, bareMs, "<= 1.5", "pass", "bare local",
                std::string("; the refused ") + (wholeTree ? "status -u -v" : "status -N -u -v") + " alone, bare: " +
                    fixed(BenchSummary::median(refusedMs)) + " ms");
}

// 6c. Server refusing connections, whole-tree scope.
void BM_RefusedServerTreeScope(benchmark::State& state)
{
    guarded(state, [&] { refusedServerPass(state, Scope::WorkingCopy); });
}
BENCHMARK(BM_RefusedServerTreeScope)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

// 6c. Server refusing connections, per folder.
void BM_RefusedServerPerFolder(benchmark::State& state)
{
    guarded(state, [&] { refusedServerPass(state, Scope::PerFolder); });
}
BENCHMARK(BM_RefusedServerPerFolder)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// 6d. A server that accepts connections and never answers, SVNTimeout=5:
// the first full pass with the whole-tree scope. Its bound is the time
// limit, one second more, and the bare local pass ("status -v" at the
// root), measured alongside.
void BM_SilentServerTreeScope(benchmark::State& state)
{
    guarded(state, [&] {
        ServedTree& tree = servedTree();
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
    ServedTree& tree = servedTree();
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
// ignored files once the tree is read, none in a second pass.
void BM_ClientRunsTreeScope(benchmark::State& state)
{
    guarded(state, [&] { countRuns(state, Scope::WorkingCopy); });
}
BENCHMARK(BM_ClientRunsTreeScope)->Iterations(1)->Unit(benchmark::kMillisecond);

// 6e. Client runs per folder: at most one for each unversioned or ignored
// file until refresh, none in a second pass.
void BM_ClientRunsPerFolder(benchmark::State& state)
{
    guarded(state, [&] { countRuns(state, Scope::PerFolder); });
}
BENCHMARK(BM_ClientRunsPerFolder)->Iterations(1)->Unit(benchmark::kMillisecond);

// 6f. 2,000 folders of 10 files over file:// (no relay): the first full pass
// with the whole-tree scope against one bare "status -u -v" at the root.
// Alternating order.
void BM_LargeTreeFirstPass(benchmark::State& state)
{
    guarded(state, [&] {
        LargeTree& tree = largeTree();
        auto svn = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
        const QStringList bare = bareStatus({QStringLiteral("--show-updates"), QStringLiteral("--verbose")});
        std::vector<double> providerMs, bareMs;
        passesAndBareRuns(state, *svn, tree.files, bare, tree.workingCopy, providerMs, bareMs);
        recordRatio(state, "6f. 20,000 files, file://: first pass WorkingCopy / bare status -u -v", providerMs,
                    bareMs, "<= 1.05", "pass", "bare run");
    });
}
BENCHMARK(BM_LargeTreeFirstPass)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

/** This process's resident memory in bytes. */
double residentBytes()
{
    long pages = 0, resident = 0;
    if (std::FILE* file = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(file, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(file);
    }
    return double(resident) * double(::sysconf(_SC_PAGESIZE));
}

// 6f. The same tree: resident memory per cached file after the first pass
// of a fresh provider (growth from just before the pass to just after it,
// freed heap handed back to the system first so that it cannot hide the
// growth). The detail gives the same once the pass's freed memory (the
// client's output, the parse) is handed back too: what the cache holds.
void BM_LargeTreeCacheMemory(benchmark::State& state)
{
    guarded(state, [&] {
        LargeTree& tree = largeTree();
        std::vector<double> perFile, heldPerFile;
        for (auto _ : state) {
            auto svn = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
            ::malloc_trim(0);
            const double before = residentBytes();
            timedPass(*svn, tree.files);
            const double after = residentBytes();
            ::malloc_trim(0);
            const double held = residentBytes();
            perFile.push_back((after - before) / double(tree.files.all.size()));
            heldPerFile.push_back((held - before) / double(tree.files.all.size()));
        }
        state.counters["bytes_per_file"] = BenchSummary::median(perFile);
        BenchSummary::record("6f. 20,000 files: resident memory per cached file", BenchSummary::median(perFile),
                             "bytes", "<= 300",
                             "RSS growth over the pass / " + std::to_string(tree.files.all.size()) +
                                 " files (median of " + std::to_string(perFile.size()) + "); " +
                                 fixed(BenchSummary::median(heldPerFile)) + " bytes once freed memory is trimmed");
    });
}
BENCHMARK(BM_LargeTreeCacheMemory)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
