// Adding, getting, locking, unlocking and committing files: whole run
// sequences (command, arguments, working directory, target).

#include "ProviderFixture.h"

#include <QFileInfo>

#include <sys/stat.h>

namespace {

const QStringList AddArgs{"add", "--non-recursive", "--quiet"};
const QString StatusSummary = QStringLiteral("Status against revision:      9\n");
const QByteArray Failure = "svn: E000001: refused\n";

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST_F(ProviderTest, AddFileFetchesOrAddsEachMissingLevel)
{
    makeWorkingCopy();
    // "lib" is in the repository but not here; "lib/new" is in neither.
    fake.respond("Path: lib\n");                             // probe lib: found
    fake.respond("");                                        // checkout lib
    fake.respond("", "svn: E170000: URL doesn't exist\n", 1); // probe lib/new: not found
    const QStringList parts{"lib", "new", "f.c"};
    ASSERT_TRUE(svn.addFile(parts, "why"));

    ASSERT_EQ(fake.callCount(), 7);
    EXPECT_EQ(args(0), QStringList{"info"} + auth() + QStringList{"svn://repo/trunk/lib"});
    EXPECT_EQ(dirOf(0), QDir::currentPath());
    EXPECT_EQ(args(1), QStringList({"checkout", "--non-recursive", "svn://repo/trunk/lib"}) + auth()
                           + QStringList{"lib"});
    EXPECT_EQ(dirOf(1), rootPath);
    EXPECT_EQ(args(2), QStringList{"info"} + auth() + QStringList{"svn://repo/trunk/lib/new"});
    EXPECT_EQ(args(3), AddArgs + QStringList{"new"});
    EXPECT_EQ(args(4), QStringList({"commit", "--non-recursive", "--message", "why"}) + auth()
                           + QStringList{"new"});
    EXPECT_EQ(args(5), AddArgs + QStringList{"f.c"});
    EXPECT_EQ(args(6), QStringList({"commit", "--message", "why"}) + auth() + QStringList{"f.c"});
    QString command;
    svn.getLastError(command);
    EXPECT_EQ(command, "info"); // the failed probe stays the last error
}

TEST_F(ProviderTest, AddFileRunsInTheLevelDirectories)
{
    makeWorkingCopy();
    QDir().mkpath(rootPath + "/lib/new");
    fake.respond("Path: lib\n");
    fake.respond("");
    fake.respond("", "svn: E170000: URL doesn't exist\n", 1);
    // The cached "not a working copy" entries of the levels are dropped.
    svn.statusCache.emplace(rootPath + "/lib", nullptr);
    svn.statusCache.emplace(rootPath + "/lib/new", new SVNDirectoryStatus);
    svn.statusCache.emplace(rootPath + "/other", nullptr);
    ASSERT_TRUE(svn.addFile({"lib", "new", "f.c"}, QString()));

    const QStringList dirs{QDir::currentPath(), rootPath, QDir::currentPath(), rootPath + "/lib",
                           rootPath + "/lib", rootPath + "/lib/new", rootPath + "/lib/new"};
    ASSERT_EQ(fake.callCount(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(dirOf(i), dirs[i]) << "call " << i;
    // A null comment is an empty message.
    EXPECT_EQ(args(4), QStringList({"commit", "--non-recursive", "--message", ""}) + auth()
                           + QStringList{"new"});
    EXPECT_EQ(args(6), QStringList({"commit", "--message", ""}) + auth() + QStringList{"f.c"});
    EXPECT_EQ(svn.statusCache.count(rootPath + "/lib"), 0u);
    EXPECT_EQ(svn.statusCache.count(rootPath + "/lib/new"), 0u);
    EXPECT_EQ(svn.statusCache.count(rootPath + "/other"), 1u);
}

TEST_F(ProviderTest, AddFileInWorkingCopyLevelsAndTheRoot)
{
    makeWorkingCopy();
    makeWorkingCopy("src");
    ASSERT_TRUE(svn.addFile({"src", "a.c"}, ""));
    ASSERT_EQ(fake.callCount(), 2);
    EXPECT_EQ(args(0), AddArgs + QStringList{"a.c"});
    EXPECT_EQ(dirOf(0), rootPath + "/src");

    // One component: add and commit in the local root, then saved() re-reads
    // the file because its directory is cached.
    svn.statusCache.emplace(rootPath, new SVNDirectoryStatus);
    fake.respond("");
    fake.respond("");
    fake.respond("A             0        ? ?            top.c\n" + StatusSummary.toLatin1());
    ASSERT_TRUE(svn.addFile({"top.c"}, "c"));
    ASSERT_EQ(fake.callCount(), 5);
    EXPECT_EQ(args(2), AddArgs + QStringList{"top.c"});
    EXPECT_EQ(dirOf(2), rootPath);
    EXPECT_EQ(args(3), QStringList({"commit", "--message", "c"}) + auth() + QStringList{"top.c"});
    EXPECT_EQ(args(4), QStringList({"status", "--show-updates", "--verbose"}) + auth()
                           + QStringList{"top.c"});
    EXPECT_NE(svn.getFileStatus({"top.c"}), nullptr);

    EXPECT_FALSE(svn.addFile({}, "c"));
    EXPECT_EQ(fake.callCount(), 5);
}

TEST_F(ProviderTest, AddFileStopsAtTheFirstFailure)
{
    makeWorkingCopy();
    // Already under version control: the add fails and nothing is committed.
    fake.respond("", "svn: warning: W150002: already under version control\n", 0);
    EXPECT_FALSE(svn.addFile({"a.c"}, "c"));
    EXPECT_EQ(fake.callCount(), 1);
    QString command;
    EXPECT_EQ(svn.getLastError(command), "svn: warning: W150002: already under version control");
    EXPECT_EQ(command, "add");

    // A failed directory fetch ends it before anything else.
    fake.respond("Path: lib\n");
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.addFile({"lib", "a.c"}, "c"));
    EXPECT_EQ(fake.callCount(), 3);

    // A failed directory commit too.
    fake.respond("", Failure, 1);
    fake.respond("");
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.addFile({"lib", "a.c"}, "c"));
    EXPECT_EQ(fake.callCount(), 6);
    EXPECT_EQ(args(5).first(), "commit");
}

TEST_F(ProviderTest, GetFileUpdatesMissingLevelsThenTheFile)
{
    makeWorkingCopy();
    makeWorkingCopy("a");
    QDir().mkpath(rootPath + "/a/b");
    svn.statusCache.emplace(rootPath + "/a/b", nullptr);
    writeFile("a/b/f.c", "local");

    ASSERT_TRUE(svn.getFile({"a", "b", "f.c"}, true));
    ASSERT_EQ(fake.callCount(), 2);
    EXPECT_EQ(args(0), QStringList({"update", "--non-recursive"}) + auth() + QStringList{"b"});
    EXPECT_EQ(dirOf(0), rootPath + "/a");
    EXPECT_EQ(args(1), QStringList{"update"} + auth() + QStringList{"a/b/f.c"});
    EXPECT_EQ(dirOf(1), rootPath);
    // The level's entry was dropped before saved(), which so runs nothing.
    EXPECT_EQ(svn.statusCache.count(rootPath + "/a/b"), 0u);
    EXPECT_EQ(readAll(rootPath + "/a/b/f.c"), "local"); // keepLocal never deletes
}

TEST_F(ProviderTest, GetFileWithoutKeepingDeletesFirst)
{
    makeWorkingCopy();
    writeFile("f.c", "local edits");
    ASSERT_TRUE(svn.getFile({"f.c"}, false));
    ASSERT_EQ(fake.callCount(), 1);
    EXPECT_EQ(args(0), QStringList{"update"} + auth() + QStringList{"f.c"});
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/f.c"));

    // A missing local file is no error; a failed update leaves it deleted.
    writeFile("g.c", "local");
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.getFile({"g.c"}, false));
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/g.c"));
    ASSERT_TRUE(svn.getFile({"g.c"}, false));

