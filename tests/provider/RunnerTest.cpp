// The svn command runner: argument vectors, retries, the children's
// environment, output and the last error; options and login.

#include "ProviderFixture.h"

#include "EightBit.h"
#include "HostOptions.h"
#include "ProviderSetUp.h"
#include "SVNRetryPolicy.h"
#include "ScopedVariable.h"

namespace {

TEST_F(ProviderTest, ArgumentVectors)
{
    QStringList output;
    seam.execute("commit", {"-m", "a comment"}, rootPath, "f.c", output);
    seam.execute("add", {"--quiet"}, rootPath, "f.c", output); // "add" alone: no credentials
    seam.execute("Add", {}, QString(), "f.c", output);         // the comparison is exact
    seam.execute("list", {}, QString(), QString(), output);     // no target: ends with the password
    seam.execute("update", {}, QStringList{"src", "main.c"}, output);
    // A target is always a path: "--" before a leading "-", an empty peg
    // revision after an "@"; names pass as UTF-8.
    for (const QString name : {"-x.txt", "--force", "icon@2x.png", "-a@b", "日本/文書.txt"})
        svn.checkin(name.split('/'), "c");
    // A check-out's target is the folder it makes: no peg there, "./" before a "-".
    makeWorkingCopy();
    QDir().mkpath(rootPath + "/a@b");
    svn.setOption(SourceCodeControlOption::RepositoryURL, "svn://ann@host/r");
    fake.respond("Path: a@b\n");
    svn.addFile({"a@b", "f.c"}, "c");
    svn.setRoots(rootPath.split('/', Qt::SkipEmptyParts) + QStringList{"-proj"}, {"x@y"});
    seam.client().setCredentials(QString(), QString()); // no user: the client's own credentials
    seam.execute("info", {}, QString(), "svn://x", output);
    const QString here = QDir::currentPath();
    expectRuns({
        {rootPath, withAuth({"commit", "-m", "a comment"}, {"f.c"})},
        {rootPath, {"add", "--quiet", "f.c"}},
        {here, withAuth({"Add"}, {"f.c"})},
        {here, withAuth({"list"})},
        {rootPath, withAuth({"update"}, {"src/main.c"})},
        {rootPath, withAuth(QStringList{"commit"} + message("c"), {"--", "-x.txt"})},
        {rootPath, withAuth(QStringList{"commit"} + message("c"), {"--", "--force"})},
        {rootPath, withAuth(QStringList{"commit"} + message("c"), {"icon@2x.png@"})},
        {rootPath, withAuth(QStringList{"commit"} + message("c"), {"--", "-a@b@"})},
        {rootPath, withAuth(QStringList{"commit"} + message("c"), {"日本/文書.txt"})},
        {here, withAuth({"info"}, {"svn://repo/trunk/a@b@"})},
        {rootPath, withAuth({"checkout", "--non-recursive", "svn://repo/trunk/a@b@"}, {"a@b"})},
        {rootPath + "/a@b", {"add", "--non-recursive", "--quiet", "f.c"}},
        {rootPath + "/a@b", withAuth(QStringList{"commit"} + message("c"), {"f.c"})},
        {rootPath, withAuth({"checkout", "-N", "svn://ann@host/r/x@y@", "./-proj"})},
        {here, {"info", "--no-auth-cache", "--non-interactive", "svn://x"}},
    });
    // A name that is not valid UTF-8 reaches the client byte for byte.
    seam.bind(rootPath, "svn://repo/trunk");
    svn.checkin({fromEightBit(QByteArray("caf\xe9"))}, "c");
    EXPECT_EQ(toEightBit(fake.calls().back().arguments.last()), QByteArray("caf\xe9"));
}

TEST_F(ProviderTest, MessagesReachTheClientThroughAFileWhateverTheirSizeAndStart)
{
    // Larger than one argument may be, starting with "-", naming a file,
    // with a character that is not valid UTF-8 kept as its byte; none of it
    // in the argument vector, the file gone afterwards.
    const QString large = "-" + QString(200 * 1024, 'x') + "\nline two\n";
    const QString odd = "README " + fromEightBit(QByteArray("caf\xe9"));
    EXPECT_TRUE(svn.checkin({"README"}, large));
    EXPECT_TRUE(svn.checkout({"a.c"}, odd, false));
    EXPECT_TRUE(svn.createDirectory({}, "d"));
    EXPECT_TRUE(svn.checkin({"b.c"}, QString()));
    const QList<QByteArray> expected{large.toUtf8(), toEightBit(odd), "Quillhaven Generated", ""};
    std::vector<int> withMessage;
    const std::vector<FakeSvn::Call> calls = fake.calls();
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].arguments.contains("--file"))
            withMessage.push_back(int(i));
    ASSERT_EQ(withMessage.size(), size_t(expected.size()));
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(fake.message(withMessage[size_t(i)]), expected[i]) << i;
        const QStringList& argv = calls[size_t(withMessage[size_t(i)])].arguments;
        const qsizetype file = argv.indexOf("--file");
        ASSERT_GT(file, 0);
        EXPECT_EQ(argv.mid(file + 2, 2), QStringList({"--encoding", "UTF-8"}));
        EXPECT_FALSE(QFileInfo::exists(argv.at(file + 1)));
        EXPECT_FALSE(argv.contains("-m") || argv.contains("--message") || argv.contains("--force-log"));
    }
}

