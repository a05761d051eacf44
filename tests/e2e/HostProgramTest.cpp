// scc-host as a user runs it: its subcommands against svnserve, its failure
// report, its help text and the demo.

#include "E2EFixture.h"

#include <QFileInfo>

namespace {

class HostProgram : public E2EFixture
{
protected:
    // scc-host with the plug-in, the server's URL and the user's password
    // file, then `arguments`.
    ToolRun host(const QStringList& arguments, const QString& user = QStringLiteral("ann"))
    {
        const QString passwordFile = m_base + QStringLiteral("/password-") + user;
        writeFile(passwordFile, passwordOf(user).toUtf8() + "\n");
        return runTool(QStringLiteral(SCC_HOST_PATH),
                       QStringList{QStringLiteral("--plugin"), QStringLiteral(PLUGIN_PATH),
                                   QStringLiteral("--url"), m_url, QStringLiteral("--user"), user,
                                   QStringLiteral("--password-file"), passwordFile,
                                   QStringLiteral("--locking"), QStringLiteral("yes")}
                           + arguments);
    }

    QStringList rooted(const QStringList& arguments)
    {
        return QStringList{QStringLiteral("--root"), m_base + QStringLiteral("/wc/project"),
                           QStringLiteral("--repository-root"), QStringLiteral("project")}
            + arguments;
    }
};

} // namespace

TEST_F(HostProgram, PasswordFromStandardInputAndTheFailureReport)
{
    const QStringList base = {QStringLiteral("--plugin"), QStringLiteral(PLUGIN_PATH),
                              QStringLiteral("--url"), m_url, QStringLiteral("--user"),
                              QStringLiteral("bob"), QStringLiteral("--password-stdin"),
                              QStringLiteral("login")};
    ToolRun run = runTool(QStringLiteral(SCC_HOST_PATH), base, QString(), "bob-secret\n");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("login bob")) << run.out.toStdString();

    run = runTool(QStringLiteral(SCC_HOST_PATH), base, QString(), "wrong\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("scc-host: login failed\n  info:")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("svn: E")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("wrong")) << "the password must not be echoed";
}

