// Status lines, the per-directory status cache, saved() and status().

#include "ProviderFixture.h"

namespace {

const QStringList StatusArgs{"status", "--non-recursive", "--show-updates", "--verbose"};

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
        SVNInterface svn;
        SVNDirectoryStatus records;
        svn.parseStatusOutput(&records, {QString::fromLatin1(c.line), "Status against revision: 12"});
        ASSERT_EQ(records.size(), 1u);
        ASSERT_EQ(records.begin()->first, QString::fromLatin1(c.key));
        const SVNFileStatus& r = records.begin()->second;
        EXPECT_EQ(r.modified, c.modified);
        EXPECT_EQ(r.locked, c.locked);
        EXPECT_EQ(r.outOfDate, c.outOfDate);
        EXPECT_EQ(r.statusColumns, QString::fromLatin1(c.columns));
        if (c.working)
            EXPECT_EQ(r.workingRevision, QString::fromLatin1(c.working));
        else
            EXPECT_TRUE(r.workingRevision.isNull());
        if (c.lastChanged)
            EXPECT_EQ(r.lastChangedRevision, QString::fromLatin1(c.lastChanged));
        else
            EXPECT_TRUE(r.lastChangedRevision.isNull());
    }
}

TEST(StatusParsing, SkipsUnversionedEmptyAndLastLinesAndKeepsTheLaterDuplicate)
{
    SVNInterface svn;
    SVNDirectoryStatus records;
    svn.parseStatusOutput(&records, {});
    svn.parseStatusOutput(&records, {"M            1        1 a            only.c"});
    EXPECT_TRUE(records.empty()); // a single line is the summary line

    records["keep.c"].workingRevision = "old";
    const SVNFileStatus* kept = &records["keep.c"];
    svn.parseStatusOutput(&records, {
        "?                                       stray.c",
        QString(),
        "M            5        4 a            keep.c",
        "             5        4 a            dup.c",
        "     K       6        6 a            dup.c",
        "M            9        9 a            last.c",
    });
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records.count("stray.c"), 0u);
    EXPECT_EQ(records.count("last.c"), 0u);
    EXPECT_EQ(&records["keep.c"], kept); // overwritten in place: pointers stay valid
    EXPECT_EQ(kept->workingRevision, "5");
    EXPECT_TRUE(kept->modified);
    EXPECT_TRUE(records["dup.c"].locked);
    EXPECT_EQ(records["dup.c"].workingRevision, "6");

    // Newer clients add a detail line to a tree conflict and a summary of
    // conflicts after the summary line; neither holds an entry.
    svn.parseStatusOutput(&records, {
        "D     C          2        2 ann          tree.c",
        "      >   local file edit, incoming file delete or move upon update",
        "Status against revision:      2",
        "Summary of conflicts:",
        "  Tree conflicts: 1",
    });
    EXPECT_EQ(records.size(), 3u);
    EXPECT_EQ(records.count("tree.c"), 1u);
}

TEST_F(ProviderTest, StatusCacheRunsOncePerDirectory)
{
    makeWorkingCopy();
    makeWorkingCopy("src");
    fake.respond("M            7        5 ann          a.c\n"
                 "             7        3 bob          b c.h\n"
                 "Status against revision:      7\n");

    SVNFileStatus* a = svn.getFileStatus({"src", "a.c"});
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->modified);
    SVNFileStatus* b = svn.getFileStatus({"src", "b c.h"});
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->lastChangedRevision, "3");
    EXPECT_EQ(svn.getFileStatus({"src", "unknown.c"}), nullptr);
    EXPECT_EQ(svn.getFileStatus({"src", "a.c"}), a);

    ASSERT_EQ(fake.callCount(), 1);
    EXPECT_EQ(args(0), StatusArgs + auth());
    EXPECT_EQ(dirOf(0), rootPath + "/src");

    // A one-line answer still caches the directory, with no records.
    fake.respond("Status against revision:      7\n");
    EXPECT_EQ(svn.getFileStatus({"top.c"}), nullptr);
    EXPECT_EQ(svn.getFileStatus({"other.c"}), nullptr);
    EXPECT_EQ(fake.callCount(), 2);
    EXPECT_EQ(dirOf(1), rootPath);
    ASSERT_EQ(svn.statusCache.count(rootPath), 1u);
    ASSERT_NE(svn.statusCache[rootPath], nullptr);
    EXPECT_TRUE(svn.statusCache[rootPath]->empty());

    // After refresh (and logout) the client runs again.
    svn.refresh();
    fake.respond("M            7        5 ann          a.c\nStatus\n");
    EXPECT_NE(svn.getFileStatus({"src", "a.c"}), nullptr);
    EXPECT_EQ(fake.callCount(), 3);
    svn.logout();
    EXPECT_EQ(svn.getFileStatus({"src", "a.c"}), nullptr); // unscripted: empty answer
    EXPECT_EQ(fake.callCount(), 4);
}

