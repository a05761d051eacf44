#pragma once

#include "FakeSvn.h"
#include "QtPrinters.h"
#include "SVNInterface.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

/** The provider with its fields and cache open to the tests. */
class TestableSVN : public SVNInterface
{
public:
    using SVNInterface::localRootPath;
    using SVNInterface::localRoots;
    using SVNInterface::lockSupported;
    using SVNInterface::password;
    using SVNInterface::repositoryRoots;
    using SVNInterface::repositoryURL;
    using SVNInterface::rootURL;
    using SVNInterface::statusCache;
    using SVNInterface::svnExecutable;
    using SVNInterface::userName;
};

/**
 * A provider driving the stand-in client, logged in as ann/secret on
 * svn://repo, with a scratch local root (not a working copy until
 * makeWorkingCopy() marks it).
 */
class ProviderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        svn.setOption(QStringLiteral("Environment/Source Code Control/SVNExecutable"), fake.executable());
        svn.userName = QStringLiteral("ann");
        svn.password = QStringLiteral("secret");
        svn.repositoryURL = QStringLiteral("svn://repo");
        rootPath = QDir(root.path()).canonicalPath();
        svn.localRoots = rootPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        svn.localRootPath = rootPath;
        svn.rootURL = QStringLiteral("svn://repo/trunk");
    }

    /** Marks `relative` (below the local root; empty: the root) as a working copy. */
    void makeWorkingCopy(const QString& relative = QString())
    {
        const QString dir = relative.isEmpty() ? rootPath : rootPath + '/' + relative;
        ASSERT_TRUE(QDir().mkpath(dir + "/.svn"));
        QFile marker(dir + "/.svn/entries");
        ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    }

    void writeFile(const QString& relative, const QByteArray& data)
    {
        QFile file(rootPath + '/' + relative);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }

    /** The credential options as this provider sends them. */
    static QStringList auth() { return FakeSvn::auth(QStringLiteral("ann"), QStringLiteral("secret")); }

    /** argv[1..] and working directory of call i. */
    QStringList args(int i) const { return fake.args(i); }
    QString dirOf(int i) const
    {
        auto all = fake.calls();
        return size_t(i) < all.size() ? all[size_t(i)].workingDirectory : QStringLiteral("<no call>");
    }

    FakeSvn fake;
    TestableSVN svn;
    QTemporaryDir root;
    QString rootPath;
};
