// Cancelling a running operation from another thread, as an IDE's Cancel
// button does, against the real client and a server of the test's own.

#include "E2EFixture.h"

#include <QElapsedTimer>
#include <QThread>

#include <signal.h>

#include <atomic>
#include <thread>

namespace {

class Cancel : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_cancel = pluginEntry<CancelSourceCodeControlSystemOperationFn>("CancelSourceCodeControlSystemOperation");
        ASSERT_NE(m_cancel, nullptr);
        loginAs("ann");
    }

    /**
     * Runs `operation` here and cancels it from another thread once `due`
     * says so (asked every millisecond, for at most 10 s); the milliseconds
     * from the cancel to its return.
     */
    qint64 cancelWhen(const std::function<bool(qint64 elapsedMs)>& due, const std::function<bool()>& operation,
                      bool& result)
    {
        std::atomic<qint64> cancelledAt{0};
        QElapsedTimer clock;
        clock.start();
        std::thread canceller([&] {
            while (!due(clock.elapsed()) && clock.elapsed() < 10000)
                QThread::msleep(1);
            cancelledAt = clock.elapsed();
            m_cancel(m_provider);
        });
        result = operation();
        const qint64 returnedAt = clock.elapsed();
        canceller.join();
        return returnedAt - cancelledAt;
    }

    CancelSourceCodeControlSystemOperationFn m_cancel = nullptr;
};

} // namespace

TEST_F(Cancel, ACommitToAHungServerEndsAndTheWorkingCopyStaysUsable)
{
    importFile("project/a.txt", "a\n");
    const QString root = checkOut("project");
    // Idle: nothing happens, and nothing later is affected.
    m_cancel(m_provider);
    writeBytes(root + "/a.txt", "edited\n");
    FileStatus status;
    ASSERT_TRUE(statusOf({"a.txt"}, status));

    ASSERT_EQ(::kill(pid_t(m_server->processId()), SIGSTOP), 0); // accepts, never answers
    bool committed = true;
    const qint64 latency = cancelWhen([](qint64 elapsedMs) { return elapsedMs >= 1000; },
                                      [&] { return m_provider->checkin({"a.txt"}, "hung"); }, committed);
    ::kill(pid_t(m_server->processId()), SIGCONT);
    EXPECT_FALSE(committed);
    EXPECT_LT(latency, 1500);
    EXPECT_EQ(lastError(), "commit: cancelled");
    std::printf("cancel of a commit to a hung server returned %lld ms after the cancel\n", latency);

    // No lock left, no clean-up by hand: the next commit goes through.
    EXPECT_EQ(svnOk({"status", "--depth", "empty", root}, "ann"), QByteArray());
    EXPECT_TRUE(m_provider->checkin({"a.txt"}, "again")) << lastError().toStdString();
}

TEST_F(Cancel, ACheckoutCancelledHalfWayLeavesAWorkingCopyTheClientCanCleanUp)
{
    const QString tree = m_base + "/tree";
    QDir().mkpath(tree);
    for (int i = 0; i < 2000; ++i)
        writeBytes(tree + QStringLiteral("/f%1.txt").arg(i), QByteArray::number(i) + '\n');
    svnOk({"import", "-m", "many", tree, urlOf("big")});
    bool checkedOut = true;
    const QString root = m_base + "/wc/big";
    QDir().mkpath(m_base + "/wc");
    // Cancelled once the files' texts have begun to arrive (the pristine
    // store has a first folder): a fixed delay is too short or too long on
    // some machine.
    const auto arriving = [&](qint64) {
        return !QDir(root + "/.svn/pristine").entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty();
    };
    const qint64 latency = cancelWhen(arriving, [&] {
        return m_provider->setRoots(root.split('/', Qt::SkipEmptyParts), {"big"});
    }, checkedOut);
    std::printf("cancel of a checkout returned %lld ms after the cancel, %lld files there\n", latency,
                qint64(QDir(root).entryList(QDir::Files).size()));
    EXPECT_FALSE(checkedOut);
    EXPECT_EQ(lastError(), "checkout: cancelled");
    EXPECT_LT(latency, 1500);
    if (QFileInfo::exists(root + "/.svn")) {
        const ToolRun cleanup = svn({"cleanup", root}, "ann");
        EXPECT_EQ(cleanup.exitCode, 0) << cleanup.err.toStdString();
    }
}
