// The provider on working copies that svn 1.14 makes with an ordinary
// recursive checkout: status compared with the client's own, no reshaping,
// a clean working copy after undoing, any language, any file name, exact bytes.

#include "E2EFixture.h"
#include "ScopedVariable.h"

#include <QFileInfo>

namespace {

class TodaysClient : public E2EFixture
{
protected:
    // The repository holds project/ with files at depths 1 to 3; ann checks
    // it out recursively with the client and binds it with the one-list
    // setRoots.
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_root = annChecksOut({"project/top.txt", "project/theirs.txt", "project/a/one.txt", "project/a/del.txt",
                               "project/a/b/two.txt", "project/a/b/conf.txt", "project/a/b/c/three.txt"});
        loginAs("ann");
        bindWorkingCopy(m_root);
    }

    QString differs(const QString& path) { return differenceWithClient(m_root, path); }

    QString depthOf(const QString& path)
    {
        return QString::fromUtf8(svnOk({"info", "--show-item", "depth", m_root + '/' + path}, "ann")).trimmed();
    }

    QString m_root;
};

} // namespace

TEST_F(TodaysClient, StatusAtEveryDepthIsTheClientsOwn)
{
    const QString ann = "ann";
    // A nested working copy and a directory external have a ".svn" of their own.
    svnOk({"checkout", urlOf("project/a"), m_root + "/nested"}, ann);
    svnOk({"propset", "svn:externals", QStringLiteral("ext ") + urlOf("project/a/b/c"), m_root}, ann);
    svnOk({"update", m_root}, ann);
    const QString bobs = m_base + "/bob";
    svnOk({"checkout", urlOf("project"), bobs});
    writeBytes(bobs + "/a/b/two.txt", "bob's\n");
    writeBytes(bobs + "/a/b/conf.txt", "bob's\n");
    svnOk({"commit", "-m", "bob", bobs});
    svnOk({"lock", bobs + "/theirs.txt"});

    writeBytes(m_root + "/a/one.txt", "edited\n");
    writeBytes(m_root + "/a/b/conf.txt", "ann's\n");
    svnOk({"update", "--accept", "postpone", m_root + "/a/b/conf.txt"}, ann);
    writeBytes(m_root + "/a/b/added.txt", "new\n");
    svnOk({"add", m_root + "/a/b/added.txt"}, ann);
    svnOk({"rm", m_root + "/a/del.txt"}, ann);
    ASSERT_TRUE(m_provider->checkout({"a", "b", "c", "three.txt"}, "mine", false)) << lastError().toStdString();

    for (const char* path : {"top.txt", "theirs.txt", "a/one.txt", "a/del.txt", "a/b", "a/b/two.txt",
                             "a/b/conf.txt", "a/b/added.txt", "a/b/c/three.txt", "nested/one.txt",
                             "ext/three.txt"})
        EXPECT_EQ(differs(QString::fromLatin1(path)), QString()) << path;
    // Spot checks of what the comparison covers.
    FileStatus two, three;
    ASSERT_TRUE(statusOf({"a", "b", "two.txt"}, two) && statusOf({"a", "b", "c", "three.txt"}, three));
    EXPECT_TRUE(two.outOfDate);
    EXPECT_TRUE(three.checkedOut);
}

