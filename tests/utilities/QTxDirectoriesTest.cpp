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

// Unsets the variables the directory functions read, and restores them after.
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
    for (const char* name : { "TMPDIR", "TEMP", "TMP" }) {
        ::setenv(name, name, 1);
        EXPECT_EQ(QTx::tmpDir(), QLatin1String(name));
    }

    // Set but empty still wins, and gives an empty, not null, string.
    for (const char* name : { "TMP", "TEMP" }) {
        ::setenv(name, "", 1);
        EXPECT_TRUE(QTx::tmpDir().isEmpty());
        EXPECT_FALSE(QTx::tmpDir().isNull());
        ::unsetenv(name);
    }
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
    EXPECT_EQ(QTx::userDocumentsDirectory(), QStringLiteral("/home/x/Documents"));
    EXPECT_EQ(QTx::userDesktopDirectory(), QStringLiteral("/home/x/Desktop"));

    // Spaces of the home path are folded as well; only the name is lowered.
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
    ASSERT_TRUE(QFile::link(executable.fileName(), base + QStringLiteral("/elsewhere/app")));
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/root"), base + QStringLiteral("/alias")));

    const auto check = [&](const char* given, int depth, const char* application, const char* root) {
        QTx::setApplicationPath((base + QLatin1String(given)).toLatin1().constData(), depth);
        EXPECT_EQ(QTx::applicationDirectory(), base + QLatin1String(application)) << given;
        EXPECT_EQ(QTx::rootDirectory(), base + QLatin1String(root)) << given;
    };
    check("/root/bin/app", 0, "/root/bin", "/root/bin");
    check("/root/bin/app", 1, "/root/bin", "/root");
    // A link to the executable is not followed; a linked directory on the way is.
    check("/elsewhere/app", 1, "/elsewhere", "");
    check("/alias/bin/app", 1, "/root/bin", "/root");
    QTx::setApplicationPath((base + QStringLiteral("/missing/app")).toLatin1().constData(), 0);
    EXPECT_TRUE(QTx::applicationDirectory().isEmpty());
}

TEST_F(QTxDirectoriesTest, AppPathIsTheFirstArgument)
{
    const QString first = QCoreApplication::arguments().value(0);
    EXPECT_EQ(QTx::appPath(), first);
    EXPECT_EQ(QTx::appDir(), QFileInfo(first).absolutePath());
    EXPECT_EQ(QTx::osDir(), QStringLiteral("/"));
    EXPECT_EQ(QTx::osRoot(), QStringLiteral("/"));
}

} // namespace