TEST_F(ProviderTest, DirectoryWithoutMarkerIsCachedAsNullWithoutRuns)
{
    makeWorkingCopy();
    QDir().mkpath(rootPath + "/plain");
    EXPECT_EQ(svn.getFileStatus({"plain", "f.c"}), nullptr);
    EXPECT_EQ(svn.getFileStatus({"plain", "g.c"}), nullptr);
    // Even once it becomes a working copy, the entry stands until it is removed.
    makeWorkingCopy("plain");
    EXPECT_EQ(svn.getFileStatus({"plain", "f.c"}), nullptr);
    EXPECT_EQ(fake.callCount(), 0);
    ASSERT_EQ(svn.statusCache.count(rootPath + "/plain"), 1u);
    EXPECT_EQ(svn.statusCache[rootPath + "/plain"], nullptr);
    EXPECT_EQ(svn.getFileStatus({}), nullptr);
}

TEST_F(ProviderTest, FailedStatusRunCachesNothing)
{
    makeWorkingCopy();
    fake.respond("", "svn: E155007: not a working copy\n", 1);
    EXPECT_EQ(svn.getFileStatus({"a.c"}), nullptr);
    EXPECT_TRUE(svn.statusCache.empty());
    fake.respond("M            1        1 a            a.c\nStatus\n");
    EXPECT_NE(svn.getFileStatus({"a.c"}), nullptr);
    EXPECT_EQ(fake.callCount(), 2);
}

TEST_F(ProviderTest, SavedRefreshesOnlyCachedDirectories)
{
    makeWorkingCopy();
    // Not cached: nothing runs.
    EXPECT_TRUE(svn.saved({"a.c"}));
    EXPECT_EQ(fake.callCount(), 0);
    EXPECT_FALSE(svn.saved({}));
    EXPECT_EQ(fake.callCount(), 0);

    // A not-a-working-copy entry gets a map holding the file's record.
    QDir().mkpath(rootPath + "/lib");
    svn.statusCache.emplace(rootPath + "/lib", nullptr);
    fake.respond("     K       3        3 ann          x.c\nStatus against revision:      3\n");
    EXPECT_TRUE(svn.saved({"lib", "x.c"}));
    EXPECT_EQ(args(0), QStringList({"status", "--show-updates", "--verbose"}) + auth() + QStringList{"x.c"});
    EXPECT_EQ(dirOf(0), rootPath + "/lib");
    ASSERT_NE(svn.statusCache[rootPath + "/lib"], nullptr);
    SVNFileStatus* x = svn.getFileStatus({"lib", "x.c"});
    ASSERT_NE(x, nullptr);
    EXPECT_TRUE(x->locked);

    // A failed run changes nothing but still answers true.
    fake.respond("", "svn: E170013: Unable to connect\n", 1);
    EXPECT_TRUE(svn.saved({"lib", "x.c"}));
    EXPECT_EQ(svn.getFileStatus({"lib", "x.c"}), x);
    EXPECT_TRUE(x->locked);

    // A success overwrites the record in place.
    fake.respond("M            4        4 ann          x.c\nStatus against revision:      4\n");
    EXPECT_TRUE(svn.saved({"lib", "x.c"}));
    EXPECT_EQ(svn.getFileStatus({"lib", "x.c"}), x);
    EXPECT_FALSE(x->locked);
    EXPECT_TRUE(x->modified);
    EXPECT_EQ(fake.callCount(), 3);
}

