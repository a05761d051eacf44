// An IDE's status pass over a working copy in every state a team reaches:
// the whole-tree scope against the per-folder one and the client's own
// answer, and both scopes with the server stopped or hung.

#include "E2EFixture.h"

#include <svnscc/SourceCodeControlSystemProviderInterface4.h>

#include <QDirIterator>
#include <QElapsedTimer>

#include <signal.h>

namespace {

// The eight answers of status() for one file, printable.
QString answerOf(bool result, const FileStatus& s)
{
    return QStringLiteral("%1 %2%3%4%5 [%6] %7 %8")
        .arg(result).arg(s.controlled).arg(s.checkedOut).arg(s.modified).arg(s.outOfDate)
        .arg(s.statusText, s.revisionText, s.lastChangedText);
}

class StatusPass : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_root = annChecksOut({"project/top.txt", "project/theirs.txt", "project/del.txt", "project/m.txt",
                               "project/a/one.txt", "project/a/b/two.txt", "project/a/b/conf.txt", "project/sw/s.txt",
                               "project/alt/s.txt", "project/sparse/p.txt", "extsrc/e.txt"});
        const QString ann = "ann", bobs = m_base + "/bob";
        svnOk({"propset", "svn:externals", "ext " + urlOf("extsrc") + "\n" + urlOf("project/top.txt") + " fext.txt",
               m_root}, ann);
        svnOk({"propset", "svn:ignore", "*.log", m_root}, ann);
        svnOk({"commit", "-m", "externals", m_root}, ann);
        svnOk({"update", m_root}, ann);
        svnOk({"switch", "--ignore-ancestry", urlOf("project/alt"), m_root + "/sw"}, ann);
        svnOk({"update", "--set-depth", "empty", m_root + "/sparse"}, ann);
        // bob: a newer conf.txt and two.txt, and a lock on theirs.txt.
        svnOk({"checkout", urlOf("project"), bobs});
        writeBytes(bobs + "/a/b/conf.txt", "bob's\n");
        writeBytes(bobs + "/a/b/two.txt", "bob's\n");
        svnOk({"commit", "-m", "bob", bobs});
        svnOk({"lock", bobs + "/theirs.txt"});
        // ann: a conflict, a move, an addition, a deletion, an edit,
        // unversioned and ignored files, an unversioned folder.
        writeBytes(m_root + "/a/b/conf.txt", "ann's\n");
        svnOk({"update", "--accept", "postpone", m_root + "/a/b/conf.txt"}, ann);
        svnOk({"mv", m_root + "/m.txt", m_root + "/m2.txt"}, ann);
        writeBytes(m_root + "/a/new.txt", "new\n");
        svnOk({"add", m_root + "/a/new.txt"}, ann);
        svnOk({"rm", m_root + "/del.txt"}, ann);
        writeBytes(m_root + "/a/one.txt", "edited\n");
        writeBytes(m_root + "/loose.txt", "loose\n");
        writeBytes(m_root + "/build.log", "ignored\n");
        QDir().mkpath(m_root + "/build");
        writeBytes(m_root + "/build/out.o", "unversioned folder\n");
        loginAs(ann);
        bindWorkingCopy(m_root);
    }

    /** Every file of the tree: on disk (outside ".svn"), and those deleted or moved away. */
    QStringList files() const
    {
        QStringList paths{"del.txt", "m.txt", "sparse/p.txt"};
        QDirIterator it(m_root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next().mid(m_root.size() + 1);
            if (!path.startsWith(".svn/") && !path.contains("/.svn/"))
                paths << path;
        }
        return paths;
    }

    QString m_root;
};

} // namespace

