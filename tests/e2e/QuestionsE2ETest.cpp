// The server's questions answered through the host's prompt handler, with
// the real client against servers of the tests' own: credentials over
// svnserve and http, certificates over https.

#include "E2EFixture.h"

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QThread>

#include <functional>

using namespace SourceCodeControl;

namespace {

/** A prompt handler with scripted answers that notes every question. */
class ScriptedHandler : public SourceCodeControlSystemPromptHandler
{
public:
    QList<Credentials> credentialAnswers;
    Trust trust = Trust::Reject;
    std::function<void()> whileAsked;

    QList<CredentialsRequest> credentialQuestions;
    QList<ServerCertificate> certificateQuestions;

    Credentials credentials(const CredentialsRequest& request) override
    {
        credentialQuestions << request;
        if (whileAsked)
            whileAsked();
        return credentialAnswers.isEmpty() ? Credentials{} : credentialAnswers.takeFirst();
    }
    Trust trustServer(const ServerCertificate& certificate) override
    {
        certificateQuestions << certificate;
        return trust;
    }
    bool answerSsh(const SshQuestion&, QString&) override { return false; }
};

Credentials given(const QString& user, const QString& password, bool remember = false)
{
    Credentials answer;
    answer.given = true;
    answer.user = user;
    answer.password = password;
    answer.remember = remember;
    return answer;
}

void collectLine(void* context, const QString& line)
{
    static_cast<QStringList*>(context)->append(line);
}

class QuestionsE2ETest : public E2EFixture
{
protected:
    SourceCodeControlSystemProviderInterface3* newProvider(const QString& url) { return newProvider3(url); }
    /** The directory listing of the repository root: one operation that reaches the server. */
    static bool list(SourceCodeControlSystemProviderInterface3* provider)
    {
        QStringList names;
        return provider->getDirectoriesList({}, names);
    }
    static QString errorOf(SourceCodeControlSystemProviderInterface3* provider)
    {
        QString command;
        return provider->getLastError(command);
    }
    /** The client's store of `kind` ("svn.simple", "svn.ssl.server") for `realm`, as a file name. */
    QString stored(const char* kind, const QString& realm) const
    {
        return m_base + "/home/.subversion/auth/" + kind + "/"
            + QCryptographicHash::hash(realm.toUtf8(), QCryptographicHash::Md5).toHex();
    }
    /** Lets the client of the test's HOME store passwords in plain text, as a user may set it up. */
    void allowPlainTextPasswords()
    {
        QDir().mkpath(m_base + "/home/.subversion");
        writeBytes(m_base + "/home/.subversion/servers", "[global]\nstore-plaintext-passwords = yes\n");
    }

};

/** Credentials over svnserve and over http with Basic authentication. */
class CredentialsE2ETest : public QuestionsE2ETest, public ::testing::WithParamInterface<Transport>
{
protected:
    Transport transport() const override { return GetParam(); }
    /**
     * The realm the client names for the test's server: both servers name
     * theirs (Apache's AuthName, svnserve.conf's realm), so it cannot be
     * made from the URL and the repository's UUID.
     */
    QString realm() const { return "<" + m_url.left(m_url.indexOf('/', m_url.indexOf("://") + 3)) + "> scc-e2e"; }
};

TEST_P(CredentialsE2ETest, AskedWithTheRealmUpToThreeTimesAndNeverShown)
{
    // A wrong answer, then a right one: attempts 1 and 2, then success, and
    // the next operation asks nothing. The password never shows in an
    // argument vector or the command log.
    SourceCodeControlSystemProviderInterface3* provider = newProvider(m_url);
    ASSERT_NE(provider, nullptr);
    countClientRuns(provider);
    QStringList logged;
    provider->setCommandLogHandler(&collectLine, &logged);
    ScriptedHandler handler;
    handler.credentialAnswers = {given("ann", "wrong-secret"), given("ann", "ann-secret")};
    provider->setPromptHandler(&handler);
    ASSERT_TRUE(list(provider)) << errorOf(provider).toStdString();
    ASSERT_EQ(handler.credentialQuestions.size(), 2);
    EXPECT_EQ(handler.credentialQuestions[0].realm, realm());
    EXPECT_EQ(handler.credentialQuestions[0].user, "");
    EXPECT_EQ(handler.credentialQuestions[0].attempt, 1);
    EXPECT_EQ(handler.credentialQuestions[1].user, "ann");
    EXPECT_EQ(handler.credentialQuestions[1].attempt, 2);
    ASSERT_TRUE(list(provider));
    EXPECT_EQ(handler.credentialQuestions.size(), 2);
    // list, the question run that shows the realm, list (wrong), list (right), list.
    EXPECT_EQ(clientRuns().size(), 5) << clientRuns().join('\n').toStdString();
    EXPECT_FALSE(logged.isEmpty());
    for (const QString& run : clientRuns() + logged)
        EXPECT_FALSE(run.contains("secret")) << run.toStdString();
    EXPECT_FALSE(QFileInfo::exists(stored("svn.simple", realm()))) << "stored without remember";

    // login()'s credentials are tried first; refused, the next question
    // names login()'s user, as this operation's first attempt.
    handler.credentialAnswers = {given("ann", "ann-secret")};
    EXPECT_TRUE(provider->login("bob", "wrong-secret", m_url)) << errorOf(provider).toStdString();
    ASSERT_EQ(handler.credentialQuestions.size(), 3);
    EXPECT_EQ(handler.credentialQuestions[2].user, "bob");
    EXPECT_EQ(handler.credentialQuestions[2].attempt, 1);

    // Declined: the server's refusal at once; three wrong answers: the third
    // refusal ends it.
    struct Case
    {
        const char* name;
        QList<Credentials> answers;
        int questions;
    };
    const Case cases[] = {
        {"declined", {Credentials{}}, 1},
        {"three wrong", {given("ann", "a"), given("ann", "b"), given("ann", "c"), given("ann", "ann-secret")}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SourceCodeControlSystemProviderInterface3* refused = newProvider(m_url);
        ScriptedHandler asked;
        asked.credentialAnswers = c.answers;
        refused->setPromptHandler(&asked);
        EXPECT_FALSE(list(refused));
        EXPECT_EQ(asked.credentialQuestions.size(), c.questions);
        EXPECT_TRUE(errorOf(refused).contains(transport() == Transport::Http ? "E215004" : "E170001"))
            << errorOf(refused).toStdString();
    }

    // No handler: no question, the client's refusal as in version 2.
    SourceCodeControlSystemProviderInterface3* silent = newProvider(m_url);
    EXPECT_FALSE(list(silent));
}

TEST_P(CredentialsE2ETest, RememberedForTheNextProviderAndTheTerminalUntilForgotten)
{
    allowPlainTextPasswords();
    SourceCodeControlSystemProviderInterface3* provider = newProvider(m_url);
    countClientRuns(provider);
    ScriptedHandler handler;
    handler.credentialAnswers = {given("ann", "ann-secret", true)};
    provider->setPromptHandler(&handler);
    ASSERT_TRUE(list(provider)) << errorOf(provider).toStdString();
    ASSERT_TRUE(list(provider));
    ASSERT_TRUE(QFileInfo::exists(stored("svn.simple", realm())));
    // Only the run that used the answer let the client store it.
    const QStringList storing = clientRuns().filter(QRegularExpression("^(?!.*--no-auth-cache)(?!.*--force-interactive)"));
    EXPECT_EQ(storing.size(), 1) << clientRuns().join('\n').toStdString();

    // A new provider with nobody to ask, and the client in a terminal, find them.
    EXPECT_TRUE(list(newProvider(m_url)));
    EXPECT_EQ(runTool("svn", {"list", "--non-interactive", m_url}).exitCode, 0);

    // Another realm's entry stays; this one's goes, and nothing is found any more.
    const QString otherRealm = "<svn://127.0.0.1:1> other";
    const QString other = stored("svn.simple", otherRealm);
    writeBytes(other, "K 15\nsvn:realmstring\nV " + QByteArray::number(otherRealm.size()) + "\n" + otherRealm.toUtf8()
                          + "\nK 8\nusername\nV 3\nann\nEND\n");
    EXPECT_TRUE(provider->forgetCredentials(realm()));
    EXPECT_FALSE(QFileInfo::exists(stored("svn.simple", realm())));
    EXPECT_TRUE(QFileInfo::exists(other));
    EXPECT_FALSE(list(newProvider(m_url)));
    EXPECT_TRUE(provider->forgetCredentials(realm())) << "nothing stored is no failure";
    EXPECT_TRUE(provider->forgetCredentials(""));
    EXPECT_FALSE(QFileInfo::exists(other));
}

INSTANTIATE_TEST_SUITE_P(Transports, CredentialsE2ETest, ::testing::Values(Transport::Svn, Transport::Http),
                         [](const ::testing::TestParamInfo<Transport>& param) { return transportName(param.param); });

/** Certificates: servers over https of the tests' own, with throwaway certificates. */
class CertificateE2ETest : public QuestionsE2ETest
{
protected:
    /** Starts an https server with `certificate` beside the fixture's; its URL. */
    QString serve(ApacheServer::Certificate certificate)
    {
        m_https = std::make_unique<ApacheServer>(true, certificate);
        if (!m_https->start(m_base + "/secure", m_environment))
            return QString();
        return m_https->url();
    }
    /** Makes the test's HOME trust the throwaway authority, as a company's users are set up. */
    void trustTheAuthority()
    {
        QDir().mkpath(m_base + "/home/.subversion");
        writeBytes(m_base + "/home/.subversion/servers",
                   "[global]\nssl-authority-files = " + QFile::encodeName(m_https->authorityFile()) + "\n");
    }
    static QString realmOf(const QString& url) { return url.left(url.indexOf('/', url.indexOf("://") + 3)); }
    /** The certificate's SHA-1 fingerprint as the client prints it. */
    QString fingerprint()
    {
        const QString out = QString::fromLatin1(
            runTool("openssl", {"x509", "-in", m_https->certificateFile(), "-noout", "-fingerprint", "-sha1"}).out);
        return out.mid(out.indexOf('=') + 1).trimmed();
    }
    void TearDown() override
    {
        QuestionsE2ETest::TearDown();
        if (m_https)
            m_https->stop();
    }

    std::unique_ptr<ApacheServer> m_https;
};

TEST_F(CertificateE2ETest, AnUnknownAuthorityRejectedTrustedOnceOrAlways)
{
    const QString url = serve(ApacheServer::Certificate::Signed);
    ASSERT_FALSE(url.isEmpty()) << m_https->errorString().toStdString();
    const QString realm = realmOf(url);

    // Reject: the client's error, nothing stored, and the next operation asks again.
    SourceCodeControlSystemProviderInterface3* rejecting = newProvider(url);
    ScriptedHandler rejects;
    rejecting->setPromptHandler(&rejects);
    EXPECT_FALSE(rejecting->login("ann", "ann-secret", url));
    EXPECT_TRUE(errorOf(rejecting).contains("E230001: Server SSL certificate verification failed: issuer is not "
                                            "trusted"))
        << errorOf(rejecting).toStdString();
    ASSERT_EQ(rejects.certificateQuestions.size(), 1);
    const ServerCertificate& asked = rejects.certificateQuestions.first();
    EXPECT_EQ(asked.realm, realm);
    EXPECT_EQ(asked.hostname, "127.0.0.1");
    EXPECT_EQ(asked.issuer, "Throwaway Test Authority");
    EXPECT_EQ(asked.failures, unsigned(UnknownAuthority));
    EXPECT_EQ(asked.fingerprint, fingerprint());
    EXPECT_TRUE(asked.validFrom.endsWith("GMT")) << asked.validFrom.toStdString();
    EXPECT_TRUE(asked.validUntil.endsWith("GMT")) << asked.validUntil.toStdString();
    EXPECT_FALSE(list(rejecting));
    EXPECT_EQ(rejects.certificateQuestions.size(), 2);
    EXPECT_FALSE(QFileInfo::exists(stored("svn.ssl.server", realm)));

    // Once: this provider goes on without asking again, also for the
    // credentials the server then wants; nothing is stored, so a new one asks.
    SourceCodeControlSystemProviderInterface3* once = newProvider(url);
    countClientRuns(once);
    ScriptedHandler trustsOnce;
    trustsOnce.trust = Trust::Once;
    trustsOnce.credentialAnswers = {given("ann", "ann-secret")};
    once->setPromptHandler(&trustsOnce);
    ASSERT_TRUE(list(once)) << errorOf(once).toStdString();
    ASSERT_TRUE(list(once));
    EXPECT_EQ(trustsOnce.certificateQuestions.size(), 1);
    ASSERT_EQ(trustsOnce.credentialQuestions.size(), 1);
    EXPECT_EQ(trustsOnce.credentialQuestions[0].realm, "<" + realm + "> scc-e2e");
    // list (the certificate refused), its question run, list (no
    // credentials), its question run, list, list.
    EXPECT_EQ(clientRuns().size(), 6) << clientRuns().join('\n').toStdString();
    EXPECT_TRUE(clientRuns().last().contains("--trust-server-cert-failures=unknown-ca"));
    EXPECT_FALSE(QFileInfo::exists(stored("svn.ssl.server", realm)));
    SourceCodeControlSystemProviderInterface3* again = newProvider(url);
    ScriptedHandler asksAgain;
    again->setPromptHandler(&asksAgain);
    EXPECT_FALSE(again->login("ann", "ann-secret", url));
    EXPECT_EQ(asksAgain.certificateQuestions.size(), 1);

    // Always: stored as the client stores it; a new provider with nobody to
    // ask and the client in a terminal trust it. Forgetting the realm's
    // credentials leaves the trust.
    SourceCodeControlSystemProviderInterface3* always = newProvider(url);
    ScriptedHandler trustsAlways;
    trustsAlways.trust = Trust::Always;
    always->setPromptHandler(&trustsAlways);
    ASSERT_TRUE(always->login("ann", "ann-secret", url)) << errorOf(always).toStdString();
    EXPECT_TRUE(QFileInfo::exists(stored("svn.ssl.server", realm)));
    EXPECT_TRUE(newProvider(url)->login("ann", "ann-secret", url));
    EXPECT_EQ(runTool("svn", {"info", "--non-interactive", "--no-auth-cache", "--username", "ann", "--password",
                              "ann-secret", url})
                  .exitCode,
              0);
    EXPECT_TRUE(always->forgetCredentials("<" + realm + "> scc-e2e"));
    EXPECT_TRUE(QFileInfo::exists(stored("svn.ssl.server", realm)));
}

TEST_F(CertificateE2ETest, EachFailureIsItsBitAndTrustCoversExactlyIt)
{
    // With the authority trusted, only the certificate's own faults remain.
    struct Case
    {
        ApacheServer::Certificate certificate;
        unsigned failures;
        const char* hostname;
        Trust trust;
    };
    const Case cases[] = {
        {ApacheServer::Certificate::OtherName, NameMismatch, "other.example", Trust::Once},
        {ApacheServer::Certificate::Expired, Expired, "127.0.0.1", Trust::Always},
        {ApacheServer::Certificate::ExpiredOtherName, NameMismatch | Expired, "other.example", Trust::Once},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.certificate));
        const QString url = serve(c.certificate);
        ASSERT_FALSE(url.isEmpty()) << m_https->errorString().toStdString();
        trustTheAuthority();
        SourceCodeControlSystemProviderInterface3* provider = newProvider(url);
        ScriptedHandler handler;
        handler.trust = c.trust;
        provider->setPromptHandler(&handler);
        EXPECT_TRUE(provider->login("ann", "ann-secret", url)) << errorOf(provider).toStdString();
        ASSERT_EQ(handler.certificateQuestions.size(), 1);
        EXPECT_EQ(handler.certificateQuestions[0].failures, c.failures);
        EXPECT_EQ(handler.certificateQuestions[0].hostname, c.hostname);
        // An expired certificate trusted always passes later runs too.
        EXPECT_EQ(newProvider(url)->login("ann", "ann-secret", url), c.trust == Trust::Always);
        m_https->stop();
        QDir(m_base + "/secure").removeRecursively();
        QDir(m_base + "/apache").removeRecursively();
    }
}

