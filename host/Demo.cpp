#include "Demo.h"

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
    DemoRun(SourceCodeControlSystemProviderInterface& provider, QTextStream& out, QTextStream& err)
        : m_provider(provider), m_out(out), m_err(err) {}

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

    // A status step is as expected when the provider answers and agrees on
    // whether the file is controlled; the seven outputs are printed.
    bool status(const QStringList& parts, FileStatus& status, const QString& note = QString())
    {
        const bool ok = queryStatus(m_provider, parts, status) && status.controlled;
        QString detail = QStringLiteral("controlled=%1 checkedOut=%2 modified=%3 outOfDate=%4 "
                                        "status=[%5] revision=%6 changed=%7")
                             .arg(yesNo(status.controlled), yesNo(status.checkedOut),
                                  yesNo(status.modified), yesNo(status.outOfDate),
                                  status.statusText, status.revisionText, status.lastChangedText);
        if (!note.isEmpty())
            detail += QStringLiteral("\n                (") + note + QLatin1Char(')');
        return step(QStringLiteral("status %1").arg(parts.join(QLatin1Char('/'))), ok, true, detail);
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

    DemoRun run(provider, out, err);
    const QString keyPrefix = QStringLiteral("Environment/Source Code Control/");
    run.step(QStringLiteral("setOption SVNExecutable = %1").arg(svnExecutable),
             provider.setOption(keyPrefix + QStringLiteral("SVNExecutable"), svnExecutable), true);
    run.step(QStringLiteral("setOption SVNRepositoryURL"),
             provider.setOption(keyPrefix + QStringLiteral("SVNRepositoryURL"), url), true);
    run.step(QStringLiteral("setOption SVNLockSupported = Yes"),
             provider.setOption(keyPrefix + QStringLiteral("SVNLockSupported"), QStringLiteral("Yes")),
             true);
    run.step(QStringLiteral("checkOutSupported"), provider.checkOutSupported(), true);
    if (!run.step(QStringLiteral("login demo"),
                  provider.login(QStringLiteral("demo"), QStringLiteral("demo"), url), true))
        return run.summary();

    run.step(QStringLiteral("createDirectory project"),
             provider.createDirectory(QStringList(), QStringLiteral("project")), true);
    run.step(QStringLiteral("createDirectory project/sub"),
             provider.createDirectory({QStringLiteral("project")}, QStringLiteral("sub")), true);
    const QStringList localRoots = splitPathParts(rootPath);
    if (!run.step(QStringLiteral("setRoots (check-out of project)"),
                  provider.setRoots(localRoots, {QStringLiteral("project")}), true)
        || !run.check(QStringLiteral("      ...local root is a working copy"),
                      QFileInfo::exists(rootPath + QStringLiteral("/.svn/entries"))))
        return run.summary();

    const QByteArray firstText = "First version.\nSecond line.\n";
    const QByteArray secondText = "First version.\nSecond line.\nAn edit.\n";
    const QStringList readme = {QStringLiteral("readme.txt")};
    const QStringList notes = {QStringLiteral("sub"), QStringLiteral("notes.txt")};
    const QStringList todo = {QStringLiteral("newdir"), QStringLiteral("todo.txt")};
    QDir(rootPath).mkpath(QStringLiteral("sub"));
    QDir(rootPath).mkpath(QStringLiteral("newdir"));
    writeFile(rootPath + QStringLiteral("/readme.txt"), firstText);
    writeFile(rootPath + QStringLiteral("/sub/notes.txt"), "Notes.\n");
    writeFile(rootPath + QStringLiteral("/newdir/todo.txt"), "To do.\n");

    run.step(QStringLiteral("addFile readme.txt"), provider.addFile(readme, QStringLiteral("Add the readme")), true);
    run.step(QStringLiteral("addFile sub/notes.txt (sub in repository)"),
             provider.addFile(notes, QStringLiteral("Add notes")), true);
    run.check(QStringLiteral("      ...sub fetched as a working copy"),
              QFileInfo::exists(rootPath + QStringLiteral("/sub/.svn/entries")));
    run.step(QStringLiteral("addFile newdir/todo.txt (new directory)"),
             provider.addFile(todo, QStringLiteral("Add the to-do list")), true);

    FileStatus readmeStatus, status;
    run.status(readme, readmeStatus);
    const QString firstRevision = readmeStatus.lastChangedText;
    run.status(notes, status);
    // The client (1.7 and later) keeps one .svn for the whole working copy, so
    // a directory added inside it has no .svn/entries of its own and its files
    // are answered from the repository: controlled, "missing".
    const bool ownWorkingCopy = QFileInfo::exists(rootPath + QStringLiteral("/newdir/.svn/entries"));
    run.status(todo, status,
               ownWorkingCopy ? QString()
                              : QStringLiteral("newdir has no .svn/entries of its own; see README"));

    writeFile(rootPath + QStringLiteral("/readme.txt"), secondText);
    run.step(QStringLiteral("saved readme.txt (after an edit)"), provider.saved(readme), true);
    run.status(readme, status);
    run.check(QStringLiteral("      ...modified"), status.modified);
    run.step(QStringLiteral("checkin readme.txt"),
             provider.checkin(readme, QStringLiteral("Second version of the readme")), true);
    run.status(readme, status);
    run.check(QStringLiteral("      ...not modified"), !status.modified);

    run.step(QStringLiteral("checkout readme.txt (lock)"),
             provider.checkout(readme, QStringLiteral("Editing the readme"), false), true);
    run.status(readme, status);
    run.check(QStringLiteral("      ...checked out"), status.checkedOut);
    run.step(QStringLiteral("undoCheckout readme.txt"), provider.undoCheckout(readme, false), true);
    run.status(readme, status);
    run.check(QStringLiteral("      ...not checked out"), !status.checkedOut);

    run.step(QStringLiteral("getFile readme.txt (discarding the local copy)"),
             provider.getFile(readme, false), true);
    run.check(QStringLiteral("      ...local text is the committed one"),
              readFile(rootPath + QStringLiteral("/readme.txt")) == secondText);
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
    run.check(QStringLiteral("      ...holds newdir and sub"),
              directories == QStringList{QStringLiteral("newdir"), QStringLiteral("sub")});
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