TEST_F(StatusPass, TheWholeTreeScopeAnswersAsPerFolderAndAsTheClient)
{
    SvnScc::PluginLoader second;
    ASSERT_TRUE(second.load(pluginPath()));
    SourceCodeControlSystemProviderInterface* tree = second.allocate();
    for (const char* key : {SourceCodeControlOption::Executable, SourceCodeControlOption::RepositoryURL})
        tree->setOption(QLatin1String(key), key == SourceCodeControlOption::Executable ? QString("svn") : m_url);
    ASSERT_TRUE(tree->setOption(QLatin1String(SourceCodeControlOption::StatusScope), "WorkingCopy"));
    ASSERT_TRUE(tree->login("ann", passwordOf("ann"), m_url));
    bindWorkingCopy(m_root, tree);

    const QStringList paths = files();
    ASSERT_GE(paths.size(), 15) << paths.join(' ').toStdString();
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        const QStringList parts = path.split('/');
        FileStatus perFolder, whole;
        const bool perFolderResult = statusOf(parts, perFolder);
        const bool wholeResult = tree->status(parts, whole.controlled, whole.checkedOut, whole.modified,
                                              whole.outOfDate, whole.statusText, whole.revisionText,
                                              whole.lastChangedText);
        const ClientStatus client = clientStatus("svn", QFileInfo(m_root + '/' + path).path(), parts.last(),
                                                 {"--username", "ann", "--password", passwordOf("ann")});
        if (client.listed) {
            EXPECT_EQ(answerOf(wholeResult, whole), answerOf(perFolderResult, perFolder));
            // A file the sparse folder does not hold is answered from the repository in both scopes.
            if (path != "sparse/p.txt") {
                EXPECT_EQ(differenceFromClient(whole, client), QString());
            }
        } else { // ignored, or inside an unversioned folder
            EXPECT_FALSE(whole.controlled || perFolder.controlled);
            EXPECT_TRUE(wholeResult);
        }
    }
}

TEST_F(StatusPass, AStoppedOrHungServerLeavesTheWorkingCopysAnswer)
{
    // Hung (paused) first, then stopped for good.
    struct Case { const char* scope; bool hung; };
    const Case cases[] = {{"WorkingCopy", true}, {"PerFolder", true}, {"WorkingCopy", false}, {"PerFolder", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scope) + (c.hung ? " hung" : " stopped"));
        SvnScc::PluginLoader library;
        ASSERT_TRUE(library.load(pluginPath()));
        SourceCodeControlSystemProviderInterface* provider = library.allocate();
        provider->setOption(QLatin1String(SourceCodeControlOption::Executable), "svn");
        provider->setOption(QLatin1String(SourceCodeControlOption::StatusScope), c.scope);
        provider->setOption(QLatin1String(SourceCodeControlOption::Timeout), "3");
        provider->login("ann", passwordOf("ann"), m_url);
        bindWorkingCopy(m_root, provider);
        if (c.hung)
            ::kill(pid_t(m_server->processId()), SIGSTOP);
        else
            m_server->stop();
        QElapsedTimer timer;
        timer.start();
        int modified = 0;
        for (const QString& path : files()) {
            FileStatus status;
            const QStringList parts = path.split('/');
            provider->status(parts, status.controlled, status.checkedOut, status.modified, status.outOfDate,
                             status.statusText, status.revisionText, status.lastChangedText);
            if (path == "a/one.txt" || path == "a/b/conf.txt") {
                EXPECT_TRUE(status.controlled && !status.outOfDate) << path.toStdString();
                modified += status.modified;
            }
        }
        EXPECT_EQ(modified, 1); // one.txt ("M"); conf.txt is conflicted ("C")
        EXPECT_LT(timer.elapsed(), c.hung ? 3000 + 1000 + 2000 : 2000);
        QString command;
        EXPECT_TRUE(provider->getLastError(command).contains(c.hung ? "time limit" : "E170013")) << command.toStdString();
        if (c.hung)
            ::kill(pid_t(m_server->processId()), SIGCONT);
    }
}

namespace {

// What a listing gives: each entry, in the order received.
class Entries final : public SourceCodeControl::StatusReceiver
{
public:
    void receive(const SourceCodeControl::StatusEntry& entry) override { received << entry; }
    QList<SourceCodeControl::StatusEntry> received;
};

// The paths of the client's own status lines, in its order.
QStringList pathsOfLines(const QByteArray& output)
{
    QStringList paths;
    for (const QString& line : QString::fromUtf8(output).split('\n', Qt::SkipEmptyParts))
        // Not the summaries, nor the detail lines of a move or a conflict ("        > moved from m.txt").
        if (!line.startsWith("Status against revision:") && !line.contains("conflicts:")
            && !line.trimmed().startsWith('>'))
            paths << line.section(' ', -1);
    return paths;
}

} // namespace

