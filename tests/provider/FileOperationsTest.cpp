// Adding, getting, locking, unlocking and committing files in a working
// copy of the per-folder layout: whole run sequences (working directory and
// argument vector of every run).

#include "ProviderFixture.h"

#include <QFileInfo>

#include <sys/stat.h>

namespace {

const QStringList Add{"add", "--non-recursive", "--quiet"};
const QByteArray Failure = "svn: E000001: refused\n";
const QByteArray NotThere = "svn: E170000: URL doesn't exist\n";
const QByteArray Summary = "Status against revision:      9\n";

bool ownerMayWrite(const QString& path)
{
    return QFileInfo(path).permissions() & QFile::WriteOwner;
}

TEST_F(ProviderTest, AddFileBringsEachLevelUnderControlFirst)
{
    // "100%" is in the repository but not here, "100%/My Dir" in neither;
    // their URLs carry the names percent-encoded.
    makeWorkingCopy();
    QDir().mkpath(rootPath + "/100%/My Dir");
    seam.statusCache().entry(rootPath + "/100%");
    seam.statusCache().entry(rootPath + "/100%/My Dir").listed = true;
    seam.statusCache().entry(rootPath + "/other");
    fake.respond("Path: 100%\n");
    fake.respond("");
    fake.respond("", NotThere, 1);
    ASSERT_TRUE(svn.addFile({"100%", "My Dir", "f.c"}, QString()));
    // Every level a working copy, and one component: add and commit only,
    // then saved() re-reads the file of a cached folder.
    makeWorkingCopy("src");
    ASSERT_TRUE(svn.addFile({"src", "a.c"}, "c"));
    seam.statusCache().entry(rootPath).listed = true;
    fake.respond("");
    fake.respond("");
    fake.respond("A             0        ? ?            top.c\n" + Summary);
    ASSERT_TRUE(svn.addFile({"top.c"}, "c"));
    EXPECT_FALSE(svn.addFile({}, "c"));

    const QString here = QDir::currentPath();
    expectRuns({
        {here, withAuth({"info"}, {"svn://repo/trunk/100%25"})},
        {rootPath, withAuth({"checkout", "--non-recursive", "svn://repo/trunk/100%25"}, {"100%"})},
        {here, withAuth({"info"}, {"svn://repo/trunk/100%25/My%20Dir"})},
        {rootPath + "/100%", Add + QStringList{"My Dir"}},
        {rootPath + "/100%", withAuth(QStringList{"commit", "--non-recursive"} + message(""), {"My Dir"})},
        {rootPath + "/100%/My Dir", Add + QStringList{"f.c"}},
        {rootPath + "/100%/My Dir", withAuth(QStringList{"commit"} + message(""), {"f.c"})},
        {rootPath + "/src", Add + QStringList{"a.c"}},
        {rootPath + "/src", withAuth(QStringList{"commit"} + message("c"), {"a.c"})},
        {rootPath, Add + QStringList{"top.c"}},
        {rootPath, withAuth(QStringList{"commit"} + message("c"), {"top.c"})},
        {rootPath, withAuth({"status", "--show-updates", "--verbose"}, {"top.c"})},
    });
    // The levels brought in lose their cache entries; the failed probe stays the last error.
    EXPECT_EQ(seam.statusCache().find(rootPath + "/100%"), nullptr);
    EXPECT_EQ(seam.statusCache().find(rootPath + "/100%/My Dir"), nullptr);
    EXPECT_NE(seam.statusCache().find(rootPath + "/other"), nullptr);
    EXPECT_NE(seam.record({"top.c"}), nullptr);
    EXPECT_TRUE(lastError().startsWith("info: svn: E170000")) << lastError().toStdString();
}

TEST_F(ProviderTest, AddFileStopsAtTheFirstFailure)
{
    makeWorkingCopy();
    using Answers = std::vector<std::tuple<QByteArray, QByteArray, int>>; // out, err, code
    struct Case { Answers answers; QStringList parts; int runs; const char* failed; const char* reverted; };
    const Case cases[] = {
        {{{"", "svn: warning: W150002: already under version control\n", 0}}, {"a.c"}, 1, "add", nullptr},
        {{{"Path: lib\n", "", 0}, {"", Failure, 1}}, {"lib", "a.c"}, 2, "checkout", nullptr},
        // Only "not found" says the repository lacks the folder.
        {{{"", "svn: E170013: Unable to connect to a repository\n", 1}}, {"lib", "a.c"}, 1, "info", nullptr},
        {{{"", NotThere, 1}, {"", Failure, 1}}, {"lib", "a.c"}, 2, "add", nullptr},
        // What this addFile scheduled and could not commit is unscheduled again.
        {{{"", NotThere, 1}, {"", "", 0}, {"", Failure, 1}}, {"lib", "a.c"}, 4, "commit", "lib"},
        {{{"", "", 0}, {"", Failure, 1}}, {"a.c"}, 3, "commit", "a.c"},
    };
    for (const Case& c : cases) {
        const int before = fake.callCount();
        for (const auto& [out, err, code] : c.answers)
            fake.respond(out, err, code);
        EXPECT_FALSE(svn.addFile(c.parts, "c"));
        EXPECT_EQ(fake.callCount() - before, c.runs);
        EXPECT_TRUE(lastError().startsWith(QString(c.failed) + ": ")) << lastError().toStdString();
        if (c.reverted) {
            EXPECT_EQ(fake.calls().back().arguments.mid(1), withAuth({"revert"}, {c.reverted}));
        }
    }
}

TEST_F(ProviderTest, GetFileUpdatesMissingLevelsThenTheFile)
{
    makeWorkingCopy();
    makeWorkingCopy("a");
    QDir().mkpath(rootPath + "/a/b");
    seam.statusCache().entry(rootPath + "/a/b");
    writeFile("a/b/f.c", "local");
    ASSERT_TRUE(svn.getFile({"a", "b", "f.c"}, true));
    EXPECT_EQ(readBytes(rootPath + "/a/b/f.c"), "local"); // keepLocal never deletes
    EXPECT_EQ(seam.statusCache().find(rootPath + "/a/b"), nullptr);
    // Not keeping: deleted first, also when the update then fails; a missing
    // file is no error; a failed level update stops before the file.
    writeFile("g.c", "local");
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.getFile({"g.c"}, false));
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/g.c"));
    ASSERT_TRUE(svn.getFile({"g.c"}, false));
    writeFile("h.c", "keep");
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.getFile({"lvl", "h.c"}, false));
    EXPECT_EQ(readBytes(rootPath + "/h.c"), "keep");
    EXPECT_FALSE(svn.getFile({}, true));
    expectRuns({{rootPath + "/a", withAuth({"update", "--non-recursive"}, {"b"})},
                {rootPath, withAuth({"update"}, {"a/b/f.c"})},
                {rootPath, withAuth({"update"}, {"g.c"})},
                {rootPath, withAuth({"update"}, {"g.c"})},
                {rootPath, withAuth({"update", "--non-recursive"}, {"lvl"})}});
}