TEST_F(ProviderTest, RetriesOnlyWhatTheClientAsksFor)
{
    // A working copy locked by another client, or still busy with its queued work: waited for.
    fake.respond("", "svn: E155004: Working copy '/w' locked.\n", 1);
    fake.respond("", "svn: E155037: Previous operation has not finished; run 'cleanup' if it was interrupted\n", 1);
    EXPECT_TRUE(svn.checkin({"f.c"}, "c"));
    // Done, but a hook failed after it: done, the hook's message kept.
    fake.respond("'h.c' locked by user 'ann'.\n",
                 "svn: E165008: Locking succeeded, but post-lock hook failed\n"
                 "svn: E165001: post-lock hook failed (exit code 1) with output:\nno\n", 1);
    QStringList output;
    EXPECT_TRUE(seam.execute("lock", {}, rootPath, "h.c", output));
    EXPECT_EQ(lastError(), "lock: svn: E165008: Locking succeeded, but post-lock hook failed\n"
                           "svn: E165001: post-lock hook failed (exit code 1) with output:\nno");
    // Anything else: never.
    fake.respond("", "svn: E000001: refused\n", 1);
    EXPECT_FALSE(svn.checkin({"b.c"}, "b.c"));
    const QStringList commitF = withAuth(QStringList{"commit"} + message("c"), {"f.c"});
    expectRuns({{rootPath, commitF}, {rootPath, commitF}, {rootPath, commitF},
                {rootPath, withAuth({"lock"}, {"h.c"})},
                {rootPath, withAuth(QStringList{"commit"} + message("b.c"), {"b.c"})}});
    EXPECT_EQ(lastError(), "commit: svn: E000001: refused");
}

