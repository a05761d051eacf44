// scc-host as a user runs it: the password on standard input, its failure
// report and usage errors, and the demo; and the hosts' switch for the
// command log, which adds to the host's logging rules.

#include "E2EFixture.h"

#include "ClientLog.h"

#include <QLoggingCategory>

using HostProgram = E2EFixture;

TEST_F(HostProgram, PasswordFromStandardInputAndTheFailureReport)
{
    const QStringList base = {"--plugin", PLUGIN_PATH, "--url", m_url, "--user", "bob", "--password-stdin", "login"};
    ToolRun run = runTool(SCC_HOST_PATH, QStringList{"--verbose"} + base, QString(), "bob-secret\n");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("login bob")) << run.out.toStdString();
    // --verbose: the command log on standard error, plain lines, the password masked.
    EXPECT_TRUE(run.err.startsWith("run 1 in ")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(": svn info ")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("\nrun 1 ended: exit 0, ")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("bob-secret")) << run.err.toStdString();

    run = runTool(SCC_HOST_PATH, base, QString(), "wrong\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("scc-host: login failed\n  info:")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("svn: E")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("wrong")) << "the password must not be echoed";
}

TEST_F(HostProgram, EachSubcommandReachesTheRepository)
{
    // One row per scc-host run: its arguments (after the global ones, with
    // the root bound where a row needs it) and what it must print.
    const QString root = m_base + "/wc/project";
    const QString destination = m_base + "/first.txt";
    writeBytes(m_base + "/password", "ann-secret\n");
    struct Row { QStringList arguments; bool rooted; QByteArray out; };
    const Row rows[] = {
        {{"mkdir", "project"}, false, "created project in the repository\n"},
        {{"mkdir", "project/docs"}, false, "created project/docs in the repository\n"},
        {{"ls", "project"}, true, ""}, // the first rooted run checks the project out
        {{"add", "./a b.txt", "-m", "Add \"a b\""}, true, "added and committed ./a b.txt\n"},
        {{"lock", "a b.txt", "-m", "mine"}, true, "locked a b.txt\n"},
        {{"commit", "a b.txt", "-m", "line one\nline two"}, true, "committed a b.txt\n"},
        {{"cat", "a b.txt", "3", destination}, true, "wrote a b.txt at revision 3 to " + destination.toUtf8() + "\n"},
        {{"get", "./docs/../a b.txt", "--discard"}, true, "updated ./docs/../a b.txt (local copy replaced)\n"},
        {{"ls", "project"}, false, "a b.txt\n"},
        {{"dirs", "project/"}, false, "docs/\n"},
    };
    for (const Row& row : rows) {
        const QString& subcommand = row.arguments.first();
        if (subcommand == "add" || subcommand == "commit" || subcommand == "get")
            writeBytes(root + "/a b.txt",
                       subcommand == "add" ? "one\n" : subcommand == "get" ? "scratch\n" : "one\ntwo\n");
        QStringList arguments{"--plugin", PLUGIN_PATH, "--url", m_url, "--user", "ann", "--password-file",
                              m_base + "/password", "--locking", "yes"};
        if (row.rooted)
            arguments << "--root" << root << "--repository-root" << "project";
        const ToolRun run = runTool(SCC_HOST_PATH, arguments + row.arguments);
        EXPECT_EQ(run.exitCode, 0) << row.arguments.join(' ').toStdString() << ": " << run.err.toStdString();
        EXPECT_EQ(run.out, row.out) << row.arguments.join(' ').toStdString();
    }
    EXPECT_EQ(logMessage("HEAD"), QByteArray("line one\nline two"));
    EXPECT_EQ(readBytes(destination), QByteArray("one\n"));
    EXPECT_EQ(readBytes(root + "/a b.txt"), QByteArray("one\ntwo\n"));
}

TEST_F(HostProgram, SaysWhatIsWrong)
{
    writeBytes(m_base + "/password", "ann-secret\n");
    const QString notExecutable = m_base + "/password";
    // A client that cannot be run fails the first provider run, here the login's.
    const QStringList login{"--url", m_url, "--user", "ann", "--password-file", notExecutable, "login"};
    const QByteArray cannotRun = "scc-host: login failed\n  info: cannot run '";
    struct Case { QStringList arguments; int exitCode; QByteArray message; };
    const Case cases[] = {
        {QStringList{"--svn", "/no/such/svn"} + login, 1, cannotRun + "/no/such/svn': not found\n"},
        {QStringList{"--svn", "scc-no-such-client"} + login, 1, cannotRun + "scc-no-such-client': not found\n"},
        {QStringList{"--svn", m_base} + login, 1, cannotRun + m_base.toUtf8() + "': not executable\n"},
        {QStringList{"--svn", notExecutable} + login, 1, cannotRun + notExecutable.toUtf8() + "': not executable\n"},
        {{"--url", m_url, "--user", "ann", "login"}, 2, "scc-host: --user needs --password-file or --password-stdin\n"},
        {{"--root", m_base, "lock", "a.txt"}, 2, "scc-host: lock needs --locking yes"},
        {{"--locking", "no", "--root", m_base, "unlock", "a.txt"}, 2, "scc-host: unlock needs --locking yes"},
        {{"--root", m_base, "status", "a.txt"}, 1, "scc-host: " + m_base.toUtf8() + " is not a working copy"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(SCC_HOST_PATH, QStringList{"--plugin", PLUGIN_PATH} + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(c.message)) << run.err.toStdString();
    }
}

TEST_F(HostProgram, DemoRunsTheLifeCycleAndCleansUp)
{
    const QString temporary = m_base + "/tmp";
    ASSERT_TRUE(QDir().mkpath(temporary));
    QProcessEnvironment environment = m_environment;
    environment.insert("TMPDIR", temporary);
    ToolRun run = runTool(SCC_HOST_PATH, {"--plugin", PLUGIN_PATH, "demo"}, QString(), QByteArray(), &environment);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(" as expected, 0 failed\n")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("FAIL"));
    EXPECT_TRUE(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());

    // A folder to keep the demo in must be empty: what is there stays.
    writeBytes(m_base + "/kept.txt", "mine\n");
    run = runTool(SCC_HOST_PATH, {"--plugin", PLUGIN_PATH, "--keep", m_base, "demo"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(readBytes(m_base + "/kept.txt"), "mine\n");
}

TEST(ClientLog, AddsItsRuleToTheHostsRules)
{
    QLoggingCategory::setFilterRules("host.loud.debug=true\nhost.quiet.debug=false");
    QLoggingCategory loud("host.loud"), quiet("host.quiet"), client("svnscc.client");
    enableClientLog();
    enableClientLog(); // a second call changes nothing
    EXPECT_TRUE(client.isDebugEnabled());
    EXPECT_TRUE(loud.isDebugEnabled());
    EXPECT_FALSE(quiet.isDebugEnabled());
    // Rules the host sets later apply too, and the command log stays on.
    QLoggingCategory::setFilterRules("host.loud.debug=false");
    EXPECT_TRUE(client.isDebugEnabled());
    EXPECT_FALSE(loud.isDebugEnabled());
    EXPECT_TRUE(QLoggingCategory("svnscc.client").isDebugEnabled()); // one made after
}