TEST_F(TodaysClient, AddFileAndGetFileKeepTheCheckoutAsItIs)
{
    QDir(m_root).mkpath("x/y/z");
    writeBytes(m_root + "/x/y/z/new.txt", "new\n");
    writeBytes(m_root + "/a/b/c/deep.txt", "deep\n");
    ASSERT_TRUE(m_provider->addFile({"x", "y", "z", "new.txt"}, "three new levels")) << lastError().toStdString();
    ASSERT_TRUE(m_provider->addFile({"a", "b", "c", "deep.txt"}, "three old levels")) << lastError().toStdString();
    for (const char* path : {"x", "x/y", "x/y/z", "a", "a/b", "a/b/c"})
        EXPECT_EQ(depthOf(QString::fromLatin1(path)), "infinity") << path;
    EXPECT_EQ(svnOk({"status", m_root}, "ann"), QByteArray());
    EXPECT_FALSE(QFileInfo::exists(m_root + "/x/.svn"));
    EXPECT_EQ(differs("x/y/z/new.txt"), QString());

    // getFile of one file updates that file alone.
    const QString bobs = m_base + "/bob";
    svnOk({"checkout", urlOf("project"), bobs});
    writeBytes(bobs + "/a/b/two.txt", "bob's two\n");
    writeBytes(bobs + "/a/b/conf.txt", "bob's conf\n");
    svnOk({"commit", "-m", "bob", bobs});
    ASSERT_TRUE(m_provider->getFile({"a", "b", "two.txt"}, true)) << lastError().toStdString();
    EXPECT_EQ(readBytes(m_root + "/a/b/two.txt"), QByteArray("bob's two\n"));
    EXPECT_EQ(readBytes(m_root + "/a/b/conf.txt"), QByteArray("project/a/b/conf.txt\n"));
    EXPECT_EQ(depthOf("a/b"), "infinity");
}

TEST_F(TodaysClient, NamesCommentsAndLanguagesReachTheClientUnchanged)
{
    // The host runs in the C locale and would like German messages.
    const ScopedVariable all("LC_ALL", "C"), language("LANGUAGE", "de");
    const QStringList names{"café.txt", "日本/文書.txt", "-dash.txt", "icon@2x.png", "README"};
    QDir(m_root).mkpath("日本");
    for (const QString& name : names) {
        writeBytes(m_root + QLatin1Char('/') + name, name.toUtf8() + "\n");
        // The comment is the name of an existing file.
        EXPECT_TRUE(m_provider->addFile(name.split(QLatin1Char('/')), "top.txt"))
            << name.toStdString() << ": " << lastError().toStdString();
    }
    QStringList localRoots, repositoryRoots;
    ASSERT_TRUE(m_provider->setRoots(m_root.split(QLatin1Char('/'), Qt::SkipEmptyParts)));
    m_provider->getRoots(localRoots, repositoryRoots);
    EXPECT_EQ(repositoryRoots, QStringList{"project"});
    for (const QString& name : names) {
        const QStringList parts = name.split(QLatin1Char('/'));
        EXPECT_EQ(differs(name), QString()) << name.toStdString();
        writeBytes(m_root + QLatin1Char('/') + name, "edited\n");
        EXPECT_TRUE(m_provider->saved(parts));
        EXPECT_TRUE(m_provider->checkin(parts, name)) << name.toStdString() << ": " << lastError().toStdString();
        EXPECT_TRUE(m_provider->checkout(parts, "README", false)) << lastError().toStdString();
        EXPECT_TRUE(m_provider->undoCheckout(parts, true)) << lastError().toStdString();
        EXPECT_EQ(svnOk({"cat", urlOf(QStringLiteral("project/") + name) + QLatin1Char('@')}), QByteArray("edited\n"));
        EXPECT_EQ(logMessage("HEAD"), name.toUtf8());
    }
    QStringList files;
    EXPECT_TRUE(m_provider->getFilesList({"project", "日本"}, files));
    EXPECT_EQ(files, QStringList{"文書.txt"});
    EXPECT_FALSE(m_provider->getFilesList({"project", "absent"}, files));
    EXPECT_TRUE(lastError().contains("not found")) << lastError().toStdString();
}

TEST_F(TodaysClient, GetToKeepsEveryByteOfABinaryFile)
{
    QByteArray binary;
    for (int i = 0; i < 200000; ++i)
        binary.append(char((i * 7919) % 256)).append(i % 97 == 0 ? "\r\n\r" : "");
    importFile("project/blob.bin", binary);
    svnOk({"update", m_root}, "ann");
    const QString destination = m_base + "/blob.out";
    ASSERT_TRUE(m_provider->getTo({"blob.bin"}, "HEAD", destination)) << lastError().toStdString();
    EXPECT_EQ(readBytes(destination), binary);
}
