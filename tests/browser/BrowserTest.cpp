// scc-browser's window against the real client: a throwaway file://
// repository, a working copy with one modified and one out-of-date file, the
// window made in-process with the dlopen-loaded plug-in in its worker thread.

#include "BrowserWindow.h"
#include "ClientStatus.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

const int WaitMs = 40000;

QString joined(const QStringList& parts)
{
    return parts.join(QLatin1Char('/'));
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// What the row of a file says, read back into the provider's seven outputs.
FileStatus statusFromCells(const QTreeWidgetItem& item)
{
    FileStatus status;
    status.controlled = item.text(BrowserWindow::StatusColumn) != QLatin1String("not controlled");
    status.statusText = item.text(BrowserWindow::StatusColumn);
    status.revisionText = item.text(BrowserWindow::RevisionColumn);
    status.lastChangedText = item.text(BrowserWindow::LastChangedColumn);
    status.checkedOut = item.text(BrowserWindow::CheckedOutColumn) == QLatin1String("yes");
    status.modified = item.text(BrowserWindow::ModifiedColumn) == QLatin1String("yes");
    status.outOfDate = item.text(BrowserWindow::OutOfDateColumn) == QLatin1String("yes");
    return status;
}

class BrowserTest : public ::testing::Test
{
protected:
    const QStringList m_readme{QStringLiteral("readme.txt")};
    const QStringList m_main{QStringLiteral("src"), QStringLiteral("main.c")};
    const QStringList m_util{QStringLiteral("src"), QStringLiteral("util.c")};
    const QStringList m_guide{QStringLiteral("docs"), QStringLiteral("guide.txt")};

    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        m_base = QDir(m_temp.path()).canonicalPath();
        m_hadHome = qEnvironmentVariableIsSet("HOME");
        m_savedHome = qgetenv("HOME");
        ASSERT_TRUE(QDir().mkpath(m_base + QStringLiteral("/home")));
        qputenv("HOME", QFile::encodeName(m_base + QStringLiteral("/home")));

        const QString repository = m_base + QStringLiteral("/repository");
        m_url = QUrl::fromLocalFile(repository).toString(QUrl::FullyEncoded);
        m_root = m_base + QStringLiteral("/work");
        const QString import = m_base + QStringLiteral("/import");
        const QString other = m_base + QStringLiteral("/other");
        for (const QStringList& file : {m_readme, m_main, m_util, m_guide})
            ASSERT_TRUE(writeFile(import + QLatin1Char('/') + joined(file), "First line.\n"));
        ASSERT_TRUE(run(QStringLiteral("svnadmin"), {QStringLiteral("create"), repository}));
        ASSERT_TRUE(svn({QStringLiteral("import"), QStringLiteral("-m"), QStringLiteral("Initial import"), import, m_url}));
        ASSERT_TRUE(svn({QStringLiteral("checkout"), m_url, m_root}));
        // Someone else commits a newer guide; here main.c gets a local edit.
        ASSERT_TRUE(svn({QStringLiteral("checkout"), m_url, other}));
        ASSERT_TRUE(writeFile(other + QStringLiteral("/docs/guide.txt"), "First line.\nTheirs.\n"));
        ASSERT_TRUE(svn({QStringLiteral("commit"), QStringLiteral("-m"), QStringLiteral("Their edit"), other}));
        ASSERT_TRUE(writeFile(m_root + QStringLiteral("/src/main.c"), "First line.\nMine.\n"));
    }

    void TearDown() override
    {
        if (m_hadHome)
            qputenv("HOME", m_savedHome);
        else
            qunsetenv("HOME");
    }

    HostOptions options(const QString& svnExecutable = QStringLiteral("svn")) const
    {
        HostOptions options;
        options.plugin = QStringLiteral(PLUGIN_PATH);
        options.svnExecutable = svnExecutable;
        options.repositoryURL = m_url;
        options.localRoot = m_root;
        // Over file:// the user name becomes the commits' author.
        options.userName = QStringLiteral("tester");
        options.password = QStringLiteral("unused");
        options.lockSupported = true;
        options.timeoutSeconds = 30;
        return options;
    }

    bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
    {
        QProcess process;
        process.start(program, arguments);
        const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
        if (output)
            *output = process.readAllStandardOutput();
        if (!ok)
            ADD_FAILURE() << program.toStdString() << " " << arguments.join(QLatin1Char(' ')).toStdString()
                          << ": " << process.readAllStandardError().toStdString();
        return ok;
    }

    bool svn(const QStringList& arguments, QByteArray* output = nullptr)
    {
        return run(QStringLiteral("svn"), arguments + QStringList{QStringLiteral("--non-interactive")}, output);
    }

    // The client's own status of the file next to what the file's row shows.
    QString differenceOfRow(const BrowserWindow& window, const QStringList& parts)
    {
        const QTreeWidgetItem* item = window.projectItem(parts);
        if (!item)
            return QStringLiteral("no row");
        const QString directory = QFileInfo(m_root + QLatin1Char('/') + joined(parts)).path();
        QString error;
        const ClientStatus client = clientStatus(QStringLiteral("svn"), directory, parts.last(), {}, &error);
        const QString difference = differenceFromClient(statusFromCells(*item), client);
        return difference.isEmpty() ? difference : difference + QLatin1Char(' ') + error;
    }

    QTemporaryDir m_temp;
    QString m_base;
    QString m_url;
    QString m_root;
    bool m_hadHome = false;
    QByteArray m_savedHome;
};

