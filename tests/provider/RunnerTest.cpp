// The svn command runner, options, credentials and the last error.

#include "ProviderFixture.h"

#include "EightBit.h"

namespace {

const QString Info = QStringLiteral("info");

TEST_F(ProviderTest, ArgumentVectorsCarryCredentialsExceptForAdd)
{
    QStringList output;
    ASSERT_TRUE(svn.executeSVNCommand("commit", {"-m", "a comment"}, rootPath, "f.c", output));
    ASSERT_TRUE(svn.executeSVNCommand("add", {"--quiet"}, rootPath, "f.c", output));
    ASSERT_TRUE(svn.executeSVNCommand("Add", {}, QString(), "f.c", output));
    ASSERT_TRUE(svn.executeSVNCommand("list", {}, QString(), QString(), output));
    ASSERT_TRUE(svn.executeSVNCommand("list", {}, QString(), "", output));

    auto calls = fake.calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].arguments,
              QStringList({fake.executable(), "commit", "-m", "a comment"}) + auth() + QStringList{"f.c"});
    EXPECT_EQ(calls[0].workingDirectory, rootPath);
    // "add" alone goes without credentials; the comparison is exact.
    EXPECT_EQ(calls[1].arguments, QStringList({fake.executable(), "add", "--quiet", "f.c"}));
    EXPECT_EQ(calls[2].arguments, QStringList({fake.executable(), "Add"}) + auth() + QStringList{"f.c"});
    // A null or empty target adds nothing: the vector ends with the password.
    EXPECT_EQ(calls[3].arguments, QStringList({fake.executable(), "list"}) + auth());
    EXPECT_EQ(calls[4].arguments, QStringList({fake.executable(), "list"}) + auth());
    // A null working directory leaves the child where the caller is.
    EXPECT_EQ(calls[3].workingDirectory, QDir::currentPath());
}

TEST_F(ProviderTest, TargetsAlwaysReachTheClientAsPaths)
{
    struct Case
    {
        QString name;
        QStringList tail;
    };
    const Case cases[] = {
        {"plain.c", {"plain.c"}},
        {"-x.txt", {"--", "-x.txt"}},
        {"--force", {"--", "--force"}},
        {"icon@2x.png", {"icon@2x.png@"}},
        {"-a@b", {"--", "-a@b@"}},
        {"日本/文書.txt", {"日本/文書.txt"}},
    };
    std::vector<ExpectedRun> runs;
    for (const Case& c : cases) {
        ASSERT_TRUE(svn.checkin(c.name.split('/'), "c"));
        runs.push_back({rootPath, withAuth({"commit", "-m", "c"}, c.tail)});
    }
    // A check-out's target is the directory it creates: no peg revision
    // there; a local name starting with "-" goes as "./-name".
    makeWorkingCopy();
    QDir().mkpath(rootPath + "/a@b");
    svn.repositoryURL = "svn://ann@host/r";
    ASSERT_TRUE(svn.addFile({"a@b", "f.c"}, "c"));
    runs.push_back({QDir::currentPath(), withAuth({"info"}, {"svn://repo/trunk/a@b@"})});
    runs.push_back({rootPath, withAuth({"checkout", "--non-recursive", "svn://repo/trunk/a@b@"}, {"a@b"})});
    runs.push_back({rootPath + "/a@b", {"add", "--non-recursive", "--quiet", "f.c"}});
    runs.push_back({rootPath + "/a@b", withAuth({"commit", "--message", "c"}, {"f.c"})});
    ASSERT_TRUE(svn.setRoots(svn.localRoots + QStringList{"-proj"}, {"x@y"}));
    runs.push_back({rootPath, withAuth({"checkout", "-N", "svn://ann@host/r/x@y@", "./-proj"})});
    expectRuns(runs);

    // A name that is not valid UTF-8 reaches the client byte for byte.
    const QString undecodable = fromEightBit(QByteArray("caf\xe9"));
    ASSERT_TRUE(svn.checkin({undecodable}, undecodable));
    EXPECT_EQ(toEightBit(args(int(runs.size())).last()), QByteArray("caf\xe9"));
}