TEST_F(ProviderTest, PasswordOnStandardInputAndTimeLimit)
{
    // Only "Yes" sends the password on standard input; "add" gets none.
    ASSERT_TRUE(svn.setOption(SourceCodeControlOption::PasswordFromStdin, "Yes"));
    QStringList output;
    seam.execute("info", {}, QString(), "svn://x", output);
    seam.execute("add", {}, rootPath, "f.c", output);
    ASSERT_TRUE(svn.setOption(SourceCodeControlOption::PasswordFromStdin, "yes"));
    seam.execute("info", {}, QString(), "svn://x", output);
    const QString here = QDir::currentPath();
    expectRuns({{here, {"info", "--no-auth-cache", "--non-interactive", "--username", "ann",
                        "--password-from-stdin", "svn://x"}},
                {rootPath, {"add", "f.c"}},
                {here, withAuth({"info"}, {"svn://x"})}});
    EXPECT_EQ(fake.standardInput(0), "secret\n");

    // A client silent for the time limit is stopped, with a message naming
    // the limit; a status run so stopped is answered from the working copy
    // alone, and the repository is not asked after it.
    makeWorkingCopy();
    ASSERT_TRUE(svn.setOption(SourceCodeControlOption::Timeout, "1"));
    fake.respond("", "", 0, 60000);
    const Answer answer = ask({"f.c"});
    EXPECT_TRUE(answer.result && !answer.controlled);
    EXPECT_EQ(fake.callCount(), 5);
    EXPECT_EQ(fake.calls().back().arguments.mid(1), withAuth({"status", "--non-recursive", "--verbose"}));
    EXPECT_TRUE(lastError().startsWith(
        "status: the client was silent for 1 seconds, the time limit (SVNTimeout), and was stopped after 1."))
        << lastError().toStdString();

    // Both hosts read the first line of a password file, also one written
    // with CR LF, and send the password on standard input.
    writeFile("password", "from-file\r\nsecond line\n");
    HostOptions options;
    const QString problem = parseHostOptions({"--svn", fake.executable(), "--url", "svn://host/r", "--user", "bob",
                                              "--password-file", rootPath + "/password"}, options);
    EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
    EXPECT_FALSE(setUpProvider(svn, options).failed());
    EXPECT_EQ(fake.calls().back().arguments.mid(1), QStringList({"info", "--no-auth-cache", "--non-interactive",
                                                                 "--username", "bob", "--password-from-stdin",
                                                                 "svn://host/r"}));
    EXPECT_EQ(fake.standardInput(fake.callCount() - 1), "from-file\n");

    // Without a user name no password goes anywhere, on standard input neither.
    seam.client().setCredentials(QString(), "secret");
    seam.execute("info", {}, QString(), "svn://x", output);
    EXPECT_EQ(fake.calls().back().arguments.mid(1), QStringList({"info", "--no-auth-cache", "--non-interactive",
                                                                 "svn://x"}));
    EXPECT_EQ(fake.standardInput(fake.callCount() - 1), QByteArray());
}

TEST_F(ProviderTest, TheClientSpeaksEnglishAndUtf8WhateverTheHostsLocale)
{
    const ScopedVariable all("LC_ALL", "C"), language("LANGUAGE", "de");
    QStringList output;
    seam.execute("info", {}, QString(), "svn://x", output);
    EXPECT_EQ(fake.environment(0, "LC_ALL"), QByteArray());
    EXPECT_EQ(fake.environment(0, "LANGUAGE"), QByteArray());
    EXPECT_EQ(fake.environment(0, "LC_MESSAGES"), "C");
    EXPECT_EQ(fake.environment(0, "LC_CTYPE"), "C.UTF-8");
    EXPECT_FALSE(fake.environment(0, "PATH").isEmpty()); // the rest is the host's

    // It is the host's environment as it was at the first run after a setting changed.
    const ScopedVariable mark("SVNSCC_MARK", "before");
    svn.setOption(SourceCodeControlOption::Timeout, "0");
    seam.execute("info", {}, QString(), "svn://x", output);
    qputenv("SVNSCC_MARK", "after");
    seam.execute("info", {}, QString(), "svn://x", output);
    svn.setOption(SourceCodeControlOption::Executable, fake.executable());
    seam.execute("info", {}, QString(), "svn://x", output);
    EXPECT_EQ(fake.environment(1, "SVNSCC_MARK"), "before");
    EXPECT_EQ(fake.environment(2, "SVNSCC_MARK"), "before");
    EXPECT_EQ(fake.environment(3, "SVNSCC_MARK"), "after");
}

