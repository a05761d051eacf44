// A server that never answers, two processes on one working copy, and a host
// that is told to stop.

#include "E2EFixture.h"

#include <QElapsedTimer>
#include <QThread>

#include <signal.h>
#include <unistd.h>

#include <thread>

namespace {

// The svn clients whose parent is `parent`, from the kernel's list.
QList<int> clientsOf(qint64 parent)
{
    QList<int> pids;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(parent));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task) + "/children");
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& pid : file.readAll().split(' ')) {
            QFile name(QStringLiteral("/proc/%1/comm").arg(pid.trimmed().toInt()));
            if (pid.trimmed().toInt() > 0 && name.open(QIODevice::ReadOnly) && name.readAll() == "svn\n")
                pids << pid.trimmed().toInt();
        }
    }
    return pids;
}

// Waits up to `ms` for `parent` to have an svn client running; its pid, or 0.
int awaitChild(qint64 parent, int ms = 10000)
{
    QElapsedTimer timer;
    for (timer.start(); timer.elapsed() < ms; QThread::msleep(5))
        if (!clientsOf(parent).isEmpty())
            return clientsOf(parent).first();
    return 0;
}

bool processExists(int pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

class Hostile : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        ASSERT_TRUE(m_silent.start());
        m_silentURL = QStringLiteral("svn://127.0.0.1:%1/repository").arg(m_silent.port());
    }
    void TearDown() override
    {
        m_silent.stop();
        E2EFixture::TearDown();
    }

    SilentServer m_silent;
    QString m_silentURL;
};

class SilentServers : public Hostile, public ::testing::WithParamInterface<const char*>
{
};

} // namespace

TEST_P(SilentServers, AreStoppedByTheTimeLimit)
{
    // The same silent port spoken to as svnserve and as a web server.
    const QString url = QString("%1://127.0.0.1:%2/repository").arg(GetParam()).arg(m_silent.port());
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::Timeout), "2"));
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), url));
    QDir().mkpath(m_base + "/wc");
    const QString root = m_base + "/wc/project";
    EXPECT_FALSE(m_provider->setRoots(root.split(QLatin1Char('/'), Qt::SkipEmptyParts), {"project"}));

    QElapsedTimer timer;
    timer.start();
    FileStatus status;
    status.controlled = true;
    EXPECT_FALSE(statusOf({"f.txt"}, status));
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_FALSE(status.controlled);
    EXPECT_TRUE(lastError().startsWith("info: ")) << lastError().toStdString();
    EXPECT_TRUE(lastError().contains("was silent for 2 seconds, the time limit (SVNTimeout)"))
        << lastError().toStdString();
    EXPECT_TRUE(clientsOf(::getpid()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(, SilentServers, ::testing::Values("svn", "http"),
                         [](const ::testing::TestParamInfo<const char*>& parameter) {
                             return std::string(parameter.param);
                         });

TEST_F(Hostile, TwoProcessesCommitIntoOneWorkingCopy)
{
    svnOk({"mkdir", "-m", "setup", urlOf("project")});
    importFile("project/a.txt", "a\n");
    importFile("project/b.txt", "b\n");
    const QString root = m_base + "/shared";
    svnOk({"checkout", urlOf("project"), root}, "ann");
    writeBytes(m_base + "/password", "ann-secret\n");
    const int before = youngest().toInt();

    auto commits = [&](const QString& name, QByteArray* failures) {
        for (int i = 0; i < 15; ++i) {
            QFile file(root + QLatin1Char('/') + name);
            if (file.open(QIODevice::Append))
                file.write(QByteArray::number(i) + "\n");
            file.close();
            QProcess host;
            host.start(SCC_HOST_PATH, {"--plugin", PLUGIN_PATH, "--url", m_url, "--user", "ann", "--password-file",
                                       m_base + "/password", "--root", root, "checkin", name, "-m", name});
            if (!host.waitForFinished(60000) || host.exitCode() != 0)
                *failures += host.readAllStandardError();
        }
    };
    QByteArray failuresA, failuresB;
    std::thread other(commits, "b.txt", &failuresB);
    commits("a.txt", &failuresA);
    other.join();
    EXPECT_EQ(failuresA + failuresB, QByteArray());
    EXPECT_EQ(youngest().toInt(), before + 30);
}

TEST_F(Hostile, StoppingTheHostStopsItsClient)
{
    writeBytes(m_base + "/password", "ann-secret\n");
    QProcess host;
    host.start(SCC_HOST_PATH, {"--plugin", PLUGIN_PATH, "--url", m_silentURL, "--user", "ann", "--password-file",
                               m_base + "/password", "--timeout", "60", "login"});
    ASSERT_TRUE(host.waitForStarted());
    const int client = awaitChild(host.processId());
    ASSERT_NE(client, 0);
    QElapsedTimer timer;
    timer.start();
    ::kill(pid_t(host.processId()), SIGTERM);
    // One signal suffices: it cancels the operation, whose client the
    // provider ends and reaps before scc-host ends with the signal.
    EXPECT_TRUE(host.waitForFinished(5000));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(host.exitStatus(), QProcess::CrashExit); // ended by the signal, as asked
    EXPECT_FALSE(processExists(client));
    const QByteArray err = host.readAllStandardError();
    EXPECT_TRUE(err.contains("login failed\n  info: cancelled")) << err.toStdString();
}
