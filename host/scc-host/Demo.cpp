#include "Demo.h"

#include "ClientStatus.h"
#include "HostCommands.h"
#include "HostOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

class DemoRun
{
public:
    DemoRun(SourceCodeControlSystemProviderInterface& provider, const QString& svnExecutable,
            const QString& rootPath, QTextStream& out, QTextStream& err)
        : m_provider(provider), m_svnExecutable(svnExecutable), m_rootPath(rootPath), m_out(out),
          m_err(err) {}

    // Prints one step line; a step that did not give the expected result
    // also gets the provider's last error below it.
    bool step(const QString& operation, bool result, bool expected, const QString& detail = QString())
    {
        const bool asExpected = result == expected;
        ++m_steps;
        if (!asExpected)
            ++m_failures;
        m_out << (asExpected ? "  ok  " : "  FAIL") << "  "
              << QStringLiteral("%1").arg(operation, -46) << " -> "
              << (result ? "true " : "false");
        if (!detail.isEmpty())
            m_out << "  " << detail;
        m_out << "\n";
        m_out.flush();
        if (!asExpected)
            printLastError(m_provider, operation, m_err);
        return asExpected;
    }

    // A check made by the demo itself (file contents, listings).
    bool check(const QString& what, bool ok, const QString& detail = QString())
    {
        ++m_steps;
        if (!ok)
            ++m_failures;
        m_out << (ok ? "  ok  " : "  FAIL") << "  " << what;
        if (!detail.isEmpty())
            m_out << "  " << detail;
        m_out << "\n";
        m_out.flush();
        return ok;
    }

    // A status step is as expected when the provider answers and its seven
    // outputs say what the client itself says of the file.
    bool status(const QStringList& parts, FileStatus& status)
    {
        const bool answered = queryStatus(m_provider, parts, status);
        const QString detail = QStringLiteral("controlled=%1 checkedOut=%2 modified=%3 outOfDate=%4 "
                                              "status=[%5] revision=%6 changed=%7")
                                   .arg(yesNo(status.controlled), yesNo(status.checkedOut),
                                        yesNo(status.modified), yesNo(status.outOfDate),
                                        status.statusText, status.revisionText,
                                        status.lastChangedText);
        const QString name = parts.join(QLatin1Char('/'));
        if (!step(QStringLiteral("status %1").arg(name), answered, true, detail))
            return false;
        QString clientError;
        const QString directory = QFileInfo(m_rootPath + QLatin1Char('/') + name).path();
        const ClientStatus client = clientStatus(m_svnExecutable, directory, parts.last(), {}, &clientError);
        const QString difference = differenceFromClient(status, client);
        return check(QStringLiteral("      ...as svn status says"), difference.isEmpty(),
                     difference.isEmpty() ? QString() : difference + QLatin1Char(' ') + clientError);
    }

    int summary()
    {
        m_out << "demo: " << m_steps << " steps, " << (m_steps - m_failures) << " as expected, "
              << m_failures << " failed\n";
        m_out.flush();
        return m_failures == 0 ? 0 : 1;
    }

    int failures() const { return m_failures; }

private:
    SourceCodeControlSystemProviderInterface& m_provider;
    QString m_svnExecutable;
    QString m_rootPath;
    QTextStream& m_out;
    QTextStream& m_err;
    int m_steps = 0;
    int m_failures = 0;
};

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString svnadminFor(const QString& svnExecutable)
{
    if (svnExecutable.contains(QLatin1Char('/')))
        return QFileInfo(svnExecutable).path() + QStringLiteral("/svnadmin");
    return QStringLiteral("svnadmin");
}

bool createRepository(const QString& svnadmin, const QString& path, QTextStream& err)
{
    QProcess process;
    process.start(svnadmin, {QStringLiteral("create"), path});
    if (!process.waitForStarted() || !process.waitForFinished(60000)
        || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        err << "scc-host: demo: " << svnadmin << " create " << path << " failed: "
            << (process.error() == QProcess::FailedToStart
                    ? process.errorString()
                    : QString::fromLocal8Bit(process.readAllStandardError()).trimmed())
            << "\n";
        return false;
    }
    return true;
}

// Runs the real client for the demo's own set-up; false (reported) when it fails.
bool runClient(const QString& svnExecutable, const QStringList& arguments, QTextStream& err)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LANGUAGE"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(svnExecutable, arguments + QStringList{QStringLiteral("--non-interactive")});
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0)
        return true;
    err << "scc-host: demo: svn " << arguments.join(QLatin1Char(' ')) << " failed: "
        << QString::fromUtf8(process.readAllStandardError()).trimmed() << "\n";
    return false;
}

