// The provider's client runs under stress: many runs, two threads, clients
// that misbehave, and a host whose signals interrupt every system call.
//
// The scriptable test child stands in for the client here: the provider puts
// the subcommand first, so the subcommand and the arguments are the child's
// steps, and a final "end" step makes it ignore the credentials that follow.

#include "ProviderFixture.h"

#include <QDir>
#include <QElapsedTimer>

#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "FailingAllocation.h"
#include "UnderAddressSanitizer.h"

namespace {

// Starting a process costs 5 to 9 ms on a small, busy virtual machine, and
// three times that from a process under AddressSanitizer, so the sanitizer
// build makes a tenth of the runs. The time limit only keeps a machine that
// is far too slow from running on; every run is expected to be made.
#ifdef SVNSCC_UNDER_ASAN
constexpr int ManyRuns = 1000;
#else
constexpr int ManyRuns = 10000;
#endif
constexpr qint64 ManyRunsTimeLimitMs = 600000;

QString step(const char* prefix, const QByteArray& bytes)
{
    return QString::fromLatin1(prefix) + QString::fromLatin1(bytes.toHex());
}

/** Every open descriptor of this process with what it refers to. */
QStringList openDescriptors()
{
    QStringList result;
    const QDir fdDir(QStringLiteral("/proc/self/fd"));
    for (const QString& name : fdDir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fdDir.filePath(name));
        // The listing's own directory descriptor is gone by now.
        if (!target.isEmpty())
            result << name + QStringLiteral(" -> ") + target;
    }
    return result;
}

/** Processes (zombies included) whose parent is this process. */
QStringList childProcesses()
{
    QStringList result;
    const QString self = QString::number(::getpid());
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (comm) state ppid ...": comm may hold spaces, so start after the last ")".
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == self.toLatin1())
            result << pid + QLatin1Char(' ') + QString::fromLatin1(fields[0]);
    }
    return result;
}

/** The lines a "flood" step writes for `total` bytes: numbered 63-byte lines. */
QStringList floodLines(int total)
{
    QStringList lines;
    for (int number = 0; total > 0; ++number) {
        QString line = QStringLiteral("%1").arg(number, 62, 10, QLatin1Char('0'));
        lines << line.left(std::min(total, 62));
        total -= 63;
    }
    return lines;
}

class SpawnRobustnessTest : public ProviderTest
{
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        svn.svnExecutable = QStringLiteral(TEST_CHILD_PATH);
    }

    /** Runs the test child with `steps` (the first as the subcommand), ending with "end". */
    bool run(TestableSVN& provider, QStringList steps, QStringList& output)
    {
        const QString command = steps.takeFirst();
        steps << QStringLiteral("end");
        return provider.executeSVNCommand(command, steps, QString(), QString(), output);
    }
};

TEST_F(SpawnRobustnessTest, ManyRunsLeaveNoDescriptorAndNoChildBehind)
{
    const QStringList descriptorsBefore = openDescriptors();
    const QStringList childrenBefore = childProcesses();
    ASSERT_TRUE(childrenBefore.isEmpty()) << childrenBefore.join(',').toStdString();

    // Mostly quick runs of echo (which prints its whole argument vector), with
    // failures of every kind mixed in: error output, exit codes, a client
    // killed by a signal, a client that cannot be started. Two threads share
    // the runs, each with providers of its own.
    QElapsedTimer sinceStart;
    sinceStart.start();
    std::atomic<int> done{0};
    auto work = [&sinceStart, &done](int first, int count, QStringList& failures) {
        TestableSVN child;
        child.svnExecutable = QStringLiteral(TEST_CHILD_PATH);
        TestableSVN echo;
        echo.svnExecutable = QStringLiteral("/bin/echo");
        TestableSVN missing;
        missing.svnExecutable = QStringLiteral("/nonexistent/svn");
        QStringList output;
        for (int i = first; i < first + count && !sinceStart.hasExpired(ManyRunsTimeLimitMs); ++i) {
            ++done;
            bool ok = false;
            QStringList expected;
            switch (i % 50) {
            case 10:
                ok = !child.executeSVNCommand(step("out:", "x\n"), {step("err:", "oops\n"), QStringLiteral("end")},
                                              QString(), QString(), output);
                expected = QStringList{"x"};
                break;
            case 20:
                ok = !child.executeSVNCommand(QStringLiteral("exit:3"), {}, QString(), QString(), output);
                break;
            case 30:
                ok = !child.executeSVNCommand(step("out:", "half a li"), {QStringLiteral("kill")}, QString(),
                                              QString(), output);
                expected = QStringList{"half a li"};
                break;
            case 40:
                ok = !missing.executeSVNCommand(QStringLiteral("info"), {}, QString(), QString(), output);
                break;
            default:
                ok = echo.executeSVNCommand(QStringLiteral("add"), {QString::number(i)}, QString(), QString(),
                                            output);
                expected = QStringList{QStringLiteral("add ") + QString::number(i)};
            }
            if (!ok || output != expected)
                failures << QStringLiteral("run %1: %2").arg(i).arg(output.join('|'));
        }
    };
    QStringList failures[2];
    std::thread firstHalf(work, 0, ManyRuns / 2, std::ref(failures[0]));
    std::thread secondHalf(work, ManyRuns / 2, ManyRuns / 2, std::ref(failures[1]));
    firstHalf.join();
    secondHalf.join();
    RecordProperty("runs", done.load());
    std::printf("%d runs in %lld ms\n", done.load(), static_cast<long long>(sinceStart.elapsed()));
    EXPECT_EQ(done.load(), ManyRuns);
    EXPECT_TRUE(failures[0].isEmpty()) << failures[0].mid(0, 10).join('\n').toStdString();
    EXPECT_TRUE(failures[1].isEmpty()) << failures[1].mid(0, 10).join('\n').toStdString();

    EXPECT_EQ(openDescriptors(), descriptorsBefore);
    EXPECT_EQ(childProcesses(), childrenBefore);
}

