// ssh's own questions over svn+ssh (an unknown host key, a key's
// passphrase, a password): with a prompt handler they reach it while the
// client runs; without one ssh never asks and sends no password.

#include "E2EFixture.h"

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using namespace SourceCodeControl;

/** Answers ssh's questions as the test says, and notes each; refuses every other question. */
class SshAnswers : public SourceCodeControlSystemPromptHandler
{
public:
    Credentials credentials(const CredentialsRequest&) override { return Credentials(); }
    Trust trustServer(const ServerCertificate&) override { return Trust::Reject; }
    bool answerSsh(const SshQuestion& question, QString& reply) override
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_asked << question;
        }
        return answer ? answer(question, reply) : false;
    }

    QList<SshQuestion> asked() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_asked;
    }

    std::function<bool(const SshQuestion&, QString&)> answer;

private:
    mutable std::mutex m_mutex;
    QList<SshQuestion> m_asked;
};

// What a user answers the test server's questions: "yes" to its host key,
// the locked key's passphrase.
bool answerAll(const SshQuestion& question, QString& answer)
{
    answer = question.secret ? QStringLiteral("passphrase") : QStringLiteral("yes");
    return true;
}

const char s_hostKeyQuestion[] = "Are you sure you want to continue connecting (yes/no";
const char s_passphraseQuestion[] = "Enter passphrase for key '";

class SshQuestions : public E2EFixture
{
protected:
    Transport transport() const override { return Transport::SvnSsh; }

    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        const auto allocate =
            pluginEntry<AllocateSourceCodeControlSystemInterface3Fn>("AllocateSourceCodeControlSystemInterface3");
        m_release = pluginEntry<ReleaseSourceCodeControlSystemInterfaceFn>("ReleaseSourceCodeControlSystemInterface");
        m_cancel = pluginEntry<CancelSourceCodeControlSystemOperationFn>("CancelSourceCodeControlSystemOperation");
        ASSERT_TRUE(allocate && m_release && m_cancel);
        m_three = allocate();
        ASSERT_NE(m_three, nullptr);
        m_three->setOption(QLatin1String(SourceCodeControlOption::Executable), "svn");
        m_three->setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), m_url);
        m_three->setPromptHandler(&m_answers);
        m_own = m_provider;
        m_provider = m_three; // the fixture's helpers use the version-3 provider
    }

    void TearDown() override
    {
        if (m_three)
            m_release(m_three);
        m_provider = m_own;
        E2EFixture::TearDown();
    }

    /**
     * The provider's runs reach `server` through a tunnel where ssh must ask
     * (with a locked key, with its host unknown); the test's own svn runs
     * keep the plain one.
     */
    void sshMustAsk(const SshServer& server, bool lockedKey, bool hostKnown)
    {
        useTunnel(server.tunnel(lockedKey, hostKnown));
        m_environment.insert("SVN_SSH", server.tunnel());
        // A setting changed: the provider takes the host's environment afresh.
        m_three->setOption(QLatin1String(SourceCodeControlOption::Executable), "svn");
    }

    /** The provider's status of `path`: versioned, unmodified and up to date. */
    void expectUnchanged(const QString& path)
    {
        FileStatus status;
        ASSERT_TRUE(statusOf({path}, status)) << lastError().toStdString();
        EXPECT_TRUE(status.controlled && !status.modified && !status.outOfDate) << path.toStdString();
    }

    const SshServer& sshServer() const { return *dynamic_cast<const SshServer*>(m_server.get()); }

    SshAnswers m_answers;
    SourceCodeControlSystemProviderInterface3* m_three = nullptr;
    SourceCodeControlSystemProviderInterface* m_own = nullptr;
    ReleaseSourceCodeControlSystemInterfaceFn m_release = nullptr;
    CancelSourceCodeControlSystemOperationFn m_cancel = nullptr;
};

} // namespace

TEST_F(SshQuestions, AnsweredQuestionsCarryTheLifeCycle)
{
    importFile("project/a.txt", "a\n");
    sshMustAsk(sshServer(), true, false);
    m_answers.answer = answerAll;
    auto capture = std::make_unique<CommandLogCapture>();
    const QString root = checkOut("project");
    ASSERT_FALSE(HasFailure()) << lastError().toStdString();
    expectUnchanged("a.txt");
    writeBytes(root + "/a.txt", "changed\n");
    EXPECT_TRUE(m_provider->checkin({"a.txt"}, "over ssh")) << lastError().toStdString();
    EXPECT_EQ(svnOk({"cat", urlOf("project/a.txt")}), QByteArray("changed\n"));
    const QString bobs = m_base + "/bob";
    svnOk({"checkout", urlOf("project"), bobs});
    writeBytes(bobs + "/a.txt", "bob's\n");
    svnOk({"commit", "-m", "bob", bobs});
    m_provider->refresh();
    FileStatus stale;
    ASSERT_TRUE(statusOf({"a.txt"}, stale)) << lastError().toStdString();
    EXPECT_TRUE(stale.outOfDate); // the status pass reached the server
    EXPECT_FALSE(m_three->isOffline());
    EXPECT_TRUE(m_provider->getFile({"a.txt"}, false)) << lastError().toStdString();
    EXPECT_EQ(readBytes(root + "/a.txt"), QByteArray("bob's\n"));
    m_provider->refresh();
    expectUnchanged("a.txt");

    // Every connection asked both questions, the host key first, as ssh
    // words them, naming the URL's host; only the passphrase is secret.
    const QList<SshQuestion> asked = m_answers.asked();
    ASSERT_GE(asked.size(), 6);
    EXPECT_EQ(asked.size() % 2, 0);
    for (qsizetype i = 0; i < asked.size(); ++i) {
        SCOPED_TRACE(asked[i].prompt.toStdString());
        EXPECT_EQ(asked[i].host, QStringLiteral("127.0.0.1"));
        EXPECT_TRUE(asked[i].prompt.contains(i % 2 == 0 ? s_hostKeyQuestion : s_passphraseQuestion));
        EXPECT_EQ(asked[i].secret, i % 2 == 1);
    }
    // The passphrase is in no argument and no log line.
    const QStringList logged = capture->logged();
    capture.reset();
    EXPECT_FALSE(logged.filter("ssh asked").isEmpty());
    EXPECT_TRUE(logged.filter(QRegularExpression("passphrase(?! for key)")).isEmpty()) << logged.join('\n').toStdString();
}

