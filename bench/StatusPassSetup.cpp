#include "StatusPassSetup.h"

#include "BenchFiles.h"
#include "HugeTree.h"
#include "Loopback.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace StatusPassSetup {

namespace {

const char SvnServer[] = "/usr/bin/svnserve";
const char UserName[] = "bench";
const char Password[] = "secret";
constexpr int Folders = 200;
constexpr int FilesPerFolder = 10;
constexpr int ExternalFiles = 50;
constexpr int UnversionedFiles = 100;
constexpr int IgnoredFiles = 100;
constexpr int LargeFolders = 2000;
/** How many names of each kind only the disk knows in the working copy of figure 8d. */
constexpr int DiskOnlyFiles = 200;
/** The folder d000 ignores (svn:ignore). */
const char IgnoredFolder[] = "build";

using BenchFiles::fastScratchTemplate;
using BenchFiles::importAndCheckOut;
using BenchFiles::runOrThrow;
using BenchFiles::writeFile;

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

/** svnserve's settings of the repository at `path`: the password user bench only. */
void serveToBenchOnly(const QString& path)
{
    writeFile(path + QStringLiteral("/conf/svnserve.conf"),
              "[general]\nanon-access = none\nauth-access = write\npassword-db = passwd\nrealm = svnscc-bench\n");
    writeFile(path + QStringLiteral("/conf/passwd"), QByteArray("[users]\n") + UserName + " = " + Password + "\n");
}

/** A repository made with svnadmin, served to the password user bench only. */
QString createRepository(const QString& path)
{
    runOrThrow({QStringLiteral("svnadmin"), QStringLiteral("create"), path});
    serveToBenchOnly(path);
    return QStringLiteral("file://") + path;
}

} // namespace

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

const char* scopeName(Scope scope)
{
    return scope == Scope::WorkingCopy ? "WorkingCopy" : "per-folder";
}

QStringList credentials()
{
    return {QStringLiteral("--no-auth-cache"), QStringLiteral("--non-interactive"), QStringLiteral("--username"),
            QString::fromLatin1(UserName), QStringLiteral("--password"), QString::fromLatin1(Password)};
}

QStringList bareRun(const QString& subcommand, const QStringList& options, const QString& target)
{
    return QStringList{QString::fromLatin1(SvnClient), subcommand} + options + credentials()
        + (target.isEmpty() ? QStringList() : QStringList{target});
}

QStringList bareStatus(const QStringList& options)
{
    return bareRun(QStringLiteral("status"), options);
}

namespace {

/**
 * Starts `arguments` in `directory` as the provider starts the client, its
 * standard output to `output` (a pipe's write end) or thrown away (-1), its
 * standard error thrown away; the child's id, or -1 when it could not start.
 */
pid_t spawnBare(const QStringList& arguments, const QString& directory, int output)
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
    if (output < 0) {
        ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    } else {
        ::posix_spawn_file_actions_adddup2(&actions, output, 1);
        ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    ::posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), clientEnvironment());
    ::posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

/** Waits for `pid` (-1: never started); whether it exited with 0, or, with `mustFail`, with another code. */
bool endedAsExpected(pid_t pid, bool mustFail)
{
    int status = 0;
    if (pid > 0)
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    return pid > 0 && WIFEXITED(status) && (WEXITSTATUS(status) != 0) == mustFail;
}

} // namespace

void runBare(const QStringList& arguments, const QString& directory, bool mustFail)
{
    if (!endedAsExpected(spawnBare(arguments, directory, -1), mustFail))
        throw std::runtime_error(std::string("the bare run ") + (mustFail ? "did not fail: " : "failed: ") +
                                 arguments.join(' ').toStdString() + " in " + directory.toStdString());
}

BareLines timedBareLines(const QStringList& arguments, const QString& directory)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = spawnBare(arguments, directory, ends[1]);
    ::close(ends[1]);
    BareLines times;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(ends[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (times.firstLineMs < 0 && std::memchr(buffer, '\n', size_t(got)))
            times.firstLineMs = elapsedMs(timer);
    }
    ::close(ends[0]);
    const bool ok = endedAsExpected(pid, false);
    times.endMs = elapsedMs(timer);
    if (!ok || times.firstLineMs < 0)
        throw std::runtime_error("the bare run failed or printed nothing: " + arguments.join(' ').toStdString());
    return times;
}

double timedBare(const QStringList& arguments, const QStringList& directories, bool mustFail)
{
    QElapsedTimer timer;
    timer.start();
    for (const QString& directory : directories)
        runBare(arguments, directory, mustFail);
    return double(timer.nsecsElapsed()) / 1e6;
}

