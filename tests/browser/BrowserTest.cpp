// scc-browser's window against the real client: a throwaway file://
// repository, a working copy with one modified and one out-of-date file, the
// window made in-process on its session.

#include "BrowserWindow.h"
#include "ClientStatus.h"
#include "FileBytes.h"
#include "QtPrinters.h"
#include "ScopedVariable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>
#include <QUrl>

#include <gtest/gtest.h>

#include <optional>

namespace {

const int WaitMs = 40000;
const char Password[] = "never-shown-3141";

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    writeBytes(path, bytes);
}

// What the row of a file says, read back into the provider's seven outputs.
FileStatus statusFromCells(const QTreeWidgetItem& item)
{
    FileStatus status;
    status.controlled = item.text(ProjectPane::StatusColumn) != QLatin1String("not controlled")
        && !item.text(ProjectPane::StatusColumn).startsWith(QLatin1Char('?'));
    status.statusText = item.text(ProjectPane::StatusColumn);
    status.revisionText = item.text(ProjectPane::RevisionColumn);
    status.lastChangedText = item.text(ProjectPane::LastChangedColumn);
    status.checkedOut = item.text(ProjectPane::CheckedOutColumn) == QLatin1String("yes");
    status.modified = item.text(ProjectPane::ModifiedColumn) == QLatin1String("yes");
    status.outOfDate = item.text(ProjectPane::OutOfDateColumn) == QLatin1String("yes");
    return status;
}

// Whether the Commands pane shows a run of the svn `subcommand` that exited with 0.
bool showsSucceededRun(const QString& commandLog, const QString& subcommand)
{
    const QRegularExpression start(QStringLiteral("run (\\d+) in .*: svn %1 ").arg(subcommand));
    for (auto runs = start.globalMatch(commandLog); runs.hasNext();)
        if (commandLog.contains(QStringLiteral("run %1 ended: exit 0, ").arg(runs.next().captured(1))))
            return true;
    return false;
}

class BrowserTest : public ::testing::Test
{
protected:
    const QStringList m_readme{"readme.txt"};
    const QStringList m_main{"src", "main.c"};
    const QStringList m_util{"src", "util.c"};
    const QStringList m_guide{"docs", "guide.txt"};
    const QStringList m_notes{"docs", "notes.txt"}; // never added: unversioned

    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        m_base = QDir(m_temp.path()).canonicalPath();
        ASSERT_TRUE(QDir().mkpath(m_base + "/home"));
        m_home.emplace("HOME", QFile::encodeName(m_base + "/home"));

