// Process spawning and line splitting, against test-child runs.

#include "EightBit.h"
#include "ProcessProbes.h"
#include "QTxProcess.h"
#include "QTxProcessEnvironment.h"
#include "QtPrinters.h"
#include "ScopedVariable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

// poll() as the spawning code sees it: the real one, unless a test makes it fail.
namespace {
std::atomic<bool> s_pollFails{false};
}

extern "C" int poll(struct pollfd* fds, nfds_t count, int timeout)
{
    if (s_pollFails) {
        errno = ENOMEM;
        return -1;
    }
    using Poll = int (*)(struct pollfd*, nfds_t, int);
    static const Poll real = reinterpret_cast<Poll>(::dlsym(RTLD_NEXT, "poll"));
    return real(fds, count, timeout);
}

namespace {

const QString Child = QStringLiteral(TEST_CHILD_PATH);

QString hex(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex()); }

struct ChildRun { int code; QStringList out; QStringList err; };

ChildRun run(const QStringList& steps, const QString& dir = QString())
{
    ChildRun r{0, {}, {}};
    r.code = QTx::spawnProcess(QStringList{Child} + steps, true, dir, true, &r.out, &r.err);
    return r;
}

TEST(SpawnProcess, SplitsLinesAsTheyWereWritten)
{
    struct Case { QByteArray bytes; QStringList lines; };
    const Case cases[] = {
        {"a\nb\nc\n", {"a", "b", "c"}},
        {"a\r\nb\r\nc\r\n", {"a", "b", "c"}},
        {"a\n\nb\n", {"a", QString(), "b"}},
        {"a\rb\n", {"a", QString()}}, // a CR takes the next byte as its LF, unseen
        {"a\r", {"a"}},
        {"last\nno end", {"last", "no end"}},
        {"caf\xc3\xa9 \xe6\x97\xa5\n", {"café 日"}},
        // Not UTF-8: kept as escapes that encode back to the same bytes.
        {QByteArray("caf\xe9\n", 5), {fromEightBit(QByteArray("caf\xe9"))}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        ChildRun r = run({"out:" + hex(c.bytes), "err:" + hex(c.bytes)});
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, c.lines);
        EXPECT_EQ(r.err, c.lines);
        for (const QString& line : r.out)
            EXPECT_TRUE(!line.isEmpty() || line.isNull()); // an empty line is a null string
    }
    // A CR LF pair split between two reads is one line end.
    EXPECT_EQ(run({"out:610d", "sleep:100", "out:0a620a"}).out, QStringList({"a", "b"}));
}

TEST(SpawnProcess, AppendsAndLeavesListsAloneWhenNothingIsWritten)
{
    QStringList out{"kept"}, err{"kept too"};
    EXPECT_EQ(QTx::spawnProcess({Child}, true, QString(), true, &out, &err), 0);
    // Only standard error: exit 0, output untouched.
    EXPECT_EQ(QTx::spawnProcess({Child, "err:6f6f707321"}, true, QString(), true, &out, &err), 0);
    EXPECT_EQ(out, QStringList{"kept"});
    EXPECT_EQ(err, QStringList({"kept too", "oops!"}));
}

TEST(SpawnProcess, ExitCodesAreSignedBytes)
{
    EXPECT_EQ(run({"exit:1"}).code, 1);
    EXPECT_EQ(run({"exit:127"}).code, 127);
    EXPECT_EQ(run({"exit:128"}).code, -128);
    EXPECT_EQ(run({"exit:255"}).code, -1);
    const ChildRun killed = run({"out:610a", "out:6869", "kill"});
    EXPECT_EQ(killed.code, -1);
    EXPECT_EQ(killed.out, QStringList({"a", "hi"})); // what it wrote before is kept

    // A program that cannot run: -1 and the lists untouched.
    QStringList out{"x"}, err;
    EXPECT_EQ(QTx::spawnProcess({"/no/such/program"}, true, QString(), true, &out, &err), -1);
    EXPECT_EQ(out, QStringList{"x"});
    EXPECT_TRUE(err.isEmpty());
}