int lifeCycle(SourceCodeControlSystemProviderInterface& provider, const QString& svnExecutable,
              const QString& base, QTextStream& out, QTextStream& err)
{
    const QString repositoryPath = base + QStringLiteral("/repository");
    const QString parentPath = base + QStringLiteral("/work");
    const QString rootPath = parentPath + QStringLiteral("/project");
    const QString url = QUrl::fromLocalFile(repositoryPath).toString(QUrl::FullyEncoded);

    out << "scc-host demo\n"
        << "  repository " << url << "\n"
        << "  local root " << rootPath << "\n";
    out.flush();
    if (!createRepository(svnadminFor(svnExecutable), repositoryPath, err)
        || !QDir().mkpath(parentPath)) {
        err << "scc-host: demo: cannot prepare " << base << "\n";
        return 1;
    }
    qputenv("HOME", QFile::encodeName(base));

    DemoRun run(provider, svnExecutable, rootPath, out, err);
    run.step(QStringLiteral("setOption SVNExecutable = %1").arg(svnExecutable),
             provider.setOption(QLatin1String(SourceCodeControlOption::Executable), svnExecutable), true);
    run.step(QStringLiteral("setOption SVNRepositoryURL"),
             provider.setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), url), true);
    run.step(QStringLiteral("setOption SVNLockSupported = Yes"),
             provider.setOption(QLatin1String(SourceCodeControlOption::LockSupported), QStringLiteral("Yes")),
             true);
    run.step(QStringLiteral("setOption SVNPasswordFromStdin = Yes"),
             provider.setOption(QLatin1String(SourceCodeControlOption::PasswordFromStdin),
                                QStringLiteral("Yes")),
             true);
    run.step(QStringLiteral("setOption SVNTimeout = 120"),
             provider.setOption(QLatin1String(SourceCodeControlOption::Timeout), QStringLiteral("120")),
             true);
    run.step(QStringLiteral("checkOutSupported"), provider.checkOutSupported(), true);
    if (!run.step(QStringLiteral("login demo"),
                  provider.login(QStringLiteral("demo"), QStringLiteral("demo"), url), true))
        return run.summary();

    run.step(QStringLiteral("createDirectory project"),
             provider.createDirectory(QStringList(), QStringLiteral("project")), true);
    run.step(QStringLiteral("createDirectory project/src"),
             provider.createDirectory({QStringLiteral("project")}, QStringLiteral("src")), true);
    run.step(QStringLiteral("createDirectory project/src/lib"),
             provider.createDirectory({QStringLiteral("project"), QStringLiteral("src")},
                                      QStringLiteral("lib")),
             true);
    const QStringList localRoots = splitPathParts(rootPath);
    if (!run.step(QStringLiteral("setRoots (check-out of project)"),
                  provider.setRoots(localRoots, {QStringLiteral("project")}), true)
        || !run.check(QStringLiteral("      ...local root is a working copy"),
                      QFileInfo::exists(rootPath + QStringLiteral("/.svn/entries"))))
        return run.summary();

    const QByteArray firstText = "First version.\nSecond line.\n";
    const QByteArray theirText = "First version.\nSecond line.\nTheir line.\n";
    const QByteArray editedText = theirText + "An edit.\n";
    const QStringList readme = {QStringLiteral("readme.txt")};
    const QStringList util = {QStringLiteral("src"), QStringLiteral("lib"), QStringLiteral("util.c")};
    const QStringList notes = {QStringLiteral("docs"), QStringLiteral("日本語のメモ.txt")};
    QDir(rootPath).mkpath(QStringLiteral("src/lib"));
    QDir(rootPath).mkpath(QStringLiteral("docs"));
    writeFile(rootPath + QStringLiteral("/readme.txt"), firstText);
    writeFile(rootPath + QStringLiteral("/src/lib/util.c"), "int util(void);\n");
    writeFile(rootPath + QLatin1Char('/') + notes.join(QLatin1Char('/')), "メモ\n");

    run.step(QStringLiteral("addFile readme.txt"), provider.addFile(readme, QStringLiteral("Add the readme")), true);
    run.step(QStringLiteral("addFile src/lib/util.c (folders in repository)"),
             provider.addFile(util, QStringLiteral("Add util.c")), true);
    run.step(QStringLiteral("addFile docs/日本語のメモ.txt (new folder)"),
             provider.addFile(notes, QStringLiteral("メモを追加")), true);
    run.check(QStringLiteral("      ...no nested working copy made"),
              !QFileInfo::exists(rootPath + QStringLiteral("/src/.svn"))
                  && !QFileInfo::exists(rootPath + QStringLiteral("/docs/.svn")));

    FileStatus status;
    run.status(readme, status);
    const QString firstRevision = status.lastChangedText;
    run.status(util, status);
    run.status(notes, status);

    // Someone else commits a newer readme from a working copy of their own.
    const QString other = base + QStringLiteral("/other");
    const bool committed =
        runClient(svnExecutable, {QStringLiteral("checkout"), QStringLiteral("-q"),
                                  url + QStringLiteral("/project"), other}, err)
        && writeFile(other + QStringLiteral("/readme.txt"), theirText)
        && runClient(svnExecutable, {QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"),
                                     QStringLiteral("Their line"), other}, err);
    run.check(QStringLiteral("another working copy commits readme.txt"), committed);
    run.step(QStringLiteral("refresh"), provider.refresh(), true);
    run.status(readme, status);
    run.check(QStringLiteral("      ...out of date"), status.outOfDate);
    run.step(QStringLiteral("getFile readme.txt (keeping the local copy)"), provider.getFile(readme, true), true);
    run.check(QStringLiteral("      ...local text is theirs"), readFile(rootPath + QStringLiteral("/readme.txt")) == theirText);
    run.status(readme, status);

    writeFile(rootPath + QStringLiteral("/readme.txt"), editedText);
    run.step(QStringLiteral("saved readme.txt (after an edit)"), provider.saved(readme), true);
    run.status(readme, status);
    run.check(QStringLiteral("      ...modified"), status.modified);
    run.step(QStringLiteral("checkin readme.txt"),
             provider.checkin(readme, QStringLiteral("Edit the readme")), true);
    run.status(readme, status);
    run.check(QStringLiteral("      ...not modified"), !status.modified);

    run.step(QStringLiteral("checkout readme.txt (lock)"),
             provider.checkout(readme, QStringLiteral("Editing the readme"), false), true);
    run.status(readme, status);
    run.check(QStringLiteral("      ...checked out"), status.checkedOut);
    writeFile(rootPath + QStringLiteral("/readme.txt"), "Scratch.\n");
    run.step(QStringLiteral("undoCheckout readme.txt (discarding the edit)"),
             provider.undoCheckout(readme, true), true);
    run.check(QStringLiteral("      ...local text is the committed one"),
              readFile(rootPath + QStringLiteral("/readme.txt")) == editedText);
    run.status(readme, status);
    run.check(QStringLiteral("      ...not checked out"), !status.checkedOut);

    const QString earlier = base + QStringLiteral("/readme-r") + firstRevision + QStringLiteral(".txt");
    run.step(QStringLiteral("getTo readme.txt revision %1").arg(firstRevision),
             provider.getTo(readme, firstRevision, earlier), true, earlier);
    run.check(QStringLiteral("      ...written text is the first version"), readFile(earlier) == firstText);

    QStringList files, directories;
    bool listed = provider.getFilesList({QStringLiteral("project")}, files);
    run.step(QStringLiteral("getFilesList project"), listed, true, files.join(QLatin1Char(' ')));
    run.check(QStringLiteral("      ...holds readme.txt"), files == QStringList{QStringLiteral("readme.txt")});
    listed = provider.getDirectoriesList({QStringLiteral("project")}, directories);
    run.step(QStringLiteral("getDirectoriesList project"), listed, true,
             directories.join(QLatin1Char(' ')));
    run.check(QStringLiteral("      ...holds docs and src"),
              directories == QStringList{QStringLiteral("docs"), QStringLiteral("src")});
    run.step(QStringLiteral("logout"), provider.logout(), true);
    return run.summary();
}

} // namespace