TEST_F(ProviderTest, GetToWritesTheClientsBytesUnchanged)
{
    makeWorkingCopy();
    seam.statusCache().entry(rootPath + "/src").listed = true; // getTo never calls saved()
    const QString dest = rootPath + "/out.txt";
    const QByteArray binary("one\r\ntwo\rX\0\xe9\xff last", 18);
    fake.respond(binary);
    ASSERT_TRUE(svn.getTo({"src", "f.c"}, "12", dest));
    EXPECT_EQ(readBytes(dest), binary);
    fake.respond("");
    ASSERT_TRUE(svn.getTo({"f.c"}, "1", dest));
    EXPECT_EQ(readBytes(dest), "");
    // A repeated run starts the text afresh.
    fake.respond("half", "svn: E155004: Working copy '/w' locked.\n", 1);
    fake.respond("whole");
    ASSERT_TRUE(svn.getTo({"f.c"}, "1", dest));
    EXPECT_EQ(readBytes(dest), "whole");
    // A failed run leaves the destination alone; a missing folder runs nothing.
    writeFile("out.txt", "previous");
    fake.respond("partial\n", Failure, 1);
    EXPECT_FALSE(svn.getTo({"f.c"}, "1", dest));
    EXPECT_EQ(readBytes(dest), "previous");
    EXPECT_FALSE(svn.getTo({"f.c"}, "1", rootPath + "/no/such/dir/out.txt"));
    EXPECT_EQ(lastError(), "cat: cannot write " + rootPath + "/no/such/dir/out.txt: the folder " + rootPath
                               + "/no/such/dir does not exist");
    EXPECT_FALSE(svn.getTo({}, "1", dest));
    const QStringList cat = withAuth({"cat", "--revision", "1"}, {"f.c"});
    expectRuns({{rootPath, withAuth({"cat", "--revision", "12"}, {"src/f.c"})}, {rootPath, cat}, {rootPath, cat},
                {rootPath, cat}, {rootPath, cat}});
}