TEST(RunProcess, TellsEveryEndingApart)
{
    using End = QTx::ProcessResult::End;
    // Each run: its steps (a stop is asked for once it has printed), the
    // limit, the folder; how it ended, code, signal and reason, what it printed.
    struct Case { QStringList argv; int timeoutMs; bool stop; QString directory;
                  End end; int exitCode; int signal; QString why; QStringList out; };
    const Case cases[] = {
        {{Child, "out:610a"}, 0, false, QString(), End::Exited, 0, 0, QString(), {"a"}},
        {{Child, "out:610a", "err:620a", "exit:3"}, 0, false, QString(), End::Exited, 3, 0, QString(), {"a"}},
        {{Child, "exit:255"}, 0, false, QString(), End::Exited, 255, 0, QString(), {}},
        {{Child, "out:610a", "kill"}, 0, false, QString(), End::Signalled, -1, 9, QString(), {"a"}},
        {{Child, "out:610a", "sleep:60000"}, 200, false, QString(), End::TimedOut, -1, 0, QString(), {"a"}},
        {{Child, "out:610a", "sleep:60000"}, 0, true, QString(), End::Stopped, -1, 0, QString(), {"a"}},
        {{"/no/such/program"}, 0, false, QString(), End::NotStarted, -1, 0,
         "cannot run '/no/such/program': not found", {}},
        // A folder that cannot be entered is a reason not to start, unless told otherwise.
        {{Child}, 0, false, "/no/such/folder", End::NotStarted, -1, 0,
         "cannot run '" + Child + "' in '/no/such/folder': no such folder", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argv.join(' ').toStdString());
        QTx::ProcessStopper stopper;
        QStringList out, err;
        QTx::ProcessOptions options;
        options.arguments = c.argv;
        options.workingDirectory = c.directory;
        options.output = &out;
        options.errors = &err;
        options.timeoutMs = c.timeoutMs;
        options.stopper = &stopper;
        if (c.stop)
            options.outputObserver = [&stopper](QByteArrayView) { stopper.stop(); };
        const QTx::ProcessResult result = QTx::runProcess(options);
        EXPECT_EQ(int(result.end), int(c.end));
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.signal, c.signal);
        EXPECT_EQ(result.startError, c.why);
        EXPECT_EQ(result.startError.isNull(), c.why.isNull());
        EXPECT_EQ(out, c.out);
    }
    // Standard output alone is captured without standard error, and standard
    // error alone without standard output.
    QStringList out, err;
    QTx::ProcessOptions options;
    options.arguments = QStringList{Child, "out:610a", "err:620a"};
    options.output = &out;
    EXPECT_EQ(QTx::runProcess(options).exitCode, 0);
    options.output = nullptr;
    options.errors = &err;
    EXPECT_EQ(QTx::runProcess(options).exitCode, 0);
    EXPECT_EQ(out, QStringList{"a"});
    EXPECT_EQ(err, QStringList{"b"});
}

TEST(SpawnProcess, PassesArgumentsUnchangedAndRunsInTheDirectory)
{
    QTemporaryDir dir;
    const QString where = QDir(dir.path()).canonicalPath();
    const QStringList odd{"", "two words", "line\nfeed", "-leading", "\"quoted\" 'x'",
                          QString::fromLatin1("\xe9\xff"), QString()};
    ChildRun r = run(QStringList{"pwd", "args"} + odd, where);
    ASSERT_EQ(r.code, 0);
    // "line\nfeed" prints as two lines; every argument arrived whole.
    EXPECT_EQ(r.out, QStringList({where, QString(), "two words", "line", "feed", "-leading",
                                  "\"quoted\" 'x'", QString::fromLatin1("\xe9\xff"), QString()}));

    // A directory that cannot be entered leaves the inherited one.
    r = run({"pwd"}, where + "/missing");
    EXPECT_EQ(r.out, QStringList{QDir::currentPath()});
    r = run({"pwd"}, QString());
    EXPECT_EQ(r.out, QStringList{QDir::currentPath()});
}

TEST(SpawnProcess, CapturesFloodsOnBothPipesWithoutDeadlock)
{
    // 2 MiB on stdout while stderr gets 256 KiB, more than either pipe
    // holds: both pipes must be drained together. The child writes numbered
    // 63-byte lines.
    const ChildRun r = run({"flood-err:131072", "flood-out:2097152", "flood-err:131072"});
    ASSERT_EQ(r.code, 0);
    ASSERT_EQ(r.out.size(), 33289);
    // The second flood's first line continues the first one's cut-off last line.
    EXPECT_EQ(r.err.size(), 4161);
    EXPECT_EQ(r.out[12345], QStringLiteral("%1").arg(12345, 62, 10, QLatin1Char('0')));
    EXPECT_EQ(r.out.last(), QString(8, '0')); // 2 MiB is 33288 lines and 8 bytes
}

