// The provider on working copies that svn 1.14 makes with an ordinary
// recursive checkout: status compared with the client's own, no reshaping,
// a clean working copy after undoing, any language, any file name, exact bytes.

#include "E2EFixture.h"

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
        for (const char* path : {"project/top.txt", "project/theirs.txt", "project/a/one.txt",
                                 "project/a/del.txt", "project/a/b/two.txt", "project/a/b/conf.txt",
                                 "project/a/b/c/three.txt"})
            importFile(QString::fromLatin1(path), QByteArray(path) + "\n");
        m_root = m_base + QStringLiteral("/ann");
        svnOk({QStringLiteral("checkout"), urlOf(QStringLiteral("project")), m_root}, QStringLiteral("ann"));
        loginAs(QStringLiteral("ann"));
        ASSERT_TRUE(m_provider->setRoots(m_root.split(QLatin1Char('/'), Qt::SkipEmptyParts)))
            << lastError().toStdString();
    }

    QString differs(const QString& path) { return differenceWithClient(m_root, path); }

    QString depthOf(const QString& path)
    {
        return QString::fromUtf8(svnOk({QStringLiteral("info"), QStringLiteral("--show-item"),
                                        QStringLiteral("depth"), m_root + QLatin1Char('/') + path},
                                       QStringLiteral("ann")))
            .trimmed();
    }

    QString m_root;
};

} // namespace

TEST_F(TodaysClient, StatusAtEveryDepthIsTheClientsOwn)
{
    const QString ann = QStringLiteral("ann");
    // A nested working copy and a directory external have a ".svn" of their own.
    svnOk({QStringLiteral("checkout"), urlOf(QStringLiteral("project/a")), m_root + QStringLiteral("/nested")}, ann);
    svnOk({QStringLiteral("propset"), QStringLiteral("svn:externals"),
           QStringLiteral("ext ") + urlOf(QStringLiteral("project/a/b/c")), m_root}, ann);
    svnOk({QStringLiteral("update"), m_root}, ann);
    const QString bobs = m_base + QStringLiteral("/bob");
    svnOk({QStringLiteral("checkout"), urlOf(QStringLiteral("project")), bobs});
    writeFile(bobs + QStringLiteral("/a/b/two.txt"), "bob's\n");
    writeFile(bobs + QStringLiteral("/a/b/conf.txt"), "bob's\n");
    svnOk({QStringLiteral("commit"), QStringLiteral("-m"), QStringLiteral("bob"), bobs});
    svnOk({QStringLiteral("lock"), bobs + QStringLiteral("/theirs.txt")});

    writeFile(m_root + QStringLiteral("/a/one.txt"), "edited\n");
    writeFile(m_root + QStringLiteral("/a/b/conf.txt"), "ann's\n");
    svnOk({QStringLiteral("update"), QStringLiteral("--accept"), QStringLiteral("postpone"),
           m_root + QStringLiteral("/a/b/conf.txt")}, ann);
    writeFile(m_root + QStringLiteral("/a/b/added.txt"), "new\n");
    svnOk({QStringLiteral("add"), m_root + QStringLiteral("/a/b/added.txt")}, ann);
    svnOk({QStringLiteral("rm"), m_root + QStringLiteral("/a/del.txt")}, ann);
    ASSERT_TRUE(m_provider->checkout({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                      QStringLiteral("three.txt")}, QStringLiteral("mine"), false))
        << lastError().toStdString();

    for (const char* path : {"top.txt", "theirs.txt", "a/one.txt", "a/del.txt", "a/b", "a/b/two.txt",
                             "a/b/conf.txt", "a/b/added.txt", "a/b/c/three.txt", "nested/one.txt",
                             "ext/three.txt"})
        EXPECT_EQ(differs(QString::fromLatin1(path)), QString()) << path;
    // Spot checks of what the comparison covers.
    bool controlled, checkedOut, modified, outOfDate;
    QString text, revision, changed;
    ASSERT_TRUE(m_provider->status({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("two.txt")},
                                   controlled, checkedOut, modified, outOfDate, text, revision, changed));
    EXPECT_TRUE(outOfDate);
    ASSERT_TRUE(m_provider->status({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                    QStringLiteral("three.txt")},
                                   controlled, checkedOut, modified, outOfDate, text, revision, changed));
    EXPECT_TRUE(checkedOut);
}

TEST_F(TodaysClient, AddFileAndGetFileKeepTheCheckoutAsItIs)
{
    QDir(m_root).mkpath(QStringLiteral("x/y/z"));
    writeFile(m_root + QStringLiteral("/x/y/z/new.txt"), "new\n");
    writeFile(m_root + QStringLiteral("/a/b/c/deep.txt"), "deep\n");
    ASSERT_TRUE(m_provider->addFile({QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z"),
                                     QStringLiteral("new.txt")}, QStringLiteral("three new levels")))
        << lastError().toStdString();
    ASSERT_TRUE(m_provider->addFile({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                     QStringLiteral("deep.txt")}, QStringLiteral("three old levels")))
        << lastError().toStdString();
    for (const char* path : {"x", "x/y", "x/y/z", "a", "a/b", "a/b/c"})
        EXPECT_EQ(depthOf(QString::fromLatin1(path)), QStringLiteral("infinity")) << path;
    EXPECT_EQ(svnOk({QStringLiteral("status"), m_root}, QStringLiteral("ann")), QByteArray());
    EXPECT_FALSE(QFileInfo::exists(m_root + QStringLiteral("/x/.svn")));
    EXPECT_EQ(differs(QStringLiteral("x/y/z/new.txt")), QString());

    // getFile of one file updates that file alone.
    const QString bobs = m_base + QStringLiteral("/bob");
    svnOk({QStringLiteral("checkout"), urlOf(QStringLiteral("project")), bobs});
    writeFile(bobs + QStringLiteral("/a/b/two.txt"), "bob's two\n");
    writeFile(bobs + QStringLiteral("/a/b/conf.txt"), "bob's conf\n");
    svnOk({QStringLiteral("commit"), QStringLiteral("-m"), QStringLiteral("bob"), bobs});
    ASSERT_TRUE(m_provider->getFile({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("two.txt")},
                                    true))
        << lastError().toStdString();
    EXPECT_EQ(readFile(m_root + QStringLiteral("/a/b/two.txt")), QByteArray("bob's two\n"));
    EXPECT_EQ(readFile(m_root + QStringLiteral("/a/b/conf.txt")), QByteArray("project/a/b/conf.txt\n"));
    EXPECT_EQ(depthOf(QStringLiteral("a/b")), QStringLiteral("infinity"));
}