TEST_F(SpawnRobustnessTest, TwoProvidersOnTwoThreadsNeverHoldEachOthersPipes)
{
    // Pipes this process already hands to every child (normally none): the
    // baseline for what a child may see besides its own output and error.
    QStringList output;
    ASSERT_TRUE(run(svn, {QStringLiteral("pipes")}, output));
    ASSERT_EQ(output.size(), 1);
    const QString inheritedAlone = output.first();

    constexpr int Runs = 50;
    struct Worker
    {
        TestableSVN provider;
        QStringList failures;
    };
    Worker workers[2];
    auto work = [&](Worker& worker, char name) {
        worker.provider.svnExecutable = QStringLiteral(TEST_CHILD_PATH);
        QStringList lines;
        for (int i = 0; i < Runs; ++i) {
            const QByteArray tag = QByteArray(1, name) + QByteArray::number(i);
            // Sleep first, then answer: the answer arrives only at the end of
            // the 100 ms, while the other thread's child is alive. Each child
            // counts the pipes it inherited: a write end of the other
            // thread's run would show there (and would hold that run's end
            // of file back until this child ended).
            const bool ok = worker.provider.executeSVNCommand(
                QStringLiteral("sleep:100"), {step("out:", tag + '\n'), QStringLiteral("pipes"), QStringLiteral("end")},
                QString(), QString(), lines);
            const QStringList expected{QString::fromLatin1(tag), inheritedAlone};
            if (!ok || lines != expected)
                worker.failures << QString::fromLatin1(tag) + QStringLiteral(": ") + lines.join('|');
        }
    };
    std::thread first(work, std::ref(workers[0]), 'a');
    std::thread second(work, std::ref(workers[1]), 'b');
    first.join();
    second.join();

    for (Worker& worker : workers) {
        EXPECT_TRUE(worker.failures.isEmpty()) << worker.failures.join(", ").toStdString();
    }
    EXPECT_TRUE(childProcesses().isEmpty());
}

TEST_F(SpawnRobustnessTest, ClientThatClosesItsOutputEarlyAndKeepsRunning)
{
    QStringList output;
    QElapsedTimer timer;
    timer.start();
    // Standard error stays open, so the run lasts until the client ends.
    EXPECT_TRUE(run(svn, {step("out:", "first\n"), QStringLiteral("close-out"), QStringLiteral("sleep:300")}, output));
    EXPECT_GE(timer.elapsed(), 290);
    EXPECT_EQ(output, QStringList{"first"});

    // What it writes on standard error after closing its output still counts.
    EXPECT_FALSE(run(svn, {step("out:", "first\n"), QStringLiteral("close-out"), QStringLiteral("sleep:100"),
                           step("err:", "late complaint\n")},
                     output));
    EXPECT_EQ(output, QStringList{"first"});
    QString command;
    EXPECT_EQ(svn.getLastError(command), "late complaint");
    EXPECT_EQ(command, step("out:", "first\n"));
    EXPECT_TRUE(childProcesses().isEmpty());
}

TEST_F(SpawnRobustnessTest, ClientThatWritesOneMebibyteToStandardErrorOnly)
{
    QStringList output{"stale"};
    EXPECT_FALSE(run(svn, {QStringLiteral("flood-err:1048576")}, output));
    EXPECT_TRUE(output.isEmpty());
    QString command;
    const QString message = svn.getLastError(command);
    EXPECT_EQ(command, "flood-err:1048576");
    EXPECT_EQ(message.size(), 1048576); // each line end becomes one "\n"; the last line has none
    EXPECT_TRUE(message == floodLines(1048576).join('\n'));
}