TEST(SpawnProcess, NoWaitGivesZeroForASlowChild)
{
    // Without capture the slow child is not read; ten quick polls find it running.
    EXPECT_EQ(QTx::spawnProcess({Child, "sleep:300"}, false, QString(), true, nullptr, nullptr), 0);
    // A child that is done by the time it is asked reports its status.
    QStringList out, err;
    EXPECT_EQ(QTx::spawnProcess({Child, "exit:3"}, false, QString(), true, &out, &err), 3);
}

pid_t s_parent = 0;
std::atomic<pid_t> s_handlerRanIn{0};

void recordHandler(int)
{
    if (::getpid() != s_parent)
        s_handlerRanIn = ::getpid();
}

TEST(SpawnProcess, AHostSignalHandlerNeverRunsInTheChild)
{
    // The child shares the host's memory until it executes, so a handler
    // running there would write the flag the host reads.
    s_parent = ::getpid();
    struct sigaction action {};
    action.sa_handler = recordHandler;
    struct sigaction previous;
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    const pid_t mainThread = pid_t(::syscall(SYS_gettid));
    std::atomic<bool> stop{false};
    std::thread signaller([&] {
        const QString path = QStringLiteral("/proc/self/task/%1/children").arg(mainThread);
        while (!stop) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                for (const QByteArray& pid : file.readAll().split(' '))
                    if (pid.toInt() > 0)
                        ::kill(pid.toInt(), SIGUSR1);
        }
    });
    int signalled = 0;
    for (int i = 0; i < 300; ++i) {
        QStringList out, err;
        const int code = QTx::spawnProcess({Child, "out:610a"}, true, QString(), true, &out, &err);
        EXPECT_TRUE(code == 0 || code == -1) << code; // -1: the signal's default action ended it
        signalled += code == -1;
    }
    stop = true;
    signaller.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(s_handlerRanIn.load(), 0);
    EXPECT_GT(signalled, 0); // the signals did reach the children
}

TEST(SpawnProcess, TheChildStartsWithNoSignalBlocked)
{
    // A host thread that blocks SIGTERM (leaving signals to a thread of its
    // own) must not pass that on: the child could then not be stopped.
    sigset_t term, previous;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, &previous), 0);
    const ChildRun r = run({"signal-mask"});
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    EXPECT_EQ(r.out, QStringList{"SigBlk:\t0000000000000000"});
}

TEST(ProcessEnvironment, SettingANameAgainReplacesItsEntry)
{
    QTx::ProcessEnvironment environment;
    environment.set("LC_ALL", "de_DE.UTF-8");
    environment.set("LC", "x"); // a name that begins another one touches only itself
    environment.set("LC", "C");
    QStringList entries;
    for (char* const* entry = environment.envp(); *entry; ++entry)
        entries << QString::fromLatin1(*entry);
    EXPECT_EQ(entries, QStringList({"LC_ALL=de_DE.UTF-8", "LC=C"}));
    EXPECT_EQ(environment.value("LC"), "C");
}

