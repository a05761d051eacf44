// The session against the stand-in client: loading, the order of calls,
// cancel and destruction from other threads, a cancelled status pass, the
// command log and the host's logging rules, folders the system refuses to
// watch. No server is needed, so these run under ThreadSanitizer too.

#include "Session.h"

#include "Finished.h"

#include "FakeSvn.h"
#include "FileBytes.h"
#include "ProcessProbes.h"
#include "QtPrinters.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/inotify.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <thread>

// The system as a test wants it: the watches this process may still add
// before each further one is refused as over the limit (-1: no limit). The
// session library's calls reach this definition before the C library's.
static std::atomic<int> s_watchesLeft{-1};

extern "C" __attribute__((visibility("default"))) int inotify_add_watch(int fd, const char* name, uint32_t mask) __THROW
{
    using Add = int (*)(int, const char*, uint32_t);
    static const Add system = reinterpret_cast<Add>(::dlsym(RTLD_NEXT, "inotify_add_watch"));
    int left = s_watchesLeft.load();
    while (left >= 0) {
        if (left == 0) {
            errno = ENOSPC;
            return -1;
        }
        if (s_watchesLeft.compare_exchange_weak(left, left - 1))
            break;
    }
    return system(fd, name, mask);
}

namespace {

using namespace SvnScc;

const int WaitMs = 20000;
const char Info[] = "Path: .\nURL: svn://repo/trunk\nRepository Root: svn://repo\n";


class SessionUnit : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        m_root = QDir(m_temp.path()).canonicalPath();
        // A working copy of the per-folder layout, as the stand-in answers for it.
        ASSERT_TRUE(QDir().mkpath(m_root + "/.svn"));
        writeBytes(m_root + "/.svn/entries", "");
        writeBytes(m_root + "/a.txt", "a\n");
    }

    SessionSettings settings() const
    {
        SessionSettings settings;
        settings.executable = m_fake.executable();
        settings.repositoryUrl = "svn://repo";
        settings.timeLimitSeconds = 0;
        return settings;
    }

    /** A session open on the root, its binding answered by the stand-in's first call. */
    std::unique_ptr<Session> openSession(const SessionSettings& given)
    {
        m_fake.respond(Info);
        auto session = std::make_unique<Session>();
        const Result<QString> opened = finished(session->open(m_root, given));
        EXPECT_TRUE(opened.ok) << opened.command.toStdString() << ": " << opened.error.toStdString();
        EXPECT_EQ(opened.value, "trunk");
        return session;
    }

    /** The stand-in clients still running or not reaped, children of this process. */
    QStringList clientsLeft() const
    {
        QStringList clients;
        for (const QString& pid : childProcesses())
            if (readBytes("/proc/" + pid + "/cmdline").startsWith(QFile::encodeName(m_fake.executable()) + '\0'))
                clients << pid;
        return clients;
    }

    /** Each call the stand-in got: where it ran, and its arguments. */
    QStringList runs() const
    {
        QStringList result;
        for (const FakeSvn::Call& call : m_fake.calls())
            result << call.workingDirectory + ": " + call.arguments.join(' ');
        return result;
    }

    /** The subcommand of each call the stand-in got. */
    QStringList subcommands() const
    {
        QStringList result;
        for (const FakeSvn::Call& call : m_fake.calls())
            result << call.arguments.value(1);
        return result;
    }

    FakeSvn m_fake;
    QTemporaryDir m_temp;
    QString m_root;
};

TEST_F(SessionUnit, OpeningSaysWhyItFails)
{
    const QString elsewhere = m_temp.path() + "/plain";
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const struct
    {
        QString plugin; // empty: the one installed beside the library
        QString root;
        QString command;
        QString error;
    } cases[] = {
        {m_root + "/none/libsvnscc.so", m_root, "", "no plug-in at " + m_root + "/none/libsvnscc.so"},
        // This library is no plug-in at all; the other is one of version 1 only.
        {QFileInfo(Session::installedPluginPath()).path() + "/../libsvnscc-session.so", m_root, "",
         "lacks the provider entry points"},
        {VERSION_ONE_PLUGIN_PATH, m_root, "", "has no version-2 interface"},
        {QString(), elsewhere, "info", elsewhere + " is not a working copy"},
    };
    for (const auto& c : cases) {
        Session session(c.plugin.isEmpty() ? Session::installedPluginPath() : c.plugin);
        const Result<QString> opened = finished(session.open(c.root, settings()));
        EXPECT_FALSE(opened.ok);
        EXPECT_EQ(opened.command, c.command);
        EXPECT_TRUE(opened.error.contains(c.error)) << opened.error.toStdString();
        // A session that did not open refuses every call, running nothing.
        const Outcome refused = finished(session.checkin("a.txt", "x"));
        EXPECT_EQ(refused.error, "the session is not open");
    }
    EXPECT_EQ(m_fake.callCount(), 0);
}

