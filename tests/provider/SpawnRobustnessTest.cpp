// The provider's client runs under stress: two threads, a cancel from
// another thread, clients that misbehave, allocation failures, and a host
// whose signals interrupt every system call.
//
// The scriptable test child stands in for the client here: the provider puts
// the subcommand first, so the subcommand and the arguments are the child's
// steps, and a final "end" step makes it ignore the credentials that follow.

#include "ProcessProbes.h"
#include "ProviderFixture.h"

#include <QElapsedTimer>
#include <QThread>

#include <signal.h>
#include <sys/time.h>

#include <atomic>
#include <functional>
#include <thread>

#include "FailingAllocation.h"
#include "SanitizerBuild.h"

namespace {

QString step(const char* prefix, const QByteArray& bytes)
{
    return QString::fromLatin1(prefix) + QString::fromLatin1(bytes.toHex());
}

class SpawnRobustnessTest : public ProviderTest
{
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        svn.setOption(SourceCodeControlOption::Executable, QStringLiteral(TEST_CHILD_PATH));
    }

    /** Runs the test child with `steps` (the first as the subcommand), ending with "end". */
    bool run(SVNInterface& provider, QStringList steps, QStringList& output)
    {
        const QString command = steps.takeFirst();
        steps << "end";
        return SVNInterfaceSeam(provider).execute(command, steps, QString(), QString(), output);
    }
};

TEST_F(SpawnRobustnessTest, TwoProvidersOnTwoThreadsNeverHoldEachOthersPipes)
{
    // Pipes this process already hands to every child (normally none): the
    // baseline for what a child may see besides its own output and error.
    QStringList output;
    ASSERT_TRUE(run(svn, {"pipes"}, output));
    ASSERT_EQ(output.size(), 1);
    const QString inheritedAlone = output.first();

    QStringList failures[2];
    auto work = [&](int which) {
        SVNInterface provider;
        provider.setOption(SourceCodeControlOption::Executable, TEST_CHILD_PATH);
        QStringList lines;
        for (int i = 0; i < 15; ++i) {
            const QByteArray tag = QByteArray(1, "ab"[which]) + QByteArray::number(i);
            // Sleep first, then answer: the answer arrives only at the end of
            // the 100 ms, while the other thread's child is alive. Each child
            // counts the pipes it inherited: a write end of the other
            // thread's run would show there (and would hold that run's end
            // of file back until this child ended).
            const bool ok = SVNInterfaceSeam(provider).execute("sleep:100", {step("out:", tag + '\n'), "pipes", "end"},
                                                       QString(), QString(), lines);
            if (!ok || lines != QStringList{QString::fromLatin1(tag), inheritedAlone})
                failures[which] << QString::fromLatin1(tag) + ": " + lines.join('|');
        }
    };
    std::thread first(work, 0), second(work, 1);
    first.join();
    second.join();
    EXPECT_EQ(failures[0] + failures[1], QStringList());
    EXPECT_TRUE(childProcesses().isEmpty());
}

TEST_F(SpawnRobustnessTest, ClientThatClosesItsOutputEarlyAndKeepsRunning)
{
    // What it writes on standard error after closing its output still counts.
    QStringList output;
    EXPECT_FALSE(run(svn, {step("out:", "first\n"), "close-out", "sleep:100", step("err:", "svn: E1: late\n")},
                     output));
    EXPECT_EQ(output, QStringList{"first"});
    EXPECT_EQ(lastError(), step("out:", "first\n") + ": svn: E1: late");
    EXPECT_TRUE(childProcesses().isEmpty());
}

TEST_F(SpawnRobustnessTest, AClientEndedByASignalSaysWhichInTheLastError)
{
    // The out-of-memory killer's SIGKILL, with and without error lines first.
    struct Case { QStringList steps; QString message; };
    const Case cases[] = {
        {{"kill"}, "kill: the client was ended by signal 9 (SIGKILL)"},
        {{step("err:", "svn: E1: half\n"), "kill"},
         step("err:", "svn: E1: half\n") + ": svn: E1: half\nthe client was ended by signal 9 (SIGKILL)"},
    };
    for (const Case& c : cases) {
        QStringList output;
        EXPECT_FALSE(run(svn, c.steps, output));
        EXPECT_EQ(lastError(), c.message);
    }
}

std::atomic<int> s_alarms{0};

void countAlarm(int)
{
    s_alarms.fetch_add(1, std::memory_order_relaxed);
}