TEST_F(TodaysClient, NamesCommentsAndLanguagesReachTheClientUnchanged)
{
    // The host runs in the C locale and would like German messages.
    const QByteArray savedAll = qgetenv("LC_ALL");
    qputenv("LC_ALL", "C");
    qputenv("LANGUAGE", "de");
    const QStringList names{QStringLiteral("café.txt"), QStringLiteral("日本/文書.txt"),
                            QStringLiteral("-dash.txt"), QStringLiteral("icon@2x.png"),
                            QStringLiteral("README")};
    QDir(m_root).mkpath(QStringLiteral("日本"));
    for (const QString& name : names) {
        writeFile(m_root + QLatin1Char('/') + name, name.toUtf8() + "\n");
        // The comment is the name of an existing file.
        EXPECT_TRUE(m_provider->addFile(name.split(QLatin1Char('/')), QStringLiteral("top.txt")))
            << name.toStdString() << ": " << lastError().toStdString();
    }
    QStringList localRoots, repositoryRoots;
    ASSERT_TRUE(m_provider->setRoots(m_root.split(QLatin1Char('/'), Qt::SkipEmptyParts)));
    m_provider->getRoots(localRoots, repositoryRoots);
    EXPECT_EQ(repositoryRoots, QStringList{QStringLiteral("project")});
    for (const QString& name : names) {
        const QStringList parts = name.split(QLatin1Char('/'));
        EXPECT_EQ(differs(name), QString()) << name.toStdString();
        writeFile(m_root + QLatin1Char('/') + name, "edited\n");
        EXPECT_TRUE(m_provider->saved(parts));
        EXPECT_TRUE(m_provider->checkin(parts, name)) << name.toStdString() << ": " << lastError().toStdString();
        EXPECT_TRUE(m_provider->checkout(parts, QStringLiteral("README"), false)) << lastError().toStdString();
        EXPECT_TRUE(m_provider->undoCheckout(parts, true)) << lastError().toStdString();
        EXPECT_EQ(svnOk({QStringLiteral("cat"), urlOf(QStringLiteral("project/") + name) + QLatin1Char('@')}),
                  QByteArray("edited\n"));
        EXPECT_EQ(logMessage(QStringLiteral("HEAD")), name.toUtf8());
    }
    QStringList files;
    EXPECT_TRUE(m_provider->getFilesList({QStringLiteral("project"), QStringLiteral("日本")}, files));
    EXPECT_EQ(files, QStringList{QStringLiteral("文書.txt")});
    EXPECT_FALSE(m_provider->getFilesList({QStringLiteral("project"), QStringLiteral("absent")}, files));
    QString command;
    const QString message = m_provider->getLastError(command);
    EXPECT_TRUE(message.contains(QStringLiteral("not found"))) << message.toStdString();
    qputenv("LC_ALL", savedAll);
    qunsetenv("LANGUAGE");
}

TEST_F(TodaysClient, UndoingACheckoutLeavesNothingToCleanUpAndGetToKeepsEveryByte)
{
    const QStringList one{QStringLiteral("a"), QStringLiteral("one.txt")};
    ASSERT_TRUE(m_provider->checkout(one, QStringLiteral("mine"), false)) << lastError().toStdString();
    writeFile(m_root + QStringLiteral("/a/one.txt"), "an edit to throw away\n");
    ASSERT_TRUE(m_provider->undoCheckout(one, true)) << lastError().toStdString();
    EXPECT_EQ(readFile(m_root + QStringLiteral("/a/one.txt")), QByteArray("project/a/one.txt\n"));
    const ToolRun update = svn({QStringLiteral("update"), m_root}, QStringLiteral("ann"));
    EXPECT_EQ(update.exitCode, 0);
    EXPECT_EQ(update.err, QByteArray());
    EXPECT_EQ(svnOk({QStringLiteral("status"), m_root}, QStringLiteral("ann")), QByteArray());

    QByteArray binary;
    for (int i = 0; i < 200000; ++i)
        binary.append(char((i * 7919) % 256)).append(i % 97 == 0 ? "\r\n\r" : "");
    importFile(QStringLiteral("project/blob.bin"), binary);
    svnOk({QStringLiteral("update"), m_root}, QStringLiteral("ann"));
    const QString destination = m_base + QStringLiteral("/blob.out");
    ASSERT_TRUE(m_provider->getTo({QStringLiteral("blob.bin")}, QStringLiteral("HEAD"), destination))
        << lastError().toStdString();
    EXPECT_EQ(readFile(destination),
              svnOk({QStringLiteral("cat"), urlOf(QStringLiteral("project/blob.bin"))}));
    EXPECT_EQ(readFile(destination), binary);
}