    // A failed level update stops before the file is touched.
    writeFile("h.c", "keep");
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.getFile({"lvl", "h.c"}, false));
    EXPECT_EQ(fake.callCount(), 4);
    EXPECT_FALSE(svn.getFile({}, true));
    EXPECT_EQ(fake.callCount(), 4);
}

TEST_F(ProviderTest, GetToWritesTheClientsBytesUnchanged)
{
    makeWorkingCopy();
    const QString dest = rootPath + "/out.txt";
    fake.respond("a\n\nb\n");
    ASSERT_TRUE(svn.getTo({"src", "f.c"}, "12", dest));
    EXPECT_EQ(args(0), QStringList({"cat", "--revision", "12"}) + auth() + QStringList{"src/f.c"});
    EXPECT_EQ(dirOf(0), rootPath);
    EXPECT_EQ(readAll(dest), "a\n\nb\n");

    const QByteArray binary("one\r\ntwo\rX\0\xe9\xff last", 18);
    fake.respond(binary);
    ASSERT_TRUE(svn.getTo({"f.c"}, "HEAD", dest));
    EXPECT_EQ(readAll(dest), binary);

    fake.respond("");
    ASSERT_TRUE(svn.getTo({"f.c"}, "1", dest));
    EXPECT_EQ(readAll(dest), "");

    // A failed run leaves the destination alone; an unopenable one is false.
    writeFile("out.txt", "previous");
    fake.respond("partial\n", Failure, 1);
    EXPECT_FALSE(svn.getTo({"f.c"}, "1", dest));
    EXPECT_EQ(readAll(dest), "previous");
    EXPECT_FALSE(svn.getTo({"f.c"}, "1", rootPath + "/no/such/dir/out.txt"));
    EXPECT_FALSE(svn.getTo({}, "1", dest));
    EXPECT_EQ(fake.callCount(), 5);
    // getTo never calls saved(): no status run even for a cached directory.
}

