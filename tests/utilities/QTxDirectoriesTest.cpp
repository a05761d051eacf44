#include "QTxDirectories.h"

#include "QtPrinters.h"
#include "ScopedVariable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Unsets the variables the directory functions read, and restores them after.
class QTxDirectoriesTest : public ::testing::Test
{
protected:
    const ScopedVariable tmp{"TMP", QByteArray()}, temp{"TEMP", QByteArray()}, tmpdir{"TMPDIR", QByteArray()},
        home{"HOME", QByteArray()};
};

TEST_F(QTxDirectoriesTest, TmpDirTakesTheFirstVariableThatIsSet)
{
    EXPECT_EQ(QTx::tmpDir(), "/tmp");
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
    EXPECT_EQ(QTx::userDocumentsDirectory(), "/Documents");
    EXPECT_EQ(QTx::userDesktopDirectory(), "/Desktop");
    EXPECT_EQ(QTx::userLocalAppDataDirectory("Foo Bar"), "/.foo_bar");

    ::setenv("HOME", "", 1);
    EXPECT_FALSE(QTx::userHomeDirectory().isNull());
    EXPECT_TRUE(QTx::userHomeDirectory().isEmpty());

    ::setenv("HOME", "/home/x", 1);
    EXPECT_EQ(QTx::userDocumentsDirectory(), "/home/x/Documents");
    EXPECT_EQ(QTx::userDesktopDirectory(), "/home/x/Desktop");

    // Spaces of the home path are folded as well; only the name is lowered.
    ::setenv("HOME", "/home/Ann Lee", 1);
    EXPECT_EQ(QTx::userLocalAppDataDirectory("My  Editor"), "/home/Ann_Lee/.my__editor");
    const QString roaming = QTx::userRoamingAppDataDirectory("Foo");
    EXPECT_TRUE(roaming.isEmpty());
    EXPECT_FALSE(roaming.isNull());
}

TEST_F(QTxDirectoriesTest, SetApplicationPathRecordsCanonicalDirectories)
{
    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    const QString base = QFileInfo(temporary.path()).canonicalFilePath();
    ASSERT_TRUE(QDir(base).mkpath("root/bin"));
    ASSERT_TRUE(QDir(base).mkpath("elsewhere"));
    QFile executable(base + "/root/bin/app");
    ASSERT_TRUE(executable.open(QIODevice::WriteOnly));
    executable.close();
    ASSERT_TRUE(QFile::link(executable.fileName(), base + "/elsewhere/app"));
    ASSERT_TRUE(QFile::link(base + "/root", base + "/alias"));

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
    QTx::setApplicationPath((base + "/missing/app").toLatin1().constData(), 0);
    EXPECT_TRUE(QTx::applicationDirectory().isEmpty());
}

} // namespace