TEST_F(SessionUnit, VersionThreeCallsOfAVersionTwoPlugInFailSayingSoAndRunNothing)
{
    m_fake.respond(Info);
    Session session(VERSION_TWO_PLUGIN_PATH);
    ASSERT_TRUE(finished(session.open(m_root, settings())).ok);
    // No database to read: the branch is the provider's root.
    EXPECT_EQ(session.branch(), "trunk");
    const int before = m_fake.callCount();
    const std::pair<const char*, Outcome> refused[] = {
        {"info", finished(session.info({"a.txt"}))},
        {"copy", finished(session.copy("trunk", "tags/1", "tag"))},
        {"switch", finished(session.switchTo("", "branches/b"))},
        {"merge", finished(session.merge("", "trunk"))},
        {"mergeinfo", finished(session.mergeInfo("", "trunk", true))},
        {"lock", finished(session.lock({"a.txt"}, "c"))},
        {"unlock", finished(session.unlock({"a.txt"}))},
        {"relocate", finished(session.relocate("svn://moved"))},
        {"proplist", finished(session.properties("a.txt"))},
        {"propset", finished(session.setProperty({"a.txt"}, "p", "v"))},
        {"propdel", finished(session.deleteProperty({"a.txt"}, "p"))},
        {"propset", finished(session.ignore({"new.tmp"}))},
        {"changelist", finished(session.setChangelist({"a.txt"}, "c"))},
        {"log", finished(session.logRange("", "", 10))},
        {"diff", finished(session.changedBetween("", "1", "2"))},
        {"update", finished(session.setDepth("sub", Depth::Empty))},
        {"upgrade", finished(session.upgrade())},
        {"diff", finished(session.createPatch({"a.txt"}))},
        {"patch", finished(session.applyPatch("x"))},
    };
    for (const auto& [command, outcome] : refused) {
        EXPECT_FALSE(outcome.ok) << command;
        EXPECT_EQ(outcome.command, command);
        EXPECT_EQ(outcome.error, QString("%1 needs version 3 of the provider interface, which %2 does not offer")
                                     .arg(command, VERSION_TWO_PLUGIN_PATH));
    }
    EXPECT_EQ(m_fake.callCount(), before);
    EXPECT_EQ(session.branch(), "trunk");
}

TEST_F(SessionUnit, CallsRunOneAfterAnotherInTheOrderAskedWhileTheCallerGoesOn)
{
    std::unique_ptr<Session> session = openSession(settings());
    m_fake.respond("", "", 0, 400); // the commit takes a while
    QElapsedTimer asking;
    asking.start();
    QFuture<Outcome> checkin = session->checkin("a.txt", "first");
    QFuture<Result<QStringList>> files = session->listFiles("trunk");
    QFuture<Outcome> copy = session->getTo("a.txt", "1", m_root + "/copy.txt");
    EXPECT_LT(asking.elapsed(), 200);
    EXPECT_FALSE(checkin.isFinished());

    QStringList finishedOrder;
    QObject context;
    checkin.then(&context, [&](const Outcome&) { finishedOrder << "checkin"; });
    files.then(&context, [&](const Result<QStringList>&) { finishedOrder << "list"; });
    copy.then(&context, [&](const Outcome&) { finishedOrder << "cat"; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return finishedOrder.size() == 3; }, WaitMs));
    EXPECT_EQ(finishedOrder, QStringList({"checkin", "list", "cat"}));
    const QStringList runs = subcommands();
    const qsizetype commit = runs.indexOf("commit"), list = runs.indexOf("list"), cat = runs.indexOf("cat");
    EXPECT_TRUE(commit > 0 && commit < list && list < cat) << runs.join(' ').toStdString();
}