TEST_F(ProviderTest, CheckoutLocksAndReplacesAModifiedFileOnlyWhenAsked)
{
    makeWorkingCopy();
    writeFile("m.c", "local");
    ::chmod(QFile::encodeName(rootPath + "/m.c").constData(), 0444);
    fake.respondAlways("M            3        3 ann          m.c\n"
                       "             3        3 ann          clean.c\n" + Summary);
    ASSERT_TRUE(svn.checkout({"m.c"}, "editing", false)); // kept, locked, writable
    EXPECT_EQ(readBytes(rootPath + "/m.c"), "local");
    EXPECT_TRUE(ownerMayWrite(rootPath + "/m.c"));
    ASSERT_TRUE(svn.checkout({"m.c"}, QString(), true));  // deleted, updated, then locked
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/m.c"));
    ASSERT_TRUE(svn.checkout({"clean.c"}, "c", true));    // clean: the lock only
    // A failed replacing update asks for no lock; a refused lock leaves the mode.
    writeFile("m.c", "local");
    ::chmod(QFile::encodeName(rootPath + "/m.c").constData(), 0444);
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.checkout({"m.c"}, "c", true));
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/m.c"));
    writeFile("m.c", "local");
    ::chmod(QFile::encodeName(rootPath + "/m.c").constData(), 0444);
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.checkout({"m.c"}, "c", false));
    EXPECT_FALSE(ownerMayWrite(rootPath + "/m.c"));
    EXPECT_FALSE(svn.checkout({}, "c", false));
    const QStringList saved = withAuth({"status", "--show-updates", "--verbose"}, {"m.c"});
    const QStringList update = withAuth({"update"}, {"m.c"});
    expectRuns({{rootPath, withAuth({"status", "--non-recursive", "--show-updates", "--verbose"})},
                {rootPath, withAuth(QStringList{"lock"} + message("editing"), {"m.c"})}, {rootPath, saved},
                {rootPath, update}, {rootPath, withAuth(QStringList{"lock"} + message(""), {"m.c"})}, {rootPath, saved},
                {rootPath, withAuth(QStringList{"lock"} + message("c"), {"clean.c"})},
                {rootPath, withAuth({"status", "--show-updates", "--verbose"}, {"clean.c"})},
                {rootPath, update},
                {rootPath, withAuth(QStringList{"lock"} + message("c"), {"m.c"})}});
}

TEST_F(ProviderTest, UndoCheckoutDeletesUnlocksThenRestores)
{
    makeWorkingCopy();
    writeFile("f.c", "edited");
    ASSERT_TRUE(svn.undoCheckout({"f.c"}, false));
    EXPECT_EQ(readBytes(rootPath + "/f.c"), "edited");
    ASSERT_TRUE(svn.undoCheckout({"f.c"}, true));
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/f.c")); // the stand-in restores nothing
    // With the per-folder layout a refused unlock finds the file already gone.
    writeFile("g.c", "edited");
    fake.respond("", "svn: warning: W160040: No lock on path\n", 0);
    EXPECT_FALSE(svn.undoCheckout({"g.c"}, true));
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/g.c"));
    fake.respond("");
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.undoCheckout({"g.c"}, true));
    expectRuns({{rootPath, withAuth({"unlock"}, {"f.c"})},
                {rootPath, withAuth({"unlock"}, {"f.c"})}, {rootPath, withAuth({"update"}, {"f.c"})},
                {rootPath, withAuth({"unlock"}, {"g.c"})},
                {rootPath, withAuth({"unlock"}, {"g.c"})}, {rootPath, withAuth({"update"}, {"g.c"})}});
}