TEST_F(SpawnRobustnessTest, ClientKilledBySigkillMidOutput)
{
    // 200,000 bytes end in the middle of a line; then the client kills itself.
    QStringList output;
    svn.setLastError(QStringLiteral("earlier"), QStringLiteral("earlier message"));
    EXPECT_FALSE(run(svn, {QStringLiteral("flood-out:200000"), QStringLiteral("kill")}, output));
    const QStringList expected = floodLines(200000);
    ASSERT_EQ(output.size(), expected.size());
    EXPECT_TRUE(output == expected);
    EXPECT_EQ(output.last().size(), 200000 % 63);
    QString command;
    EXPECT_EQ(svn.getLastError(command), QString());
    EXPECT_EQ(command, "flood-out:200000");
    EXPECT_TRUE(childProcesses().isEmpty());
}

std::atomic<int> s_alarms{0};

void countAlarm(int)
{
    s_alarms.fetch_add(1, std::memory_order_relaxed);
}

TEST_F(SpawnRobustnessTest, HostWhoseAlarmFiresEveryMillisecond)
{
    struct sigaction alarmAction;
    std::memset(&alarmAction, 0, sizeof alarmAction);
    alarmAction.sa_handler = countAlarm;
    sigemptyset(&alarmAction.sa_mask);
    alarmAction.sa_flags = 0; // no SA_RESTART: every blocking call sees EINTR
    struct sigaction previousAction;
    ASSERT_EQ(::sigaction(SIGALRM, &alarmAction, &previousAction), 0);
    const itimerval everyMillisecond{{0, 1000}, {0, 1000}};
    itimerval previousTimer;
    ASSERT_EQ(::setitimer(ITIMER_REAL, &everyMillisecond, &previousTimer), 0);
    s_alarms = 0;

    QStringList output;
    QString command;
    // Output read while interrupted, then a pause in poll, then the wait.
    const bool flooded = run(svn, {QStringLiteral("flood-out:1000000"), QStringLiteral("sleep:50"),
                                   step("out:", "\nlast\n")},
                             output);
    const QStringList floodOutput = output;
    const bool failed = run(svn, {QStringLiteral("sleep:30"), step("err:", "e1\r\ne2\n"), QStringLiteral("exit:7")}, output);
    const QString failedMessage = svn.getLastError(command);
    const bool slept = run(svn, {QStringLiteral("sleep:100"), step("out:", "done")}, output);
    const QStringList sleptOutput = output;

    const itimerval off{{0, 0}, {0, 0}};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &previousAction, nullptr);
    ::setitimer(ITIMER_REAL, &previousTimer, nullptr);

    EXPECT_GT(s_alarms.load(), 100) << "the alarm did not keep firing";
    EXPECT_TRUE(flooded);
    EXPECT_TRUE(floodOutput == floodLines(1000000) + QStringList{"last"}) << floodOutput.size() << " lines";
    EXPECT_FALSE(failed);
    EXPECT_EQ(failedMessage, "e1\ne2");
    EXPECT_EQ(command, "sleep:30");
    EXPECT_TRUE(slept);
    EXPECT_EQ(sleptOutput, QStringList{"done"});
    EXPECT_TRUE(childProcesses().isEmpty());
}

TEST_F(ProviderTest, AnAllocationFailureAnywhereStaysInsideTheOperation)
{
    // Each round makes the n-th allocation through operator new fail (the
    // provider's own containers and the process start; the toolkit's
    // strings are not made that way): the operations return, throw
    // nothing, and leave no descriptor or child behind.
    makeWorkingCopy();
    makeWorkingCopy("src");
    fake.respondAlways("M            3        2 ann          a.c\n"
                       "Status against revision:      3\n");
    const QStringList descriptors = openDescriptors();
    bool controlled, checkedOut, modified, outOfDate;
    QString text, revision, changed;
    for (long failure = 0; failure < 300; ++failure) {
        svn.refresh();
        g_allocationsBeforeFailure = failure;
        try {
            svn.status({"src", "a.c"}, controlled, checkedOut, modified, outOfDate, text, revision, changed);
            svn.addFile({"src", "n.c"}, "comment");
        } catch (...) {
            ADD_FAILURE() << "an exception left the provider at allocation " << failure;
        }
        g_allocationsBeforeFailure = -1;
    }
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_TRUE(childProcesses().isEmpty());
}

} // namespace