TEST_F(ProviderTest, CheckoutReplacesModifiedFilesOnlyWhenAsked)
{
    makeWorkingCopy();
    writeFile("m.c", "local");
    ::chmod(QFile::encodeName(rootPath + "/m.c").constData(), 0444);
    fake.respond("M            3        3 ann          m.c\n"
                 "             3        3 ann          clean.c\n" + StatusSummary.toLatin1());

    // Modified, replaceLocal false: the local text stays, lock requested.
    ASSERT_TRUE(svn.checkout({"m.c"}, "editing", false));
    EXPECT_EQ(args(1), QStringList({"lock", "-m", "editing"}) + auth() + QStringList{"m.c"});
    EXPECT_EQ(dirOf(1), rootPath);
    EXPECT_EQ(args(2), QStringList({"status", "--show-updates", "--verbose"}) + auth() + QStringList{"m.c"});
    EXPECT_EQ(readAll(rootPath + "/m.c"), "local");
    EXPECT_EQ(QFileInfo(rootPath + "/m.c").permissions() & QFile::WriteOwner, QFile::WriteOwner);

    // saved() parsed an empty answer, so the record is unchanged (still modified).
    // Modified, replaceLocal true: delete, update, lock, in that order.
    ASSERT_TRUE(svn.checkout({"m.c"}, QString(), true));
    ASSERT_EQ(fake.callCount(), 6);
    EXPECT_EQ(args(3), QStringList{"update"} + auth() + QStringList{"m.c"});
    EXPECT_EQ(args(4), QStringList({"lock", "-m", ""}) + auth() + QStringList{"m.c"});
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/m.c")); // the stand-in restores nothing

    // Clean file with replaceLocal true: only the lock and saved().
    ASSERT_TRUE(svn.checkout({"clean.c"}, "c", true));
    ASSERT_EQ(fake.callCount(), 8);
    EXPECT_EQ(args(6).first(), "lock");
}