TEST_F(StatusPass, AListingGivesTheClientsLinesInItsOrderAsStatusAnswersThemWithOneRun)
{
    const auto allocate =
        pluginEntry<AllocateSourceCodeControlSystemInterface4Fn>("AllocateSourceCodeControlSystemInterface4");
    const auto release = pluginEntry<ReleaseSourceCodeControlSystemInterfaceFn>("ReleaseSourceCodeControlSystemInterface");
    ASSERT_TRUE(allocate && release);
    const auto make = [&](const char* scope) {
        SourceCodeControlSystemProviderInterface4* provider = allocate();
        m_made.emplace_back(provider, release);
        provider->setOption(QLatin1String(SourceCodeControlOption::StatusScope), scope);
        countClientRuns(provider);
        provider->login("ann", passwordOf("ann"), m_url);
        bindWorkingCopy(m_root, provider);
        return provider;
    };
    SourceCodeControlSystemProviderInterface4* provider = make("WorkingCopy");
    EXPECT_EQ(provider->interfaceVersion(), 4);
    const qsizetype runsBefore = clientRuns().size();
    Entries entries;
    bool listed = false;
    ASSERT_TRUE(provider->listStatus(entries, listed));
    EXPECT_TRUE(listed);
    QStringList paths;
    for (const SourceCodeControl::StatusEntry& entry : std::as_const(entries.received))
        paths << entry.path;
    // Each line once (the client's order within a folder is its hash order, another in each run).
    QStringList lines = pathsOfLines(svnOk({"status", "-u", "-v", "--ignore-externals"}, "ann", m_root));
    lines.sort();
    paths.sort();
    EXPECT_EQ(paths, lines);

    // Each entry is what status() answers, from the listing's run alone; an
    // external's own folder is answered by its own run.
    for (const SourceCodeControl::StatusEntry& entry : std::as_const(entries.received)) {
        SCOPED_TRACE(entry.path.toStdString());
        if (entry.path == "ext")
            continue;
        FileStatus answer;
        ASSERT_TRUE(provider->status(entry.path.split('/'), answer.controlled, answer.checkedOut, answer.modified,
                                     answer.outOfDate, answer.statusText, answer.revisionText,
                                     answer.lastChangedText));
        EXPECT_EQ(answerOf(true, answer),
                  answerOf(true, FileStatus{entry.controlled, entry.checkedOut, entry.modified, entry.outOfDate,
                                            entry.columns, entry.revision, entry.lastChangedRevision}));
    }
    EXPECT_EQ(clientRuns().mid(runsBefore).size(), 1) << clientRuns().mid(runsBefore).join('\n').toStdString();

    // Read already, one run per folder, or nothing bound: nothing runs, nothing is given.
    SourceCodeControlSystemProviderInterface4* unbound = allocate();
    m_made.emplace_back(unbound, release);
    for (SourceCodeControlSystemProviderInterface4* again : {provider, make("PerFolder"), unbound}) {
        Entries none;
        const qsizetype before = clientRuns().size();
        EXPECT_TRUE(again->listStatus(none, listed));
        EXPECT_FALSE(listed);
        EXPECT_TRUE(none.received.isEmpty());
        EXPECT_EQ(clientRuns().size(), before);
    }

    // With the server gone the working copy lists, in its own order.
    m_server->stop();
    SourceCodeControlSystemProviderInterface4* offline = make("WorkingCopy");
    Entries local;
    ASSERT_TRUE(offline->listStatus(local, listed));
    EXPECT_TRUE(listed && offline->isOffline());
    paths.clear();
    for (const SourceCodeControl::StatusEntry& entry : std::as_const(local.received)) {
        paths << entry.path;
        EXPECT_FALSE(entry.outOfDate) << entry.path.toStdString();
    }
    lines = pathsOfLines(svnOk({"status", "-v", "--ignore-externals"}, "ann", m_root));
    EXPECT_EQ(paths, lines);
}