TEST_F(HostProgram, SubcommandsReachTheRepository)
{
    ToolRun run = host({QStringLiteral("mkdir"), QStringLiteral("project")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = host({QStringLiteral("mkdir"), QStringLiteral("project/docs")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(svnOk({QStringLiteral("list"), urlOf(QStringLiteral("project"))}), QByteArray("docs/\n"));

    // The first rooted call checks the project out.
    run = host(rooted({QStringLiteral("ls"), QStringLiteral("project")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QByteArray());
    const QString root = m_base + QStringLiteral("/wc/project");
    ASSERT_TRUE(QFileInfo::exists(root + QStringLiteral("/.svn/entries")));

    writeFile(root + QStringLiteral("/a b.txt"), "one\n");
    run = host(rooted({QStringLiteral("add"), QStringLiteral("./a b.txt"), QStringLiteral("-m"),
                       QStringLiteral("Add \"a b\"")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString firstRevision = youngest();
    EXPECT_EQ(logMessage(firstRevision), QByteArray("Add \"a b\""));

    run = host(rooted({QStringLiteral("status"), QStringLiteral("a b.txt")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QList<QByteArray> lines = run.out.split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.at(0).startsWith("controlled")) << run.out.toStdString();
    EXPECT_EQ(lines.at(1).simplified(),
              "yes no no no [ ] " + firstRevision.toLatin1() + " " + firstRevision.toLatin1() + " a b.txt");

    run = host(rooted({QStringLiteral("lock"), QStringLiteral("a b.txt"), QStringLiteral("-m"),
                       QStringLiteral("mine")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(svnOk({QStringLiteral("info"), urlOf(QStringLiteral("project/a b.txt"))})
                    .contains("\nLock Owner: ann\n"));
    // Bob cannot take it; the host says why and exits with 1.
    run = host(rooted({QStringLiteral("lock"), QStringLiteral("a b.txt")}), QStringLiteral("bob"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("lock a b.txt failed\n  lock:")) << run.err.toStdString();

    writeFile(root + QStringLiteral("/a b.txt"), "one\ntwo\n");
    run = host(rooted({QStringLiteral("commit"), QStringLiteral("a b.txt"), QStringLiteral("-m"),
                       QStringLiteral("line one\nline two")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(logMessage(QStringLiteral("HEAD")), QByteArray("line one\nline two"));
    // The commit released the lock (the client's default); unlock now fails.
    run = host(rooted({QStringLiteral("unlock"), QStringLiteral("a b.txt")}));
    EXPECT_EQ(run.exitCode, 1);

    const QString destination = m_base + QStringLiteral("/first.txt");
    run = host(rooted({QStringLiteral("cat"), QStringLiteral("a b.txt"), firstRevision, destination}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(readFile(destination), QByteArray("one\n"));

    writeFile(root + QStringLiteral("/a b.txt"), "scratch\n");
    run = host(rooted({QStringLiteral("get"), QStringLiteral("a b.txt"), QStringLiteral("--discard")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(readFile(root + QStringLiteral("/a b.txt")), QByteArray("one\ntwo\n"));

    run = host({QStringLiteral("ls"), QStringLiteral("project")});
    EXPECT_EQ(run.out, QByteArray("a b.txt\n"));
    run = host({QStringLiteral("dirs"), QStringLiteral("project/")});
    EXPECT_EQ(run.out, QByteArray("docs/\n"));
    run = host({QStringLiteral("ls"), QStringLiteral("absent")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("  list:")) << run.err.toStdString();
}

TEST_F(HostProgram, SaysWhatIsWrong)
{
    writeFile(m_base + QStringLiteral("/password"), "ann-secret\n");
    const QString plugin = QStringLiteral(PLUGIN_PATH);
    const QString notExecutable = m_base + QStringLiteral("/password");
    struct Case
    {
        QStringList arguments;
        int exitCode;
        QByteArray message;
    };
    const Case cases[] = {
        {{"--svn", "/no/such/svn", "login"}, 2, "scc-host: cannot run '/no/such/svn': not found\n"},
        {{"--svn", "scc-no-such-client", "login"}, 2, "scc-host: cannot run 'scc-no-such-client': not found\n"},
        {{"--svn", m_base, "login"}, 2, "scc-host: cannot run '" + m_base.toUtf8() + "': not executable\n"},
        {{"--svn", notExecutable, "login"}, 2, "scc-host: cannot run '" + notExecutable.toUtf8() + "': not executable\n"},
        {{"--url", m_url, "--user", "ann", "login"}, 2, "scc-host: --user needs --password-file or --password-stdin\n"},
        {{"--root", m_base, "lock", "a.txt"}, 2, "scc-host: lock needs --locking yes"},
        {{"--locking", "no", "--root", m_base, "unlock", "a.txt"}, 2, "scc-host: unlock needs --locking yes"},
        {{"--root", m_base, "status", "a.txt"}, 1, "scc-host: " + m_base.toUtf8() + " is not a working copy"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(QStringLiteral(SCC_HOST_PATH), QStringList{"--plugin", plugin} + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(c.message)) << run.err.toStdString();
    }
}

TEST_F(HostProgram, HelpNamesEveryOption)
{
    const ToolRun run = runTool(QStringLiteral(SCC_HOST_PATH), {QStringLiteral("--help")});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* word : {"--plugin", "--svn", "--url", "--user", "--password-file",
                             "--password-stdin", "--locking", "--root", "--repository-root",
                             "--keep", "status", "add", "get", "cat PATH REV DEST", "lock",
                             "unlock", "commit", "ls", "dirs", "mkdir", "login", "demo"})
        EXPECT_TRUE(run.out.contains(word)) << word;
    EXPECT_EQ(runTool(QStringLiteral(SCC_HOST_PATH), {QStringLiteral("--bogus")}).exitCode, 2);
}

TEST_F(HostProgram, DemoRunsTheLifeCycleAndCleansUp)
{
    const QString temporary = m_base + QStringLiteral("/tmp");
    ASSERT_TRUE(QDir().mkpath(temporary));
    QProcessEnvironment environment = m_environment;
    environment.insert(QStringLiteral("TMPDIR"), temporary);
    ToolRun run = runTool(QStringLiteral(SCC_HOST_PATH),
                          {QStringLiteral("--plugin"), QStringLiteral(PLUGIN_PATH), QStringLiteral("demo")},
                          QString(), QByteArray(), &environment);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(" as expected, 0 failed\n")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("FAIL"));
    EXPECT_TRUE(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());

    const QString kept = m_base + QStringLiteral("/kept");
    run = runTool(QStringLiteral(SCC_HOST_PATH),
                  {QStringLiteral("--plugin"), QStringLiteral(PLUGIN_PATH), QStringLiteral("--keep"),
                   kept, QStringLiteral("demo")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(kept + QStringLiteral("/work/project/.svn/entries")));
    EXPECT_EQ(readFile(kept + QStringLiteral("/work/project/readme.txt")),
              QByteArray("First version.\nSecond line.\nTheir line.\nAn edit.\n"));
    // A second run refuses the non-empty directory.
    run = runTool(QStringLiteral(SCC_HOST_PATH),
                  {QStringLiteral("--plugin"), QStringLiteral(PLUGIN_PATH), QStringLiteral("--keep"),
                   kept, QStringLiteral("demo")});
    EXPECT_EQ(run.exitCode, 1);
}
