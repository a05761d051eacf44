// Working copies of the central layout (one ".svn" with wc.db at the top):
// which folders count as working copies, operations that must not reshape
// the checkout, and reading wc.db while a client writes or replaces it.

#include "ProviderFixture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <thread>
#include <QThread>

#include <thread>

namespace {

const QStringList StatusArgs{"status", "--non-recursive", "--show-updates", "--verbose"};
const QByteArray NotThere = "svn: E170000: URL doesn't exist\n";
const QByteArray Refused = "svn: E000001: refused\n";

TEST_F(ProviderTest, CentralLayoutFoldersBelowTheTopAreWorkingCopies)
{
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"},
                                       {"src", 0, "dir", "normal", "infinity"},
                                       {"src/lib", 0, "dir", "normal", "infinity"},
                                       {"added", 1, "dir", "normal", "infinity"},
                                       {"gone", 0, "dir", "normal", "infinity"},
                                       {"gone", 1, "dir", "not-present", ""},
                                       {"f.c", 0, "file", "normal", ""},
                                       {"removed", 0, "dir", "normal", "infinity"}});
    QDir(rootPath + "/removed").removeRecursively();   // versioned, gone from disk
    QDir().mkpath(rootPath + "/plain");                // unversioned
    QDir().mkpath(rootPath + "/shell/.svn");           // ".svn" without entries
    QDir().mkpath(rootPath + "/ext/inner");
    makeWorkingCopy("ext");                            // a working copy of its own, old layout
    fake.respondAlways("Status against revision:      3\n");

    const QStringList working{"src", "src/lib", "added", "ext"};
    const QStringList notWorking{"plain", "gone", "f.c", "shell", "ext/inner", "removed"};
    for (const QString& folder : working + notWorking)
        seam.record(folder.split('/') + QStringList{"x.c"});
    std::vector<ExpectedRun> runs;
    for (const QString& folder : working)
        runs.push_back({rootPath + '/' + folder, withAuth(StatusArgs)});
    expectRuns(runs);
    for (const QString& folder : notWorking) {
        ASSERT_NE(seam.statusCache().find(rootPath + '/' + folder), nullptr) << folder.toStdString();
        EXPECT_FALSE(seam.statusCache().find(rootPath + '/' + folder)->listed) << folder.toStdString();
    }
}

TEST_F(ProviderTest, CentralLayoutAddFileJoinsFoldersToTheEnclosingWorkingCopy)
{
    // "src" is versioned at infinity; "src/new" and "docs" are only in the
    // repository; "tmp" is in neither. The top itself is sparse (files).
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "files"},
                                       {"src", 0, "dir", "normal", "infinity"}});
    QDir().mkpath(rootPath + "/src/new");
    QDir().mkpath(rootPath + "/docs/tmp");
    fake.respond("Path: new\n");          // probe src/new
    fake.respond("");                     // fetch src/new
    ASSERT_TRUE(svn.addFile({"src", "new", "n.c"}, "c"));
    fake.respond("Path: docs\n");         // probe docs
    fake.respond("");                     // fetch docs
    fake.respond("", NotThere, 1);        // probe docs/tmp
    ASSERT_TRUE(svn.addFile({"docs", "tmp", "t.c"}, "c"));
    const QStringList add{"add", "--non-recursive", "--quiet"};
    expectRuns({
        {QDir::currentPath(), withAuth({"info"}, {"svn://repo/trunk/src/new"})},
        {rootPath + "/src", withAuth({"update", "--force", "--set-depth", "infinity"}, {"new"})},
        {rootPath + "/src/new", add + QStringList{"n.c"}},
        {rootPath + "/src/new", withAuth(QStringList{"commit"} + message("c"), {"n.c"})},
        {QDir::currentPath(), withAuth({"info"}, {"svn://repo/trunk/docs"})},
        {rootPath, withAuth({"update", "--force", "--set-depth", "empty"}, {"docs"})},
        {QDir::currentPath(), withAuth({"info"}, {"svn://repo/trunk/docs/tmp"})},
        {rootPath + "/docs", add + QStringList{"tmp"}},
        {rootPath + "/docs", withAuth(QStringList{"commit", "--non-recursive"} + message("c"), {"tmp"})},
        {rootPath + "/docs/tmp", add + QStringList{"t.c"}},
        {rootPath + "/docs/tmp", withAuth(QStringList{"commit"} + message("c"), {"t.c"})},
    });
}