TEST(RetryTable, EachRowRepeatsOnceOrWaitsItsBudget)
{
    // The client's own lines, as svn 1.14.2 printed them.
    const char* const lockedLines = "svn: E155004: Run 'svn cleanup' to remove locks (type 'svn help cleanup' for "
                                    "details)\nsvn: E155004: Commit failed (details follow):\nsvn: E155004: Working "
                                    "copy '/w' locked.\nsvn: E155004: '/w' is already locked.";
    const char* const readOnly = "svn: E155004: Run 'svn cleanup' to remove locks (type 'svn help cleanup' for "
                                 "details)\nsvn: E155004: Failed to lock working copy '/w'.\nsvn: E200031: sqlite[S8]: "
                                 "attempt to write a readonly database\nsvn: E200042: Additional errors:\nsvn: "
                                 "E200031: sqlite[S8]: attempt to write a readonly database";
    struct Case { const char* message; int repeats; int waitedMs; };
    const Case cases[] = {
        {"svn: E205005: The log message is a pathname (was -F intended?)", 0, 0},
        {lockedLines, 8, 10000},
        {"svn: E155004: Failed to lock working copy '/w'.\nsvn: E200033: sqlite[S5]: database is locked", 8, 10000},
        {readOnly, 0, 0},
        {"svn: E155037: Previous operation has not finished", 6, 3000},
        {"svn: E000001: refused\nE155004 locked.", 0, 0}, // a code counts only on a line of the client's own
        {"svn: E000001: refused", 0, 0},
    };
    for (const Case& c : cases) {
        SVNRetries retries;
        SVNRunResult attempt;
        attempt.exitCode = 1;
        attempt.errors = QString::fromLatin1(c.message).split('\n');
        attempt.codes = SVNRunResult::codesOf(attempt.errors);
        EXPECT_EQ(SVNRetries::waitsFor(attempt), c.repeats > 0) << c.message;
        int repeats = 0, waitedMs = 0;
        for (SVNRetries::Step step; (step = retries.next(attempt)).rule && repeats < 100;) {
            ++repeats;
            waitedMs += step.pauseMs;
        }
        EXPECT_EQ(repeats, c.repeats) << c.message;
        EXPECT_EQ(waitedMs, c.waitedMs) << c.message;
    }

    // Done, but a hook failed after it: accepted. A hook that stopped the
    // work is not. (A failed post-commit hook is no failed run at all: the
    // client prints it on standard output and exits 0.)
    struct Accepted { const char* message; bool accepted; };
    const Accepted accepted[] = {
        {"svn: E165008: Locking succeeded, but post-lock hook failed\nsvn: E165001: post-lock hook failed (exit code 1) "
         "with output:\nno", true},
        {"svn: E165009: Unlock succeeded, but post-unlock hook failed\nsvn: E165001: post-unlock hook failed (exit "
         "code 1) with output:\nno", true},
        {"svn: E165001: Commit failed (details follow):\nsvn: E165001: Commit blocked by pre-commit hook (exit code 1) "
         "with output:\nno", false},
        {"svn: E165001: post-lock hook failed (exit code 1) with output:\nno", false},
    };
    for (const Accepted& c : accepted) {
        SVNRetries retries;
        SVNRunResult attempt;
        attempt.exitCode = 1;
        attempt.errors = QString::fromLatin1(c.message).split('\n');
        attempt.codes = SVNRunResult::codesOf(attempt.errors);
        const SVNRetries::Step step = retries.next(attempt);
        EXPECT_EQ(step.rule && step.rule->action == SVNRetryAction::AcceptAsDone, c.accepted) << c.message;
    }
}