TEST_F(ProviderTest, StatusCopiesTheCachedRecordWithoutRunning)
{
    makeWorkingCopy();
    fake.respond("M    K*      7        5 ann          a.c\nStatus against revision:      7\n");
    bool controlled = false, checkedOut = false, modified = false, outOfDate = false;
    QString statusText, revisionText, lastChangedText;
    ASSERT_TRUE(svn.status({"a.c"}, controlled, checkedOut, modified, outOfDate, statusText,
                           revisionText, lastChangedText));
    EXPECT_TRUE(controlled);
    EXPECT_TRUE(checkedOut);
    EXPECT_TRUE(modified);
    EXPECT_TRUE(outOfDate);
    EXPECT_EQ(statusText, "M    K*");
    EXPECT_EQ(revisionText, "7");
    EXPECT_EQ(lastChangedText, "5");
    ASSERT_TRUE(svn.status({"a.c"}, controlled, checkedOut, modified, outOfDate, statusText,
                           revisionText, lastChangedText));
    EXPECT_EQ(fake.callCount(), 1);
}

TEST_F(ProviderTest, StatusAsksTheRepositoryForFilesWithoutRecord)
{
    // "lib" is not a working copy: no status run, then "info" on the file's URL.
    bool controlled = false, checkedOut = true, modified = false, outOfDate = false;
    QString statusText = "s", revisionText = "r", lastChangedText = "caller's";
    fake.respond("Path: x.c\n");
    ASSERT_TRUE(svn.status({"lib", "x.c"}, controlled, checkedOut, modified, outOfDate, statusText,
                           revisionText, lastChangedText));
    EXPECT_TRUE(controlled);
    EXPECT_FALSE(checkedOut);
    EXPECT_TRUE(modified);
    EXPECT_TRUE(outOfDate);
    EXPECT_EQ(statusText, "missing");
    EXPECT_EQ(revisionText, "fixme");
    EXPECT_EQ(lastChangedText, "caller's");
    EXPECT_EQ(args(0), QStringList{"info"} + auth() + QStringList{"svn://repo/trunk/lib/x.c"});
    EXPECT_EQ(dirOf(0), QDir::currentPath());

    // Not confirmed: false, controlled false, everything else as the caller left it.
    controlled = true;
    checkedOut = modified = outOfDate = true;
    statusText = "s";
    revisionText = "r";
    fake.respond("", "svn: E170000: URL doesn't exist\n", 1);
    EXPECT_FALSE(svn.status({"lib", "x.c"}, controlled, checkedOut, modified, outOfDate,
                            statusText, revisionText, lastChangedText));
    EXPECT_FALSE(controlled);
    EXPECT_TRUE(checkedOut && modified && outOfDate);
    EXPECT_EQ(statusText, "s");
    EXPECT_EQ(revisionText, "r");
    EXPECT_EQ(lastChangedText, "caller's");
    QString command;
    EXPECT_EQ(svn.getLastError(command), "svn: E170000: URL doesn't exist");
    EXPECT_EQ(command, "info");
    // The answer is not cached: asking again runs "info" again.
    fake.respond("", "svn: E170000: URL doesn't exist\n", 1);
    EXPECT_FALSE(svn.status({"lib", "x.c"}, controlled, checkedOut, modified, outOfDate,
                            statusText, revisionText, lastChangedText));
    EXPECT_EQ(fake.callCount(), 3);
}

TEST_F(ProviderTest, UnversionedFileHasNoRecord)
{
    makeWorkingCopy();
    fake.respond("?                                       new.c\nStatus against revision:      7\n");
    fake.respond("", "svn: E170000: not found\n", 1);
    bool controlled = true, checkedOut = false, modified = false, outOfDate = false;
    QString s, r, l;
    EXPECT_FALSE(svn.status({"new.c"}, controlled, checkedOut, modified, outOfDate, s, r, l));
    EXPECT_FALSE(controlled);
    EXPECT_EQ(fake.callCount(), 2);
}

} // namespace