TEST_F(SessionUnit, CancelAndDestructionEndTheRunningCallFromAnyThread)
{
    enum class Stop { Cancel, CancellerOnAnotherThread, Destroy };
    for (const Stop stop : {Stop::Cancel, Stop::CancellerOnAnotherThread, Stop::Destroy}) {
        SCOPED_TRACE(int(stop));
        std::unique_ptr<Session> session = openSession(settings());
        const int before = m_fake.callCount();
        m_fake.respond("", "", 0, 20000); // a commit that hangs
        const QFuture<Outcome> checkin = session->checkin("a.txt", "hangs");
        const QFuture<Result<QStringList>> queued = session->listFiles("trunk");
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_fake.callCount() > before; }, WaitMs));

        // Cancels keep coming from another thread, also while the session is destroyed and after.
        const std::function<void()> cancel = session->canceller();
        std::atomic<bool> keepCancelling{stop == Stop::CancellerOnAnotherThread};
        std::thread canceller([&] {
            while (keepCancelling) {
                cancel();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        QElapsedTimer clock;
        clock.start();
        if (stop == Stop::Cancel)
            session->cancel();
        if (stop == Stop::Destroy)
            session.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return checkin.isFinished(); }, 1500));
        if (stop == Stop::CancellerOnAnotherThread)
            session.reset();
        keepCancelling = false;
        canceller.join();
        EXPECT_LT(clock.elapsed(), 1500);
        EXPECT_FALSE(finished(checkin).ok);
        EXPECT_EQ(finished(checkin).error, "cancelled");
        // The call after it still runs, unless the session is gone.
        const Result<QStringList> listed = finished(queued);
        if (stop != Stop::CancellerOnAnotherThread) {
            EXPECT_EQ(listed.error, stop == Stop::Cancel ? QString() : QString("the session was closed"));
        }
        session.reset();
        cancel(); // after the session is gone: nothing
        EXPECT_EQ(clientsLeft(), QStringList());
    }
}

TEST_F(SessionUnit, ACallsSignalsReachItsThreadBeforeItsEndAlsoWhenTheThreadIsBusy)
{
    std::unique_ptr<Session> session = openSession(settings());
    for (const bool busy : {false, true}) {
        SCOPED_TRACE(busy);
        m_fake.respond("Sending        a.txt\nTransmitting file data .done\nCommitted revision 5.\n");
        QObject context;
        QStringList told, logged, toldAtEnd, loggedAtEnd;
        bool ended = false;
        QObject::connect(session.get(), &Session::progress, &context, [&](const QString& item) { told << item; });
        QObject::connect(session.get(), &Session::commandLogged, &context, [&](const QString& line) { logged << line; });
        QFuture<Result<QString>> commit = session->commit({"a.txt"}, "told first");
        commit.then(&context, [&](const Result<QString>&) {
            toldAtEnd = told;
            loggedAtEnd = logged;
            ended = true;
        });
        // A thread that does not look at its events until the call is over.
        while (busy && !commit.isFinished())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, WaitMs));
        EXPECT_EQ(toldAtEnd, QStringList{"Sending        a.txt"});
        EXPECT_EQ(loggedAtEnd, logged);
        EXPECT_TRUE(loggedAtEnd.join('\n').contains(QRegularExpression("run \\d+ in .*/svn commit ")))
            << loggedAtEnd.join('\n').toStdString();
    }
}

TEST_F(SessionUnit, CancellingAFutureDropsItsQueuedCallOrEndsItsRunningOneAndNoOther)
{
    std::unique_ptr<Session> session = openSession(settings());
    const int before = m_fake.callCount();
    m_fake.respond("", "", 0, 20000); // a commit that hangs
    const QFuture<Outcome> running = session->checkin("a.txt", "hangs");
    const QFuture<Result<QByteArray>> dropped = session->diff("a.txt");
    const QFuture<Result<QStringList>> after = session->listFiles("trunk");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_fake.callCount() > before; }, WaitMs));
    QFuture<Result<QByteArray>>(dropped).cancel();
    QFuture<Outcome>(running).cancel();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return running.isFinished(); }, 1500));
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_TRUE(running.isCanceled());
    EXPECT_TRUE(finished(after).ok) << finished(after).error.toStdString();
    EXPECT_TRUE(dropped.isFinished() && dropped.isCanceled());
    const QStringList runs = subcommands();
    EXPECT_EQ(runs.last(), "list") << runs.join(' ').toStdString();
    EXPECT_FALSE(runs.contains("diff")) << runs.join(' ').toStdString();
    EXPECT_EQ(clientsLeft(), QStringList());
}