TEST_F(QuestionsE2ETest, ACancelWhileAskedEndsTheOperationAndTheLimitWaitsForTheUser)
{
    // The time limit on silence is one second; the user takes longer.
    SourceCodeControlSystemProviderInterface3* provider = newProvider(m_url);
    provider->setOption(QLatin1String(SourceCodeControlOption::Timeout), "1");
    ScriptedHandler slow;
    slow.credentialAnswers = {given("ann", "ann-secret")};
    slow.whileAsked = [] { QThread::msleep(1500); };
    provider->setPromptHandler(&slow);
    EXPECT_TRUE(list(provider)) << errorOf(provider).toStdString();

    // Cancelled while the dialog is open: the answer is not used.
    SourceCodeControlSystemProviderInterface3* cancelled = newProvider(m_url);
    countClientRuns(cancelled);
    ScriptedHandler cancelling;
    cancelling.credentialAnswers = {given("ann", "ann-secret")};
    const auto cancel = pluginEntry<CancelSourceCodeControlSystemOperationFn>("CancelSourceCodeControlSystemOperation");
    ASSERT_NE(cancel, nullptr);
    cancelling.whileAsked = [&] { cancel(cancelled); };
    cancelled->setPromptHandler(&cancelling);
    EXPECT_FALSE(list(cancelled));
    EXPECT_EQ(errorOf(cancelled), "cancelled");
    EXPECT_EQ(clientRuns().size(), 2) << "the refused run and the question run only";
}

TEST_F(QuestionsE2ETest, OfflineIsToldThroughTheInterface)
{
    const QString root = annChecksOut({"project/a.txt"});
    SourceCodeControlSystemProviderInterface3* provider = newProvider(m_url);
    ASSERT_TRUE(provider->login("ann", "ann-secret", m_url));
    ASSERT_TRUE(provider->setRoots(root.split('/', Qt::SkipEmptyParts)));
    const auto status = [&] {
        FileStatus out;
        return provider->status({"a.txt"}, out.controlled, out.checkedOut, out.modified, out.outOfDate,
                                out.statusText, out.revisionText, out.lastChangedText);
    };
    EXPECT_TRUE(status());
    EXPECT_FALSE(provider->isOffline());
    m_server->stop();
    provider->refresh();
    EXPECT_TRUE(status()); // from the working copy alone
    EXPECT_TRUE(provider->isOffline());
    provider->refresh();
    EXPECT_FALSE(provider->isOffline());
}

} // namespace