TEST_F(ProviderTest, APathLikeMessageIsRetriedOnceWithForceLog)
{
    const QByteArray pathname = "svn: E205005: The log message is a pathname (was -F intended?); "
                                "use '--force-log' to override\n";
    fake.respond("", pathname, 1);
    ASSERT_TRUE(svn.checkin({"README"}, "README"));
    fake.respond("", pathname, 1);
    fake.respond("", pathname, 1);
    EXPECT_FALSE(svn.checkout({"a.c"}, "a.c", false));
    fake.respond("", "svn: E000001: refused\n", 1);
    EXPECT_FALSE(svn.checkin({"b.c"}, "b.c"));
    expectRuns({{rootPath, withAuth({"commit", "-m", "README"}, {"README"})},
                {rootPath, withAuth({"commit", "-m", "README", "--force-log"}, {"README"})},
                {rootPath, withAuth({"lock", "-m", "a.c"}, {"a.c"})},
                {rootPath, withAuth({"lock", "-m", "a.c", "--force-log"}, {"a.c"})},
                {rootPath, withAuth({"commit", "-m", "b.c"}, {"b.c"})}});
}

TEST_F(ProviderTest, PasswordFromStandardInputTimeLimitAndALockedWorkingCopy)
{
    // The password goes to standard input, never into an argument; "add"
    // still gets no credentials.
    ASSERT_TRUE(svn.setOption(SourceCodeControlOption::PasswordFromStdin, "Yes"));
    QStringList output;
    ASSERT_TRUE(svn.executeSVNCommand("info", {}, QString(), "svn://x", output));
    ASSERT_TRUE(svn.executeSVNCommand("add", {}, rootPath, "f.c", output));
    // Another client's working-copy lock is waited for.
    const QByteArray locked = "svn: E155004: Working copy '/w' locked.\n";
    fake.respond("", locked, 1);
    fake.respond("", locked, 1);
    ASSERT_TRUE(svn.checkin({"f.c"}, "c"));
    expectRuns({{QDir::currentPath(), {"info", "--no-auth-cache", "--non-interactive", "--username", "ann",
                                      "--password-from-stdin", "svn://x"}},
                {rootPath, {"add", "f.c"}},
                {rootPath, {"commit", "-m", "c", "--no-auth-cache", "--non-interactive", "--username", "ann",
                            "--password-from-stdin", "f.c"}},
                {rootPath, {"commit", "-m", "c", "--no-auth-cache", "--non-interactive", "--username", "ann",
                            "--password-from-stdin", "f.c"}},
                {rootPath, {"commit", "-m", "c", "--no-auth-cache", "--non-interactive", "--username", "ann",
                            "--password-from-stdin", "f.c"}}});
    EXPECT_EQ(fake.standardInput(0), "secret\n");
    EXPECT_EQ(fake.standardInput(4), "secret\n");
    ASSERT_TRUE(svn.setOption(SourceCodeControlOption::PasswordFromStdin, "yes"));
    ASSERT_TRUE(svn.executeSVNCommand("info", {}, QString(), "svn://x", output));
    EXPECT_EQ(args(5), withAuth({"info"}, {"svn://x"}));

    // A client that does not finish in time is stopped; the operation fails
    // with a message naming the limit and runs nothing more (no "info" after
    // the status run).
    makeWorkingCopy();
    ASSERT_TRUE(svn.setOption(SourceCodeControlOption::Timeout, "1"));
    fake.respond("", "", 0, 60000);
    bool controlled = true, checkedOut, modified, outOfDate;
    QString text, revision, changed;
    EXPECT_FALSE(svn.status({"f.c"}, controlled, checkedOut, modified, outOfDate, text, revision, changed));
    EXPECT_FALSE(controlled);
    EXPECT_EQ(fake.callCount(), 7);
    QString command;
    EXPECT_EQ(svn.getLastError(command),
              "the client did not finish within the time limit of 1 seconds (SVNTimeout) and was stopped");
    EXPECT_EQ(command, "status");
}

TEST_F(ProviderTest, TheClientSpeaksEnglishAndUtf8WhateverTheHostsLocale)
{
    const QByteArray savedAll = qgetenv("LC_ALL");
    qputenv("LC_ALL", "C");
    qputenv("LANGUAGE", "de");
    QStringList output;
    svn.executeSVNCommand("info", {}, QString(), "svn://x", output);
    qputenv("LC_ALL", savedAll);
    qunsetenv("LANGUAGE");
    EXPECT_EQ(fake.environment(0, "LC_ALL"), QByteArray());
    EXPECT_EQ(fake.environment(0, "LANGUAGE"), QByteArray());
    EXPECT_EQ(fake.environment(0, "LC_MESSAGES"), "C");
    EXPECT_EQ(fake.environment(0, "LC_CTYPE"), "C.UTF-8");
    EXPECT_FALSE(fake.environment(0, "PATH").isEmpty()); // the rest is the host's
}