        const QString repository = m_base + "/repository";
        m_url = QUrl::fromLocalFile(repository).toString(QUrl::FullyEncoded);
        m_root = m_base + "/work";
        const QString import = m_base + "/import";
        const QString other = m_base + "/other";
        for (const QStringList& file : {m_readme, m_main, m_util, m_guide})
            writeFile(import + QLatin1Char('/') + joinPathParts(file), "First line.\n");
        run("svnadmin", {"create", repository});
        svn({"import", "-m", "Initial import", import, m_url});
        svn({"checkout", m_url, m_root});
        // Someone else commits a newer guide; here main.c gets a local edit.
        svn({"checkout", m_url, other});
        writeFile(other + "/docs/guide.txt", "First line.\nTheirs.\n");
        svn({"commit", "-m", "Their edit", other});
        writeFile(m_root + "/src/main.c", "First line.\nMine.\n");
        writeFile(m_root + "/docs/notes.txt", "Mine alone.\n");
    }

    void TearDown() override { m_home.reset(); }

    HostOptions options(const QString& svnExecutable = "svn") const
    {
        HostOptions options;
        options.plugin = QStringLiteral(PLUGIN_PATH);
        options.svnExecutable = svnExecutable;
        options.repositoryURL = m_url;
        options.localRoot = m_root;
        // Over file:// the user name becomes the commits' author.
        options.userName = "tester";
        options.password = Password;
        options.lockSupported = true;
        options.timeoutSeconds = 30;
        return options;
    }

    /** Runs `program`; its output, or a failure of the test when it does not exit with 0. */
    static QByteArray run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode())
            ADD_FAILURE() << program.toStdString() << ": " << process.readAllStandardError().toStdString();
        return process.readAllStandardOutput();
    }

    static QByteArray svn(QStringList arguments) { return run("svn", arguments << "--non-interactive"); }

    // The client's own status of the file next to what the file's row shows.
    QString differenceOfRow(const BrowserWindow& window, const QStringList& parts)
    {
        const QTreeWidgetItem* item = window.projectItem(parts);
        if (!item)
            return "no row";
        const QString directory = QFileInfo(m_root + QLatin1Char('/') + joinPathParts(parts)).path();
        QString error;
        const ClientStatus client = clientStatus("svn", directory, parts.last(), {}, &error);
        const QString difference = differenceFromClient(statusFromCells(*item), client);
        return difference.isEmpty() ? difference : difference + QLatin1Char(' ') + error;
    }

    QTemporaryDir m_temp;
    QString m_base;
    QString m_url;
    QString m_root;
    std::optional<ScopedVariable> m_home;
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

    for (const QStringList& file : {m_readme, m_main, m_util, m_guide, m_notes})
        EXPECT_EQ(differenceOfRow(window, file), QString()) << joinPathParts(file).toStdString();
    EXPECT_EQ(window.projectItem(m_main)->text(ProjectPane::ModifiedColumn), "yes");
    EXPECT_EQ(window.projectItem(m_guide)->text(ProjectPane::OutOfDateColumn), "yes");
    EXPECT_NE(window.projectItem({"src"}), nullptr);
    EXPECT_TRUE(showsSucceededRun(window.commandLog(), "status")) << window.commandLog().toStdString();

    // Cancel in an idle window touches nothing that comes later.
    window.cancel();
    QSignalSpy operations(&window, &BrowserWindow::operationFinished);
    window.checkIn({m_main}, "Edit main.c from the browser");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !operations.isEmpty() && !window.isBusy(); }, WaitMs));
    EXPECT_TRUE(operations.first().at(2).toBool()) << window.messageLog().toStdString();

    const QByteArray log = svn({"log", "-l", "1", m_url + "/src/main.c"});
    EXPECT_TRUE(log.contains("Edit main.c from the browser")) << log.toStdString();
    EXPECT_EQ(window.projectItem(m_main)->text(ProjectPane::ModifiedColumn), "no");
    EXPECT_EQ(differenceOfRow(window, m_main), QString());
    EXPECT_FALSE(window.messageLog().contains("failed")) << window.messageLog().toStdString();
    EXPECT_TRUE(showsSucceededRun(window.commandLog(), "commit")) << window.commandLog().toStdString();
    EXPECT_FALSE(window.commandLog().contains(Password));

    // An edit on disk shows without a refresh; the history shows the check-in.
    writeFile(m_root + "/readme.txt", "First line.\nEdited outside.\n");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.projectItem(m_readme)->text(ProjectPane::ModifiedColumn) == "yes"; }, WaitMs));
    EXPECT_EQ(differenceOfRow(window, m_readme), QString());
    window.showLog("src/main.c");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isBusy(); }, WaitMs));
    EXPECT_TRUE(window.detailsText(DetailsPane::LogTab).contains("Edit main.c from the browser"))
        << window.detailsText(DetailsPane::LogTab).toStdString();
}

TEST_F(BrowserTest, CancelEndsTheRunningClientAndTheStatusPass)
{
    // A client whose first status run hangs (and says so); every other run is the real client's.
    const QByteArray hanging = (m_base + "/hanging").toUtf8();
    const QString hangingSvn = m_base + "/hanging-svn";
    writeFile(hangingSvn, "#!/bin/sh\nif [ \"$1\" = status ] && [ ! -e '" + hanging + "' ]; then\n    : > '" + hanging
                              + "'\n    exec sleep 20\nfi\nexec svn \"$@\"\n");
    ASSERT_TRUE(QFile::setPermissions(hangingSvn, QFile::permissions(hangingSvn) | QFile::ExeOwner));

    BrowserWindow window(options(hangingSvn));
    window.setErrorDialogsEnabled(false);
    QSignalSpy passes(&window, &BrowserWindow::statusPassFinished);
    window.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(QString::fromUtf8(hanging)); }, WaitMs))
        << window.messageLog().toStdString();
    QElapsedTimer timer;
    timer.start();
    window.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !passes.isEmpty() && !window.isBusy(); }, WaitMs))
        << window.messageLog().toStdString();
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_TRUE(passes.first().at(0).toBool());
    EXPECT_TRUE(window.commandLog().contains("ended: cancelled")) << window.commandLog().toStdString();
    // Nothing after the cancelled run was asked for: its rows never came.
    EXPECT_EQ(window.projectItem(m_util), nullptr);
    EXPECT_TRUE(window.messageLog().contains("cancelled")) << window.messageLog().toStdString();
}

} // namespace
