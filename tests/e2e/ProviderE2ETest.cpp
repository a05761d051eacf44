// The dlopen-loaded plug-in through its whole life cycle against the real
// client, over each transport users have (svnserve, Apache over http and
// over https, svn+ssh) and with each way of passing the password; then what
// the servers' access rules and certificates do to it.

#include "E2EFixture.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QLoggingCategory>
#include <QMutex>
#include <QRegularExpression>

#include <functional>

#include <pwd.h>
#include <unistd.h>

namespace {

using LifeCycleParameter = std::tuple<Transport, bool>;

class Transports : public E2EFixture, public ::testing::WithParamInterface<LifeCycleParameter>
{
protected:
    Transport transport() const override { return std::get<0>(GetParam()); }

    /** The provider's status of `path` agrees with the client's. */
    void expectClientsStatus(const QString& root, const QString& path)
    {
        EXPECT_EQ(differenceWithClient(root, path), QString()) << path.toStdString();
    }

    QString lockOwner(const QString& path)
    {
        const QByteArray info = svnOk({"info", urlOf(path)});
        const qsizetype at = info.indexOf("\nLock Owner: ");
        return at < 0 ? QString() : QString::fromUtf8(info.mid(at + 13, info.indexOf('\n', at + 1) - at - 13));
    }
};

std::string parameterName(const ::testing::TestParamInfo<LifeCycleParameter>& info)
{
    return std::string(transportName(std::get<0>(info.param)))
        + (std::get<1>(info.param) ? "_PasswordOnStandardInput" : "_PasswordAsArgument");
}

class AccessRules : public E2EFixture, public ::testing::WithParamInterface<Transport>
{
protected:
    Transport transport() const override { return GetParam(); }
};

class Certificates : public E2EFixture
{
protected:
    Transport transport() const override { return Transport::Https; }
};

class NoUser : public E2EFixture
{
protected:
    /** The author of `revision` as "svn log" shows it ("" when it has none). */
    QString author(const QString& url, int revision)
    {
        const QStringList log{"log", "--xml", "-r", QString::number(revision), url};
        const QByteArray xml = url.startsWith("file:") ? runTool("svn", log).out : svnOk(log);
        const qsizetype at = xml.indexOf("<author>");
        return at < 0 ? QString() : QString::fromUtf8(xml.mid(at + 8, xml.indexOf("</author>") - at - 8));
    }
};

} // namespace