TEST_F(ProviderTest, CentralLayoutGetFileTouchesOnlyTheFile)
{
    // "deleted" was removed with the client and made again on disk: still a folder of the working copy.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"},
                                       {"src", 0, "dir", "normal", "infinity"},
                                       {"deleted", 0, "dir", "normal", "infinity"},
                                       {"deleted", 1, "dir", "base-deleted", "infinity"}});
    ASSERT_TRUE(svn.getFile({"src", "a.c"}, true));
    ASSERT_TRUE(svn.getFile({"src", "new", "b.c"}, true));
    ASSERT_TRUE(svn.getFile({"deleted", "c.c"}, true));
    expectRuns({
        {rootPath, withAuth({"update"}, {"src/a.c"})},
        {rootPath + "/src", withAuth({"update", "--force", "--set-depth", "infinity"}, {"new"})},
        {rootPath, withAuth({"update"}, {"src/new/b.c"})},
        {rootPath, withAuth({"update"}, {"deleted/c.c"})},
    });
}

TEST_F(ProviderTest, CentralLayoutReadsWaitForAWritingClientAndFollowAReplacedDatabase)
{
    // Another client holds wc.db's write lock for two seconds: the read
    // waits for it and finds "src" a folder of the working copy.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}, {"src", 0, "dir", "normal", "infinity"}});
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(rootPath + "/.svn/wc.db").constData(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread release([writer] {
        QThread::msleep(2000);
        sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(writer);
    });
    EXPECT_TRUE(svn.getFile({"src", "a.c"}, true));
    release.join();
    // A new checkout in the same place, whose wc.db has no "src": read afresh.
    ASSERT_TRUE(QFile::remove(rootPath + "/.svn/wc.db"));
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}});
    EXPECT_TRUE(svn.getFile({"src", "b.c"}, true));
    expectRuns({
        {rootPath, withAuth({"update"}, {"src/a.c"})},
        {rootPath, withAuth({"update", "--force", "--set-depth", "infinity"}, {"src"})},
        {rootPath, withAuth({"update"}, {"src/b.c"})},
    });

    // A cancel ends the wait at once: the read finds nothing, and nothing runs.
    ASSERT_EQ(sqlite3_open(QFile::encodeName(rootPath + "/.svn/wc.db").constData(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    QElapsedTimer clock;
    clock.start();
    std::thread canceller([this] {
        QThread::msleep(300);
        svn.cancelOperation();
    });
    EXPECT_FALSE(svn.getFile({"lib", "c.c"}, true));
    EXPECT_LT(clock.elapsed(), 1300);
    canceller.join();
    sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    EXPECT_EQ(fake.callCount(), 3); // and no clean-up after a run that never started
}

TEST_F(ProviderTest, CentralLayoutDatabasesOfOtherFormatsAreLeftToTheClient)
{
    // svn 1.7 writes format 29, 1.8 to 1.14 write 31; below or above, the
    // database is not read, and a folder on disk is the client's to judge.
    struct Case { int format; bool read; };
    const Case cases[] = {{28, false}, {29, true}, {31, true}, {32, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        QDir(rootPath + "/.svn").removeRecursively();
        makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}});
        QDir().mkpath(rootPath + "/plain");
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(rootPath + "/.svn/wc.db").constData(), &db), SQLITE_OK);
        sqlite3_exec(db, ("PRAGMA user_version = " + std::to_string(c.format)).c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
        svn.refresh();
        const int before = fake.callCount();
        seam.record({"plain", "x.c"});
        EXPECT_EQ(fake.callCount() - before, c.read ? 0 : 1); // read: "plain" holds no working copy
    }
}

