#include "Demo.h"

#include "ClientAnswers.h"
#include "ClientStatus.h"
#include "HostCommands.h"
#include "HostOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
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

// Runs the real client in `directory` for the demo's own set-up or as its
// oracle; false (reported) when it fails. `output` gets its standard output.
bool runClient(const QString& svnExecutable, const QString& directory, const QStringList& arguments,
               QTextStream& err, QByteArray* output = nullptr)
{
    QByteArray bytes;
    QString error;
    if (clientOutput(svnExecutable, directory, arguments, bytes, &error)) {
        if (output)
            *output = bytes;
        return true;
    }
    err << "scc-host: demo: svn " << arguments.join(QLatin1Char(' ')) << " failed: " << error << "\n";
    return false;
}

// Where the demo's life cycle happens.
struct DemoPlaces
{
    QString svnExecutable;
    QString base;       ///< the demo's folder
    QString repository; ///< the repository's folder
    QString url;        ///< its file:// URL
    QString root;       ///< the provider's local root, a checkout of project/
    QString other;      ///< another working copy of project/
};

// Provider and client agree on a file's history: the same revisions,
// authors, messages and changed paths, the dates within their precision.
bool sameHistory(const QList<SourceCodeControl::LogEntry>& ours,
                 const QList<SourceCodeControl::LogEntry>& clients)
{
    if (ours.size() != clients.size())
        return false;
    for (qsizetype i = 0; i < ours.size(); ++i) {
        const SourceCodeControl::LogEntry& a = ours.at(i);
        const SourceCodeControl::LogEntry& b = clients.at(i);
        if (a.revision != b.revision || a.author != b.author || a.message != b.message
            || a.changedPaths != b.changedPaths || a.date.isValid() != b.date.isValid()
            || qAbs(a.date.msecsTo(b.date)) >= 1000)
            return false;
    }
    return true;
}

// The changed paths of the repository's newest revision, sorted.
QStringList newestChanges(const DemoPlaces& places, QString* revision)
{
    const QList<SourceCodeControl::LogEntry> newest =
        clientLog(places.svnExecutable, places.root, places.url, {QStringLiteral("-r"), QStringLiteral("HEAD")});
    if (newest.size() != 1)
        return QStringList();
    *revision = newest.first().revision;
    QStringList paths = newest.first().changedPaths;
    paths.sort();
    return paths;
}