TEST_F(ProviderTest, CheckinCommitsAndRefreshesTheCachedRecord)
{
    makeWorkingCopy();
    makeWorkingCopy("src");
    fake.respond("M            3        3 ann          a.c\n" + Summary);
    ASSERT_NE(seam.record({"src", "a.c"}), nullptr);
    // The post-commit hook failed: the commit is made, and the client's
    // warning on standard output, with the hook's output, is the last error.
    fake.respond("Sending        src/a.c\nCommitted revision 4.\n\nWarning: post-commit hook failed (exit code 1) "
                 "with output:\nthe mail server is down\n\n");
    fake.respond("             4        4 ann          a.c\n" + Summary);
    const QString comment = "say \"hi\"\nline 2 'q' -x";
    ASSERT_TRUE(svn.checkin({"src", "a.c"}, comment));
    QString command;
    EXPECT_EQ(svn.getLastError(command),
              "Warning: post-commit hook failed (exit code 1) with output:\nthe mail server is down");
    EXPECT_EQ(command, "commit");
    const Answer after = ask({"src", "a.c"});
    EXPECT_FALSE(after.modified);
    EXPECT_EQ(after.revisionText, "4");
    // A null comment is "-m" and an empty argument; a failure leaves the cache alone.
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.checkin({"top.c"}, QString()));
    EXPECT_FALSE(svn.checkin({}, "everything")); // an empty target would commit the whole working copy
    expectRuns({{rootPath + "/src", withAuth({"status", "--non-recursive", "--show-updates", "--verbose"})},
                {rootPath, withAuth(QStringList{"commit"} + message(comment), {"src/a.c"})},
                {rootPath + "/src", withAuth({"status", "--show-updates", "--verbose"}, {"a.c"})},
                {rootPath, withAuth(QStringList{"commit"} + message(""), {"top.c"})}});
}

TEST_F(ProviderTest, ACommitStoppedBeforeItsEndIsCheckedWithTheServer)
{
    // The time limit stops the commit; after the clean-up the server is asked
    // for the newest revision of the file: it is the commit only when it is
    // newer than the file's base (1) and carries this message and user.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}, {"f.c", 0, "file", "normal", ""}});
    seam.client().setTimeoutSeconds(1);
    const auto entry = [](const char* revision, const char* author, const char* message) {
        return QByteArray("<?xml version=\"1.0\"?>\n<log>\n<logentry\n   revision=\"") + revision + "\">\n<author>"
            + author + "</author>\n<date>2026-12-07T03:53:01.721368Z</date>\n<msg>" + message + "</msg>\n</logentry>\n</log>\n";
    };
    struct Case { QByteArray log; bool landed; };
    const Case cases[] = {
        {entry("2", "ann", "edit &amp; more"), true},
        {entry("2", "ann", "another message"), false},
        {entry("1", "ann", "edit &amp; more"), false},
        {entry("2", "bob", "edit &amp; more"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log.toStdString());
        const int before = fake.callCount();
        fake.respond("", "", 0, 5000); // the commit, stopped
        fake.respond("");              // the clean-up
        fake.respond(c.log);
        EXPECT_EQ(svn.checkin({"f.c"}, "edit & more"), c.landed);
        QStringList runs;
        for (size_t i = size_t(before); i < fake.calls().size(); ++i)
            runs << fake.calls()[i].arguments.at(1);
        EXPECT_EQ(runs, c.landed ? QStringList({"commit", "cleanup", "log", "update"})
                                 : QStringList({"commit", "cleanup", "log"}));
    }
}

} // namespace