TEST_P(Transports, LifeCycle)
{
    const QString ann = "ann";
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::PasswordFromStdin),
                                      std::get<1>(GetParam()) ? "Yes" : "No"));
    // The command log on, into a handler of the host's; the client counts its own runs.
    countClientRuns();
    std::optional<CommandLogCapture> capture(std::in_place);
    const QString root = m_base + "/wc/project";
    const QStringList deep{"a", "b", "deep.txt"};
    const QStringList sub{"sub", "s.txt"};

    // One row per step of an IDE's session, in order; each checks its effect
    // in the repository or against the client's own answer.
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"login", [&] { loginAs(ann); }},
        {"createDirectory", [&] {
             ASSERT_TRUE(m_provider->createDirectory({}, "project")) << lastError().toStdString();
             ASSERT_TRUE(m_provider->createDirectory({"project"}, "sub"));
             EXPECT_EQ(logMessage("HEAD"), QByteArray("Quillhaven Generated"));
             EXPECT_FALSE(m_provider->createDirectory({}, "project"));
         }},
        {"setRoots with both roots checks out", [&] {
             checkOut("project");
             EXPECT_TRUE(QFileInfo::exists(root + "/.svn/wc.db"));
         }},
        {"addFile at depth", [&] {
             QDir(root).mkpath("a/b");
             QDir(root).mkpath("sub");
             writeBytes(root + "/a/b/deep.txt", "first\r\nline\n");
             writeBytes(root + "/sub/s.txt", "s\n");
             const int before = youngest().toInt();
             ASSERT_TRUE(m_provider->addFile(deep, "Add deep")) << lastError().toStdString();
             ASSERT_TRUE(m_provider->addFile(sub, "Add s")) << lastError().toStdString();
             // Two new folders and two files, one commit each.
             EXPECT_EQ(youngest().toInt(), before + 4);
             EXPECT_EQ(svnOk({"cat", urlOf("project/a/b/deep.txt")}), QByteArray("first\r\nline\n"));
         }},
        {"status is the client's", [&] {
             expectClientsStatus(root, deep.join('/'));
             expectClientsStatus(root, sub.join('/'));
             expectClientsStatus(root, "a/b");
         }},
        {"saved and checkin", [&] {
             writeBytes(root + "/a/b/deep.txt", "second\n");
             EXPECT_TRUE(m_provider->saved(deep));
             FileStatus edited;
             ASSERT_TRUE(statusOf(deep, edited));
             EXPECT_TRUE(edited.modified);
             expectClientsStatus(root, deep.join('/'));
             ASSERT_TRUE(m_provider->checkin(deep, "Edit \"deep\"\nsecond line")) << lastError().toStdString();
             EXPECT_EQ(logMessage("HEAD"), QByteArray("Edit \"deep\"\nsecond line"));
             expectClientsStatus(root, deep.join('/'));
         }},
        {"checkout and undoCheckout, both forms", [&] {
             ASSERT_TRUE(m_provider->checkout(deep, "ann edits", false)) << lastError().toStdString();
             EXPECT_EQ(lockOwner("project/a/b/deep.txt"), ann);
             expectClientsStatus(root, deep.join('/'));
             writeBytes(root + "/a/b/deep.txt", "kept edit\n");
             ASSERT_TRUE(m_provider->undoCheckout(deep, false)) << lastError().toStdString();
             EXPECT_EQ(readBytes(root + "/a/b/deep.txt"), QByteArray("kept edit\n"));
             EXPECT_EQ(lockOwner("project/a/b/deep.txt"), QString());
             ASSERT_TRUE(m_provider->checkout(deep, QString(), true)) << lastError().toStdString();
             EXPECT_EQ(readBytes(root + "/a/b/deep.txt"), QByteArray("second\n"));
             writeBytes(root + "/a/b/deep.txt", "thrown away\n");
             ASSERT_TRUE(m_provider->undoCheckout(deep, true)) << lastError().toStdString();
             EXPECT_EQ(readBytes(root + "/a/b/deep.txt"), QByteArray("second\n"));
             EXPECT_EQ(lockOwner("project/a/b/deep.txt"), QString());
             EXPECT_EQ(svnOk({"status", root}, ann), QByteArray());
         }},
        {"getFile", [&] {
             const QString bobs = m_base + "/bob";
             svnOk({"checkout", urlOf("project"), bobs});
             writeBytes(bobs + "/sub/s.txt", "bob's\n");
             svnOk({"commit", "-m", "bob", bobs});
             m_provider->refresh();
             FileStatus stale;
             ASSERT_TRUE(statusOf(sub, stale));
             EXPECT_TRUE(stale.outOfDate);
             writeBytes(root + "/sub/s.txt", "local junk\n");
             ASSERT_TRUE(m_provider->getFile(sub, false)) << lastError().toStdString();
             EXPECT_EQ(readBytes(root + "/sub/s.txt"), QByteArray("bob's\n"));
             expectClientsStatus(root, sub.join('/'));
         }},
        {"logout", [&] { EXPECT_TRUE(m_provider->logout()); }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.first);
        step.second();
        if (HasFatalFailure())
            break;
    }
    const QStringList logged = capture->logged();
    capture.reset();
    // Every client run once, with its exit code; the password never.
    const int runs = int(clientRuns().size());
    const QStringList starts = logged.filter(QRegularExpression("^run \\d+ in "));
    EXPECT_EQ(starts.size(), runs);
    for (qsizetype i = 1; i <= starts.size(); ++i)
        EXPECT_EQ(logged.filter(QRegularExpression(QStringLiteral("^run %1 ended: exit -?\\d+, ").arg(i))).size(), 1) << i;
    EXPECT_TRUE(logged.filter(passwordOf(ann)).isEmpty());
    EXPECT_FALSE(logged.filter("******").isEmpty());
    // Over ssh the runs that reached the server passed its banner on, and it failed none.
    if (transport() == Transport::SvnSsh) {
        EXPECT_FALSE(logged.filter(QStringLiteral("; ignored on standard error (not the client's): ")
                                  + SshServer::bannerLine()).isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(, Transports,
                         ::testing::Combine(::testing::Values(Transport::Svn, Transport::Http, Transport::Https),
                                            ::testing::Bool()),
                         parameterName);
// Over svn+ssh the tunnel is ann's whatever user and password a run names
// (the server's forced command says so), so the steps' expectations hold as
// they are, and one way of passing the password suffices; the banner that
// every connection prints on standard error is the case of a tunnel without -q.
INSTANTIATE_TEST_SUITE_P(Tunnel, Transports, ::testing::Values(LifeCycleParameter{Transport::SvnSsh, true}),
                         parameterName);

TEST_P(AccessRules, RefuseWhatTheyForbidAndChangeNothing)
{
    // A wrong password fails the login, with the client's error.
    EXPECT_FALSE(m_provider->login("ann", "not-her-password", m_url));
    EXPECT_TRUE(lastError().startsWith("info: svn: E")) << lastError().toStdString();

    svnOk({"mkdir", "-m", "setup", urlOf("readonly")});
    importFile("readonly/r.txt", "read me\n");
    loginAs("ann");
    const QString root = checkOut("readonly", "readonly");
    const QString before = youngest();

    // A commit where ann may only read.
    writeBytes(root + "/r.txt", "changed\n");
    EXPECT_FALSE(m_provider->checkin({"r.txt"}, "not allowed"));
    const QString message = lastError();
    EXPECT_TRUE(message.startsWith("commit: ")
                && (message.contains("E220004") || message.contains("E175013") || message.contains("E170001")))
        << message.toStdString();
    EXPECT_EQ(youngest(), before);
    EXPECT_EQ(svnOk({"cat", urlOf("readonly/r.txt")}), QByteArray("read me\n"));

    // Bob's lock refuses ann's check-out, and stays his.
    importFile("project/l.txt", "l\n");
    checkOut("project");
    svnOk({"lock", "-m", "mine", urlOf("project/l.txt")});
    EXPECT_FALSE(m_provider->checkout({"l.txt"}, "ann's turn", false));
    EXPECT_TRUE(lastError().startsWith("lock: ") && lastError().contains("bob")) << lastError().toStdString();
    EXPECT_TRUE(svnOk({"info", urlOf("project/l.txt")}).contains("\nLock Owner: bob\n"));
}

// Not over svn+ssh: a wrong password is no refusal there, the tunnel being the credential.
INSTANTIATE_TEST_SUITE_P(, AccessRules, ::testing::Values(Transport::Svn, Transport::Http, Transport::Https),
                         [](const ::testing::TestParamInfo<Transport>& parameter) {
                             return std::string(transportName(parameter.param));
                         });

TEST_F(Certificates, AnUntrustedAuthorityFailsAtOnce)
{
    trustAuthority(false);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(m_provider->login("ann", passwordOf("ann"), m_url));
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(lastError().startsWith("info: ") && lastError().contains("E230001")) << lastError().toStdString();

    trustAuthority(true);
    EXPECT_TRUE(m_provider->login("ann", passwordOf("ann"), m_url)) << lastError().toStdString();
}

TEST_F(NoUser, RunsUseTheClientsOwnCredentials)
{
    // file://: the commit's author is the client's own, the OS login name, as in a plain "svn commit".
    const QString repository = m_base + "/local";
    ASSERT_EQ(runTool("svnadmin", {"create", repository}).exitCode, 0);
    const QString url = QUrl::fromLocalFile(repository).toString(QUrl::FullyEncoded);
    const QString root = m_base + "/local-wc";
    ASSERT_EQ(runTool("svn", {"checkout", "-q", url, root}).exitCode, 0);
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), url));
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::PasswordFromStdin), "Yes"));
    bindWorkingCopy(root);
    writeBytes(root + "/mine.txt", "mine\n");
    ASSERT_TRUE(m_provider->addFile({"mine.txt"}, "no user")) << lastError().toStdString();
    writeBytes(root + "/plain.txt", "plain\n");
    ASSERT_EQ(runTool("svn", {"add", "-q", "plain.txt"}, root).exitCode, 0);
    ASSERT_EQ(runTool("svn", {"commit", "-q", "-m", "plain", root}).exitCode, 0);
    const passwd* login = ::getpwuid(::geteuid());
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(author(url, 1), QString::fromLocal8Bit(login->pw_name));
    EXPECT_EQ(author(url, 2), author(url, 1));

    // svn://: what a login in a terminal cached serves the provider's runs.
    const ToolRun terminal = runTool("svn", {"info", "--non-interactive", "--username", "ann", "--password",
                                             passwordOf("ann"), "--config-option",
                                             "servers:global:store-plaintext-passwords=yes", m_url});
    ASSERT_EQ(terminal.exitCode, 0) << terminal.err.toStdString();
    const QString annRoot = annChecksOut({"project/a.txt"});
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), m_url));
    bindWorkingCopy(annRoot);
    writeBytes(annRoot + "/a.txt", "edited\n");
    ASSERT_TRUE(m_provider->checkin({"a.txt"}, "cached credentials")) << lastError().toStdString();
    EXPECT_EQ(author(m_url, youngest().toInt()), "ann");
}