TEST_F(ProviderTest, NullCredentialsAreEmptyArguments)
{
    svn.userName = QString();
    svn.password = QString();
    QStringList output;
    ASSERT_TRUE(svn.executeSVNCommand("info", {}, QString(), "svn://x", output));
    EXPECT_EQ(args(0), QStringList({"info", "--no-auth-cache", "--non-interactive", "--username", "",
                                    "--password", "", "svn://x"}));
}

TEST_F(ProviderTest, OutputIsReplacedAndKeptOnFailure)
{
    QStringList output{"stale"};
    fake.respond("one\ntwo\n");
    ASSERT_TRUE(svn.executeSVNCommand("list", {}, QString(), QString(), output));
    EXPECT_EQ(output, QStringList({"one", "two"}));

    output = QStringList{"stale"};
    fake.respond("partial\n", "", 1);
    EXPECT_FALSE(svn.executeSVNCommand("list", {}, QString(), QString(), output));
    EXPECT_EQ(output, QStringList{"partial"});

    output = QStringList{"stale"};
    fake.respond("", "", 2);
    EXPECT_FALSE(svn.executeSVNCommand("list", {}, QString(), QString(), output));
    EXPECT_TRUE(output.isEmpty());
}

TEST_F(ProviderTest, PathListFormRunsInTheLocalRoot)
{
    QStringList output;
    ASSERT_TRUE(svn.executeSVNCommand("update", {}, QStringList{"src", "main.c"}, output));
    ASSERT_TRUE(svn.executeSVNCommand("update", {}, QStringList{}, output));
    EXPECT_EQ(args(0), QStringList{"update"} + auth() + QStringList{"src/main.c"});
    EXPECT_EQ(dirOf(0), rootPath);
    EXPECT_EQ(args(1), QStringList{"update"} + auth());
}

TEST_F(ProviderTest, LastErrorFollowsTheFailedRuns)
{
    QString command;
    EXPECT_TRUE(svn.getLastError(command).isNull());
    EXPECT_TRUE(command.isNull());

    QStringList output;
    // A warning with exit code 0 is a failure.
    fake.respond("", "svn: warning: W1\n", 0);
    EXPECT_FALSE(svn.executeSVNCommand("update", {}, QString(), QString(), output));
    EXPECT_EQ(svn.getLastError(command), "svn: warning: W1");
    EXPECT_EQ(command, "update");

    // A success leaves the pair, and reading does not clear it.
    fake.respond("fine\n");
    EXPECT_TRUE(svn.executeSVNCommand("list", {}, QString(), QString(), output));
    EXPECT_EQ(svn.getLastError(command), "svn: warning: W1");
    EXPECT_EQ(command, "update");

    // Two lines are joined by one line feed, CR LF or not; the second failure replaces the first.
    fake.respond("", "a\r\nb\r\n", 1);
    EXPECT_FALSE(svn.executeSVNCommand("commit", {}, QString(), QString(), output));
    EXPECT_EQ(svn.getLastError(command), "a\nb");
    EXPECT_EQ(command, "commit");

    // A non-zero exit without error lines gives an empty message.
    fake.respond("out\n", "", 3);
    EXPECT_FALSE(svn.executeSVNCommand("lock", {}, QString(), QString(), output));
    EXPECT_TRUE(svn.getLastError(command).isEmpty());
    EXPECT_EQ(command, "lock");

    // A client that cannot be started fails with an empty message.
    svn.setOption(SourceCodeControlOption::Executable, root.path() + "/no-such-svn");
    EXPECT_FALSE(svn.executeSVNCommand("unlock", {}, QString(), QString(), output));
    EXPECT_TRUE(svn.getLastError(command).isEmpty());
    EXPECT_EQ(command, "unlock");
    svn.setOption(SourceCodeControlOption::Executable, QString());
    EXPECT_FALSE(svn.executeSVNCommand("cat", {}, QString(), QString(), output));
    EXPECT_EQ(command, "unlock"); // the out-parameter is only written by getLastError
    svn.getLastError(command);
    EXPECT_EQ(command, "cat");

    svn.setLastError("x", "y");
    EXPECT_EQ(svn.getLastError(command), "y");
    EXPECT_EQ(command, "x");
}

