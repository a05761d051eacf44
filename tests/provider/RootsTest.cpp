// Binding the local root: both setRoots forms and the directory helpers.

#include "ProviderFixture.h"

namespace {

TEST_F(ProviderTest, OneListFormNeedsAWorkingCopy)
{
    svn.rootURL = "old-url";
    svn.repositoryRoots = QStringList{"old"};
    QStringList parts = rootPath.split('/', Qt::SkipEmptyParts);
    EXPECT_FALSE(svn.setRoots(parts));
    EXPECT_EQ(fake.callCount(), 0);
    EXPECT_EQ(svn.localRoots, parts);
    EXPECT_EQ(svn.localRootPath, rootPath);
    EXPECT_EQ(svn.rootURL, "old-url");
    EXPECT_EQ(svn.repositoryRoots, QStringList{"old"});
}

TEST_F(ProviderTest, OneListFormReadsInfo)
{
    makeWorkingCopy();
    const QStringList parts = rootPath.split('/', Qt::SkipEmptyParts);
    fake.respond("Path: .\n"
                 "Relative URL: ^/trunk/proj\n"
                 "URL: svn://host/repo/trunk/proj\n"
                 "Repository Root: svn://host/repo\n"
                 "Revision: 9\n");
    ASSERT_TRUE(svn.setRoots(parts));
    EXPECT_EQ(args(0), QStringList{"info"} + auth() + QStringList{rootPath});
    EXPECT_EQ(dirOf(0), QDir::currentPath());
    EXPECT_EQ(svn.rootURL, "svn://host/repo/trunk/proj");
    EXPECT_EQ(svn.repositoryRoots, QStringList({"trunk", "proj"}));

    // Without "Repository Root:" the whole URL is the repository path.
    fake.respond("URL: file:///r/a\n");
    ASSERT_TRUE(svn.setRoots(parts));
    EXPECT_EQ(svn.rootURL, "file:///r/a");
    EXPECT_EQ(svn.repositoryRoots, QStringList({"file:", "r", "a"}));

    // A URL outside the repository root keeps the previous repository roots.
    fake.respond("Repository Root: svn://elsewhere\nURL: svn://host/x\n");
    ASSERT_TRUE(svn.setRoots(parts));
    EXPECT_EQ(svn.rootURL, "svn://host/x");
    EXPECT_EQ(svn.repositoryRoots, QStringList({"file:", "r", "a"}));

    // Neither line: empty repository roots, rootURL unchanged.
    fake.respond("Path: .\n");
    ASSERT_TRUE(svn.setRoots(parts));
    EXPECT_TRUE(svn.repositoryRoots.isEmpty());
    EXPECT_EQ(svn.rootURL, "svn://host/x");

    // A failing "info": false, fields as before.
    fake.respond("", "svn: E155007: not a working copy\n", 1);
    EXPECT_FALSE(svn.setRoots(parts));
    EXPECT_EQ(svn.rootURL, "svn://host/x");
}

TEST_F(ProviderTest, TwoListFormChecksOutIntoTheParent)
{
    const QStringList parts = (rootPath + "/proj").split('/', Qt::SkipEmptyParts);
    svn.repositoryURL = "svn://host/repo";
    ASSERT_TRUE(svn.setRoots(parts, {"trunk", "proj"}));
    EXPECT_EQ(svn.localRootPath, rootPath + "/proj");
    EXPECT_EQ(svn.rootURL, "svn://host/repo/trunk/proj");
    EXPECT_EQ(svn.repositoryRoots, QStringList({"trunk", "proj"}));
    EXPECT_EQ(args(0), QStringList({"checkout", "-N", "svn://host/repo/trunk/proj", "proj"}) + auth());
    EXPECT_EQ(dirOf(0), rootPath);

    // Empty repository roots: rootURL is the repository URL as given; a failed
    // check-out still leaves all four fields set.
    svn.repositoryURL = "svn://host/repo/";
    fake.respond("", "svn: E170013: Unable to connect\n", 1);
    EXPECT_FALSE(svn.setRoots(parts, {}));
    EXPECT_EQ(svn.rootURL, "svn://host/repo/");
    EXPECT_TRUE(svn.repositoryRoots.isEmpty());
    ASSERT_TRUE(svn.setRoots(parts, {"x"}));
    EXPECT_EQ(svn.rootURL, "svn://host/repo//x");

    // An existing working copy: nothing runs, whatever the lists say.
    makeWorkingCopy();
    ASSERT_TRUE(svn.setRoots(rootPath.split('/', Qt::SkipEmptyParts), {"anything"}));
    EXPECT_EQ(fake.callCount(), 3);
    EXPECT_EQ(svn.localRootPath, rootPath);
}

TEST_F(ProviderTest, TwoListFormEdgeRoots)
{
    svn.repositoryURL = "svn://r";
    // A root directly below "/" is checked out from "/".
    ASSERT_TRUE(svn.setRoots({"svnscc-no-such-root"}, {"p"}));
    EXPECT_EQ(args(0), QStringList({"checkout", "-N", "svn://r/p", "svnscc-no-such-root"}) + auth());
    EXPECT_EQ(dirOf(0), "/");
    // The file-system root itself cannot be checked out.
    EXPECT_FALSE(svn.setRoots({}, {"p"}));
    EXPECT_EQ(svn.localRootPath, "/");
    EXPECT_EQ(fake.callCount(), 1);
}

TEST_F(ProviderTest, LocalDirectoryOfPathParts)
{
    EXPECT_EQ(svn.getLocalDirectory({"a.c"}), rootPath);
    EXPECT_EQ(svn.getLocalDirectory({"src", "util", "a.c"}), rootPath + "/src/util");
    svn.localRoots.clear();
    svn.localRootPath = "/";
    QStringList local, repository;
    svn.getRoots(local, repository);
    EXPECT_TRUE(local.isEmpty());
}

} // namespace
