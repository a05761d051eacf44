// Status lines, the per-directory status cache, saved() and status().

#include "ProviderFixture.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <thread>

namespace {

struct LineCase
{
    const char* line;
    const char* key;
    bool modified, locked, outOfDate;
    const char* columns;
    const char* working;     // nullptr: stays null
    const char* lastChanged; // nullptr: stays null
};

TEST(StatusParsing, ReadsFlagsFieldsAndKeyByPosition)
{
    const LineCase cases[] = {
        {"M            12       10 ann          main.c", "main.c", true, false, false, "M      ", "12", "10"},
        {"!            12        9 bob          gone.c", "gone.c", true, false, false, "!      ", "12", "9"},
        {"A             0        ? ?            new.c", "new.c", false, false, false, "A      ", "0", "?"},
        {" M           12       10 ann          props.c", "props.c", false, false, false, " M     ", "12", "10"},
        {"     K*      12       10 ann          locked.c", "locked.c", false, true, true, "     K*", "12", "10"},
        {"MMMMMKX      1 2 3 my file.c", "my file.c", true, true, false, "MMMMMKX", "1", "2"},
        {"D\t\t7\t8\tann\t5\t4\tbob\tx", "bob\tx", false, false, false, "D\t\t7\t8\t", "ann", "5"},
        {"M      3", "", true, false, false, "M      ", "3", nullptr},
        {"M   K", "", true, false, false, "M   K", nullptr, nullptr},
        {"*", "", false, false, false, "*", nullptr, nullptr},
        // The layout of svn 1.6 and later: column 8 blank, out of date in column 9.
        {"        *       17       15 bob          stale.txt", "stale.txt", false, false, true, "       ", "17", "15"},
        {"M    K  *        3        2 ann          both.c", "both.c", true, true, true, "M    K ", "3", "2"},
        {"     O           3        2 ann          theirs.c", "theirs.c", false, false, false, "     O ", "3", "2"},
        {"A                -       ?   ?           added", "added", false, false, false, "A      ", "-", "?"},
        {"D     C          2        2 ann          moved", "moved", false, false, false, "D     C", "2", "2"},
        {"        *                                incoming.c", "incoming.c", false, false, true, "       ", nullptr, nullptr},
        {"X                                        ext", "ext", false, false, false, "X      ", nullptr, nullptr},
        // A commit without a user name leaves the author blank; a name may start with blanks.
        {"                 1        1              f.txt", "f.txt", false, false, false, "       ", "1", "1"},
        {"M                1        1 ann           lead.txt", " lead.txt", true, false, false, "M      ", "1", "1"},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.line);
        SVNDirectoryStatus records;
        SVNStatusPass::parse(&records, {QString::fromLatin1(c.line), "Status against revision: 12"});
        ASSERT_EQ(records.size(), 1u);
        ASSERT_EQ(records.begin()->first, QString::fromLatin1(c.key));
        const SVNFileStatus& r = records.begin()->second;
        EXPECT_EQ(r.modified, c.modified);
        EXPECT_EQ(r.locked, c.locked);
        EXPECT_EQ(r.outOfDate, c.outOfDate);
        EXPECT_EQ(r.statusColumns, QString::fromLatin1(c.columns));
        EXPECT_EQ(r.workingRevision, QString::fromLatin1(c.working));
        EXPECT_EQ(r.workingRevision.isNull(), !c.working);
        EXPECT_EQ(r.lastChangedRevision, QString::fromLatin1(c.lastChanged));
        EXPECT_EQ(r.lastChangedRevision.isNull(), !c.lastChanged);
    }
}

