// An IDE's status pass over a whole working copy whose repository is 10 ms
// away (svnserve behind a relay that holds every chunk 10 ms each way): the
// whole-tree scope against the one client run it makes and against the
// per-folder scope; both scopes with the server refusing connections and
// with a server that never answers; the client runs each scope makes; a
// 20,000-file working copy over file://, time and memory. Then the
// operations on one file (commit, update, lock, unlock, saved) against the
// bare client run each stands for, a lock in the 20,000-file working copy
// served the same way, and the client runs made for names only the disk
// knows (figures 8a to 8d). Last, version 2's commit of 20 files against
// one bare commit of them, and its list of changes of the 20,000-file
// working copy against a bare "svn status" (figures 9a and 9b).

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
/** How many names of each kind only the disk knows in the working copy of figure 8d. */
constexpr int DiskOnlyFiles = 200;
/** The folder d000 ignores (svn:ignore). */
const char IgnoredFolder[] = "build";
/** The comment of the operations' commits and locks. */
const char Comment[] = "bench";

enum class Scope
{
    PerFolder,
    WorkingCopy,
};

const char* scopeName(Scope scope)
{
    return scope == Scope::WorkingCopy ? "WorkingCopy" : "per-folder";
}

using BenchFiles::fastScratchTemplate;
using BenchFiles::runOrThrow;
using BenchFiles::writeFile;

/** What every run of the provider carries, in the provider's order. */
QStringList credentials()
{
    return {QStringLiteral("--no-auth-cache"), QStringLiteral("--non-interactive"), QStringLiteral("--username"),
            QString::fromLatin1(UserName), QStringLiteral("--password"), QString::fromLatin1(Password)};
}

/**
 * "svn subcommand" with `options`, the credentials and `target` (none when
 * empty), in the provider's order: what a careful user types for the same run.
 */
QStringList bareRun(const QString& subcommand, const QStringList& options, const QString& target = QString())
{
    return QStringList{QString::fromLatin1(SvnClient), subcommand} + options + credentials()
        + (target.isEmpty() ? QStringList() : QStringList{target});
}

/** "svn status" with `options` and the credentials, as the provider's status runs are built. */
QStringList bareStatus(const QStringList& options)
{
    return bareRun(QStringLiteral("status"), options);
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
 * 100, one object file in each). The first folder ignores "build" (none here;
 * the working copy of figures 8a to 8d has one).
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
        properties << QStringLiteral("propset") << QStringLiteral("svn:ignore") << QString::fromLatin1(IgnoredFolder)
                   << QStringLiteral("project/d000");
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
    QString repository;
    QString url;
    QString workingCopy;
    TreeFiles files;

    LargeTree()
    {
        if (!scratch.isValid() || !repositoryScratch.isValid())
            throw std::runtime_error("no scratch folder");
        repository = repositoryScratch.path() + QStringLiteral("/repo");
        const QString fileURL = createRepository(repository);
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
 * The working copy of figures 8a, 8b and 8d: a copy of the served tree's
 * (its commits and locks leave that one as figures 6a to 6e read it), with
 * names only the disk knows: 200 ignored files (a second object file in
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

    OperationsTree()
    {
        if (!scratch.isValid())
            throw std::runtime_error("no scratch folder");
        const ServedTree& served = servedTree();
        workingCopy = scratch.path() + QStringLiteral("/wc");
        runOrThrow({QStringLiteral("cp"), QStringLiteral("-a"), served.workingCopy, workingCopy});
        ignoredFiles = served.files.ignored;
        for (int folder = Folders - IgnoredFiles; folder < Folders; ++folder) {
            const QString name = QStringLiteral("d%1").arg(folder, 3, 10, QLatin1Char('0'));
            const QString object = QStringLiteral("main%1.o").arg(folder, 3, 10, QLatin1Char('0'));
            writeFile(workingCopy + QLatin1Char('/') + name + QLatin1Char('/') + object, "object\n");
            ignoredFiles.push_back({name, object});
        }
        const QStringList generated{QStringLiteral("generated")};
        const QStringList ignored{QStringLiteral("d000"), QString::fromLatin1(IgnoredFolder)};
        for (const QStringList& folder : {generated, ignored})
            QDir().mkpath(workingCopy + QLatin1Char('/') + folder.join(QLatin1Char('/')));
        for (int file = 0; file < DiskOnlyFiles; ++file) {
            const QString name = QStringLiteral("out%1.cpp").arg(file, 3, 10, QLatin1Char('0'));
            inUnversionedFolder.push_back(generated + QStringList{name});
            inIgnoredFolder.push_back(ignored + QStringList{name});
            for (const QStringList& parts : {inUnversionedFolder.back(), inIgnoredFolder.back()})
                writeFile(workingCopy + QLatin1Char('/') + parts.join(QLatin1Char('/')), "generated\n");
        }
        if (ignoredFiles.size() != size_t(DiskOnlyFiles))
            throw std::runtime_error("the operations' working copy does not hold the files it should");
    }
};

OperationsTree& operationsTree()
{
    static OperationsTree tree;
    return tree;
}

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

    ServedLargeTree()
    {
        if (!scratch.isValid())
            throw std::runtime_error("no scratch folder");
        const LargeTree& large = largeTree();
        server = std::make_unique<ServerProcess>(large.repository);
        relay = std::make_unique<DelayRelay>(server->port(), RelayDelayMs);
        url = QStringLiteral("svn://127.0.0.1:%1/project").arg(relay->port());
        workingCopy = scratch.path() + QStringLiteral("/wc");
        runOrThrow({QStringLiteral("cp"), QStringLiteral("-a"), large.workingCopy, workingCopy});
        runOrThrow(bareRun(QStringLiteral("relocate"), {}, url), workingCopy);
    }
};