TEST_F(BrowserTest, TreeShowsWhatTheClientSaysAndACheckInUpdatesIt)
{
    BrowserWindow window(options());
    window.setErrorDialogsEnabled(false);
    QSignalSpy passes(&window, &BrowserWindow::statusPassFinished);
    window.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !passes.isEmpty() && !window.isBusy(); }, WaitMs))
        << window.messageLog().toStdString();
    EXPECT_FALSE(passes.first().at(0).toBool());

    for (const QStringList& file : {m_readme, m_main, m_util, m_guide})
        EXPECT_EQ(differenceOfRow(window, file), QString()) << joined(file).toStdString();
    EXPECT_EQ(window.projectItem(m_main)->text(BrowserWindow::ModifiedColumn), QStringLiteral("yes"));
    EXPECT_EQ(window.projectItem(m_guide)->text(BrowserWindow::OutOfDateColumn), QStringLiteral("yes"));
    EXPECT_NE(window.projectItem({QStringLiteral("src")}), nullptr);

    QSignalSpy operations(&window, &BrowserWindow::operationFinished);
    window.checkIn({m_main}, QStringLiteral("Edit main.c from the browser"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !operations.isEmpty() && !window.isBusy(); }, WaitMs));
    EXPECT_TRUE(operations.first().at(2).toBool()) << window.messageLog().toStdString();

    QByteArray log;
    ASSERT_TRUE(svn({QStringLiteral("log"), QStringLiteral("-l"), QStringLiteral("1"), m_url + QStringLiteral("/src/main.c")}, &log));
    EXPECT_TRUE(log.contains("Edit main.c from the browser")) << log.toStdString();
    EXPECT_EQ(window.projectItem(m_main)->text(BrowserWindow::ModifiedColumn), QStringLiteral("no"));
    EXPECT_EQ(differenceOfRow(window, m_main), QString());
    EXPECT_FALSE(window.messageLog().contains(QStringLiteral("failed"))) << window.messageLog().toStdString();
}

TEST_F(BrowserTest, CancelStopsTheStatusPassBetweenTwoCalls)
{
    // A client that takes half a second a run, so the pass is still reading
    // its first folder when the cancel arrives.
    const QString slowSvn = m_base + QStringLiteral("/slow-svn");
    ASSERT_TRUE(writeFile(slowSvn, "#!/bin/sh\nsleep 0.5\nexec svn \"$@\"\n"));
    ASSERT_TRUE(QFile::setPermissions(slowSvn, QFile::permissions(slowSvn) | QFile::ExeOwner));

    BrowserWindow window(options(slowSvn));
    window.setErrorDialogsEnabled(false);
    QSignalSpy passes(&window, &BrowserWindow::statusPassFinished);
    QObject::connect(&window, &BrowserWindow::statusPassStarted, &window, &BrowserWindow::cancelStatusPass);
    window.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !passes.isEmpty() && !window.isBusy(); }, WaitMs))
        << window.messageLog().toStdString();
    EXPECT_TRUE(passes.first().at(0).toBool());
    // The files of the folders after the first one were never asked for.
    EXPECT_EQ(window.projectItem(m_util)->text(BrowserWindow::StatusColumn), QString());
    EXPECT_TRUE(window.messageLog().contains(QStringLiteral("cancelled"))) << window.messageLog().toStdString();
}

} // namespace