TEST_F(SessionUnit, ACancelledStatusPassReadsNothingMoreAndSaysSoForEachPath)
{
    std::unique_ptr<Session> session = openSession(settings());
    const int before = m_fake.callCount();
    m_fake.respond("", "", 0, 20000); // the first status run hangs
    const QStringList paths{"a.txt", "b.txt", "sub/c.txt", "sub/d.txt"};
    const QFuture<Status> pass = session->status(paths);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_fake.callCount() > before; }, WaitMs));
    const int runs = m_fake.callCount();
    session->cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pass.isFinished(); }, 5000));
    const QList<Status> statuses = pass.results();
    ASSERT_EQ(statuses.size(), paths.size());
    for (qsizetype i = 0; i < statuses.size(); ++i) {
        EXPECT_EQ(statuses[i].path, paths[i]);
        EXPECT_FALSE(statuses[i].known);
        EXPECT_EQ(statuses[i].command + ": " + statuses[i].error, "status: cancelled");
    }
    EXPECT_EQ(m_fake.callCount(), runs) << subcommands().join(' ').toStdString();
}

Q_LOGGING_CATEGORY(lcHostArea, "svnscc.sessiontest.host")

QStringList s_hostLines;
void hostHandler(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    s_hostLines << QString::fromLatin1(context.category) + ": " + message;
}

TEST_F(SessionUnit, TheCommandLogReachesTheSignalWithoutThePasswordAndTheHostKeepsItsRules)
{
    // The host's own handler and rules, set before any session exists (each
    // test runs in a process of its own).
    qInstallMessageHandler(hostHandler);
    QLoggingCategory::setFilterRules("svnscc.sessiontest.host.debug=true\nsvnscc.sessiontest.host.info=false");
    SessionSettings withPassword = settings();
    withPassword.user = "ann";
    withPassword.password = "never-shown-2718";
    withPassword.passwordOnStdin = false; // an argument, which the log must mask
    m_fake.respond(Info);                 // the login's info
    std::unique_ptr<Session> session = openSession(withPassword);
    QSignalSpy logged(session.get(), &Session::commandLogged);
    ASSERT_TRUE(finished(session->checkin("a.txt", "logged")).ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged.size() >= 2; }, WaitMs));

    QStringList lines;
    for (const QList<QVariant>& signal : logged)
        lines << signal.at(0).toString();
    EXPECT_TRUE(lines.join('\n').contains(QRegularExpression("run \\d+ in .*/svn commit "))) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.join('\n').contains("--password ******"));
    EXPECT_FALSE(lines.join('\n').contains(withPassword.password));

    // The host's rules hold, its other messages reach its handler, and the
    // command log, which its rules leave off, does not.
    EXPECT_TRUE(lcHostArea().isDebugEnabled());
    EXPECT_FALSE(lcHostArea().isInfoEnabled());
    qCDebug(lcHostArea) << "the host's own line";
    qCInfo(lcHostArea) << "filtered out by the host's rule";
    qInstallMessageHandler(nullptr);
    EXPECT_TRUE(s_hostLines.contains("svnscc.sessiontest.host: the host's own line")) << s_hostLines.join('\n').toStdString();
    EXPECT_FALSE(s_hostLines.join('\n').contains("svnscc.client")) << s_hostLines.join('\n').toStdString();
    EXPECT_FALSE(s_hostLines.join('\n').contains("filtered out"));
}

} // namespace

namespace {

/** All results of a status pass, once it has finished. */
QList<Status> passResults(const QFuture<Status>& pass)
{
    EXPECT_TRUE(QTest::qWaitFor([&] { return pass.isFinished(); }, WaitMs));
    return pass.isFinished() ? pass.results() : QList<Status>();
}

} // namespace