TreeFiles::TreeFiles(const QString& root)
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

std::vector<QStringList> TreeFiles::unlisted() const
{
    std::vector<QStringList> both = unversioned;
    both.insert(both.end(), ignored.begin(), ignored.end());
    return both;
}

namespace {

/**
 * `folders` folders "d0", "d1", ... below `parent`, their numbers `width`
 * digits wide, of 10 files "file00.cpp" to "file09.cpp" each, every file's
 * text of its own.
 */
void writeSourceFolders(const QString& parent, int folders, int width)
{
    for (int folder = 0; folder < folders; ++folder) {
        const QString path = parent + QStringLiteral("/d%1").arg(folder, width, 10, QLatin1Char('0'));
        QDir().mkpath(path);
        for (int file = 0; file < FilesPerFolder; ++file)
            writeFile(path + QStringLiteral("/file%1.cpp").arg(file, 2, 10, QLatin1Char('0')),
                      "int f" + QByteArray::number(folder * FilesPerFolder + file) + ";\n");
    }
}

/** Throws unless both scratch folders could be made. */
void mustHave(const QTemporaryDir& scratch, const QTemporaryDir& repositoryScratch)
{
    if (!scratch.isValid() || !repositoryScratch.isValid())
        throw std::runtime_error("no scratch folder");
}

} // namespace