TEST(SpawnProcess, FindsTheProgramAlongThePathAsExecvpWouldAndSaysWhyNot)
{
    QTemporaryDir dir;
    const QString base = dir.path();
    QDir().mkpath(base + "/empty");
    QDir().mkpath(base + "/bin");
    QDir().mkpath(base + "/denied");
    QFile::copy(Child, base + "/bin/scc-test-child");
    QFile::setPermissions(base + "/bin/scc-test-child", QFile::ReadOwner | QFile::ExeOwner);
    QFile::copy(Child, base + "/denied/scc-test-child"); // made not executable: passed over
    QFile::setPermissions(base + "/denied/scc-test-child", QFile::ReadOwner | QFile::WriteOwner);
    QFile::copy(base + "/denied/scc-test-child", base + "/denied/scc-denied-child");
    QFile notADirectory(base + "/file");
    ASSERT_TRUE(notADirectory.open(QIODevice::WriteOnly));
    const ScopedVariable path("PATH", QFile::encodeName(base + "/file:" + base + "/empty:" + base + "/denied:"
                                                        + base + "/bin"));
    // Each start: program and working directory (required or not), its
    // exit code, and why it did not start (null: it did).
    struct Case { QStringList argv; QString directory; bool required; int code; QString why; };
    const Case cases[] = {
        {{"scc-test-child", "out:6f6b0a"}, QString(), false, 0, QString()},
        {{"scc-no-such-child"}, QString(), false, -1, "cannot run 'scc-no-such-child': not found"},
        {{"scc-denied-child"}, QString(), false, -1, "cannot run 'scc-denied-child': not executable"},
        {{"/no/such/program"}, QString(), false, -1, "cannot run '/no/such/program': not found"},
        {{base + "/denied/scc-test-child"}, QString(), false, -1,
         "cannot run '" + base + "/denied/scc-test-child': not executable"},
        {{base + "/bin"}, QString(), false, -1, "cannot run '" + base + "/bin': not executable"},
        {{}, QString(), false, -1, "cannot run '': not found"},
        {{Child, "kill"}, QString(), false, -1, QString()}, // started, then killed by a signal
        // A working directory that cannot be entered is ignored, unless required.
        {{Child, "pwd"}, base + "/file", false, 0, QString()},
        {{Child, "pwd"}, base + "/missing", true, -1, "cannot run '" + Child + "' in '" + base + "/missing': no such folder"},
        {{Child, "pwd"}, base + "/file", true, -1, "cannot run '" + Child + "' in '" + base + "/file': not a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argv.join(' ').toStdString() + " in " + c.directory.toStdString());
        QTx::SpawnOptions options;
        QString why = "stale";
        options.startError = &why;
        options.requireWorkingDirectory = c.required;
        QStringList out, err;
        EXPECT_EQ(QTx::spawnProcess(c.argv, true, c.directory, options, &out, &err), c.code);
        EXPECT_EQ(why, c.why);
        EXPECT_EQ(why.isNull(), c.why.isNull());
        if (c.code == 0) {
            EXPECT_EQ(out.value(0), c.argv.size() > 1 && c.argv[1] == "pwd" ? QDir::currentPath() : "ok");
        } else if (!c.why.isNull()) {
            EXPECT_TRUE(out.isEmpty() && err.isEmpty());
        }
    }
}

TEST(SpawnProcess, FailuresWhileCapturingReleaseEverything)
{
    const QStringList descriptors = openDescriptors(), children = childProcesses();
    QStringList out, err;
    // poll() fails: the child floods a pipe nobody reads; closing it ends the child.
    s_pollFails = true;
    EXPECT_EQ(QTx::spawnProcess({Child, "flood-out:8388608"}, true, QString(), true, &out, &err), -1);
    s_pollFails = false;

    // An allocation fails while the output is taken in.
    QTx::SpawnOptions options;
    options.outputObserver = [](QByteArrayView) { throw std::bad_alloc(); };
    EXPECT_EQ(QTx::spawnProcess({Child, "out:610a", "sleep:60000"}, true, QString(), options, &out, &err), -1);

    // The host ignores SIGCHLD, which discards every exit status: the run
    // reports -1 but its output is still captured.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous;
    ASSERT_EQ(::sigaction(SIGCHLD, &ignore, &previous), 0);
    out.clear();
    const int code = QTx::spawnProcess({Child, "out:610a", "exit:3"}, true, QString(), true, &out, &err);
    // With a limit the end is waited for step by step: it is seen as lost at
    // once, and no other process is ever asked about or signalled.
    QTx::ProcessOptions limited;
    limited.arguments = {Child, "exit:3"};
    limited.silenceLimitMs = 60000;
    const QTx::ProcessResult lost = QTx::runProcess(limited);
    ::sigaction(SIGCHLD, &previous, nullptr);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(out, QStringList{"a"});
    EXPECT_EQ(lost.end, QTx::ProcessResult::End::Lost);

    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(childProcesses(), children);
}

TEST(SpawnProcess, InputTimeLimitAndOwnGroup)
{
    const QStringList children = childProcesses();
    // Bytes for standard input reach the child, then its end.
    const QByteArray input = "secret\n";
    QTx::SpawnOptions options;
    options.input = &input;
    QStringList out, err;
    EXPECT_EQ(QTx::spawnProcess({Child, "stdin"}, true, QString(), options, &out, &err), 0);
    EXPECT_EQ(out, QStringList{"secret"});

    // A child that ignores SIGTERM and has started a grandchild holding its
    // pipes: the whole group goes, SIGKILL after two seconds, and is reaped.
    bool timedOut = false;
    QTx::SpawnOptions limited;
    limited.timeoutMs = 300;
    limited.timedOut = &timedOut;
    out.clear();
    const int code = QTx::spawnProcess({Child, "ignore-term", "out:610a", "grandchild:60000", "sleep:60000"},
                                       true, QString(), limited, &out, &err);
    EXPECT_EQ(code, -1);
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(out, QStringList{"a"});
    EXPECT_EQ(childProcesses(), children);

    // Within the limit nothing changes.
    EXPECT_EQ(QTx::spawnProcess({Child, "exit:4"}, true, QString(), limited, &out, &err), 4);
    EXPECT_FALSE(timedOut);
}

TEST(SpawnProcess, TheChildLeadsASessionWithNoTerminal)
{
    // Whether the host has a terminal or not, a child can never open one:
    // what would ask there (ssh) fails at once instead of being stopped.
    QTx::SpawnOptions limited;
    limited.silenceLimitMs = 5000;
    for (const QTx::SpawnOptions& options : {QTx::SpawnOptions(), limited}) {
        QStringList out, err;
        EXPECT_EQ(QTx::spawnProcess({Child, "session"}, true, QString(), options, &out, &err), 0);
        EXPECT_EQ(out, QStringList{"1 0 ENXIO"});
    }
}

TEST(SpawnProcess, ASilenceLimitEndsOnlyASilentRun)
{
    QTemporaryDir dir;
    QStringList talker;
    for (int i = 0; i < 8; ++i)
        talker << "out:610a" << "sleep:400";
    // Each child under a limit of one second of silence: what it does, and
    // whether the limit ends it, counted from the start.
    struct Case { const char* label; QStringList steps; bool ended; qint64 atLeastMs, belowMs; };
    const Case cases[] = {
        {"a line every 400 ms for 3.2 s", talker, false, 3200, 5000},
        {"silent itself while its grandchild writes a file for 3 s",
         {"grandchild-writes:3000:" + dir.path() + "/scribbled", "sleep:3000"}, false, 3000, 5000},
        {"silent", {"sleep:60000"}, true, 1000, 1700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QTx::SpawnOptions options;
        options.silenceLimitMs = 1000;
        options.killGraceMs = 0;
        bool timedOut = !c.ended;
        options.timedOut = &timedOut;
        QStringList out, err;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(QTx::spawnProcess(QStringList{Child} + c.steps, true, QString(), options, &out, &err),
                  c.ended ? -1 : 0);
        EXPECT_GE(clock.elapsed(), c.atLeastMs);
        EXPECT_LT(clock.elapsed(), c.belowMs);
        EXPECT_EQ(timedOut, c.ended);
    }
}

TEST(SpawnProcess, ATimeLimitOrAStopEndsTheRunAsItsGraceSays)
{
    // A child that ignores SIGTERM, then says so ("a"): with no grace it is
    // killed at once, with one it gets SIGTERM and, that grace later,
    // SIGKILL. A stop is asked for once it has said so, from the reading
    // thread or from another one; times are counted from the limit or the stop.
    const QStringList stubborn{Child, "ignore-term", "out:610a", "sleep:60000"};
    struct Case { const char* label; int timeoutMs, killGraceMs, stopGraceMs; bool stop, stopFirst;
                  qint64 atLeastMs, belowMs; };
    const Case cases[] = {
        // The bounds leave a loaded machine a second: what they tell apart is
        // "at once" from "after the grace".
        {"time limit, no grace", 800, 0, 0, false, false, 0, 1200},
        {"time limit, grace", 800, 1500, 0, false, false, 1450, 3000},
        {"stop, no grace", 0, 3000, 0, true, false, 0, 1200},
        {"stop, grace", 0, 3000, 1500, true, false, 1450, 3000},
        {"stopped before the start", 0, 3000, 0, false, true, 0, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QTx::ProcessStopper stopper;
        if (c.stopFirst)
            stopper.stop();
        bool timedOut = false, stopped = false;
        QElapsedTimer clock;
        std::atomic<qint64> from{0};
        std::thread stopping;
        QTx::SpawnOptions options;
        options.timeoutMs = c.timeoutMs;
        options.killGraceMs = c.killGraceMs;
        options.stopper = &stopper;
        options.stopGraceMs = c.stopGraceMs;
        options.timedOut = &timedOut;
        options.stopped = &stopped;
        options.outputObserver = [&](QByteArrayView) {
            if (c.stop && !stopping.joinable())
                stopping = std::thread([&] {
                    from = clock.elapsed();
                    stopper.stop();
                });
        };
        QStringList out, err;
        clock.start();
        EXPECT_EQ(QTx::spawnProcess(stubborn, true, QString(), options, &out, &err), -1);
        const qint64 elapsed = clock.elapsed() - (c.stop ? from.load() : qint64(c.timeoutMs));
        if (stopping.joinable())
            stopping.join();
        EXPECT_GE(elapsed, c.atLeastMs);
        EXPECT_LT(elapsed, c.belowMs);
        EXPECT_EQ(timedOut, c.timeoutMs > 0);
        EXPECT_EQ(stopped, c.stop || c.stopFirst);
        EXPECT_EQ(out, c.stopFirst ? QStringList() : QStringList{"a"}); // stopped first: never started
        // Taken back, the stopper waits its full time again and lets the next run be.
        stopper.reset();
        QElapsedTimer paused;
        paused.start();
        EXPECT_FALSE(stopper.wait(200));
        EXPECT_GE(paused.elapsed(), 190);
        EXPECT_EQ(QTx::spawnProcess({Child, "exit:4"}, true, QString(), options, &out, &err), 4);
    }
}

} // namespace

TEST(RunProcess, AWatchedDescriptorIsServedOnTheRunningThreadOutsideTheLimits)
{
    using End = QTx::ProcessResult::End;
    // A child silent for 1.2 s, then done; a pipe of ours holds a byte from
    // the start. The handler takes 0.9 s: counted as the child's time it
    // would end the run by either limit. A stop asked for inside it ends
    // the run as it returns; a handler that gives up is not called again.
    struct Case { const char* label; int silenceMs, timeoutMs; bool stop, keep, take;
                  End end; };
    const Case cases[] = {
        {"silence limit 0.6 s", 600, 0, false, true, true, End::Exited},
        {"time limit 1.1 s", 0, 1100, false, true, true, End::Exited},
        // Not stopped, the child would exit 0.3 s after the handler returns.
        {"a stop inside the handler", 0, 0, true, true, true, End::Stopped},
        {"a handler that gives up", 0, 0, false, false, false, End::Exited},
    };
    for (const bool captured : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + (captured ? ", output captured" : ", output not captured"));
            int fds[2];
            ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
            ASSERT_EQ(::write(fds[1], "x", 1), 1);
            QTx::ProcessStopper stopper;
            QStringList out, err;
            QTx::ProcessOptions options;
            options.arguments = QStringList{Child, "sleep:1200", "exit:0"};
            if (captured) {
                options.output = &out;
                options.errors = &err;
            }
            options.silenceLimitMs = c.silenceMs;
            options.timeoutMs = c.timeoutMs;
            options.killGraceMs = 0;
            options.stopper = &stopper;
            options.watchDescriptor = fds[0];
            int calls = 0;
            const std::thread::id runner = std::this_thread::get_id();
            options.watchHandler = [&] {
                ++calls;
                EXPECT_EQ(std::this_thread::get_id(), runner);
                QThread::msleep(900);
                char byte;
                if (c.take) {
                    EXPECT_EQ(::read(fds[0], &byte, 1), 1);
                }
                if (c.stop)
                    std::thread([&stopper] { stopper.stop(); }).join();
                return c.keep;
            };
            const QTx::ProcessResult result = QTx::runProcess(options);
            EXPECT_EQ(int(result.end), int(c.end));
            EXPECT_EQ(calls, 1);
            ::close(fds[0]);
            ::close(fds[1]);
        }
    }
}
