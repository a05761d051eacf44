// The session's questions against the real client and an svnserve that
// wants a password: the signal with its realm, a reply answered later from
// the GUI thread while that thread keeps running, a question nobody hears,
// a reply dropped, and a cancel or the session's end while one waits.

#include "Session.h"

#include "Finished.h"

#include "E2EFixture.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <vector>

namespace {

using namespace SvnScc;

// Runs this thread's event loop (as a GUI thread does) until `future` finishes.
template <typename T>
bool runUntilFinished(const QFuture<T>& future, int waitMs = 30000)
{
    QEventLoop loop;
    QFutureWatcher<T> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    return future.isFinished();
}

class SessionQuestions : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        m_root = annChecksOut({"project/a.txt"});
    }

    // No user: the working copy opens without the server, and the first
    // operation that reaches it is refused and asks.
    SessionSettings anonymous() const
    {
        SessionSettings settings;
        settings.executable = "svn";
        settings.repositoryUrl = m_url;
        settings.timeLimitSeconds = 30;
        return settings;
    }

    QString realmPrefix() const
    {
        const QUrl url(m_url);
        return QStringLiteral("<svn://%1:%2> ").arg(url.host()).arg(url.port());
    }

    QString m_root;
};

TEST_F(SessionQuestions, AnsweredLaterFromTheGuiThreadTheOperationGoesOnAndThatThreadNeverWaits)
{
    Session session;
    std::vector<SourceCodeControl::CredentialsRequest> asked;
    // A dialog's pace: each answer comes 300 ms after the question, the first one wrong.
    QObject::connect(&session, &Session::credentialsRequired, &session,
                     [&](const SourceCodeControl::CredentialsRequest& request, CredentialsReply* reply) {
                         asked.push_back(request);
                         const QString password = asked.size() == 1 ? "wrong" : passwordOf("ann");
                         QTimer::singleShot(300, reply, [reply, password] {
                             reply->answer("ann", password);
                             reply->deleteLater();
                         });
                     });
    ASSERT_TRUE(finished(session.open(m_root, anonymous())).ok);
    GapMeter gaps;
    const QFuture<Result<QStringList>> listed = session.listDirectories("");
    ASSERT_TRUE(runUntilFinished(listed));
    const qint64 longest = gaps.longestMs();
    const Result<QStringList> result = listed.result();
    EXPECT_TRUE(result.ok) << result.command.toStdString() << ": " << result.error.toStdString();
    ASSERT_EQ(asked.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(asked[i].realm.startsWith(realmPrefix())) << asked[i].realm.toStdString();
        EXPECT_EQ(asked[i].attempt, i + 1);
    }
    EXPECT_EQ(asked[0].user, "");
    EXPECT_EQ(asked[1].user, "ann");
    EXPECT_EQ(result.value, QStringList{"project"});
    // Waiting for an answer would stop this thread for 300 ms at least; a
    // loaded machine's scheduling stays well below half of that.
    EXPECT_LT(longest, 150);

    // The accepted answer holds for the session's later calls: nothing more is asked.
    const Status status = finished(session.status({"a.txt"}));
    EXPECT_TRUE(status.known) << status.error.toStdString();
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(SessionQuestions, AQuestionNobodyHearsOrAReplyDroppedIsDeclined)
{
    enum class Host { NoReceiver, OtherQuestionsOnly, DropsTheReply };
    for (const Host host : {Host::NoReceiver, Host::OtherQuestionsOnly, Host::DropsTheReply}) {
        SCOPED_TRACE(int(host));
        Session session;
        int asked = 0;
        if (host == Host::OtherQuestionsOnly) {
            QObject::connect(&session, &Session::serverTrustRequired, &session,
                             [&](const SourceCodeControl::ServerCertificate&, CertificateReply*) { ++asked; });
            QObject::connect(&session, &Session::sshQuestionAsked, &session,
                             [&](const SourceCodeControl::SshQuestion&, SshReply*) { ++asked; });
        }
        if (host == Host::DropsTheReply)
            QObject::connect(&session, &Session::credentialsRequired, &session,
                             [&](const SourceCodeControl::CredentialsRequest&, CredentialsReply* reply) {
                                 ++asked;
                                 QTimer::singleShot(100, reply, [reply] { delete reply; });
                             });
        ASSERT_TRUE(finished(session.open(m_root, anonymous())).ok);
        QElapsedTimer clock;
        clock.start();
        const QFuture<Result<QStringList>> listed = session.listDirectories("");
        ASSERT_TRUE(runUntilFinished(listed));
        const Result<QStringList> result = listed.result();
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.error.contains("E170001")) << result.error.toStdString();
        EXPECT_EQ(asked, host == Host::DropsTheReply ? 1 : 0);
        EXPECT_LT(clock.elapsed(), 10000);
    }
}

TEST_F(SessionQuestions, CancelOrTheSessionsEndEndsAWaitingQuestion)
{
    enum class End { Cancel, CancelOfTheFuture, Canceller, Destruction };
    for (const End end : {End::Cancel, End::CancelOfTheFuture, End::Canceller, End::Destruction}) {
        SCOPED_TRACE(int(end));
        auto session = std::make_unique<Session>();
        QPointer<CredentialsReply> waiting;
        QObject::connect(session.get(), &Session::credentialsRequired, session.get(),
                         [&](const SourceCodeControl::CredentialsRequest&, CredentialsReply* reply) { waiting = reply; });
        ASSERT_TRUE(finished(session->open(m_root, anonymous())).ok);
        QFuture<Result<QStringList>> listed = session->listDirectories("");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !waiting.isNull(); }, 20000));
        QSignalSpy withdrawn(waiting.data(), &SessionReply::withdrawn);
        EXPECT_TRUE(waiting->isPending());
        QElapsedTimer clock;
        clock.start();
        switch (end) {
        case End::Cancel:
            session->cancel();
            break;
        case End::CancelOfTheFuture:
            listed.cancel();
            break;
        case End::Canceller:
            session->canceller()();
            break;
        case End::Destruction:
            session.reset();
            break;
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return listed.isFinished(); }, 5000));
        EXPECT_LT(clock.elapsed(), 3000);
        if (end != End::CancelOfTheFuture) {
            const Result<QStringList> result = listed.result();
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(result.command + ": " + result.error, "list: cancelled");
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return !withdrawn.isEmpty(); }, 5000));
        EXPECT_EQ(withdrawn.size(), 1);
        if (waiting) {
            EXPECT_FALSE(waiting->isPending());
            waiting->answer("ann", passwordOf("ann")); // too late: ignored
        }
    }
}

} // namespace