TEST(Provider, OptionsAreExactKeys)
{
    TestableSVN svn;
    EXPECT_FALSE(svn.checkOutSupported());
    EXPECT_TRUE(svn.svnExecutable.isNull());
    EXPECT_TRUE(svn.repositoryURL.isNull());

    EXPECT_TRUE(svn.setOption(SourceCodeControlOption::Executable, " /usr/bin/svn "));
    EXPECT_EQ(svn.svnExecutable, " /usr/bin/svn ");
    EXPECT_TRUE(svn.setOption(SourceCodeControlOption::RepositoryURL, "file:///r"));
    EXPECT_EQ(svn.repositoryURL, "file:///r");
    EXPECT_TRUE(svn.setOption(SourceCodeControlOption::LockSupported, "Yes"));
    EXPECT_TRUE(svn.checkOutSupported());
    EXPECT_TRUE(svn.setOption(SourceCodeControlOption::LockSupported, "yes"));
    EXPECT_FALSE(svn.checkOutSupported());

    EXPECT_FALSE(svn.setOption(QString::fromLatin1(SourceCodeControlOption::Executable).toLower(), "x"));
    EXPECT_FALSE(svn.setOption(QLatin1Char(' ') + QLatin1String(SourceCodeControlOption::Executable), "x"));
    EXPECT_FALSE(svn.setOption(QLatin1String(SourceCodeControlOption::LockSupported) + QLatin1Char(' '), "Yes"));
    EXPECT_EQ(svn.svnExecutable, " /usr/bin/svn ");
    EXPECT_FALSE(svn.checkOutSupported());
}

TEST_F(ProviderTest, LoginStoresCredentialsWhateverTheOutcome)
{
    fake.respond("", "svn: E170001: Authentication failed\n", 1);
    EXPECT_FALSE(svn.login("bob", "wrong", "svn://other"));
    EXPECT_EQ(svn.userName, "bob");
    EXPECT_EQ(svn.password, "wrong");
    EXPECT_EQ(svn.repositoryURL, "svn://other");
    QString command;
    EXPECT_EQ(svn.getLastError(command), "svn: E170001: Authentication failed");
    EXPECT_EQ(command, Info);
    EXPECT_EQ(args(0), QStringList{"info"} + FakeSvn::auth("bob", "wrong") + QStringList{"svn://other"});
    EXPECT_EQ(dirOf(0), QDir::currentPath());

    fake.respond("Path: other\n");
    EXPECT_TRUE(svn.login("bob", "right", "svn://other"));

    // Logout empties the cache only: the next run still carries the credentials.
    svn.statusCache.emplace("/somewhere", nullptr);
    EXPECT_TRUE(svn.logout());
    EXPECT_TRUE(svn.statusCache.empty());
    QStringList output;
    svn.executeSVNCommand("list", {}, QString(), QString(), output);
    EXPECT_EQ(args(2), QStringList{"list"} + FakeSvn::auth("bob", "right"));
}

TEST(Provider, FixedAnswers)
{
    TestableSVN svn;
    QStringList local{"stale"}, repository{"stale"};
    EXPECT_TRUE(svn.getRoots(local, repository));
    EXPECT_TRUE(local.isEmpty());
    EXPECT_TRUE(repository.isEmpty());

    QString root = QStringLiteral("untouched");
    EXPECT_TRUE(svn.getRoot(root));
    EXPECT_EQ(root, "untouched");
    EXPECT_FALSE(svn.merged({"a.c"}, "text"));
    EXPECT_FALSE(svn.merged({}, QString()));
    EXPECT_TRUE(svn.refreshDirectoriesList({"x"}));
    EXPECT_TRUE(svn.refresh());
}

/** logout() must reach refresh() through the interface, so an override is used. */
TEST(Provider, LogoutCallsTheOverriddenRefresh)
{
    struct CountingSVN : SVNInterface
    {
        int refreshes = 0;
        bool refresh() override
        {
            ++refreshes;
            return SVNInterface::refresh();
        }
    } svn;
    EXPECT_TRUE(svn.logout());
    EXPECT_EQ(svn.refreshes, 1);
}

} // namespace