ServedTree::ServedTree() : repositoryScratch(fastScratchTemplate())
{
    mustHave(scratch, repositoryScratch);
    const QString repository = repositoryScratch.path() + QStringLiteral("/repo");
    const QString fileURL = createRepository(repository);
    const QString stage = repositoryScratch.path() + QStringLiteral("/stage");
    writeSourceFolders(stage + QStringLiteral("/project"), Folders, 3);
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

ServedTree::~ServedTree() = default;

LargeTree::LargeTree() : repositoryScratch(fastScratchTemplate())
{
    mustHave(scratch, repositoryScratch);
    repository = repositoryScratch.path() + QStringLiteral("/repo");
    const QString fileURL = createRepository(repository);
    const QString stage = repositoryScratch.path() + QStringLiteral("/stage");
    writeSourceFolders(stage, LargeFolders, 4);
    url = fileURL + QStringLiteral("/project");
    workingCopy = scratch.path() + QStringLiteral("/wc");
    importAndCheckOut(QString::fromLatin1(SvnClient), stage, url, workingCopy);
    files = TreeFiles(workingCopy);
    if (files.versioned.size() != size_t(LargeFolders * FilesPerFolder))
        throw std::runtime_error("the large working copy does not hold the files it should");
}

OperationsTree::OperationsTree()
{
    if (!scratch.isValid())
        throw std::runtime_error("no scratch folder");
    const ServedTree& served = shared<ServedTree>();
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

ServedLargeTree::ServedLargeTree()
{
    if (!scratch.isValid())
        throw std::runtime_error("no scratch folder");
    const LargeTree& large = shared<LargeTree>();
    server = std::make_unique<ServerProcess>(large.repository);
    relay = std::make_unique<DelayRelay>(server->port(), RelayDelayMs);
    url = QStringLiteral("svn://127.0.0.1:%1/project").arg(relay->port());
    workingCopy = scratch.path() + QStringLiteral("/wc");
    runOrThrow({QStringLiteral("cp"), QStringLiteral("-a"), large.workingCopy, workingCopy});
    runOrThrow(bareRun(QStringLiteral("relocate"), {}, url), workingCopy);
}

ServedLargeTree::~ServedLargeTree() = default;

ServedHugeTree::ServedHugeTree()
{
    const HugeTree& huge = HugeTree::shared();
    serveToBenchOnly(huge.repository);
    server = std::make_unique<ServerProcess>(huge.repository);
    relay = std::make_unique<DelayRelay>(server->port(), RelayDelayMs);
    url = QStringLiteral("svn://127.0.0.1:%1/project").arg(relay->port());
    workingCopy = huge.workingCopy;
    runOrThrow(bareRun(QStringLiteral("relocate"), {}, url), workingCopy);
    files = TreeFiles(workingCopy);
    if (files.versioned.size() != size_t(HugeTree::Folders * HugeTree::FilesPerFolder))
        throw std::runtime_error("the 250,000-file working copy does not hold the files it should");
}

ServedHugeTree::~ServedHugeTree()
{
    try {
        runOrThrow(bareRun(QStringLiteral("relocate"), {}, HugeTree::shared().url), workingCopy);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

std::unique_ptr<SVNInterface> boundProvider(Scope scope, const QString& url, const QString& workingCopy,
                                            const QString& executable, int timeoutSeconds)
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

double timedPass(SVNInterface& svn, const TreeFiles& files)
{
    QElapsedTimer timer;
    timer.start();
    const size_t controlled = statusPass(svn, files.all);
    const double ms = elapsedMs(timer);
    if (controlled != files.versioned.size()) {
        QString command;
        throw std::runtime_error("the pass answered " + std::to_string(controlled) + " files controlled, not " +
                                 std::to_string(files.versioned.size()) + "; last error: " +
                                 svn.getLastError(command).toStdString());
    }
    return ms;
}

double elapsedMs(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void recordRatio(benchmark::State& state, const std::string& name, const std::vector<double>& firstMs,
                 const std::vector<double>& secondMs, const std::string& target, const std::string& firstLabel,
                 const std::string& secondLabel, const std::string& more)
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

void passesAndBareRuns(benchmark::State& state, SVNInterface& svn, const TreeFiles& files, const QStringList& bare,
                       const QString& workingCopy, std::vector<double>& providerMs, std::vector<double>& bareMs)
{
    inTurns(
        state,
        [&] {
            svn.refresh();
            providerMs.push_back(timedPass(svn, files));
            return providerMs.back();
        },
        [&] { bareMs.push_back(timedBare(bare, {workingCopy})); });
}

std::unique_ptr<SVNInterface> wholeTreePasses(benchmark::State& state, const QString& url, const QString& workingCopy,
                                              const TreeFiles& files, std::vector<double>& providerMs,
                                              std::vector<double>& bareMs)
{
    auto svn = boundProvider(Scope::WorkingCopy, url, workingCopy);
    const QStringList bare = bareStatus({QStringLiteral("--show-updates"), QStringLiteral("--verbose")});
    passesAndBareRuns(state, *svn, files, bare, workingCopy, providerMs, bareMs);
    return svn;
}

const SVNFileStatus& cachedRecord(SVNInterface& svn, const QString& workingCopy, const QStringList& parts)
{
    const QString folder = QFileInfo(workingCopy + QLatin1Char('/') + parts.join(QLatin1Char('/'))).path();
    const SVNFolderStatus* entry = SVNInterfaceSeam(svn).statusCache().find(folder);
    const auto record = entry ? entry->records.find(parts.last()) : SVNDirectoryStatus::const_iterator();
    if (!entry || record == entry->records.end())
        throw std::runtime_error("the folder of " + parts.join(QLatin1Char('/')).toStdString() + " is not cached");
    return record->second;
}

void mustSucceed(SVNInterface& svn, bool ok, const char* call)
{
    QString command;
    if (!ok)
        throw std::runtime_error(std::string(call) + " failed: " + svn.getLastError(command).toStdString());
}

int registerForBothScopes(const std::string& stem, void (*body)(benchmark::State&, Scope), int treeIterations,
                          int folderIterations, bool manualTime)
{
    const std::pair<Scope, int> scopes[] = {{Scope::WorkingCopy, treeIterations}, {Scope::PerFolder, folderIterations}};
    for (const auto& [scope, iterations] : scopes) {
        const std::string name = stem + (scope == Scope::WorkingCopy ? "TreeScope" : "PerFolder");
        benchmark::internal::Benchmark* registered =
            benchmark::RegisterBenchmark(name.c_str(), [body, scope = scope](benchmark::State& state) {
                guarded(state, [&] { body(state, scope); });
            });
        registered->Iterations(iterations)->Unit(benchmark::kMillisecond);
        if (manualTime)
            registered->UseManualTime();
    }
    return 2;
}

RelaySetting::RelaySetting(DelayRelay& relay, DelayRelay::Mode mode, int delayMs) : m_relay(relay)
{
    m_relay.setDelay(delayMs);
    m_relay.setMode(mode);
}

RelaySetting::~RelaySetting()
{
    m_relay.setDelay(RelayDelayMs);
    try {
        m_relay.setMode(DelayRelay::Mode::Forwarding);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

CountingClient::CountingClient()
{
    if (!m_scratch.isValid())
        throw std::runtime_error("no scratch folder");
    m_program = m_scratch.path() + QStringLiteral("/svn");
    m_log = m_scratch.path() + QStringLiteral("/runs.log");
    writeFile(m_program, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(m_log) + "'\nexec " +
                             SvnClient + " \"$@\"\n");
    QFile::setPermissions(m_program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList CountingClient::runs() const
{
    QFile file(m_log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace StatusPassSetup