TEST_F(SessionUnit, BusyWhileASingleCallRuns)
{
    std::unique_ptr<Session> session = openSession(settings());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session->isBusy(); }, WaitMs));
    QSignalSpy busy(session.get(), &Session::busyChanged);
    m_fake.respond("", "", 0, 300); // the commit takes a while
    const QFuture<Outcome> checkin = session->checkin("a.txt", "one call");
    EXPECT_TRUE(QTest::qWaitFor([&] { return session->isBusy(); }, 5000));
    EXPECT_TRUE(finished(checkin).ok);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !session->isBusy(); }, WaitMs));
    ASSERT_EQ(busy.size(), 2);
    EXPECT_TRUE(busy.at(0).at(0).toBool());
    EXPECT_FALSE(busy.at(1).at(0).toBool());
}

TEST_F(SessionUnit, ALoginThatSucceedsIsOnlineAgain)
{
    std::unique_ptr<Session> session = openSession(settings());
    m_fake.respond("", "svn: E170013: Unable to connect to a repository at URL 'svn://repo/trunk'\n"
                       "svn: E000111: Can't connect to host 'repo': Connection refused\n", 1)
        .respond("M                1        1 ann          a.txt\n");
    const QList<Status> read = passResults(session->status({"a.txt"}));
    ASSERT_EQ(read.size(), 1);
    EXPECT_EQ(read.first().columns, "M      "); // from the working copy alone
    EXPECT_TRUE(QTest::qWaitFor([&] { return session->isOffline(); }, 5000));
    m_fake.respond(Info);
    EXPECT_TRUE(finished(session->login("ann", "secret")).ok);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !session->isOffline(); }, 5000));
}

TEST_F(SessionUnit, OfflineAndTheCommandLogReachTheSessionWithNoMessageHandlerOrRuleOfItsOwn)
{
    // Nobody installs a message handler or a logging rule in this process.
    const QtMessageHandler qtDefault = qInstallMessageHandler(nullptr);
    const QLoggingCategory commandLog("svnscc.client", QtInfoMsg);
    std::unique_ptr<Session> session = openSession(settings());
    QSignalSpy logged(session.get(), &Session::commandLogged);
    QSignalSpy offline(session.get(), &Session::offlineChanged);
    // A pass long enough after its last run for this thread to take that
    // run's events before the pass ends.
    QStringList paths{"a.txt"};
    QByteArray listed = "M                1        1 ann          a.txt\n";
    for (int i = 0; i < 20000; ++i) {
        paths << QStringLiteral("f%1.txt").arg(i);
        listed += "                 1        1 ann          " + paths.last().toUtf8() + '\n';
    }
    m_fake.respond("", "svn: E170013: Unable to connect to a repository at URL 'svn://repo/trunk'\n"
                       "svn: E000111: Can't connect to host 'repo': Connection refused\n", 1)
        .respond(listed);
    QFutureWatcher<Status> watcher;
    qsizetype toldAtTheEnd = -1;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, [&] { toldAtTheEnd = offline.size(); });
    watcher.setFuture(session->status(paths));
    ASSERT_TRUE(finished(watcher.future()).known);
    EXPECT_EQ(toldAtTheEnd, 1); // told before the call's future finished
    // Online again after a refresh, which reads every path again: told before its future finished too.
    m_fake.respond(listed);
    QFutureWatcher<Outcome> refreshed;
    QObject::connect(&refreshed, &QFutureWatcherBase::finished, [&] { toldAtTheEnd = offline.size(); });
    refreshed.setFuture(session->refresh());
    ASSERT_TRUE(finished(refreshed.future()).ok);
    EXPECT_EQ(toldAtTheEnd, 2);
    EXPECT_FALSE(session->isOffline());
    QStringList lines;
    for (const QList<QVariant>& signal : logged)
        lines << signal.at(0).toString();
    EXPECT_TRUE(lines.join('\n').contains(QRegularExpression("run \\d+ in .*/svn status "))) << lines.join('\n').toStdString();
    EXPECT_FALSE(commandLog.isDebugEnabled());
    EXPECT_EQ(qInstallMessageHandler(nullptr), qtDefault);
}