TEST_F(ProviderTest, OutputAndTheLastError)
{
    QString command;
    EXPECT_TRUE(svn.getLastError(command).isNull());
    EXPECT_TRUE(command.isNull());
    struct Run
    {
        QByteArray out, err;
        int code;
        bool result;
        QStringList output;
        const char* command; // of the last error after the run
        QString message;
    };
    const Run runs[] = {
        {"one\ntwo\n", "", 0, true, {"one", "two"}, nullptr, QString()},
        {"partial\n", "", 1, false, {"partial"}, "run1", ""},               // output kept on failure
        {"", "svn: warning: W1\n", 0, false, {}, "run2", "svn: warning: W1"}, // a warning fails
        {"fine\n", "", 0, true, {"fine"}, "run2", "svn: warning: W1"},        // success leaves the pair
        {"", "a\r\nb\r\n", 1, false, {}, "run4", "a\nb"},
        // Lines that are not the client's own (an ssh login banner) fail
        // nothing; its own error or warning does, whatever comes with it.
        {"ok\n", "Authorised users only.\n\n", 0, true, {"ok"}, "run4", "a\nb"},
        {"", "Authorised users only.\nsvn: warning: W2\n", 0, false, {}, "run6",
         "Authorised users only.\nsvn: warning: W2"},
        {"", "svn: E3: no code 0 hides this\n", 0, false, {}, "run7", "svn: E3: no code 0 hides this"},
    };
    for (int i = 0; i < int(std::size(runs)); ++i) {
        const Run& run = runs[i];
        fake.respond(run.out, run.err, run.code);
        QStringList output{"stale"};
        EXPECT_EQ(seam.execute(QStringLiteral("run%1").arg(i), {}, QString(), QString(), output), run.result);
        EXPECT_EQ(output, run.output) << i;
        const QString message = svn.getLastError(command);
        EXPECT_EQ(command, run.command ? QString::fromLatin1(run.command) : QString()) << i;
        EXPECT_EQ(message, run.message) << i;
    }
    // A client that cannot be started says why.
    QStringList output;
    svn.setOption(SourceCodeControlOption::Executable, root.path() + "/no-such-svn");
    EXPECT_FALSE(seam.execute("unlock", {}, QString(), QString(), output));
    EXPECT_EQ(lastError(), "unlock: cannot run '" + root.path() + "/no-such-svn': not found");
}

TEST_F(ProviderTest, ALockWithoutAUserNameIsRefusedAtOnce)
{
    seam.client().setCredentials(QString(), QString());
    EXPECT_FALSE(svn.checkout({"a.c"}, "c", false));
    EXPECT_EQ(lastError(), "lock: a lock needs a user name: call login() with the user name first");
    EXPECT_EQ(fake.callCount(), 0);
}

TEST_F(ProviderTest, OptionsAndLogin)
{
    SVNInterface fresh;
    EXPECT_FALSE(fresh.checkOutSupported());
    EXPECT_TRUE(fresh.setOption(SourceCodeControlOption::Executable, " /usr/bin/svn "));
    EXPECT_EQ(SVNInterfaceSeam(fresh).client().executable(), " /usr/bin/svn "); // taken as given
    EXPECT_TRUE(fresh.setOption(SourceCodeControlOption::LockSupported, "Yes"));
    EXPECT_TRUE(fresh.checkOutSupported());
    EXPECT_TRUE(fresh.setOption(SourceCodeControlOption::LockSupported, "yes"));
    EXPECT_FALSE(fresh.checkOutSupported());
    EXPECT_FALSE(fresh.setOption(QString::fromLatin1(SourceCodeControlOption::Executable).toLower(), "x"));
    EXPECT_FALSE(fresh.setOption(QLatin1Char(' ') + QLatin1String(SourceCodeControlOption::Executable), "x"));
    EXPECT_EQ(SVNInterfaceSeam(fresh).client().executable(), " /usr/bin/svn ");

    // login stores the three values whatever the outcome; logout keeps them.
    fake.respond("", "svn: E170001: Authentication failed\n", 1);
    EXPECT_FALSE(svn.login("bob", "wrong", "svn://other"));
    QStringList urls;
    svn.getRepositoryList(urls);
    EXPECT_EQ(urls, QStringList{"svn://other"});
    EXPECT_EQ(lastError(), "info: svn: E170001: Authentication failed");
    seam.statusCache().entry("/somewhere");
    EXPECT_TRUE(svn.logout());
    EXPECT_EQ(seam.statusCache().size(), 0u);
    QStringList output;
    seam.execute("list", {}, QString(), QString(), output);
    expectRuns({{QDir::currentPath(), QStringList{"info"} + FakeSvn::auth("bob", "wrong") + QStringList{"svn://other"}},
                {QDir::currentPath(), QStringList{"list"} + FakeSvn::auth("bob", "wrong")}});
}

} // namespace