TEST(StatusParsing, SummariesBlocksAndDuplicates)
{
    SVNDirectoryStatus records;
    SVNStatusPass::parse(&records, {});
    // A local run ends with an entry, and so does a run in a folder the
    // client prints no summary for (added, renamed or deleted there).
    SVNStatusPass::parse(&records, {"A                -       ?   ?           only.c"});
    EXPECT_EQ(records.count("only.c"), 1u);

    records["keep.c"].workingRevision = "old";
    const SVNFileStatus* kept = &records["keep.c"];
    SVNStatusPass::parse(&records, {
        "?                                       stray.c",
        "?" + QString(40, ' ') + " notes.txt",
        "I                                        ignored.o",
        QString(),
        "M            5        4 a            keep.c",
        "             5        4 a            dup.c",
        "     K       6        6 a            dup.c",
        "Status against revision:      9",
        "",
        "--- Changelist 'fixme':",
        "M            9        9 a            listed.c",
    });
    EXPECT_EQ(records.size(), 6u);
    EXPECT_EQ(records["stray.c"].statusColumns, "?      "); // unversioned: a record of its columns alone
    EXPECT_TRUE(records["stray.c"].workingRevision.isNull());
    EXPECT_EQ(records.count(" notes.txt"), 1u);  // the name from its column, blanks included
    EXPECT_EQ(records.count("ignored.o"), 0u);    // ignored: as unknown as an unlisted name
    EXPECT_TRUE(records["listed.c"].modified);    // a changelist's block holds entries again
    EXPECT_EQ(&records["keep.c"], kept); // overwritten in place: pointers stay valid
    EXPECT_EQ(kept->workingRevision, "5");
    EXPECT_TRUE(kept->modified);
    EXPECT_TRUE(records["dup.c"].locked);
    EXPECT_EQ(records["dup.c"].workingRevision, "6");

    // Newer clients add a detail line to a tree conflict and a summary of
    // conflicts after the summary line; neither holds an entry.
    SVNStatusPass::parse(&records, {
        "D                2        2 ann          moved.c",
        "        > moved to elsewhere.c",
        "D     C          2        2 ann          tree.c",
        "      >   local file edit, incoming file delete or move upon update",
        "Status against revision:      2",
        "Summary of conflicts:",
        "  Text conflicts: 1",
        "  Tree conflicts: 1",
    });
    EXPECT_EQ(records.size(), 8u);
    EXPECT_EQ(records.count("tree.c"), 1u);
    EXPECT_EQ(records["moved.c"].workingRevision, "2");
}

TEST_F(ProviderTest, StatusCacheFillsOnceAFolder)
{
    makeWorkingCopy();
    makeWorkingCopy("src");
    QDir().mkpath(rootPath + "/plain");
    fake.respond("M            7        5 ann          a.c\n"
                 "             7        3 bob          b c.h\n"
                 "Status against revision:      7\n");
    SVNFileStatus* a = seam.record({"src", "a.c"});
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->modified);
    ASSERT_NE(seam.record({"src", "b c.h"}), nullptr);
    EXPECT_EQ(seam.record({"src", "unknown.c"}), nullptr);
    EXPECT_EQ(seam.record({"src", "a.c"}), a); // the same record, no second run
    // A folder that is no working copy is remembered as such, even once it becomes one.
    EXPECT_EQ(seam.record({"plain", "f.c"}), nullptr);
    makeWorkingCopy("plain");
    EXPECT_EQ(seam.record({"plain", "g.c"}), nullptr);
    // A run that the working copy itself fails is remembered until
    // refresh, its message the last error of every file's status.
    fake.respond("", "svn: E155036: Please see the 'svn upgrade' command\n", 1);
    EXPECT_FALSE(ask({"top.c"}).result);
    EXPECT_FALSE(ask({"other.c"}).result);
    EXPECT_EQ(lastError(), "status: svn: E155036: Please see the 'svn upgrade' command");
    // After refresh the client runs again.
    svn.refresh();
    EXPECT_EQ(seam.record({"src", "a.c"}), nullptr); // unscripted: an empty answer
    const QStringList status = withAuth({"status", "--non-recursive", "--show-updates", "--verbose"});
    expectRuns({{rootPath + "/src", status}, {rootPath, status}, {rootPath + "/src", status}});
}

TEST_F(ProviderTest, AnotherClientsWorkIsNotRememberedAsAFailedFolder)
{
    // Still there after the retry table's wait (seven attempts in three
    // seconds), another client's work fails this question alone: the
    // folder's next question runs the client again.
    makeWorkingCopy();
    for (int attempt = 0; attempt < 7; ++attempt)
        fake.respond("", "svn: E155037: Previous operation has not finished; run 'cleanup' if it was interrupted\n", 1);
    fake.respond("M            7        5 ann          a.c\nStatus against revision:      7\n");
    EXPECT_FALSE(ask({"a.c"}).result);
    EXPECT_TRUE(lastError().startsWith("status: svn: E155037")) << lastError().toStdString();
    EXPECT_TRUE(ask({"a.c"}).modified);
    EXPECT_EQ(fake.callCount(), 8);
}

