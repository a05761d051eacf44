// What the way to the server does to a run: ssh that would ask the user
// something while the host has a terminal, and a slow link under SVNTimeout.

#include "E2EFixture.h"
#include "ThrottleRelay.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QUrl>

namespace {

class SshFromATerminal : public E2EFixture
{
protected:
    Transport transport() const override { return Transport::SvnSsh; }
};

struct SlowLink
{
    const char* name;
    int bytes;
    int bytesPerSecond;
};

class SlowLinks : public E2EFixture, public ::testing::WithParamInterface<SlowLink>
{
};

} // namespace

TEST_F(SshFromATerminal, NothingWaitsForAnAnswerAndSshsReasonIsTheError)
{
    const auto* ssh = dynamic_cast<const SshServer*>(m_server.get());
    ASSERT_NE(ssh, nullptr);
    writeBytes(m_base + "/password", "ann-secret\n");
    // What ssh would ask on the terminal, and what it says when it cannot.
    struct Case { const char* label; bool lockedKey, hostKnown; QByteArray reason; };
    const Case cases[] = {
        {"an unknown host key", false, false, "Host key verification failed."},
        {"a key with a passphrase", true, true, "Permission denied (publickey)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        useTunnel(ssh->tunnel(c.lockedKey, c.hostKnown));
        // The client itself, started with no terminal, fails so.
        const ToolRun alone = runTool("setsid", {"-w", "svn", "info", "--non-interactive", m_url});
        EXPECT_NE(alone.exitCode, 0);
        EXPECT_TRUE(alone.err.contains(c.reason)) << alone.err.toStdString();

        // scc-host, and with it the plug-in, on a terminal of its own
        // (script gives it one): the login fails as fast, with ssh's reason.
        const QStringList host{SCC_HOST_PATH, "--plugin", PLUGIN_PATH, "--url", m_url, "--user", "ann",
                               "--password-file", m_base + "/password", "--timeout", "10", "login"};
        QProcess terminal;
        terminal.setProcessEnvironment(m_environment);
        QElapsedTimer timer;
        timer.start();
        terminal.start("script", {"-qec", host.join(' '), "/dev/null"});
        EXPECT_TRUE(terminal.waitForFinished(15000));
        EXPECT_LT(timer.elapsed(), 3000);
        EXPECT_EQ(terminal.exitCode(), 1);
        const QByteArray shown = terminal.readAllStandardOutput();
        EXPECT_TRUE(shown.contains("login failed") && shown.contains(c.reason)) << shown.toStdString();
        terminal.kill();
        terminal.waitForFinished();
    }
}

TEST_P(SlowLinks, ACommitRunsAsLongAsItsBytesMove)
{
    // The server behind a relay as slow as the case says; the commit takes
    // about three times the time limit, and the client only waits for the
    // kernel to pass its bytes on for most of it.
    ThrottleRelay relay(QUrl(m_url).port(), GetParam().bytesPerSecond);
    const QString slowURL = QStringLiteral("svn://127.0.0.1:%1").arg(relay.port());
    svnOk({"mkdir", "-m", "setup", urlOf("project")});
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), slowURL));
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::Timeout), "5"));
    ASSERT_TRUE(m_provider->login("ann", passwordOf("ann"), slowURL)) << lastError().toStdString();
    const QString root = checkOut("project");

    // Bytes that do not compress, as the client compresses what it sends.
    QByteArray bytes(GetParam().bytes, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    writeBytes(root + "/big.bin", bytes);
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(m_provider->addFile({"big.bin"}, "big")) << lastError().toStdString();
    EXPECT_GT(timer.elapsed(), 10000); // the link was as slow as meant
    EXPECT_TRUE(svnOk({"cat", urlOf("project/big.bin")}) == bytes);
}

INSTANTIATE_TEST_SUITE_P(, SlowLinks,
                         ::testing::Values(SlowLink{"ThirtyMegabytesAtTwoMegabytesPerSecond", 30000000, 2000000},
                                           SlowLink{"ThreeMegabytesAt200KilobytesPerSecond", 3000000, 200000}),
                         [](const ::testing::TestParamInfo<SlowLink>& link) { return std::string(link.param.name); });