TEST_F(ProviderTest, UndoCheckoutDiscardingUnlocksFirstInTheCentralLayout)
{
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}, {"f.c", 0, "file", "normal", ""}});
    writeFile("f.c", "edited");
    fake.respond("", "svn: warning: W160040: No lock on path\n", 0);
    EXPECT_FALSE(svn.undoCheckout({"f.c"}, true));
    EXPECT_EQ(readBytes(rootPath + "/f.c"), "edited"); // a refused unlock keeps the edit

    // Unlocked, the edit goes as the working copy shows it now.
    fake.respond("");
    fake.respond("M                1        1 ann          f.c\n");
    ASSERT_TRUE(svn.undoCheckout({"f.c"}, true));
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/f.c")); // the stand-in restores nothing
    expectRuns({{rootPath, withAuth({"unlock"}, {"f.c"})},
                {rootPath, withAuth({"unlock"}, {"f.c"})},
                {rootPath, withAuth({"status", "--verbose"}, {"f.c"})},
                {rootPath, withAuth({"update"}, {"f.c"})}});
}

TEST_F(ProviderTest, CentralLayoutDiscardsWhatAFreshLocalStatusShows)
{
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}, {"f.c", 0, "file", "normal", ""}});
    const QString status = "status --verbose f.c", revert = "revert f.c", update = "update f.c";
    struct Case
    {
        const char* line; // the fresh local status of f.c
        bool result;
        QStringList runs; // after the status run
        bool kept;        // the local file is still there
    };
    const Case cases[] = {
        {"M                1        1 ann          f.c", true, {update}, false},
        {" M               1        1 ann          f.c", true, {revert, update}, true},
        {"R  +             -        1 ann          f.c", true, {revert, update}, true},
        {"C                1        1 ann          f.c", true, {revert, update}, true},
        {"D     C          1        1 ann          f.c", true, {revert, update}, true},
        {"                 1        1 ann          f.c", true, {update}, true},
        {"A                -       ?   ?           f.c", false, {}, true},
        {"D                1        1 ann          f.c", false, {}, true},
        {"?                                        f.c", false, {}, true},
        {"~                1        1 ann          f.c", false, {}, true},
        {"", false, {}, true}, // ignored: not listed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        writeFile("f.c", "local");
        const int before = fake.callCount();
        fake.respond(QByteArray(c.line) + "\n");
        EXPECT_EQ(svn.getFile({"f.c"}, false), c.result);
        EXPECT_EQ(QFileInfo::exists(rootPath + "/f.c"), c.kept);
        QStringList runs;
        for (size_t i = size_t(before); i < fake.calls().size(); ++i) {
            const QStringList arguments = fake.calls()[i].arguments.mid(1);
            runs << (arguments.mid(0, arguments.indexOf("--no-auth-cache")) + arguments.mid(arguments.size() - 1)).join(' ');
        }
        EXPECT_EQ(runs, QStringList{status} + c.runs);
        if (!c.result) {
            EXPECT_TRUE(lastError().startsWith("update: f.c was left as it is: ")) << lastError().toStdString();
        }
    }
    // A lock with the replacement decides from the same fresh status; one
    // without it reads no status at all, not even with the whole-tree scope.
    ASSERT_TRUE(svn.setOption(SourceCodeControlOption::StatusScope, "WorkingCopy"));
    const int before = fake.callCount();
    writeFile("f.c", "edited outside the IDE");
    fake.respond("M                1        1 ann          f.c\n");
    ASSERT_TRUE(svn.checkout({"f.c"}, "c", true));
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/f.c"));
    ASSERT_TRUE(svn.checkout({"f.c"}, "c", false));
    const std::vector<FakeSvn::Call> calls = fake.calls();
    ASSERT_EQ(calls.size(), size_t(before + 4));
    EXPECT_EQ(calls[before].arguments.mid(1, 2), QStringList({"status", "--verbose"}));
    EXPECT_EQ(calls[before + 1].arguments.at(1), "update");
    EXPECT_EQ(calls[before + 2].arguments.at(1), "lock");
    EXPECT_EQ(calls[before + 3].arguments.at(1), "lock");
}

} // namespace