TEST_F(SshQuestions, ADeclinedQuestionFailsWithSshsReasonAndNoMoreAreAsked)
{
    // A server that takes passwords too: after a declined passphrase ssh
    // asks for them, and those are declined without asking.
    SshServer passwords(true);
    ASSERT_TRUE(passwords.start(m_base + "/passwords/repository", m_environment)) << passwords.errorString().toStdString();
    struct Case { const char* label; const SshServer& server; bool lockedKey, hostKnown; const char* question, *reason; };
    const Case cases[] = {
        {"an unknown host key", sshServer(), false, false, s_hostKeyQuestion, "Host key verification failed."},
        {"a key with a passphrase", passwords, true, true, s_passphraseQuestion, "Permission denied ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sshMustAsk(c.server, c.lockedKey, c.hostKnown);
        SshAnswers answers;
        m_three->setPromptHandler(&answers);
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(m_three->login("ann", passwordOf("ann"), c.server.url()));
        EXPECT_LT(timer.elapsed(), 3000);
        EXPECT_TRUE(lastError().contains(c.reason)) << lastError().toStdString();
        ASSERT_EQ(answers.asked().size(), 1);
        EXPECT_TRUE(answers.asked().front().prompt.contains(c.question));
        m_three->setPromptHandler(&m_answers);
    }
}

TEST_F(SshQuestions, WithoutAHandlerSshAsksNothingAndTriesNoPassword)
{
    // The server's log shows every password ssh sends: without a way to
    // ask, ssh would still try empty ones.
    SshServer passwords(true);
    ASSERT_TRUE(passwords.start(m_base + "/passwords/repository", m_environment)) << passwords.errorString().toStdString();
    m_answers.answer = answerAll;
    m_three->setPromptHandler(nullptr);
    struct Case { const char* label; const SshServer& server; bool lockedKey, hostKnown; const char* reason; };
    const Case cases[] = {
        {"an unknown host key", sshServer(), false, false, "Host key verification failed."},
        {"a key with a passphrase", passwords, true, true, "Permission denied ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sshMustAsk(c.server, c.lockedKey, c.hostKnown);
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(m_three->login("ann", passwordOf("ann"), c.server.url()));
        EXPECT_LT(timer.elapsed(), 3000);
        EXPECT_TRUE(lastError().contains(c.reason)) << lastError().toStdString();
    }
    EXPECT_TRUE(m_answers.asked().isEmpty());
    // The server logs a connection's end after its client has gone.
    QByteArray logged;
    QElapsedTimer waited;
    waited.start();
    while (!(logged = readBytes(passwords.logFile())).contains("Connection closed by authenticating user")
           && waited.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_TRUE(logged.contains("Postponed publickey")) << logged.toStdString(); // the key was offered
    EXPECT_FALSE(logged.contains("Failed password")) << logged.toStdString();
    EXPECT_FALSE(logged.contains("Failed keyboard-interactive")) << logged.toStdString();
}

TEST_F(SshQuestions, ACancelWhileTheHandlerWaitsEndsTheOperation)
{
    sshMustAsk(sshServer(), true, false);
    std::atomic<bool> cancelled{false};
    std::thread cancelling;
    m_answers.answer = [&](const SshQuestion& question, QString& answer) {
        cancelling = std::thread([&] {
            m_cancel(m_three);
            cancelled = true;
        });
        while (!cancelled)
            QThread::msleep(10);
        QThread::msleep(300); // the user answers after the cancel: too late
        return answerAll(question, answer);
    };
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(m_three->login("ann", passwordOf("ann"), m_url));
    EXPECT_LT(timer.elapsed(), 3000);
    if (cancelling.joinable())
        cancelling.join();
    EXPECT_TRUE(lastError().endsWith("cancelled")) << lastError().toStdString();
    EXPECT_EQ(m_answers.asked().size(), 1); // the host key's answer was not used: no passphrase question
}

TEST_F(SshQuestions, AHandlerSlowerThanTheTimeLimitDoesNotEndTheRun)
{
    sshMustAsk(sshServer(), true, false);
    ASSERT_TRUE(m_three->setOption(QLatin1String(SourceCodeControlOption::Timeout), "1"));
    m_answers.answer = [](const SshQuestion& question, QString& answer) {
        QThread::msleep(1800);
        return answerAll(question, answer);
    };
    EXPECT_TRUE(m_three->login("ann", passwordOf("ann"), m_url)) << lastError().toStdString();
    EXPECT_EQ(m_answers.asked().size(), 2);
}