TEST_F(SessionUnit, StatusIsToldOnlyWhenItChangedAndATreeGivesEachItemOnce)
{
    std::unique_ptr<Session> session = openSession(settings());
    // A tree: a.txt is on disk and changed, gone.txt is not on disk; the
    // changes the client lists name both.
    m_fake.respond("M                1        1 ann          a.txt\n"
                   "!                1        1 ann          gone.txt\n"
                   "                 1        1 ann          .\n"
                   "Status against revision:      1\n")
        .respond("M       a.txt\n!       gone.txt\n");
    QStringList given;
    for (const Status& status : passResults(session->statusTree()))
        given << status.path;
    EXPECT_EQ(given, QStringList({"", "a.txt", "gone.txt"}));
    // In the client's order: the same items, from the same one run.
    std::unique_ptr<Session> listing = openSession(settings());
    m_fake.respond("M                1        1 ann          a.txt\n"
                   "!                1        1 ann          gone.txt\n"
                   "                 1        1 ann          .\n"
                   "Status against revision:      1\n");
    given.clear();
    for (const Status& status : passResults(listing->statusTree(QString(), TreeOrder::AsListed)))
        given << status.path;
    EXPECT_EQ(given, QStringList({"a.txt", "gone.txt", ""}));

    // Read again with nothing changed: nothing is told; then it changed: told once.
    QSignalSpy changed(session.get(), &Session::statusChanged);
    m_fake.respond("M                1        1 ann          a.txt\n");
    EXPECT_TRUE(finished(session->saved({"a.txt"})).ok);
    m_fake.respond("                 1        1 ann          a.txt\n");
    EXPECT_TRUE(finished(session->saved({"a.txt"})).ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !changed.isEmpty(); }, WaitMs));
    QTest::qWait(50); // anything told later than the first would be here by now
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed.first().at(0).value<Status>().columns, "       ");
}

TEST_F(SessionUnit, ALongPassAnswersEachPathWithItsOwnStatus)
{
    // Enough paths to have them split on a thread of their own, answered
    // by one listing of the root; every seventh is modified.
    std::unique_ptr<Session> session = openSession(settings());
    QStringList paths;
    QByteArray listing;
    for (int i = 0; i < 5000; ++i) {
        paths << QStringLiteral("f%1.txt").arg(i, 4, 10, QLatin1Char('0'));
        listing += (i % 7 == 0 ? "M" : " ") + QByteArray(16, ' ') + "1        1 ann          " + paths.last().toLatin1() + '\n';
    }
    m_fake.respond(listing + "                 1        1 ann          .\n");
    const int before = m_fake.callCount();
    const QList<Status> told = passResults(session->status(paths));
    ASSERT_EQ(told.size(), paths.size());
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(told[i].path, paths[i]);
        ASSERT_EQ(told[i].columns, i % 7 == 0 ? "M      " : "       ") << told[i].path.toStdString();
    }
    EXPECT_EQ(m_fake.callCount(), before + 1) << subcommands().join(' ').toStdString();
}

TEST_F(SessionUnit, ASiblingOfTheLocalRootIsNotBelowIt)
{
    std::unique_ptr<Session> session = openSession(settings());
    const int before = m_fake.callCount();
    const QString sibling = m_root + "2/a.txt";
    const Outcome added = finished(session->add({sibling}));
    EXPECT_EQ(added.command + ": " + added.error, "add: " + sibling + " is not below the local root " + m_root);
    EXPECT_EQ(m_fake.callCount(), before);
}

namespace {

/** Waits until the stand-in ran a status of `path` (its last argument names it) after call `from`. */
bool statusRunOf(const FakeSvn& fake, const QString& path, int from, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            const std::vector<FakeSvn::Call> calls = fake.calls();
            for (size_t i = size_t(from); i < calls.size(); ++i)
                if (calls[i].arguments.value(1) == "status"
                    && (calls[i].workingDirectory + '/' + calls[i].arguments.last()).endsWith('/' + path))
                    return true;
            return false;
        },
        timeoutMs);
}