int runDemo(SourceCodeControlSystemProviderInterface& provider, const QString& svnExecutable,
            const QString& keepDirectory, QTextStream& out, QTextStream& err)
{
    const QByteArray savedHome = qgetenv("HOME");
    const bool hadHome = qEnvironmentVariableIsSet("HOME");
    int result = 1;
    if (keepDirectory.isEmpty()) {
        QTemporaryDir temporary(QDir::tempPath() + QStringLiteral("/scc-host-demo-XXXXXX"));
        if (!temporary.isValid()) {
            err << "scc-host: demo: cannot create a temporary directory: "
                << temporary.errorString() << "\n";
            return 1;
        }
        result = lifeCycle(provider, svnExecutable, QDir(temporary.path()).canonicalPath(), out, err);
    } else {
        QDir keep(keepDirectory);
        if (!QDir().mkpath(keepDirectory)
            || !keep.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty()) {
            err << "scc-host: demo: --keep needs an empty or new directory: " << keepDirectory << "\n";
            return 1;
        }
        result = lifeCycle(provider, svnExecutable, keep.canonicalPath(), out, err);
        out << "demo files kept in " << keep.canonicalPath() << "\n";
    }
    if (hadHome)
        qputenv("HOME", savedHome);
    else
        qunsetenv("HOME");
    return result;
}