TEST_F(ProviderTest, SavedRereadsOneFileOfACachedFolder)
{
    makeWorkingCopy();
    EXPECT_TRUE(svn.saved({"a.c"})); // not cached: nothing runs
    // A folder cached as no working copy gets a map holding the file's record.
    QDir().mkpath(rootPath + "/lib");
    seam.statusCache().entry(rootPath + "/lib");
    fake.respond("     K       3        3 ann          x.c\nStatus against revision:      3\n");
    EXPECT_TRUE(svn.saved({"lib", "x.c"}));
    SVNFileStatus* x = seam.record({"lib", "x.c"});
    ASSERT_NE(x, nullptr);
    EXPECT_TRUE(x->locked);
    // A failed run changes nothing; a success overwrites the record in place.
    fake.respond("", "svn: E155010: The node was not found\n", 1);
    EXPECT_TRUE(svn.saved({"lib", "x.c"}));
    EXPECT_TRUE(x->locked);
    fake.respond("M            4        4 ann          x.c\nStatus against revision:      4\n");
    EXPECT_TRUE(svn.saved({"lib", "x.c"}));
    EXPECT_EQ(seam.record({"lib", "x.c"}), x);
    EXPECT_FALSE(x->locked);
    EXPECT_TRUE(x->modified);
    // A file the client no longer lists (its deletion committed) loses its
    // record, also when it is the one after the file asked about last.
    seam.statusCache().find(rootPath + "/lib")->records["a.c"];
    EXPECT_NE(seam.record({"lib", "a.c"}), nullptr);
    fake.respond("Status against revision:      5\n");
    EXPECT_TRUE(svn.saved({"lib", "x.c"}));
    EXPECT_EQ(seam.record({"lib", "x.c"}), nullptr);
    const QStringList saved = withAuth({"status", "--show-updates", "--verbose"}, {"x.c"});
    expectRuns({{rootPath + "/lib", saved}, {rootPath + "/lib", saved}, {rootPath + "/lib", saved},
                {rootPath + "/lib", saved}});
}

TEST_F(ProviderTest, StatusAnswersFromTheCacheOrTheRepository)
{
    makeWorkingCopy();
    fake.respond("M    K*      7        5 ann          a.c\n"
                 "?                                       new.c\n"
                 "Status against revision:      7\n");
    Answer a = ask({"a.c"});
    EXPECT_TRUE(a.result && a.controlled && a.checkedOut && a.modified && a.outOfDate);
    EXPECT_EQ(a.statusText, "M    K*");
    EXPECT_EQ(a.revisionText, "7");
    EXPECT_EQ(a.lastChangedText, "5");
    EXPECT_TRUE(ask({"a.c"}).result); // from the cache

    // An unversioned file is answered from its folder's line: true, not controlled.
    const Answer stray = ask({"new.c"});
    EXPECT_TRUE(stray.result && !stray.controlled && !stray.modified && !stray.outOfDate && !stray.checkedOut);
    EXPECT_EQ(stray.statusText, "?      ");
    EXPECT_TRUE(stray.revisionText.isNull());

    // No record: the repository is asked, once. It has the file: "missing".
    QDir().mkpath(rootPath + "/lib");
    Answer start;
    start.checkedOut = true;
    start.statusText = "s";
    start.revisionText = "r";
    start.lastChangedText = "caller's";
    fake.respond("Path: x.c\n");
    for (int i = 0; i < 2; ++i) {
        const Answer missing = ask({"lib", "x.c"}, start);
        EXPECT_TRUE(missing.result && missing.controlled && missing.modified && missing.outOfDate);
        EXPECT_FALSE(missing.checkedOut);
        EXPECT_EQ(missing.statusText, "missing");
        EXPECT_EQ(missing.revisionText, "fixme");
        EXPECT_EQ(missing.lastChangedText, "caller's");
    }
    // It has not: false, controlled false, the rest as the caller left it;
    // remembered too, until saved() asks again.
    start.controlled = true;
    fake.respond("", "svn: E170000: URL doesn't exist\n", 1);
    for (int i = 0; i < 3; ++i) {
        if (i == 2) {
            EXPECT_TRUE(svn.saved({"gone.c"}));
            fake.respond("", "svn: E170000: URL doesn't exist\n", 1);
        }
        const Answer unknown = ask({"gone.c"}, start);
        EXPECT_FALSE(unknown.result || unknown.controlled);
        EXPECT_TRUE(unknown.checkedOut);
        EXPECT_EQ(unknown.statusText, "s");
        EXPECT_EQ(unknown.revisionText, "r");
    }
    const QString here = QDir::currentPath();
    expectRuns({{rootPath, withAuth({"status", "--non-recursive", "--show-updates", "--verbose"})},
                {here, withAuth({"info"}, {"svn://repo/trunk/lib/x.c"})},
                {here, withAuth({"info"}, {"svn://repo/trunk/gone.c"})},
                {rootPath, withAuth({"status", "--show-updates", "--verbose"}, {"gone.c"})},
                {here, withAuth({"info"}, {"svn://repo/trunk/gone.c"})}});
}