TEST_F(SpawnRobustnessTest, HostWhoseAlarmFiresEveryMillisecond)
{
    struct sigaction alarmAction {};
    alarmAction.sa_handler = countAlarm; // no SA_RESTART: every blocking call sees EINTR
    struct sigaction previousAction;
    ASSERT_EQ(::sigaction(SIGALRM, &alarmAction, &previousAction), 0);
    const itimerval everyMillisecond{{0, 1000}, {0, 1000}}, off{{0, 0}, {0, 0}};
    itimerval previousTimer;
    ASSERT_EQ(::setitimer(ITIMER_REAL, &everyMillisecond, &previousTimer), 0);
    s_alarms = 0;

    // Output read while interrupted, then a pause in poll, then the wait.
    QStringList flood, output;
    const bool flooded = run(svn, {"flood-out:200000", "sleep:50", step("out:", "\nlast\n")}, flood);
    const bool failed = run(svn, {"sleep:30", step("err:", "e1\r\ne2\n"), "exit:7"}, output);
    const QString failedMessage = lastError();
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &previousAction, nullptr);
    ::setitimer(ITIMER_REAL, &previousTimer, nullptr);

    EXPECT_GT(s_alarms.load(), 40) << "the alarm did not keep firing";
    EXPECT_TRUE(flooded);
    // 200000 bytes are 3174 numbered 63-byte lines and 38 bytes of the next.
    ASSERT_EQ(flood.size(), 3176);
    EXPECT_EQ(flood[1234], QString("%1").arg(1234, 62, 10, QLatin1Char('0')));
    EXPECT_EQ(flood[3174], QString(38, '0'));
    EXPECT_EQ(flood[3175], "last");
    EXPECT_FALSE(failed);
    EXPECT_EQ(failedMessage, "sleep:30: e1\ne2");
    EXPECT_TRUE(childProcesses().isEmpty());
}

TEST_F(ProviderTest, AnAllocationFailureAnywhereStaysInsideTheOperation)
{
    // Each round makes the n-th allocation through operator new fail (the
    // provider's own containers and the process start; the toolkit's
    // strings are not made that way): the operations return, throw
    // nothing, and leave no descriptor or child behind.
#ifdef SVNSCC_UNDER_TSAN
    GTEST_SKIP() << "ThreadSanitizer's operator new cannot be made to fail";
#endif
    makeWorkingCopy();
    makeWorkingCopy("src");
    fake.respondAlways("M            3        2 ann          a.c\n"
                       "Status against revision:      3\n");
    const QStringList descriptors = openDescriptors();
    bool controlled, checkedOut, modified, outOfDate;
    QString text, revision, changed;
    long failure = 0;
    for (bool failed = true; failed; ++failure) {
        svn.refresh();
        g_allocationsBeforeFailure = failure;
        try {
            svn.status({"src", "a.c"}, controlled, checkedOut, modified, outOfDate, text, revision, changed);
            svn.addFile({"src", "n.c"}, "comment");
        } catch (...) {
            ADD_FAILURE() << "an exception left the provider at allocation " << failure;
        }
        // A round that ran out of allocations before the failure came is the last.
        failed = g_allocationsBeforeFailure < 0;
        g_allocationsBeforeFailure = -1;
    }
    EXPECT_GT(failure, 10); // the operations did allocate
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_TRUE(childProcesses().isEmpty());
}

TEST_F(ProviderTest, CancelFromAnotherThreadEndsTheRunningClient)
{
    // Nothing runs: nothing happens, and the next operation is not affected.
    makeWorkingCopy();
    svn.cancelOperation();
    fake.respond("M                3        3 ann          a.c\nStatus against revision:      3\n");
    ASSERT_TRUE(ask({"a.c"}).modified);
    // A client that reads is ended at once; one that writes, then the
    // working copy is cleaned up. Either way the operation says "cancelled".
    struct Case { const char* subcommand; std::function<bool()> operation; int runs; };
    const Case cases[] = {
        {"status", [this] { return ask({"src", "b.c"}).result; }, 1},
        {"commit", [this] { return svn.checkin({"a.c"}, "c"); }, 3},
    };
    makeWorkingCopy("src");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.subcommand);
        const int before = fake.callCount();
        fake.respond("", "", 0, 20000);
        QElapsedTimer clock;
        clock.start();
        std::thread canceller([this] {
            QThread::msleep(300);
            svn.cancelOperation();
        });
        EXPECT_FALSE(c.operation());
        canceller.join();
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(lastError(), QString::fromLatin1(c.subcommand) + ": cancelled");
        EXPECT_EQ(fake.callCount() - before, c.runs);
    }
    // The commit's end was not seen: cleaned up, then the server asked whether it landed.
    const std::vector<FakeSvn::Call> calls = fake.calls();
    EXPECT_EQ(calls[calls.size() - 2].arguments.mid(1), withAuth({"cleanup"}));
    EXPECT_EQ(calls.back().arguments.mid(1), withAuth({"log", "--xml", "--limit", "1"}, {"svn://repo/trunk/a.c"}));
    EXPECT_TRUE(childProcesses().isEmpty());
}

} // namespace
