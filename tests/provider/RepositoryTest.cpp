// Repository browsing: listings, directory creation and the repository list.

#include "ProviderFixture.h"

namespace {

TEST_F(ProviderTest, ListingsSplitFilesFromDirectories)
{
    fake.respondAlways("a.c\nb.h\nsrc/\n");
    QStringList files{"kept"};
    QStringList dirs{"kept"};
    ASSERT_TRUE(svn.getFilesList({"trunk", "lib"}, files));
    ASSERT_TRUE(svn.getDirectoriesList({"trunk", "lib"}, dirs));
    EXPECT_EQ(files, QStringList({"kept", "a.c", "b.h"}));
    EXPECT_EQ(dirs, QStringList({"kept", "src"}));
    // Each call lists afresh and appends again.
    ASSERT_TRUE(svn.getFilesList({"trunk", "lib"}, files));
    EXPECT_EQ(files, QStringList({"kept", "a.c", "b.h", "a.c", "b.h"}));
    ASSERT_EQ(fake.callCount(), 3);
    EXPECT_EQ(args(0), QStringList{"list"} + auth() + QStringList{"svn://repo/trunk/lib"});
    EXPECT_EQ(dirOf(0), QDir::currentPath());

    // No parts: the repository URL with one trailing "/".
    ASSERT_TRUE(svn.getDirectoriesList({}, dirs));
    EXPECT_EQ(args(3).last(), "svn://repo/");
}

TEST_F(ProviderTest, ListingFailuresAndEmptyDirectories)
{
    fake.respond("");
    QStringList names{"kept"};
    ASSERT_TRUE(svn.getFilesList({"empty"}, names));
    EXPECT_EQ(names, QStringList{"kept"});

    // A warning fails the listing even though entries were printed.
    fake.respond("a.c\nsub/\n", "svn: warning: W000000: careful\n", 0);
    EXPECT_FALSE(svn.getFilesList({"x"}, names));
    fake.respond("a.c\nsub/\n", "svn: E170000: URL doesn't exist\n", 1);
    EXPECT_FALSE(svn.getDirectoriesList({"x"}, names));
    EXPECT_EQ(names, QStringList{"kept"});
    QString command;
    EXPECT_EQ(svn.getLastError(command), "svn: E170000: URL doesn't exist");
    EXPECT_EQ(command, "list");
}

TEST_F(ProviderTest, CreateDirectoryCommitsWithTheFixedMessage)
{
    ASSERT_TRUE(svn.createDirectory({"trunk", "proj"}, "new dir"));
    EXPECT_EQ(args(0), QStringList({"mkdir", "--message", "Quillhaven Generated"}) + auth()
                           + QStringList{"svn://repo/trunk/proj/new dir"});
    EXPECT_EQ(dirOf(0), QDir::currentPath());
    // Empty parent parts give two slashes before the name.
    fake.respond("", "svn: E160020: Path already exists\n", 1);
    EXPECT_FALSE(svn.createDirectory({}, "top"));
    EXPECT_EQ(args(1).last(), "svn://repo//top");
    QString command;
    svn.getLastError(command);
    EXPECT_EQ(command, "mkdir");
}

TEST(Provider, RepositoryListAppendsTheOneURL)
{
    TestableSVN svn;
    QStringList list{"x"};
    EXPECT_TRUE(svn.getRepositoryList(list));
    ASSERT_EQ(list.size(), 2);
    EXPECT_TRUE(list[1].isNull());
    svn.setOption(SourceCodeControlOption::RepositoryURL, "svn://r");
    svn.getRepositoryList(list);
    svn.getRepositoryList(list);
    EXPECT_EQ(list.mid(2), QStringList({"svn://r", "svn://r"}));
}

} // namespace