TEST_F(ProviderTest, OneWholeTreePassFillsEveryFolderItLists)
{
    // An external is a working copy of its own, read by a run of its own.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}, {"lib", 0, "dir", "normal", "infinity"}});
    makeCentralWorkingCopy("ext", {{"", 0, "dir", "normal", "infinity"}});
    QDir().mkpath(rootPath + "/build/deep");
    ASSERT_TRUE(svn.setOption(SourceCodeControlOption::StatusScope, "WorkingCopy"));
    fake.respond("                 5        5 ann          .\n"
                 "M                5        4 ann          lib/a.c\n"
                 "                 7        5 ann          lib\n"
                 "                 6        5 ann          src\n"
                 "                 5        5 ann          src/b.c\n"
                 "?                                        build\n"
                 "X                                        ext\n"
                 "Status against revision:      5\n");
    fake.respond("                 9        8 bob          e.c\n"
                 "                 9        9 bob          .\n"
                 "Status against revision:      9\n");
    struct Case { QStringList parts; bool controlled; const char* status; const char* revision; };
    const Case cases[] = {
        {{"lib", "a.c"}, true, "M      ", "5"},
        {{"lib"}, true, "       ", "7"},
        {{"ext"}, true, "       ", "9"},         // the external's own line, not the "X" one
        {{"ext", "e.c"}, true, "       ", "9"},
        {{"lib", "."}, true, "       ", "7"},     // a folder's own line is its "." too,
        {{"src", "."}, true, "       ", "6"},     // also when it comes before the folder's contents
        {{"lib", "ignored.o"}, false, "", ""},    // not listed: not versioned, no run
        {{"build"}, false, "?      ", ""},
        {{"build", "deep", "x.o"}, false, "", ""}, // inside an unversioned folder
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parts.join('/').toStdString());
        const Answer answer = ask(c.parts);
        EXPECT_TRUE(answer.result);
        EXPECT_EQ(answer.controlled, c.controlled);
        EXPECT_EQ(answer.statusText, QString::fromLatin1(c.status));
        EXPECT_EQ(answer.revisionText, QString::fromLatin1(c.revision));
    }
    const QStringList tree = withAuth({"status", "--show-updates", "--verbose", "--ignore-externals"});
    expectRuns({{rootPath, tree}, {rootPath + "/ext", tree}});
}

TEST_F(ProviderTest, OfflineUntilRefreshOrLoginAndCancelEndsAWait)
{
    // A folder whose run cannot reach the repository is read locally, and
    // so is every other folder until refresh or login.
    makeWorkingCopy();
    makeWorkingCopy("src");
    makeWorkingCopy("lib");
    const QByteArray unreachable = "svn: E170013: Unable to connect to a repository at URL 'svn://repo'\n"
                                   "svn: E000111: Can't connect to host 'repo': Connection refused\n";
    fake.respond("", unreachable, 1);
    fake.respond("M                3        3 ann          a.c\n");
    const Answer offline = ask({"a.c"});
    EXPECT_TRUE(offline.result && offline.controlled && offline.modified && !offline.outOfDate);
    EXPECT_TRUE(lastError().startsWith("status: svn: E170013")) << lastError().toStdString();
    ask({"src", "b.c"});
    svn.refresh();
    fake.respond("                 3        3 ann          b.c\nStatus against revision:      3\n");
    EXPECT_TRUE(ask({"src", "b.c"}).controlled);
    fake.respond("", unreachable, 1);
    ask({"a.c"});
    svn.login("ann", "secret", "svn://repo");
    ask({"lib", "c.c"});
    const QStringList online = withAuth({"status", "--non-recursive", "--show-updates", "--verbose"});
    const QStringList local = withAuth({"status", "--non-recursive", "--verbose"});
    expectRuns({{rootPath, online}, {rootPath, local}, {rootPath + "/src", local}, {rootPath + "/src", online},
                {rootPath, online}, {rootPath, local}, {QDir::currentPath(), withAuth({"info"}, {"svn://repo"})},
                {rootPath + "/lib", online}, {QDir::currentPath(), withAuth({"info"}, {"svn://repo/trunk/lib/c.c"})}});

    // Cancelled from another thread, a wait for another client's lock ends
    // at once: 3.8 s in, the provider is in its 3.2 s pause (from 3.15 s on).
    fake.respondAlways("", "svn: E155004: Working copy '/w' locked.\n", 1);
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> cancelledAt{0};
    std::thread canceller([&] {
        QThread::msleep(3800);
        cancelledAt = clock.elapsed();
        svn.cancelOperation();
    });
    EXPECT_FALSE(svn.checkin({"a.c"}, "c"));
    const qint64 returnedAt = clock.elapsed();
    canceller.join();
    EXPECT_LT(returnedAt - cancelledAt, 1000);
    // (Cancelled while a commit ran rather than while it waited, the clean-up after it meets the lock too.)
    EXPECT_TRUE(lastError().startsWith("commit: cancelled")) << lastError().toStdString();
}

} // namespace
