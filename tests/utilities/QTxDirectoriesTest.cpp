#include "QTxDirectories.h"

#include "QtPrinters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace {

// Saves the variables the directory functions read and puts them back.
class QTxDirectoriesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : { "TMP", "TEMP", "TMPDIR", "HOME" }) {
            const char* value = std::getenv(name);
            saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
            ::unsetenv(name);
        }
    }

    void TearDown() override
    {
        for (const auto& [name, value] : saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

    std::map<std::string, std::optional<std::string>> saved;
};

TEST_F(QTxDirectoriesTest, TmpDirTakesTheFirstVariableThatIsSet)
{
    EXPECT_EQ(QTx::tmpDir(), QStringLiteral("/tmp"));

    ::setenv("TMPDIR", "/var/c", 1);
    EXPECT_EQ(QTx::tmpDir(), QStringLiteral("/var/c"));
    ::setenv("TEMP", "/var/b", 1);
    EXPECT_EQ(QTx::tmpDir(), QStringLiteral("/var/b"));
    ::setenv("TMP", "/var/a", 1);
    EXPECT_EQ(QTx::tmpDir(), QStringLiteral("/var/a"));

    ::setenv("TMP", "", 1);
    const QString empty = QTx::tmpDir();
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.isNull());

    ::unsetenv("TMP");
    ::setenv("TEMP", "", 1);
    EXPECT_EQ(QTx::tmpDir(), QString(QLatin1String("")));
    EXPECT_FALSE(QTx::tmpDir().isNull());
}

TEST_F(QTxDirectoriesTest, UserDirectoriesWithHomeUnsetAndSet)
{
    EXPECT_TRUE(QTx::userHomeDirectory().isNull());
    EXPECT_EQ(QTx::userDocumentsDirectory(), QStringLiteral("/Documents"));
    EXPECT_EQ(QTx::userDesktopDirectory(), QStringLiteral("/Desktop"));
    EXPECT_EQ(QTx::userLocalAppDataDirectory(QStringLiteral("Foo Bar")), QStringLiteral("/.foo_bar"));

    ::setenv("HOME", "", 1);
    EXPECT_FALSE(QTx::userHomeDirectory().isNull());
    EXPECT_TRUE(QTx::userHomeDirectory().isEmpty());

    ::setenv("HOME", "/home/x", 1);
    EXPECT_EQ(QTx::userHomeDirectory(), QStringLiteral("/home/x"));
    EXPECT_EQ(QTx::userDocumentsDirectory(), QStringLiteral("/home/x/Documents"));
    EXPECT_EQ(QTx::userDesktopDirectory(), QStringLiteral("/home/x/Desktop"));
    EXPECT_EQ(QTx::userLocalAppDataDirectory(QStringLiteral("Foo Bar")), QStringLiteral("/home/x/.foo_bar"));

    // The spaces of the home path are folded as well; only the name is lowered.
    ::setenv("HOME", "/home/Ann Lee", 1);
    EXPECT_EQ(QTx::userLocalAppDataDirectory(QStringLiteral("My  Editor")),
              QStringLiteral("/home/Ann_Lee/.my__editor"));

    const QString roaming = QTx::userRoamingAppDataDirectory(QStringLiteral("Foo"));
    EXPECT_TRUE(roaming.isEmpty());
    EXPECT_FALSE(roaming.isNull());
}

TEST_F(QTxDirectoriesTest, SetApplicationPathRecordsCanonicalDirectories)
{
    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    const QString base = QFileInfo(temporary.path()).canonicalFilePath();
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("root/bin")));
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("elsewhere")));
    QFile executable(base + QStringLiteral("/root/bin/app"));
    ASSERT_TRUE(executable.open(QIODevice::WriteOnly));
    executable.close();

    QTx::setApplicationPath((base + QStringLiteral("/root/bin/app")).toLatin1().constData(), 0);
    EXPECT_EQ(QTx::applicationDirectory(), base + QStringLiteral("/root/bin"));
    EXPECT_EQ(QTx::rootDirectory(), base + QStringLiteral("/root/bin"));

    QTx::setApplicationPath((base + QStringLiteral("/root/bin/app")).toLatin1().constData(), 1);
    EXPECT_EQ(QTx::applicationDirectory(), base + QStringLiteral("/root/bin"));
    EXPECT_EQ(QTx::rootDirectory(), base + QStringLiteral("/root"));

    // A link to the executable: its own directory counts, the link is not
    // followed; a linked directory on the way is resolved.
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/root/bin/app"),
                            base + QStringLiteral("/elsewhere/app")));
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/root"), base + QStringLiteral("/alias")));
    QTx::setApplicationPath((base + QStringLiteral("/elsewhere/app")).toLatin1().constData(), 1);
    EXPECT_EQ(QTx::applicationDirectory(), base + QStringLiteral("/elsewhere"));
    EXPECT_EQ(QTx::rootDirectory(), base);
    QTx::setApplicationPath((base + QStringLiteral("/alias/bin/app")).toLatin1().constData(), 1);
    EXPECT_EQ(QTx::applicationDirectory(), base + QStringLiteral("/root/bin"));
    EXPECT_EQ(QTx::rootDirectory(), base + QStringLiteral("/root"));

    QTx::setApplicationPath((base + QStringLiteral("/missing/app")).toLatin1().constData(), 0);
    EXPECT_TRUE(QTx::applicationDirectory().isEmpty());
}

TEST_F(QTxDirectoriesTest, AppPathIsTheFirstArgument)
{
    const QString first = QCoreApplication::arguments().value(0);
    EXPECT_EQ(QTx::appPath(), first);
    EXPECT_EQ(QTx::appDir(), QFileInfo(first).absolutePath());
    EXPECT_TRUE(QDir::isAbsolutePath(QTx::appDir()));
    EXPECT_EQ(QTx::osDir(), QStringLiteral("/"));
    EXPECT_EQ(QTx::osRoot(), QStringLiteral("/"));
}

} // namespace
