// Binding the local root (both setRoots forms) and repository browsing.

#include "ProviderFixture.h"

namespace {

TEST_F(ProviderTest, OneListFormReadsTheWorkingCopysPlace)
{
    seam.bind(rootPath, "old-url", {"old"});
    const QStringList parts = rootPath.split('/', Qt::SkipEmptyParts);
    EXPECT_FALSE(svn.setRoots(parts)); // no working copy: nothing runs, the old place stays, the error says so
    EXPECT_EQ(lastError(), "info: " + rootPath + " is not a working copy");
    EXPECT_EQ(seam.localRootPath(), rootPath);
    EXPECT_EQ(seam.rootURL(), "old-url");
    makeWorkingCopy();
    svn.setOption(SourceCodeControlOption::RepositoryURL, "svn://repo/trunk");
    struct Case { QByteArray info; bool result; const char* rootURL; QStringList repositoryRoots; };
    const Case cases[] = {
        // Elsewhere than the repository URL: below the repository's root, each name decoded.
        {"Path: .\nURL: svn://host/repo/trunk/My%20Proj\nRepository Root: svn://host/repo\n", true,
         "svn://host/repo/trunk/My%20Proj", {"trunk", "My Proj"}},
        // A sibling whose name starts with the repository URL's last name is not below it.
        {"URL: svn://repo/trunk2/x\nRepository Root: svn://repo\n", true, "svn://repo/trunk2/x", {"trunk2", "x"}},
        {"URL: file:///r/a\n", true, "file:///r/a", {"file:", "r", "a"}},                   // no root: the whole URL
        {"Repository Root: svn://elsewhere\nURL: svn://host/x\n", true, "svn://host/x", {"file:", "r", "a"}},
        {"Path: .\n", true, "svn://host/x", {}},                                             // neither line
        // Below the repository URL the host set: relative to it, as the two-list form takes them.
        {"URL: SVN://Repo/trunk/My%20Proj\nRepository Root: svn://repo\n", true, "SVN://Repo/trunk/My%20Proj",
         {"My Proj"}},
    };
    for (const Case& c : cases) {
        fake.respond(c.info);
        EXPECT_EQ(svn.setRoots(parts), c.result);
        QStringList local, repository;
        svn.getRoots(local, repository);
        EXPECT_EQ(seam.rootURL(), c.rootURL);
        EXPECT_EQ(repository, c.repositoryRoots);
    }
    fake.respond("", "svn: E155007: not a working copy\n", 1);
    EXPECT_FALSE(svn.setRoots(parts));
    EXPECT_EQ(fake.calls()[0].workingDirectory, QDir::currentPath());
    EXPECT_EQ(fake.calls()[0].arguments.mid(1), withAuth({"info"}, {rootPath}));
}

TEST_F(ProviderTest, TwoListFormChecksOutIntoTheParent)
{
    const QStringList parts = (rootPath + "/proj").split('/', Qt::SkipEmptyParts);
    svn.setOption(SourceCodeControlOption::RepositoryURL, "svn://host/repo");
    ASSERT_TRUE(svn.setRoots(parts, {"trunk", "proj"}));
    EXPECT_EQ(seam.rootURL(), "svn://host/repo/trunk/proj");
    // No repository roots: the URL as given; a failed check-out still sets the fields.
    svn.setOption(SourceCodeControlOption::RepositoryURL, "svn://host/repo/");
    fake.respond("", "svn: E170013: Unable to connect\n", 1);
    EXPECT_FALSE(svn.setRoots(parts, {}));
    EXPECT_EQ(seam.rootURL(), "svn://host/repo/");
    ASSERT_TRUE(svn.setRoots(parts, {"x"}));
    EXPECT_EQ(seam.rootURL(), "svn://host/repo//x");
    // A root right below "/" is checked out from "/"; "/" itself cannot be.
    svn.setOption(SourceCodeControlOption::RepositoryURL, "svn://r");
    ASSERT_TRUE(svn.setRoots({"svnscc-no-such-root"}, {"p"}));
    EXPECT_FALSE(svn.setRoots({}, {"p"}));
    EXPECT_EQ(seam.localRootPath(), "/");
    QString command;
    EXPECT_EQ(svn.getLastError(command), "the file-system root / cannot be a local root");
    EXPECT_EQ(command, "checkout");
    // An existing working copy: nothing runs, whatever the lists say.
    makeWorkingCopy();
    ASSERT_TRUE(svn.setRoots(rootPath.split('/', Qt::SkipEmptyParts), {"anything"}));
    expectRuns({{rootPath, withAuth({"checkout", "-N", "svn://host/repo/trunk/proj", "proj"})},
                {rootPath, withAuth({"checkout", "-N", "svn://host/repo/", "proj"})},
                {rootPath, withAuth({"checkout", "-N", "svn://host/repo//x", "proj"})},
                {"/", withAuth({"checkout", "-N", "svn://r/p", "svnscc-no-such-root"})}});
    EXPECT_EQ(svn.getLocalDirectory({"src", "util", "a.c"}), rootPath + "/src/util");
}

TEST_F(ProviderTest, TwoListFormBindsOnlyACheckoutOfThePlaceAskedFor)
{
    // The working copy records the repository as its client was given it:
    // scheme and host name match in any case, the path exactly.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}}, "SVN://Repo");
    const QStringList parts = rootPath.split('/', Qt::SkipEmptyParts);
    EXPECT_TRUE(svn.setRoots(parts, {"trunk"})) << lastError().toStdString();
    EXPECT_FALSE(svn.setRoots(parts, {"Trunk"}));
    EXPECT_EQ(lastError(), "checkout: " + rootPath + " is a working copy of SVN://Repo/trunk, not of svn://repo/Trunk");
    expectRuns({});
}

TEST_F(ProviderTest, RepositoryListingsAndFolders)
{
    fake.respondAlways("a.c\nb.h\nsrc/\n");
    QStringList files{"kept"}, dirs{"kept"};
    ASSERT_TRUE(svn.getFilesList({"trunk", "lib"}, files));
    ASSERT_TRUE(svn.getDirectoriesList({}, dirs)); // no parts: the URL with one trailing "/"
    ASSERT_TRUE(svn.getFilesList({"trunk", "lib"}, files)); // listed afresh, appended again
    EXPECT_EQ(files, QStringList({"kept", "a.c", "b.h", "a.c", "b.h"}));
    EXPECT_EQ(dirs, QStringList({"kept", "src"}));
    // A warning fails a listing that printed entries; nothing is appended.
    fake.respond("a.c\nsub/\n", "svn: warning: W000000: careful\n", 0);
    EXPECT_FALSE(svn.getDirectoriesList({"x"}, dirs));
    EXPECT_EQ(dirs, QStringList({"kept", "src"}));
    ASSERT_TRUE(svn.createDirectory({"trunk", "proj"}, "new dir"));
    ASSERT_TRUE(svn.createDirectory({}, "top")); // two slashes before the name
    const QString here = QDir::currentPath();
    const QStringList mkdir = QStringList{"mkdir"} + message("Quillhaven Generated");
    expectRuns({{here, withAuth({"list"}, {"svn://repo/trunk/lib"})},
                {here, withAuth({"list"}, {"svn://repo/"})},
                {here, withAuth({"list"}, {"svn://repo/trunk/lib"})},
                {here, withAuth({"list"}, {"svn://repo/x"})},
                {here, withAuth(mkdir, {"svn://repo/trunk/proj/new%20dir"})},
                {here, withAuth(mkdir, {"svn://repo//top"})}});
    EXPECT_EQ(lastError(), "list: svn: warning: W000000: careful");
}

} // namespace