ServedLargeTree& servedLargeTree()
{
    static ServedLargeTree tree;
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
    // The whole-tree pass starts with one refused run, which costs a client
    // start: about half of this small tree's whole local pass.
    recordRatio(state, name, providerMs, bareMs, wholeTree ? "<= 2.0" : "<= 1.5", "pass", "bare local",
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

/** The milliseconds since `timer` started. */
double elapsedMs(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

/**
 * The record of `parts` in `svn`'s status cache, as the cache holds it now
 * (nothing is filled); throws when its folder or the record is not cached.
 */
const SVNFileStatus& cachedRecord(SVNInterface& svn, const QString& workingCopy, const QStringList& parts)
{
    const QString folder = QFileInfo(workingCopy + QLatin1Char('/') + parts.join(QLatin1Char('/'))).path();
    const SVNFolderStatus* entry = SVNInterfaceSeam(svn).statusCache().find(folder);
    const auto record = entry ? entry->records.find(parts.last()) : SVNDirectoryStatus::const_iterator();
    if (!entry || record == entry->records.end())
        throw std::runtime_error("the folder of " + parts.join(QLatin1Char('/')).toStdString() + " is not cached");
    return record->second;
}

/**
 * A provider of the operations' working copy (per folder) with the folder of
 * `parts` cached, so that an operation on the file ends with its re-read.
 */
std::unique_ptr<SVNInterface> cachedProvider(const QStringList& parts)
{
    auto svn = boundProvider(Scope::PerFolder, servedTree().url, operationsTree().workingCopy);
    if (statusPass(*svn, {parts}) != 1)
        throw std::runtime_error(parts.join(QLatin1Char('/')).toStdString() + " did not read as controlled");
    cachedRecord(*svn, operationsTree().workingCopy, parts);
    return svn;
}

/** Throws with the provider's last error unless `ok`. */
void mustSucceed(SVNInterface& svn, bool ok, const char* call)
{
    QString command;
    if (!ok)
        throw std::runtime_error(std::string(call) + " failed: " + svn.getLastError(command).toStdString());
}

// 8a. checkin() against the bare "svn commit -m ... FILE" of the same edit,
// both in the local root. Each side writes a new text first (untimed), so
// that every commit has something to commit; the provider's folder is
// cached, so its checkin ends with the local re-read of the file, which has
// to show the new revision. Alternating order.
void BM_CommitFile(benchmark::State& state)
{
    guarded(state, [&] {
        const QString workingCopy = operationsTree().workingCopy;
        const QStringList parts{QStringLiteral("d010"), QStringLiteral("file01.cpp")};
        auto svn = cachedProvider(parts);
        const QString target = parts.join(QLatin1Char('/'));
        const QString path = workingCopy + QLatin1Char('/') + target;
        const QStringList bare = bareRun(QStringLiteral("commit"), {QStringLiteral("-m"), QString::fromLatin1(Comment)},
                                         target);
        int edits = 0;
        std::vector<double> providerMs, bareMs;
        int turn = 0;
        for (auto _ : state) {
            BenchSummary::inTurn(
                turn,
                [&] {
                    writeFile(path, "edit " + QByteArray::number(++edits) + "\n");
                    const QString before = cachedRecord(*svn, workingCopy, parts).workingRevision;
                    QElapsedTimer timer;
                    timer.start();
                    const bool ok = svn->checkin(parts, QString::fromLatin1(Comment));
                    providerMs.push_back(elapsedMs(timer));
                    mustSucceed(*svn, ok, "checkin");
                    const SVNFileStatus& after = cachedRecord(*svn, workingCopy, parts);
                    if (after.workingRevision == before || after.modified)
                        throw std::runtime_error("checkin did not re-read the file");
                },
                [&] {
                    writeFile(path, "edit " + QByteArray::number(++edits) + "\n");
                    bareMs.push_back(timedBare(bare, {workingCopy}));
                });
            state.SetIterationTime(providerMs.back() / 1e3);
        }
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
        const QString workingCopy = operationsTree().workingCopy;
        const QStringList parts{QStringLiteral("d010"), QStringLiteral("file02.cpp")};
        auto svn = cachedProvider(parts);
        const QString target = parts.join(QLatin1Char('/'));
        const QString older = cachedRecord(*svn, workingCopy, parts).workingRevision;
        writeFile(workingCopy + QLatin1Char('/') + target, "newer\n");
        mustSucceed(*svn, svn->checkin(parts, QString::fromLatin1(Comment)), "checkin");
        const QString newer = cachedRecord(*svn, workingCopy, parts).workingRevision;
        const QStringList backdate = bareRun(QStringLiteral("update"), {QStringLiteral("--revision"), older}, target);
        const QStringList bare = bareRun(QStringLiteral("update"), {}, target);
        std::vector<double> providerMs, bareMs;
        int turn = 0;
        for (auto _ : state) {
            BenchSummary::inTurn(
                turn,
                [&] {
                    runBare(backdate, workingCopy);
                    mustSucceed(*svn, svn->saved(parts), "saved");
                    if (cachedRecord(*svn, workingCopy, parts).workingRevision != older)
                        throw std::runtime_error("the file did not go back to revision " + older.toStdString());
                    QElapsedTimer timer;
                    timer.start();
                    const bool ok = svn->getFile(parts, true);
                    providerMs.push_back(elapsedMs(timer));
                    mustSucceed(*svn, ok, "getFile");
                    if (cachedRecord(*svn, workingCopy, parts).workingRevision != newer)
                        throw std::runtime_error("getFile did not re-read the file");
                },
                [&] {
                    runBare(backdate, workingCopy);
                    bareMs.push_back(timedBare(bare, {workingCopy}));
                });
            state.SetIterationTime(providerMs.back() / 1e3);
        }
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
        const QString workingCopy = operationsTree().workingCopy;
        const QStringList parts{QStringLiteral("d010"), QStringLiteral("file03.cpp")};
        auto svn = cachedProvider(parts);
        const QString target = parts.join(QLatin1Char('/'));
        const QStringList bareLock =
            bareRun(QStringLiteral("lock"), {QStringLiteral("-m"), QString::fromLatin1(Comment)}, target);
        const QStringList bareUnlock = bareRun(QStringLiteral("unlock"), {}, target);
        std::vector<double> lockMs, unlockMs, bareLockMs, bareUnlockMs;
        int turn = 0;
        for (auto _ : state) {
            BenchSummary::inTurn(
                turn,
                [&] {
                    QElapsedTimer timer;
                    timer.start();
                    bool ok = svn->checkout(parts, QString::fromLatin1(Comment), false);
                    lockMs.push_back(elapsedMs(timer));
                    mustSucceed(*svn, ok, "checkout");
                    if (!cachedRecord(*svn, workingCopy, parts).locked)
                        throw std::runtime_error("checkout did not re-read the file");
                    timer.start();
                    ok = svn->undoCheckout(parts, false);
                    unlockMs.push_back(elapsedMs(timer));
                    mustSucceed(*svn, ok, "undoCheckout");
                    if (cachedRecord(*svn, workingCopy, parts).locked)
                        throw std::runtime_error("undoCheckout did not re-read the file");
                },
                [&] {
                    bareLockMs.push_back(timedBare(bareLock, {workingCopy}));
                    bareUnlockMs.push_back(timedBare(bareUnlock, {workingCopy}));
                });
            state.SetIterationTime((lockMs.back() + unlockMs.back()) / 1e3);
        }
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
        const QString workingCopy = operationsTree().workingCopy;
        const QStringList parts{QStringLiteral("d010"), QStringLiteral("file04.cpp")};
        auto svn = cachedProvider(parts);
        const QString path = workingCopy + QLatin1Char('/') + parts.join(QLatin1Char('/'));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " + path.toStdString());
        const QByteArray original = file.readAll();
        file.close();
        const QStringList bare = bareRun(QStringLiteral("status"), {QStringLiteral("--verbose")}, parts.last());
        const QString folder = QFileInfo(path).path();
        std::vector<double> providerMs, bareMs;
        int turn = 0, providerWrites = 0, bareWrites = 0;
        for (auto _ : state) {
            BenchSummary::inTurn(
                turn,
                [&] {
                    const bool edited = providerWrites++ % 2;
                    writeFile(path, edited ? QByteArray("edited\n") : original);
                    QElapsedTimer timer;
                    timer.start();
                    const bool ok = svn->saved(parts);
                    providerMs.push_back(elapsedMs(timer));
                    mustSucceed(*svn, ok, "saved");
                    if (cachedRecord(*svn, workingCopy, parts).modified != edited)
                        throw std::runtime_error("saved did not re-read the file");
                },
                [&] {
                    writeFile(path, bareWrites++ % 2 ? QByteArray("edited\n") : original);
                    bareMs.push_back(timedBare(bare, {folder}));
                });
            state.SetIterationTime(providerMs.back() / 1e3);
        }
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
        ServedLargeTree& tree = servedLargeTree();
        auto svn = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
        const QStringList parts{QStringLiteral("d1234"), QStringLiteral("file05.cpp")};
        const QString target = parts.join(QLatin1Char('/'));
        const QStringList bareLock =
            bareRun(QStringLiteral("lock"), {QStringLiteral("-m"), QString::fromLatin1(Comment)}, target);
        const QStringList bareUnlock = bareRun(QStringLiteral("unlock"), {}, target);
        std::vector<double> providerMs, bareMs;
        size_t cachedFolders = 0;
        int turn = 0;
        for (auto _ : state) {
            BenchSummary::inTurn(
                turn,
                [&] {
                    svn->refresh();
                    QElapsedTimer timer;
                    timer.start();
                    const bool ok = svn->checkout(parts, QString::fromLatin1(Comment), false);
                    providerMs.push_back(elapsedMs(timer));
                    mustSucceed(*svn, ok, "checkout");
                    cachedFolders = std::max(cachedFolders, SVNInterfaceSeam(*svn).statusCache().size());
                    runBare(bareUnlock, tree.workingCopy);
                },
                [&] {
                    bareMs.push_back(timedBare(bareLock, {tree.workingCopy}));
                    runBare(bareUnlock, tree.workingCopy);
                });
            state.SetIterationTime(providerMs.back() / 1e3);
        }
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
    ServedTree& served = servedTree();
    const OperationsTree& tree = operationsTree();
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

// 8d. Whole-tree scope.
void BM_DiskOnlyRunsTreeScope(benchmark::State& state)
{
    guarded(state, [&] { diskOnlyRuns(state, Scope::WorkingCopy); });
}
BENCHMARK(BM_DiskOnlyRunsTreeScope)->Iterations(1)->Unit(benchmark::kMillisecond);

// 8d. Per folder.
void BM_DiskOnlyRunsPerFolder(benchmark::State& state)
{
    guarded(state, [&] { diskOnlyRuns(state, Scope::PerFolder); });
}
BENCHMARK(BM_DiskOnlyRunsPerFolder)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

// 9a. A version-2 commit of 20 files (one in each of 20 folders, each folder
// cached, so that the commit ends with its one local re-read) against one
// bare "svn commit -m ... FILE..." of the same 20, both in the local root,
// behind the relay. Each side edits all 20 first (untimed). Alternating order.
void BM_CommitTwentyFiles(benchmark::State& state)
{
    guarded(state, [&] {
        const QString workingCopy = operationsTree().workingCopy;
        std::vector<QStringList> files;
        QStringList targets;
        for (int folder = 20; folder < 40; ++folder) {
            files.push_back({QStringLiteral("d%1").arg(folder, 3, 10, QLatin1Char('0')), QStringLiteral("file02.cpp")});
            targets << files.back().join(QLatin1Char('/'));
        }
        auto svn = boundProvider(Scope::PerFolder, servedTree().url, workingCopy);
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
        int turn = 0;
        for (auto _ : state) {
            BenchSummary::inTurn(
                turn,
                [&] {
                    editAll();
                    QString revision;
                    QElapsedTimer timer;
                    timer.start();
                    const bool ok = svn->commit(targets, QString::fromLatin1(Comment), revision);
                    providerMs.push_back(elapsedMs(timer));
                    mustSucceed(*svn, ok, "commit");
                    if (revision.isEmpty() || cachedRecord(*svn, workingCopy, files.back()).modified)
                        throw std::runtime_error("the commit did not re-read its files");
                },
                [&] {
                    editAll();
                    bareMs.push_back(timedBare(bare, {workingCopy}));
                });
            state.SetIterationTime(providerMs.back() / 1e3);
        }
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
        LargeTree& tree = largeTree();
        for (int folder = 0; folder < 20; ++folder)
            writeFile(tree.workingCopy + QStringLiteral("/d%1/file00.cpp").arg(folder * 100, 4, 10, QLatin1Char('0')),
                      "changed\n");
        auto svn = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
        const QStringList bare = bareStatus({});
        std::vector<double> providerMs, bareMs;
        int turn = 0;
        for (auto _ : state) {
            BenchSummary::inTurn(
                turn,
                [&] {
                    QList<SourceCodeControl::Change> changes;
                    QElapsedTimer timer;
                    timer.start();
                    const bool ok = svn->changes(QString(), changes);
                    providerMs.push_back(elapsedMs(timer));
                    mustSucceed(*svn, ok, "changes");
                    if (changes.size() != 20)
                        throw std::runtime_error("changes() did not list the 20 edits");
                },
                [&] { bareMs.push_back(timedBare(bare, {tree.workingCopy})); });
            state.SetIterationTime(providerMs.back() / 1e3);
        }
        recordRatio(state, "9b. changes of 20,000 files / bare status", providerMs, bareMs, "<= 1.10", "changes",
                    "bare status");
        for (int folder = 0; folder < 20; ++folder)
            runOrThrow(bareRun(QStringLiteral("revert"), {},
                               QStringLiteral("d%1/file00.cpp").arg(folder * 100, 4, 10, QLatin1Char('0'))),
                       tree.workingCopy);
    });
}
BENCHMARK(BM_ChangesOfALargeTree)->Iterations(11)->UseManualTime()->Unit(benchmark::kMillisecond);