// What version 2 of the interface adds, each step compared with what the
// client itself says.
void versionTwoSteps(DemoRun& run, SourceCodeControlSystemProviderInterface2* provider,
                     const DemoPlaces& places, const QString& firstRevision, QTextStream& err)
{
    if (!run.check(QStringLiteral("the plug-in offers version 2 of the interface"),
                   provider && provider->interfaceVersion() >= 2))
        return;
    SourceCodeControlSystemProviderInterface2& p = *provider;
    const QString& root = places.root;
    // The client's output; a failed run (reported) reads as no answer it could give.
    auto client = [&](const QStringList& arguments) {
        QByteArray output;
        return runClient(places.svnExecutable, root, arguments, err, &output) ? output : QByteArray("svn failed\n");
    };
    auto columnsOf = [&](const QString& path) {
        return QString::fromUtf8(client({QStringLiteral("status"), QStringLiteral("--depth"),
                                         QStringLiteral("empty"), path})
                                     .left(7));
    };
    const QString readmePath = root + QStringLiteral("/readme.txt");
    QString revision, clientRevision;
    QStringList conflicted;

    writeFile(root + QStringLiteral("/src/main.c"), "int main(void)\n{\n    return 0;\n}\n");
    writeFile(root + QStringLiteral("/docs/guide.txt"), "How to build.\n");
    run.step(QStringLiteral("add src/main.c docs/guide.txt (scheduled)"),
             p.add({QStringLiteral("src/main.c"), QStringLiteral("docs/guide.txt")}), true);
    run.check(QStringLiteral("      ...svn status: both added"),
              client({QStringLiteral("status"), QStringLiteral("src/main.c"), QStringLiteral("docs/guide.txt")})
                  == "A       src/main.c\nA       docs/guide.txt\n");
    // Each call is made before its step line, which shows what it gave.
    bool done = p.commit({QStringLiteral("src/main.c"), QStringLiteral("docs/guide.txt")},
                         QStringLiteral("Add main.c and the guide"), revision);
    run.step(QStringLiteral("commit src/main.c docs/guide.txt"), done, true,
             QStringLiteral("revision %1").arg(revision));
    run.check(QStringLiteral("      ...svn log: one revision holds both"),
              newestChanges(places, &clientRevision)
                      == QStringList{QStringLiteral("A /project/docs/guide.txt"),
                                     QStringLiteral("A /project/src/main.c")}
                  && clientRevision == revision);

    QList<SourceCodeControl::LogEntry> history;
    done = p.log(QStringLiteral("readme.txt"), 0, history);
    run.step(QStringLiteral("log readme.txt"), done, true, QStringLiteral("%1 revisions").arg(history.size()));
    run.check(QStringLiteral("      ...as svn log --xml says"),
              sameHistory(history, clientLog(places.svnExecutable, root,
                                             places.url + QStringLiteral("/project/readme.txt"))));

    QList<SourceCodeControl::AnnotatedLine> lines;
    done = p.annotate(QStringLiteral("readme.txt"), QString(), lines);
    run.step(QStringLiteral("annotate readme.txt"), done, true, QStringLiteral("%1 lines").arg(lines.size()));
    const QList<SourceCodeControl::AnnotatedLine> blamed =
        clientBlame(places.svnExecutable, root, QStringLiteral("readme.txt"));
    QStringList text = QString::fromUtf8(readFile(readmePath)).split(QLatin1Char('\n'));
    text.removeLast();
    bool sameLines = lines.size() == blamed.size() && lines.size() == text.size();
    for (qsizetype i = 0; sameLines && i < lines.size(); ++i)
        sameLines = lines.at(i).revision == blamed.at(i).revision && lines.at(i).author == blamed.at(i).author
            && lines.at(i).text == text.at(i);
    run.check(QStringLiteral("      ...as svn blame --xml and the file say"), sameLines);

    const QByteArray committedText = readFile(readmePath);
    writeFile(readmePath, committedText + "A draft line.\n");
    QByteArray diff;
    done = p.diff(QStringLiteral("readme.txt"), QString(), QString(), diff);
    run.step(QStringLiteral("diff readme.txt (an edit)"), done, true, QStringLiteral("%1 bytes").arg(diff.size()));
    run.check(QStringLiteral("      ...byte for byte as svn diff from the local root"),
              !diff.isEmpty() && diff == client({QStringLiteral("diff"), QStringLiteral("readme.txt")}));
    run.step(QStringLiteral("revert readme.txt (the edit)"), p.revert({QStringLiteral("readme.txt")}, false), true);
    run.check(QStringLiteral("      ...the committed text; svn status lists nothing"),
              readFile(readmePath) == committedText && columnsOf(QStringLiteral("readme.txt")).isEmpty());

    QFile::remove(root + QStringLiteral("/src/lib/util.c"));
    writeFile(root + QStringLiteral("/notes.txt"), "Not for the repository.\n");
    QList<SourceCodeControl::Change> changes;
    done = p.changes(QString(), changes);
    run.step(QStringLiteral("changes (util.c deleted from disk, notes.txt new)"), done, true,
             QStringLiteral("%1 items").arg(changes.size()));
    QByteArray listed;
    for (const SourceCodeControl::Change& change : changes)
        listed += (change.statusColumns + QLatin1Char(' ') + (change.path.isEmpty() ? QStringLiteral(".") : change.path)
                   + QLatin1Char('\n')).toUtf8();
    run.check(QStringLiteral("      ...as svn status prints them"),
              listed.contains("!       src/lib/util.c\n") && listed == client({QStringLiteral("status")}));
    run.step(QStringLiteral("revert src/lib/util.c (missing)"), p.revert({QStringLiteral("src/lib/util.c")}, false),
             true);
    run.check(QStringLiteral("      ...back on disk; svn status lists nothing"),
              QFileInfo::exists(root + QStringLiteral("/src/lib/util.c"))
                  && columnsOf(QStringLiteral("src/lib/util.c")).isEmpty());
    QFile::remove(root + QStringLiteral("/notes.txt"));

    run.step(QStringLiteral("move docs/guide.txt to docs/manual.txt"),
             p.move(QStringLiteral("docs/guide.txt"), QStringLiteral("docs/manual.txt")), true);
    run.check(QStringLiteral("      ...svn status: deleted, and added with history"),
              columnsOf(QStringLiteral("docs/guide.txt")) == QLatin1String("D      ")
                  && columnsOf(QStringLiteral("docs/manual.txt")) == QLatin1String("A  +   "));
    run.step(QStringLiteral("remove src/main.c"), p.remove({QStringLiteral("src/main.c")}, false), true);
    run.check(QStringLiteral("      ...svn status: deleted; gone from disk"),
              columnsOf(QStringLiteral("src/main.c")) == QLatin1String("D      ")
                  && !QFileInfo::exists(root + QStringLiteral("/src/main.c")));
    done = p.commit({QStringLiteral("docs"), QStringLiteral("src")}, QStringLiteral("Rename the guide, drop main.c"),
                    revision);
    run.step(QStringLiteral("commit docs src (the move and the removal)"), done, true,
             QStringLiteral("revision %1").arg(revision));
    const QString guideRevision = QString::number(revision.toInt() - 1);
    run.check(QStringLiteral("      ...svn log: one revision holds all three"),
              newestChanges(places, &clientRevision)
                      == QStringList{QStringLiteral("A /project/docs/manual.txt (from /project/docs/guide.txt:%1)")
                                         .arg(guideRevision),
                                     QStringLiteral("D /project/docs/guide.txt"),
                                     QStringLiteral("D /project/src/main.c")}
                  && clientRevision == revision);

    run.step(QStringLiteral("update to revision %1").arg(firstRevision),
             p.update({QString()}, firstRevision, conflicted), true);
    run.check(QStringLiteral("      ...svn info: revision %1").arg(firstRevision),
              client({QStringLiteral("info"), QStringLiteral("--show-item"), QStringLiteral("revision")}).trimmed()
                      == firstRevision.toUtf8()
                  && !QFileInfo::exists(root + QStringLiteral("/docs")));
    run.step(QStringLiteral("update (back to the newest revision)"), p.update({QString()}, QString(), conflicted),
             true);
    run.check(QStringLiteral("      ...svn info: revision %1").arg(revision),
              client({QStringLiteral("info"), QStringLiteral("--show-item"), QStringLiteral("revision")}).trimmed()
                      == revision.toUtf8()
                  && readFile(readmePath) == committedText && conflicted.isEmpty());

    // The other working copy changes the first line; so does the local root.
    const QByteArray theirs = "Their first line.\n" + committedText.mid(committedText.indexOf('\n') + 1);
    const QByteArray mine = "My first line.\n" + committedText.mid(committedText.indexOf('\n') + 1);
    run.check(QStringLiteral("another working copy commits a change to the first line of readme.txt"),
              runClient(places.svnExecutable, places.other, {QStringLiteral("update"), QStringLiteral("-q")}, err)
                  && writeFile(places.other + QStringLiteral("/readme.txt"), theirs)
                  && runClient(places.svnExecutable, places.other,
                               {QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"),
                                QStringLiteral("Their first line")},
                               err));
    writeFile(readmePath, mine);
    done = p.update({QStringLiteral("readme.txt")}, QString(), conflicted);
    run.step(QStringLiteral("update readme.txt (an edit of the same line)"), done, true,
             QStringLiteral("conflicts: %1").arg(conflicted.join(QLatin1Char(' '))));
    run.check(QStringLiteral("      ...postponed; svn status: conflicted"),
              conflicted == QStringList{QStringLiteral("readme.txt")}
                  && columnsOf(QStringLiteral("readme.txt")) == QLatin1String("C      "));
    run.step(QStringLiteral("resolve readme.txt --accept mine-full"),
             p.resolve(QStringLiteral("readme.txt"), SourceCodeControl::Resolution::MineFull), true);
    run.check(QStringLiteral("      ...my text kept; svn status: modified"),
              readFile(readmePath) == mine && columnsOf(QStringLiteral("readme.txt")) == QLatin1String("M      "));

    // A client killed in the middle of its commit (held by a pre-commit hook)
    // leaves the working copy locked.
    const QString hook = places.repository + QStringLiteral("/hooks/pre-commit");
    const QString holding = places.base + QStringLiteral("/hook-holding");
    const QString release = places.base + QStringLiteral("/hook-release");
    writeFile(hook, QStringLiteral("#!/bin/sh\n[ -e '%1' ] && exit 0\ntouch '%2'\n"
                                   "while [ ! -e '%1' ]; do sleep 0.1; done\nexit 1\n")
                        .arg(release, holding)
                        .toUtf8());
    QFile::setPermissions(hook, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess killed;
    killed.setWorkingDirectory(root);
    killed.start(places.svnExecutable, {QStringLiteral("commit"), QStringLiteral("-m"), QStringLiteral("Never made"),
                                        QStringLiteral("--non-interactive"), QStringLiteral("readme.txt")});
    for (int waited = 0; waited < 30000 && !QFileInfo::exists(holding); waited += 50)
        QThread::msleep(50);
    killed.kill();
    killed.waitForFinished();
    writeFile(release, QByteArray());
    auto locked = [&] {
        for (const QByteArray& line : client({QStringLiteral("status")}).split('\n'))
            if (line.size() > 2 && line.at(2) == 'L')
                return true;
        return false;
    };
    run.check(QStringLiteral("a client killed during its commit leaves the working copy locked"), locked());
    run.step(QStringLiteral("cleanup"), p.cleanup(QString()), true);
    run.check(QStringLiteral("      ...svn status: no lock left"), !locked());
    done = p.commit({QStringLiteral("readme.txt")}, QStringLiteral("My first line"), revision);
    run.step(QStringLiteral("commit readme.txt (after the clean-up)"), done, true,
             QStringLiteral("revision %1").arg(revision));
    run.check(QStringLiteral("      ...svn log: the newest revision"),
              newestChanges(places, &clientRevision) == QStringList{QStringLiteral("M /project/readme.txt")}
                  && clientRevision == revision);
}

int lifeCycle(SourceCodeControlSystemProviderInterface& provider, SourceCodeControlSystemProviderInterface2* provider2,
              const QString& svnExecutable, const QString& base, QTextStream& out, QTextStream& err)
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
        runClient(svnExecutable, base, {QStringLiteral("checkout"), QStringLiteral("-q"),
                                        url + QStringLiteral("/project"), other}, err)
        && writeFile(other + QStringLiteral("/readme.txt"), theirText)
        && runClient(svnExecutable, base, {QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"),
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
    versionTwoSteps(run, provider2, {svnExecutable, base, repositoryPath, url, rootPath, other}, firstRevision, err);
    run.step(QStringLiteral("logout"), provider.logout(), true);
    return run.summary();
}

} // namespace

int runDemo(SourceCodeControlSystemProviderInterface& provider, SourceCodeControlSystemProviderInterface2* provider2,
            const QString& svnExecutable, const QString& keepDirectory, QTextStream& out, QTextStream& err)
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
        result = lifeCycle(provider, provider2, svnExecutable, QDir(temporary.path()).canonicalPath(), out, err);
    } else {
        QDir keep(keepDirectory);
        if (!QDir().mkpath(keepDirectory)
            || !keep.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty()) {
            err << "scc-host: demo: --keep needs an empty or new directory: " << keepDirectory << "\n";
            return 1;
        }
        result = lifeCycle(provider, provider2, svnExecutable, keep.canonicalPath(), out, err);
        out << "demo files kept in " << keep.canonicalPath() << "\n";
    }
    if (hadHome)
        qputenv("HOME", savedHome);
    else
        qunsetenv("HOME");
    return result;
}