/** Two versioned folders with a file each, read by a pass; the stand-in lists them unchanged. */
std::unique_ptr<Session> readTwoFolders(FakeSvn& fake, const QString& root,
                                        const std::function<std::unique_ptr<Session>()>& open)
{
    EXPECT_TRUE(QDir().mkpath(root + "/sub"));
    writeBytes(root + "/sub/c.txt", "c\n");
    std::unique_ptr<Session> session = open();
    fake.respondAlways("                 1        1 ann          a.txt\n"
                       "                 1        1 ann          sub\n"
                       "                 1        1 ann          sub/c.txt\n"
                       "                 1        1 ann          .\n"
                       "Status against revision:      1\n");
    const QFuture<Status> pass = session->status({"a.txt", "sub/c.txt"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return pass.isFinished(); }, WaitMs));
    return session;
}

} // namespace

TEST_F(SessionUnit, FoldersTheSystemRefusesToWatchArePolledAndTheSessionSaysSo)
{
    const struct
    {
        int watchesAllowed;
        Session::Watching watching;
        int unwatched;
    } cases[] = {
        {1, Session::Watching::Partial, 1}, // the root is watched, sub is not
        {0, Session::Watching::None, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.watchesAllowed);
        s_watchesLeft = c.watchesAllowed;
        SessionSettings polled = settings();
        polled.pollIntervalMs = 100;
        QStringList lines;
        std::unique_ptr<Session> session = readTwoFolders(m_fake, m_root, [&] {
            m_fake.respond(Info);
            auto opened = std::make_unique<Session>();
            QObject::connect(opened.get(), &Session::commandLogged, [&](const QString& line) { lines << line; });
            EXPECT_TRUE(finished(opened->open(m_root, polled)).ok);
            return opened;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return session->unwatchedFolders() == c.unwatched; }, 5000));
        EXPECT_EQ(session->watching(), c.watching);
        EXPECT_EQ(lines.filter("not watched").size(), 1) << lines.join('\n').toStdString();
        EXPECT_EQ(lines.filter("folders are not watched: the system's limit of change notices is reached").size(), 1)
            << lines.join('\n').toStdString();
        EXPECT_EQ(lines.filter("polled every 0.1 s").size(), 1) << lines.join('\n').toStdString();

        // Nothing changed: the poll runs nothing.
        const int settled = m_fake.callCount();
        QTest::qWait(350);
        EXPECT_EQ(m_fake.callCount(), settled);
        // An edit that keeps the size, and a new file, in the unwatched folder.
        writeBytes(m_root + "/sub/c.txt", "C\n");
        EXPECT_TRUE(statusRunOf(m_fake, "sub/c.txt", settled, 3000)) << runs().join('\n').toStdString();
        writeBytes(m_root + "/sub/new.txt", "new\n");
        EXPECT_TRUE(statusRunOf(m_fake, "sub/new.txt", settled, 3000)) << runs().join('\n').toStdString();
        session.reset();
        QFile::remove(m_root + "/sub/new.txt");
        s_watchesLeft = -1;
    }
}

TEST_F(SessionUnit, AnEditTheWatchHandedOverIsReadByAStatusCallQueuedBeforeItsRead)
{
    std::unique_ptr<Session> session = openSession(settings());
    m_fake.respond("                 1        1 ann          a.txt\n");
    ASSERT_EQ(passResults(session->status({"a.txt"})).size(), 1);
    ASSERT_TRUE(finished(session->saved({})).ok); // a.txt's folder is watched now
    // A listing keeps the worker busy; the status call waits behind it while
    // the watch gathers the edit and hands it over, behind the status call.
    m_fake.respond("", "", 0, 800).respond("M                1        1 ann          a.txt\n");
    const QFuture<Result<QStringList>> busy = session->listFiles("trunk");
    const QFuture<Status> asked = session->status({"a.txt"});
    writeBytes(m_root + "/a.txt", "edited\n");
    QTest::qWait(400);
    ASSERT_FALSE(busy.isFinished());
    const QList<Status> told = passResults(asked);
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told.first().columns, "M      ") << runs().join('\n').toStdString();
}