TEST_F(ProviderTest, CheckoutFailures)
{
    // No record (not a working copy): straight to the lock.
    fake.respond("", "svn: warning: W160035: locked by bob\n", 0);
    EXPECT_FALSE(svn.checkout({"x.c"}, "c", true));
    ASSERT_EQ(fake.callCount(), 1);
    EXPECT_EQ(args(0).first(), "lock");

    // A failed replacement update requests no lock and leaves the file deleted.
    makeWorkingCopy();
    svn.refresh();
    writeFile("m.c", "local");
    ::chmod(QFile::encodeName(rootPath + "/m.c").constData(), 0444);
    fake.respond("M            3        3 ann          m.c\n" + StatusSummary.toLatin1());
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.checkout({"m.c"}, "c", true));
    ASSERT_EQ(fake.callCount(), 3);
    EXPECT_EQ(args(2).first(), "update");
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/m.c"));

    // A refused lock leaves the permissions alone.
    writeFile("m.c", "local");
    ::chmod(QFile::encodeName(rootPath + "/m.c").constData(), 0444);
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.checkout({"m.c"}, "c", false));
    EXPECT_EQ(QFileInfo(rootPath + "/m.c").permissions() & QFile::WriteOwner, 0);
    EXPECT_FALSE(svn.checkout({}, "c", false));
    EXPECT_EQ(fake.callCount(), 4);
}

TEST_F(ProviderTest, UndoCheckoutUnlocksThenRestores)
{
    makeWorkingCopy();
    writeFile("f.c", "edited");
    ASSERT_TRUE(svn.undoCheckout({"f.c"}, false));
    ASSERT_EQ(fake.callCount(), 1);
    EXPECT_EQ(args(0), QStringList{"unlock"} + auth() + QStringList{"f.c"});
    EXPECT_EQ(dirOf(0), rootPath);
    EXPECT_EQ(readAll(rootPath + "/f.c"), "edited");

    ASSERT_TRUE(svn.undoCheckout({"f.c"}, true));
    ASSERT_EQ(fake.callCount(), 3);
    EXPECT_EQ(args(1).first(), "unlock");
    EXPECT_EQ(args(2), QStringList{"update"} + auth() + QStringList{"f.c"});
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/f.c"));

    // A refused unlock: false, and the file is already gone.
    writeFile("g.c", "edited");
    fake.respond("", "svn: warning: W160040: No lock on path\n", 0);
    EXPECT_FALSE(svn.undoCheckout({"g.c"}, true));
    EXPECT_FALSE(QFileInfo::exists(rootPath + "/g.c"));
    EXPECT_EQ(fake.callCount(), 4);

    // A failed update after a good unlock is false too.
    fake.respond("");
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.undoCheckout({"g.c"}, true));
    EXPECT_EQ(fake.callCount(), 6);
}

TEST_F(ProviderTest, CheckinCommitsAndRefreshesTheCachedRecord)
{
    makeWorkingCopy();
    makeWorkingCopy("src");
    fake.respond("M            3        3 ann          a.c\n" + StatusSummary.toLatin1());
    ASSERT_NE(svn.getFileStatus({"src", "a.c"}), nullptr);

    fake.respond("Committed revision 4.\n");
    fake.respond("             4        4 ann          a.c\n" + StatusSummary.toLatin1());
    const QString comment = QStringLiteral("say \"hi\"\nline 2 'q' -x");
    ASSERT_TRUE(svn.checkin({"src", "a.c"}, comment));
    EXPECT_EQ(args(1), QStringList({"commit", "-m", comment}) + auth() + QStringList{"src/a.c"});
    EXPECT_EQ(dirOf(1), rootPath);
    bool controlled, checkedOut, modified, outOfDate;
    QString s, r, l;
    ASSERT_TRUE(svn.status({"src", "a.c"}, controlled, checkedOut, modified, outOfDate, s, r, l));
    EXPECT_FALSE(modified);
    EXPECT_EQ(r, "4");

    // Null comment: "-m" and an empty argument. A failure leaves the cache alone.
    fake.respond("", Failure, 1);
    EXPECT_FALSE(svn.checkin({"top.c"}, QString()));
    EXPECT_EQ(args(3), QStringList({"commit", "-m", ""}) + auth() + QStringList{"top.c"});
    EXPECT_EQ(fake.callCount(), 4);
    EXPECT_FALSE(svn.checkin({}, "everything"));
    EXPECT_EQ(fake.callCount(), 4);
}

} // namespace