TEST_F(SessionUnit, AnEditInAnUnwatchedFolderAskedAboutBeforeThePollIsAnsweredAsOnDisk)
{
    // status() looks at the polled files it is asked about, statusTree()
    // polls everything, before they answer; no poll comes in between.
    s_watchesLeft = 0;
    for (const bool tree : {false, true}) {
        SCOPED_TRACE(tree);
        SessionSettings polled = settings();
        polled.pollIntervalMs = 600000;
        std::unique_ptr<Session> session = readTwoFolders(m_fake, m_root, [&] {
            m_fake.respond(Info);
            auto opened = std::make_unique<Session>();
            EXPECT_TRUE(finished(opened->open(m_root, polled)).ok);
            return opened;
        });
        // Both folders armed (their files' stamps noted), not just the database refused.
        ASSERT_TRUE(QTest::qWaitFor([&] { return session->unwatchedFolders() == 2; }, 5000));
        m_fake.respondAlways("");
        m_fake.respond("M                1        1 ann          c.txt\n");
        writeBytes(m_root + "/sub/c.txt", tree ? "edited again\n" : "edited\n");
        QString told;
        for (const Status& status : passResults(tree ? session->statusTree() : session->status({"sub/c.txt"})))
            if (status.path == "sub/c.txt")
                told = status.columns;
        EXPECT_EQ(told, "M      ") << runs().join('\n').toStdString();
    }
    s_watchesLeft = -1;
}

TEST_F(SessionUnit, UnderTheSystemsOwnLimitTheUnwatchedFoldersAreSeenWithinThreeSeconds)
{
    // The real limit: this test again, in a user namespace whose limit of
    // watches is 5, with folders enough to pass it.
    const char* const inside = "SVNSCC_SESSION_WATCH_LIMIT";
    if (!qEnvironmentVariableIsSet(inside)) {
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
        GTEST_SKIP() << "ThreadSanitizer's runtime does not start in a user namespace of its own";
#endif
#endif
        if (QStandardPaths::findExecutable("unshare").isEmpty())
            GTEST_SKIP() << "no unshare";
        QProcess probe;
        probe.start("unshare", {"--user", "--map-root-user", "sh", "-c", "echo 5 > /proc/sys/user/max_inotify_watches"});
        if (!probe.waitForFinished(5000) || probe.exitCode() != 0)
            GTEST_SKIP() << "no user namespace with a limit of its own here: " << probe.readAllStandardError().toStdString();
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(inside, "1");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start("unshare", {"--user", "--map-root-user", "sh", "-c",
                                "echo 5 > /proc/sys/user/max_inotify_watches && exec \"$0\" \"$1\"",
                                QCoreApplication::applicationFilePath(),
                                "--gtest_filter=SessionUnit.UnderTheSystemsOwnLimitTheUnwatchedFoldersAreSeenWithinThreeSeconds"});
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitCode(), 0);
        return;
    }
    QStringList files, listed;
    for (int i = 0; i < 6; ++i) {
        files << QStringLiteral("d%1/f.txt").arg(i);
        ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/d%1").arg(i)));
        writeBytes(m_root + '/' + files.last(), "f\n");
        listed << QStringLiteral("d%1").arg(i) << files.last();
    }
    QByteArray lines;
    for (const QString& path : std::as_const(listed))
        lines += "                 1        1 ann          " + path.toUtf8() + '\n';
    std::unique_ptr<Session> session = openSession(settings()); // polled every 2 s
    m_fake.respondAlways(lines + "                 1        1 ann          .\nStatus against revision:      1\n");
    ASSERT_EQ(passResults(session->status(files)).size(), files.size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return session->watching() == Session::Watching::Partial; }, 5000));
    EXPECT_EQ(session->unwatchedFolders(), 2); // the root and 6 folders, 5 watched

    // Each folder's edit is seen: through its watch, or through the poll within 3 s.
    const int before = m_fake.callCount();
    QElapsedTimer clock;
    clock.start();
    for (const QString& file : std::as_const(files))
        writeBytes(m_root + '/' + file, "F\n");
    for (const QString& file : std::as_const(files))
        EXPECT_TRUE(statusRunOf(m_fake, file, before, int(3000 - clock.elapsed())))
            << file.toStdString() << ": " << runs().join('\n').toStdString();
    std::printf("every edit seen after %lld ms\n", clock.elapsed());
}
