// The session against the real client and svnserve on 127.0.0.1: a pass
// that fills a view while the caller goes on, live status as files change
// on disk and other clients change the working copy, build output that
// costs nothing, a hung commit cancelled or the session destroyed, offline
// and back, and the version-2 operations with their progress.

#include "Session.h"

#include "Finished.h"

#include "E2EFixture.h"
#include "ProcessProbes.h"
#include "ThrottleRelay.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QUrl>
#include <QFutureWatcher>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <signal.h>

#include <memory>

namespace {

using namespace SvnScc;

const int WaitMs = 30000;


class SessionE2E : public E2EFixture
{
protected:
    SessionSettings settings(const QString& executable = "svn") const
    {
        SessionSettings settings;
        settings.executable = executable;
        settings.repositoryUrl = m_url;
        settings.user = "ann";
        settings.password = passwordOf("ann");
        settings.timeLimitSeconds = 30;
        return settings;
    }

    std::unique_ptr<Session> openSession(const QString& root, const SessionSettings& given)
    {
        auto session = std::make_unique<Session>();
        const Result<QString> opened = finished(session->open(root, given));
        EXPECT_TRUE(opened.ok) << opened.command.toStdString() << ": " << opened.error.toStdString();
        return session;
    }

    /** Waits for the session's next statusChanged() of `path`; its status, and how long it took. */
    static Status nextChangeOf(QSignalSpy& changes, const QString& path, qint64& tookMs)
    {
        QElapsedTimer clock;
        clock.start();
        Status found;
        (void)QTest::qWaitFor(
            [&] {
                while (!changes.isEmpty()) {
                    const Status status = changes.takeFirst().at(0).value<Status>();
                    if (status.path == path) {
                        found = status;
                        return true;
                    }
                }
                return false;
            },
            5000);
        tookMs = clock.elapsed();
        return found;
    }
};

// The inotify watches this process holds, as the system counts them.
int inotifyWatches()
{
    int watches = 0;
    for (const QString& fd : QDir("/proc/self/fdinfo").entryList(QDir::Files)) {
        QFile info("/proc/self/fdinfo/" + fd);
        if (info.open(QIODevice::ReadOnly))
            watches += int(info.readAll().count("inotify wd:"));
    }
    return watches;
}

QStringList pathsOf(const QList<Status>& statuses)
{
    QStringList paths;
    for (const Status& status : statuses)
        paths << status.path;
    return paths;
}

// Where the session's answers of `paths` differ from the client's own "svn
// status -u -v" of each, one line per path; a path the client does not list
// must not be under version control.
class ClientOracle : public SessionE2E
{
protected:
    QStringList differences(Session& session, const QString& root, const QStringList& paths)
    {
        const QFuture<Status> read = session.status(paths);
        EXPECT_TRUE(QTest::qWaitFor([&] { return read.isFinished(); }, WaitMs));
        QStringList found;
        for (const Status& status : read.results()) {
            if (status.path.isEmpty())
                continue;
            // Asked at the local root: a folder moved away or removed is gone from the disk.
            const ClientStatus client =
                clientStatus("svn", root, status.path, {"--username", "ann", "--password", passwordOf("ann")});
            if (!client.listed) {
                if (status.controlled)
                    found << status.path + ": controlled [" + status.columns + "], the client lists nothing";
                continue;
            }
            FileStatus file;
            file.controlled = status.controlled;
            file.checkedOut = status.checkedOut;
            file.modified = status.modified;
            file.outOfDate = status.outOfDate;
            file.statusText = status.columns;
            file.revisionText = status.revision;
            file.lastChangedText = status.lastChangedRevision;
            const QString difference = differenceFromClient(file, client);
            if (!difference.isEmpty())
                found << status.path + ": " + difference;
        }
        return found;
    }
};

} // namespace

TEST_F(SessionE2E, ResultsArriveWhileThePassRunsAndTheCallerIsNeverBlocked)
{
    // 400 files in 40 folders, read one folder at a time so that the pass takes a while.
    const QString tree = m_base + "/tree";
    QStringList paths;
    for (int folder = 0; folder < 40; ++folder)
        for (int file = 0; file < 10; ++file) {
            const QString path = QStringLiteral("d%1/f%2.txt").arg(folder, 3, 10, QLatin1Char('0')).arg(file);
            QDir().mkpath(QFileInfo(tree + '/' + path).path());
            writeBytes(tree + '/' + path, path.toUtf8() + '\n');
            paths << path;
        }
    svnOk({"import", "-q", "-m", "tree", tree, urlOf("big")});
    const QString root = m_base + "/ann";
    svnOk({"checkout", "-q", urlOf("big"), root}, "ann");
    SessionSettings perFolder = settings();
    perFolder.statusScope = SessionSettings::StatusScope::PerFolder;

    GapMeter gaps;
    std::unique_ptr<Session> session = openSession(root, perFolder);
    const QFuture<Status> pass = session->status(paths);
    QFutureWatcher<Status> watcher;
    int arrivedWhileRunning = 0;
    QObject::connect(&watcher, &QFutureWatcher<Status>::resultsReadyAt, [&](int begin, int end) {
        if (!pass.isFinished())
            arrivedWhileRunning += end - begin;
    });
    watcher.setFuture(pass);
    finished(pass, 60000);
    const qint64 longest = gaps.longestMs();
    // One watch per folder read, the root and the database's folder: 40 + 2.
    EXPECT_TRUE(QTest::qWaitFor([] { return inotifyWatches() >= 41; }, 5000));
    const int watches = inotifyWatches();
    EXPECT_GE(watches, 41);
    EXPECT_LE(watches, 42);
    EXPECT_EQ(session->watching(), Session::Watching::Full);
    session.reset();

    const QList<Status> statuses = pass.results();
    ASSERT_EQ(statuses.size(), paths.size());
    for (qsizetype i = 0; i < statuses.size(); i += 37)
        EXPECT_TRUE(statuses[i].known && statuses[i].controlled && statuses[i].columns == "       ")
            << statuses[i].path.toStdString() << ": " << statuses[i].error.toStdString();
    EXPECT_GT(arrivedWhileRunning, 0);
    EXPECT_LE(longest, 100); // a caller blocked by the pass would wait for all of it: seconds
    std::printf("%d of %lld results arrived while the pass ran; the caller's longest gap: %lld ms; %d watches\n",
                arrivedWhileRunning, qint64(paths.size()), longest, watches);
}

TEST_F(SessionE2E, WhatChangesOnDiskOrThroughAnotherClientIsTold)
{
    // A name of two-, three- and four-byte characters: what changes in the
    // working copy's database alone is found by the name's UTF-8 bytes.
    const QString root = annChecksOut({"project/a.txt", "project/sub/b.txt"});
    const auto client = [&](const QStringList& arguments) { svnOk(arguments, "ann", root); };
    const QString wide = QStringLiteral("sub/\u00fc\u20ac\U0001F600.txt");
    writeBytes(root + '/' + wide, "wide\n");
    client({"add", "-q", wide});
    client({"commit", "-q", "-m", "wide", wide});
    std::unique_ptr<Session> session = openSession(root, settings());
    ASSERT_EQ(finished(session->statusTree()).path, "");
    QSignalSpy changes(session.get(), &Session::statusChanged);

    // An edit, and its status asked at once: what the watch saw is read first.
    writeBytes(root + "/a.txt", "edited at once\n");
    EXPECT_EQ(finished(session->status({"a.txt"})).columns, "M      ");

    using Told = QList<QPair<QString, QString>>; // each path with its columns
    const struct
    {
        const char* step;
        std::function<void()> act;
        Told told;
    } steps[] = {
        {"svn revert in a terminal", [&] { client({"revert", "a.txt"}); }, {{"a.txt", "       "}}},
        {"an edit", [&] { writeBytes(root + "/a.txt", "edited\n"); }, {{"a.txt", "M      "}}},
        {"svn revert again", [&] { client({"revert", "a.txt"}); }, {{"a.txt", "       "}}},
        // Never asked about: a new name in a folder the session read.
        {"a new file", [&] { writeBytes(root + "/new.txt", "new\n"); }, {{"new.txt", "?      "}}},
        {"svn add in a terminal", [&] { client({"add", "-q", "new.txt"}); }, {{"new.txt", "A      "}}},
        {"svn revert of the addition", [&] { client({"revert", "new.txt"}); }, {{"new.txt", "?      "}}},
        {"a deleted file", [&] { QFile::remove(root + "/sub/b.txt"); }, {{"sub/b.txt", "!      "}}},
        {"svn revert brings it back", [&] { client({"revert", "sub/b.txt"}); }, {{"sub/b.txt", "       "}}},
        {"svn propset in a terminal, the file untouched", [&] { client({"propset", "-q", "p", "v", wide}); },
         {{wide, " M     "}}},
        {"a rename", [&] { QFile::rename(root + "/sub/b.txt", root + "/sub/b2.txt"); },
         {{"sub/b.txt", "!      "}, {"sub/b2.txt", "?      "}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        QElapsedTimer clock;
        clock.start();
        step.act();
        QHash<QString, QString> last;
        const auto allTold = [&] {
            while (!changes.isEmpty()) {
                const Status status = changes.takeFirst().at(0).value<Status>();
                last.insert(status.path, status.columns);
            }
            for (const auto& [path, columns] : step.told)
                if (last.value(path, "none") != columns)
                    return false;
            return true;
        };
        EXPECT_TRUE(QTest::qWaitFor(allTold, 5000));
        for (const auto& [path, columns] : step.told)
            EXPECT_EQ(last.value(path, "none"), columns) << path.toStdString();
        EXPECT_LT(clock.elapsed(), 1000);
        std::printf("%s: told after %lld ms\n", step.step, clock.elapsed());
    }
}

// A tree pass gives what the client lists and the disk lacks (missing,
// deleted), and asks the client for it only when the working copy's
// database records a path the walk did not find.
TEST_F(SessionE2E, ATreePassGivesWhatTheDiskLacksWithOneClientRun)
{
    const QString root = annChecksOut({"project/a.txt", "project/sub/b.txt", "project/sub/c.txt"});
    countClientRuns();
    const struct
    {
        const char* step;
        std::function<void()> act;
        QString path;    // given with columns, empty: none lacking
        QString columns;
        int items;       // what the pass gives
    } steps[] = {
        {"nothing lacking", [] {}, {}, {}, 5},
        {"a missing file", [&] { QFile::remove(root + "/a.txt"); }, "a.txt", "!      ", 5},
        {"a deleted file", [&] { svnOk({"rm", "-q", root + "/sub/c.txt"}, "ann"); }, "sub/c.txt", "D      ", 5},
        // The database keeps a record of the committed deletion that the client does not list.
        {"a deletion committed", [&] { svnOk({"commit", "-q", "-m", "rm", root + "/sub"}, "ann"); }, {}, {}, 4},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.act();
        std::unique_ptr<Session> session = openSession(root, settings(m_base + "/svn-counted"));
        const qsizetype before = clientRuns().size();
        const QFuture<Status> tree = session->statusTree();
        ASSERT_TRUE(QTest::qWaitFor([&] { return tree.isFinished(); }, WaitMs));
        QHash<QString, QString> given;
        for (const Status& status : tree.results())
            given.insert(status.path, status.columns);
        EXPECT_EQ(given.size(), step.items) << QStringList(given.keys()).join(' ').toStdString();
        if (!step.path.isEmpty()) {
            EXPECT_EQ(given.value(step.path), step.columns);
        }
        // The pass's own run; what the disk lacks is named by the database.
        EXPECT_EQ(clientRuns().mid(before).filter(QRegularExpression(QStringLiteral("^status"))).size(), 1)
            << clientRuns().mid(before).join('\n').toStdString();
    }
}

TEST_F(SessionE2E, ATreeAsListedFillsAViewWhileTheClientRunsWithTheWalksResults)
{
    const QString root = annChecksOut({"project/a.txt", "project/sub/b.txt", "project/sub/c.txt",
                                       "project/sub/deep/d.txt", "extsrc/e.txt"});
    svnOk({"propset", "-q", "svn:ignore", "*.o", root}, "ann");
    svnOk({"propset", "-q", "svn:externals", "ext " + urlOf("extsrc"), root}, "ann");
    svnOk({"commit", "-q", "-m", "ignore, external", root}, "ann");
    svnOk({"update", "-q", root}, "ann");
    writeBytes(root + "/a.txt", "edited\n");
    writeBytes(root + "/x.o", "ignored\n");
    writeBytes(root + "/loose.txt", "unversioned\n");
    QDir().mkpath(root + "/newdir");
    writeBytes(root + "/newdir/n.txt", "inside an unversioned folder\n");
    QFile::remove(root + "/sub/c.txt");
    // The tree run prints its first two lines, then waits for the test's word
    // (not the external's line, which the walk reads from the external's own run).
    const QString held = m_base + "/svn-held", go = m_base + "/go";
    writeBytes(held, ("#!/bin/sh\n{ printf '%s ' \"$@\"; echo; } >> '" + m_base + "/svn-counted.runs'\n"
                      "case \" $* \" in *' --show-updates '*) ;; *) exec svn \"$@\";; esac\n"
                      "svn \"$@\" > \"$0.out\"; code=$?\nawk '!/^X/ && ++n <= 2' \"$0.out\"\n"
                      "while [ ! -e '" + go + "' ]; do sleep 0.02; done\nawk '/^X/ || ++n > 2' \"$0.out\"\n"
                      "exit $code\n")
                         .toUtf8());
    QFile::setPermissions(held, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const auto resultsOf = [](const QFuture<Status>& future) {
        finished(future);
        return future.results();
    };
    const QList<Status> walked = resultsOf(openSession(root, settings())->statusTree());
    std::unique_ptr<Session> session = openSession(root, settings(held));
    const qsizetype runsBefore = clientRuns().size();
    const QFuture<Status> listing = session->statusTree(QString(), TreeOrder::AsListed);
    // Both lines go out while the client pauses, though the second came too soon after the first for a batch of its own.
    ASSERT_TRUE(QTest::qWaitFor([&] { return listing.resultCount() == 2; }, 10000));
    EXPECT_FALSE(listing.isFinished());
    QFile out(held + ".out");
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    QStringList firstTwo;
    while (firstTwo.size() < 2 && !out.atEnd())
        if (const QString line = QString::fromUtf8(out.readLine()); !line.startsWith('X'))
            firstTwo << line.trimmed().section(' ', -1).replace(QRegularExpression("^\\.$"), QString());
    EXPECT_EQ(pathsOf({listing.resultAt(0), listing.resultAt(1)}), firstTwo);
    writeBytes(go, "");
    const QList<Status> listed = resultsOf(listing);

    // The walk's results, each once; what the client does not list after what it does.
    const auto byPath = [](const QList<Status>& statuses) {
        QMap<QString, QString> found;
        for (const Status& status : statuses)
            found.insert(status.path, QStringLiteral("%1 %2%3%4%5 [%6] %7 %8")
                                          .arg(status.known).arg(status.controlled).arg(status.checkedOut)
                                          .arg(status.modified).arg(status.outOfDate)
                                          .arg(status.columns, status.revision, status.lastChangedRevision));
        return found;
    };
    EXPECT_EQ(listed.size(), walked.size());
    EXPECT_EQ(byPath(listed), byPath(walked));
    EXPECT_TRUE(byPath(listed).contains("x.o") && !byPath(listed).contains("newdir/n.txt"));
    EXPECT_EQ(listed.last().path, "x.o");
    // The tree's run, and the external's own when the walk reaches it.
    EXPECT_EQ(clientRuns().mid(runsBefore).size(), 2) << clientRuns().mid(runsBefore).join('\n').toStdString();

    // Read already: nothing runs, and the walk's order.
    const QList<Status> again = resultsOf(session->statusTree(QString(), TreeOrder::AsListed));
    EXPECT_EQ(pathsOf(again), pathsOf(walked));
    EXPECT_EQ(clientRuns().mid(runsBefore).size(), 2);

    // A run that fails after its first line: that line, then the root's failure.
    const QString failing = m_base + "/svn-failing";
    writeBytes(failing, "#!/bin/sh\ncase \" $* \" in *' --show-updates '*) ;; *) exec svn \"$@\";; esac\n"
                        "svn \"$@\" | grep -v '^X' | head -n 1\necho 'svn: E200009: the run broke off' >&2\nexit 1\n");
    QFile::setPermissions(failing, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QList<Status> broken =
        resultsOf(openSession(root, settings(failing))->statusTree(QString(), TreeOrder::AsListed));
    ASSERT_EQ(broken.size(), 2);
    EXPECT_TRUE(broken.first().known);
    EXPECT_TRUE(broken.last().path.isEmpty() && !broken.last().known);
    EXPECT_TRUE(broken.last().error.contains("E200009")) << broken.last().error.toStdString();

    // The server lost after the first line: the working copy's own run lists
    // everything, that first path again, and the later result holds.
    const QString dropped = m_base + "/svn-dropped";
    writeBytes(dropped, "#!/bin/sh\ncase \" $* \" in *' --show-updates '*) ;; *) exec svn \"$@\";; esac\n"
                        "svn \"$@\" | grep -v '^X' | head -n 1\necho 'svn: E170013: Unable to connect' >&2\nexit 1\n");
    QFile::setPermissions(dropped, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    std::unique_ptr<Session> offline = openSession(root, settings(dropped));
    const QList<Status> local = resultsOf(offline->statusTree(QString(), TreeOrder::AsListed));
    ASSERT_EQ(local.size(), walked.size() + 1);
    EXPECT_EQ(byPath(local), byPath(walked));
    EXPECT_TRUE(offline->isOffline());

    // What was listed is watched: an edit is told with one local run.
    QSignalSpy changes(session.get(), &Session::statusChanged);
    writeBytes(root + "/sub/deep/d.txt", "edited\n");
    qint64 tookMs = 0;
    EXPECT_EQ(nextChangeOf(changes, "sub/deep/d.txt", tookMs).columns, "M      ");
}

TEST_F(SessionE2E, BuildOutputInAnIgnoredFolderCostsNoClientRun)
{
    const QString root = annChecksOut({"project/a.txt"});
    svnOk({"propset", "-q", "svn:ignore", "build", root}, "ann");
    svnOk({"commit", "-q", "-m", "ignore build", root}, "ann");
    QDir().mkpath(root + "/build");
    countClientRuns();
    std::unique_ptr<Session> session = openSession(root, settings(m_base + "/svn-counted"));
    finished(session->statusTree());
    QSignalSpy changes(session.get(), &Session::statusChanged);
    const int before = int(clientRuns().size());

    // A build: 1,000 outputs, asked about as an IDE's tree shows them, then built again.
    QStringList outputs;
    for (int i = 0; i < 1000; ++i) {
        outputs << QStringLiteral("build/o%1.o").arg(i);
        writeBytes(root + '/' + outputs.last(), "object\n");
    }
    for (const Status& status : session->status(outputs).results())
        ASSERT_TRUE(status.known && !status.controlled && status.columns.isEmpty()) << status.path.toStdString();
    for (const QString& output : std::as_const(outputs)) {
        QFile::remove(root + '/' + output);
        writeBytes(root + '/' + output, "object, built again\n");
    }
    QTest::qWait(300);
    EXPECT_EQ(clientRuns().mid(before), QStringList());

    // The watch is alive: an edit of a versioned file costs its one local run.
    writeBytes(root + "/a.txt", "edited\n");
    qint64 tookMs = 0;
    EXPECT_EQ(nextChangeOf(changes, "a.txt", tookMs).columns, "M      ");
    EXPECT_EQ(clientRuns().size(), before + 1) << clientRuns().join('\n').toStdString();
}

TEST_F(SessionE2E, AHungCommitEndsOnCancelOrDestructionAndTheWorkingCopyStaysUsable)
{
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroy" : "cancel");
        const QString root = m_base + (destroy ? "/destroyed" : "/cancelled");
        const QString file = destroy ? "destroyed.txt" : "cancelled.txt";
        svnOk({"checkout", "-q", m_url, root}, "ann");
        writeBytes(root + '/' + file, "hung\n");
        svnOk({"add", "-q", file}, "ann", root);
        std::unique_ptr<Session> session = openSession(root, settings());
        ASSERT_EQ(::kill(pid_t(m_server->processId()), SIGSTOP), 0); // accepts, never answers
        const QFuture<Result<QString>> commit = session->commit({file}, "hung");
        QTest::qWait(700);
        QElapsedTimer clock;
        clock.start();
        if (destroy)
            session.reset();
        else
            session->cancel();
        EXPECT_TRUE(QTest::qWaitFor([&] { return commit.isFinished(); }, 1500));
        const qint64 tookMs = clock.elapsed();
        ::kill(pid_t(m_server->processId()), SIGCONT);
        EXPECT_LT(tookMs, 1500);
        EXPECT_EQ(finished(commit).error, "cancelled");
        session.reset();
        EXPECT_EQ(childProcesses(), QStringList(QString::number(m_server->processId())));
        std::printf("%s during a hung commit returned after %lld ms\n", destroy ? "destruction" : "cancel", tookMs);

        // No lock left, no clean-up by hand: the client commits it.
        svnOk({"commit", "-q", "-m", "again", file}, "ann", root);
        EXPECT_EQ(svnOk({"status", "-q"}, "ann", root), QByteArray());
    }
}

// The texts of a result may be the plug-in's own constants: reading them
// after the session closed the library must not reach unmapped memory. The
// fixture's own provider goes first, so that the session holds the only
// reference to the library, as in an IDE.
class SessionOutlived : public SessionE2E
{
protected:
    /** A session whose working copy holds an added file, and a repository whose pre-commit hook takes 5 s. */
    std::unique_ptr<Session> sessionWithSlowCommit()
    {
        m_library.unload();
        m_provider = nullptr;
        const QString hook = m_base + "/repository/hooks/pre-commit";
        writeBytes(hook, "#!/bin/sh\n/bin/sleep 5\n");
        QFile::setPermissions(hook, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString root = m_base + "/slow";
        svnOk({"checkout", "-q", m_url, root}, "ann");
        writeBytes(root + "/slow.txt", "slow\n");
        svnOk({"add", "-q", "slow.txt"}, "ann", root);
        return openSession(root, settings());
    }
};

TEST_F(SessionOutlived, AFutureReadAfterTheSessionWasDestroyedDuringItsCall)
{
    std::unique_ptr<Session> session = sessionWithSlowCommit();
    const QFuture<Result<QString>> commit = session->commit({"slow.txt"}, "slow");
    QTest::qWait(500);
    session.reset();
    ASSERT_TRUE(commit.isFinished());
    const Result<QString> result = commit.result();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.command + ": " + result.error, "commit: cancelled");
}

TEST_F(SessionOutlived, AnOutcomeKeptFromACancelReadAfterTheSessionIsGone)
{
    std::unique_ptr<Session> session = sessionWithSlowCommit();
    const QFuture<Result<QString>> commit = session->commit({"slow.txt"}, "slow");
    QTest::qWait(500);
    session->cancel();
    const Outcome kept = finished(commit);
    session.reset();
    EXPECT_FALSE(kept.ok);
    EXPECT_EQ(kept.command + ": " + kept.error, "commit: cancelled");
}

TEST_F(SessionE2E, OfflineWhileTheServerIsSilentAndOnlineAgainAfterRefresh)
{
    const QString root = annChecksOut({"project/a.txt"});
    SessionSettings quick = settings();
    quick.timeLimitSeconds = 1;
    std::unique_ptr<Session> session = openSession(root, quick);
    ASSERT_TRUE(finished(session->status({"a.txt"})).known);
    EXPECT_FALSE(session->isOffline());
    QSignalSpy offline(session.get(), &Session::offlineChanged);
    writeBytes(root + "/a.txt", "edited\n");

    ASSERT_EQ(::kill(pid_t(m_server->processId()), SIGSTOP), 0);
    QFutureWatcher<Outcome> watcher;
    qsizetype toldAtTheEnd = -1;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, [&] { toldAtTheEnd = offline.size(); });
    watcher.setFuture(session->refresh());
    ASSERT_TRUE(finished(watcher.future()).ok);
    ::kill(pid_t(m_server->processId()), SIGCONT);
    EXPECT_EQ(toldAtTheEnd, 1); // told before the call's future finished
    EXPECT_TRUE(session->isOffline());
    const Status fromWorkingCopy = finished(session->status({"a.txt"}));
    EXPECT_EQ(fromWorkingCopy.columns, "M      ");
    EXPECT_FALSE(fromWorkingCopy.outOfDate);

    ASSERT_TRUE(finished(session->refresh()).ok);
    EXPECT_FALSE(session->isOffline());
    EXPECT_EQ(offline.size(), 2);
}

TEST_F(SessionE2E, VersionTwoOperationsTellTheirProgressAndChanges)
{
    const QString root = annChecksOut({"project/a.txt", "project/b.txt"});
    std::unique_ptr<Session> session = openSession(root, settings());
    QSignalSpy progress(session.get(), &Session::progress);
    QSignalSpy changes(session.get(), &Session::statusChanged);
    finished(session->statusTree());

    writeBytes(root + "/a.txt", "a, edited\n");
    writeBytes(root + "/c.txt", "c\n");
    ASSERT_TRUE(finished(session->add({"c.txt"})).ok);
    progress.clear();
    const Result<QString> committed = finished(session->commit({"a.txt", "c.txt"}, "two files"));
    ASSERT_TRUE(committed.ok) << committed.error.toStdString();
    EXPECT_EQ(committed.value, youngest());
    QStringList items;
    for (const QList<QVariant>& signal : std::as_const(progress))
        items << signal.at(0).toString().simplified() + " #" + signal.at(1).toString();
    EXPECT_EQ(items, QStringList({"Sending a.txt #1", "Adding c.txt #2"}));
    // Both files are told committed: a.txt was reported before, c.txt was named.
    QStringList told;
    for (const QList<QVariant>& signal : std::as_const(changes)) {
        const Status status = signal.at(0).value<Status>();
        told << status.path + " [" + status.columns + "] r" + status.revision;
    }
    EXPECT_TRUE(told.contains("a.txt [       ] r" + committed.value)) << told.join('\n').toStdString();
    EXPECT_TRUE(told.contains("c.txt [       ] r" + committed.value)) << told.join('\n').toStdString();

    const Result<QList<LogEntry>> log = finished(session->log("a.txt", 1));
    ASSERT_EQ(log.value.size(), 1);
    EXPECT_EQ(log.value.first().message, "two files");
    EXPECT_EQ(finished(session->annotate("a.txt")).value.first().text, "a, edited");
    writeBytes(root + "/b.txt", "b, edited\n");
    EXPECT_TRUE(finished(session->diff("b.txt")).value.contains("+b, edited"));
    const Result<QList<Change>> changed = finished(session->changes());
    ASSERT_EQ(changed.value.size(), 1);
    EXPECT_EQ(changed.value.first().path + changed.value.first().statusColumns, "b.txtM      ");
    ASSERT_TRUE(finished(session->revert({"b.txt"}, false)).ok);
    ASSERT_TRUE(finished(session->move("b.txt", "moved.txt")).ok);
    EXPECT_EQ(finished(session->status({"moved.txt"})).columns, "A  +   ");
    EXPECT_TRUE(finished(session->remove({"c.txt"}, false)).ok);

    // Someone else's commit, brought in by an update that tells its items.
    const QString other = m_base + "/other";
    svnOk({"checkout", "-q", urlOf("project"), other}, "bob");
    writeBytes(other + "/d.txt", "d\n");
    svnOk({"add", "-q", "d.txt"}, "bob", other);
    svnOk({"commit", "-q", "-m", "d", "d.txt"}, "bob", other);
    progress.clear();
    const Result<QStringList> updated = finished(session->update({""}));
    ASSERT_TRUE(updated.ok) << updated.error.toStdString();
    EXPECT_EQ(updated.value, QStringList());
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_TRUE(progress.last().at(0).toString().endsWith("d.txt")) << progress.last().at(0).toString().toStdString();
    EXPECT_TRUE(QFileInfo::exists(root + "/d.txt"));
}

TEST_F(SessionE2E, APathThroughALinkAndTheRealPathAreTheSamePath)
{
    const QString root = annChecksOut({"project/a.txt", "project/sub/b.txt"});
    const QString link = m_base + "/link";
    ASSERT_TRUE(QFile::link(root, link));
    writeBytes(root + "/sub/b.txt", "edited\n");
    for (const QString& opened : {link, root}) {
        SCOPED_TRACE(opened.toStdString());
        std::unique_ptr<Session> session = openSession(opened, settings());
        for (const QString& given : {root, link}) {
            const Status status = finished(session->status({given + "/sub/b.txt"}));
            EXPECT_EQ(status.path, "sub/b.txt") << status.error.toStdString();
            EXPECT_EQ(status.columns, "M      ");
            EXPECT_EQ(finished(session->status({given + "/sub/gone.txt"})).path, "sub/gone.txt");
        }
        // Neither form: refused, as before.
        const Status elsewhere = finished(session->status({m_base + "/home/x.txt"}));
        EXPECT_FALSE(elsewhere.known);
        EXPECT_TRUE(elsewhere.error.contains("is not below the local root")) << elsewhere.error.toStdString();
    }
}

namespace {

// Takes statusChanged() signals until each path of `expected` was last told
// with its columns (and revision and out-of-date mark, when given), or 3 s
// passed; what each was last told, for the comparison.
QMap<QString, QString> toldUntil(QSignalSpy& changes, const QMap<QString, QString>& expected)
{
    QMap<QString, QString> told;
    (void)QTest::qWaitFor(
        [&] {
            while (!changes.isEmpty()) {
                const Status status = changes.takeFirst().at(0).value<Status>();
                told[status.path] = '[' + status.columns + ']' + (status.outOfDate ? " *" : "")
                    + (expected.value(status.path).contains(" r") ? " r" + status.revision : QString());
            }
            for (auto path = expected.cbegin(); path != expected.cend(); ++path)
                if (told.value(path.key()) != path.value())
                    return false;
            return true;
        },
        3000);
    for (auto path = told.begin(); path != told.end();)
        path = expected.contains(path.key()) ? std::next(path) : told.erase(path);
    return told;
}

} // namespace

TEST_F(SessionE2E, WhatAnotherClientChangesWhileAnOperationRunsIsToldAfterIt)
{
    const QString root =
        annChecksOut({"project/c.txt", "project/p.txt", "project/l.txt", "project/k.txt", "project/u.txt"});
    importFile("project/elsewhere.txt", "elsewhere\n"); // u.txt's newest revision, its text the same
    const QString head = youngest();
    writeBytes(root + "/n.txt", "new\n");
    writeBytes(root + "/c.txt", "to commit\n");
    // The client as the session runs it: a commit starts a second late.
    const QString slow = m_base + "/svn-slow";
    writeBytes(slow, "#!/bin/sh\nfor a in \"$@\"; do [ \"$a\" = commit ] && /bin/sleep 1; done\nexec svn \"$@\"\n");
    QFile::setPermissions(slow, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    std::unique_ptr<Session> session = openSession(root, settings(slow));
    finished(session->statusTree());
    QSignalSpy changes(session.get(), &Session::statusChanged);

    const QFuture<Result<QString>> commit = session->commit({"c.txt"}, "while others work");
    QTest::qWait(100);
    const auto client = [&](const QStringList& arguments) { svnOk(arguments, "ann", root); };
    client({"propset", "-q", "colour", "blue", "p.txt"});
    client({"lock", "-q", "l.txt"});
    client({"add", "-q", "n.txt"});
    client({"rm", "-q", "--keep-local", "k.txt"});
    client({"update", "-q", "u.txt"});
    ASSERT_FALSE(commit.isFinished()); // the changes came while it ran
    const Result<QString> committed = finished(commit);
    ASSERT_TRUE(committed.ok) << committed.error.toStdString();
    EXPECT_EQ(toldUntil(changes, {{"c.txt", "[       ]"},
                                  {"p.txt", "[ M     ]"},
                                  {"l.txt", "[     K ]"},
                                  {"n.txt", "[A      ]"},
                                  {"k.txt", "[D      ]"},
                                  {"u.txt", "[       ] r" + head}}),
              (QMap<QString, QString>{{"c.txt", "[       ]"},
                                      {"p.txt", "[ M     ]"},
                                      {"l.txt", "[     K ]"},
                                      {"n.txt", "[A      ]"},
                                      {"k.txt", "[D      ]"},
                                      {"u.txt", "[       ] r" + head}}));
}

TEST_F(SessionE2E, AChangeInsideAnExternalIsTold)
{
    importFile("extsrc/e.txt", "e\n");
    const QString root = annChecksOut({"project/a.txt"});
    svnOk({"propset", "-q", "svn:externals", urlOf("extsrc") + " ext", root}, "ann");
    svnOk({"commit", "-q", "-m", "external", root}, "ann");
    svnOk({"update", "-q", root}, "ann");
    ASSERT_TRUE(QFileInfo::exists(root + "/ext/.svn/wc.db"));
    std::unique_ptr<Session> session = openSession(root, settings());
    finished(session->statusTree());
    QSignalSpy changes(session.get(), &Session::statusChanged);

    svnOk({"propset", "-q", "colour", "blue", "e.txt"}, "ann", root + "/ext");
    EXPECT_EQ(toldUntil(changes, {{"ext/e.txt", "[ M     ]"}}), (QMap<QString, QString>{{"ext/e.txt", "[ M     ]"}}));
}

TEST_F(SessionE2E, ATerminalUpdateOfAFileShownOutOfDateSetsItsMarkByTheRevision)
{
    const QString root = annChecksOut({"project/a.txt"});
    const QString other = m_base + "/other";
    svnOk({"checkout", "-q", urlOf("project"), other}, "bob");
    writeBytes(other + "/a.txt", "newer\n");
    svnOk({"commit", "-q", "-m", "newer", "a.txt"}, "bob", other);
    const QString newest = youngest();
    const QString older = QString::number(newest.toInt() - 1);
    std::unique_ptr<Session> session = openSession(root, settings());
    ASSERT_TRUE(finished(session->status({"a.txt"})).outOfDate);
    QSignalSpy changes(session.get(), &Session::statusChanged);

    const struct
    {
        QString revision;
        QString told;
    } steps[] = {{newest, "[       ] r" + newest}, {older, "[       ] * r" + older}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.revision.toStdString());
        svnOk({"update", "-q", "-r", step.revision, "a.txt"}, "ann", root);
        EXPECT_EQ(toldUntil(changes, {{"a.txt", step.told}}), (QMap<QString, QString>{{"a.txt", step.told}}));
    }
}

TEST_F(SessionE2E, APassThatFindsAReportedPathChangedTellsItBeforeItsFutureEnds)
{
    // A commit elsewhere changes nothing on this disk: only the next pass
    // with the server, after logout() forgot the plug-in's cache, finds it.
    const QString root = annChecksOut({"project/a.txt", "project/b.txt"});
    const QString other = m_base + "/other";
    svnOk({"checkout", "-q", urlOf("project"), other}, "bob");
    std::unique_ptr<Session> session = openSession(root, settings());
    finished(session->statusTree());
    QSignalSpy changes(session.get(), &Session::statusChanged);
    for (const auto& step : {std::pair{"a.txt", TreeOrder::Walk}, std::pair{"b.txt", TreeOrder::AsListed}}) {
        const QString file = QString::fromLatin1(step.first);
        const TreeOrder order = step.second;
        SCOPED_TRACE(step.first);
        writeBytes(other + '/' + file, "newer\n");
        svnOk({"commit", "-q", "-m", "newer", file}, "bob", other);
        finished(session->logout());
        changes.clear();
        // An event loop that takes each event as it comes, as an idle IDE's does.
        QEventLoop loop;
        QFutureWatcher<Status> watcher;
        bool toldFirst = false;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, [&] {
            for (const QList<QVariant>& told : std::as_const(changes))
                toldFirst = toldFirst || (told.at(0).value<Status>().path == file && told.at(0).value<Status>().outOfDate);
            loop.quit();
        });
        watcher.setFuture(session->statusTree(QString(), order));
        QTimer::singleShot(WaitMs, &loop, &QEventLoop::quit);
        loop.exec();
        EXPECT_TRUE(toldFirst);
    }
}

TEST_F(SessionE2E, ManyFilesTouchedByAnotherToolCostAFewRunsNotOneEach)
{
    const QString tree = m_base + "/tree";
    QStringList paths;
    for (int folder = 0; folder < 6; ++folder)
        for (int file = 0; file < 100; ++file) {
            paths << QStringLiteral("d%1/f%2.txt").arg(folder).arg(file);
            QDir().mkpath(QFileInfo(tree + '/' + paths.last()).path());
            writeBytes(tree + '/' + paths.last(), "text\n");
        }
    svnOk({"import", "-q", "-m", "tree", tree, urlOf("many")});
    const QString root = m_base + "/ann";
    svnOk({"checkout", "-q", urlOf("many"), root}, "ann");
    countClientRuns();
    std::unique_ptr<Session> session = openSession(root, settings(m_base + "/svn-counted"));
    const QFuture<Status> read = session->status(paths);
    ASSERT_TRUE(QTest::qWaitFor([&] { return read.isFinished(); }, WaitMs));
    ASSERT_EQ(read.resultCount(), 600);
    const int before = int(clientRuns().size());

    const QDateTime later = QDateTime::currentDateTime().addSecs(60);
    for (const QString& path : std::as_const(paths)) {
        QFile file(root + '/' + path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(later, QFileDevice::FileModificationTime));
    }
    // Done when no run started for a while.
    for (int seen = -1; seen != int(clientRuns().size());) {
        seen = int(clientRuns().size());
        QTest::qWait(400);
    }
    const int runs = int(clientRuns().size()) - before;
    EXPECT_LE(runs, 8) << clientRuns().mid(before).join('\n').toStdString();
    std::printf("600 touched files: %d client runs\n", runs);
}

TEST_F(ClientOracle, AfterEachFolderOperationEveryReportedPathIsWhatTheClientSays)
{
    // r1-r6 the files, r7 a branch of sw (ann's sw is switched to it), r8 bob's edit of sub/s.txt.
    const QString root = annChecksOut({"project/a.txt", "project/sub/s.txt", "project/d1/f.txt", "project/d1/x/g.txt",
                                       "project/d2/h.txt", "project/sw/w.txt"});
    svnOk({"copy", "-q", "-m", "branch", urlOf("project/sw"), urlOf("branch-sw")});
    const QString other = m_base + "/other";
    svnOk({"checkout", "-q", urlOf("project"), other});
    writeBytes(other + "/sub/s.txt", "s, bob's\n");
    svnOk({"commit", "-q", "-m", "bob", other});
    svnOk({"switch", "-q", urlOf("branch-sw"), root + "/sw"}, "ann");
    QDir().mkpath(root + "/newdir/deeper");
    writeBytes(root + "/newdir/new.c", "new\n");
    writeBytes(root + "/newdir/other.c", "other\n");
    writeBytes(root + "/newdir/deeper/d.c", "d\n");

    countClientRuns();
    std::unique_ptr<Session> session = openSession(root, settings(m_base + "/svn-counted"));
    QSignalSpy changes(session.get(), &Session::statusChanged);
    const auto waitFor = [](const QFuture<Status>& future) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return future.isFinished(); }, WaitMs));
        return future.isFinished() ? future.results() : QList<Status>();
    };
    QStringList paths = pathsOf(waitFor(session->statusTree()));
    ASSERT_TRUE(paths.contains("newdir") && paths.contains("d1/x/g.txt")) << paths.join(' ').toStdString();
    const auto statusRuns = [](const QStringList& runs, const char* form) {
        return runs.filter(QRegularExpression(QStringLiteral("^status ") + form)).size();
    };

    struct Case
    {
        const char* what;
        std::function<bool()> operation;
        QStringList alsoAsked;
        const char* readForm; // the one status run the re-read and the next pass make; null: not counted
        QString told;         // a reported folder above a named path, told with these columns
        QString toldColumns;
    };
    const Case cases[] = {
        {"update . to HEAD", [&] { return finished(session->update({""})).ok; }, {}, "--verbose", {}, {}},
        {"version-1 checkin of a folder",
         [&] {
             writeBytes(root + "/d1/f.txt", "f, edited\n");
             writeBytes(root + "/d1/x/g.txt", "g, edited\n");
             return finished(session->checkin("d1", "d1")).ok;
         },
         {},
         nullptr,
         {},
         {}},
        {"update sub to r7", [&] { return finished(session->update({"sub"}, "7")).ok; }, {}, nullptr, {}, {}},
        {"update . to r7", [&] { return finished(session->update({""}, "7")).ok; }, {}, "--show-updates --verbose", {}, {}},
        {"update of the switched sw", [&] { return finished(session->update({"sw"})).ok; }, {}, nullptr, {}, {}},
        {"add of nested new folders", [&] { return finished(session->add({"newdir/new.c", "newdir/deeper/d.c"})).ok; },
         {"newdir/new.c", "newdir/other.c", "newdir/deeper", "newdir/deeper/d.c"}, nullptr, "newdir", "A      "},
        {"move of a folder", [&] { return finished(session->move("d1", "d1moved")).ok; },
         {"d1moved", "d1moved/f.txt", "d1moved/x", "d1moved/x/g.txt"}, nullptr, {}, {}},
        {"remove of a folder", [&] { return finished(session->remove({"d2"}, false)).ok; }, {}, nullptr, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const qsizetype before = clientRuns().size();
        changes.clear();
        ASSERT_TRUE(c.operation());
        for (const QString& path : c.alsoAsked)
            if (!paths.contains(path))
                paths << path;
        if (c.readForm) {
            // The re-read of every reported path and the whole-tree pass after it: one status run.
            waitFor(session->statusTree());
            const QStringList runs = clientRuns().mid(before);
            EXPECT_EQ(statusRuns(runs, c.readForm), 1) << runs.join('\n').toStdString();
            EXPECT_EQ(statusRuns(runs, ""), 1) << runs.join('\n').toStdString();
        }
        if (!c.told.isEmpty()) {
            // Told without a refresh, as soon as the operation is done.
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    for (const QList<QVariant>& signal : std::as_const(changes))
                        if (signal.at(0).value<Status>().path == c.told)
                            return signal.at(0).value<Status>().columns == c.toldColumns;
                    return false;
                },
                2000));
        }
        EXPECT_EQ(differences(*session, root, paths), QStringList());
    }
    EXPECT_EQ(finished(session->status({"sub"})).revision, "7");
    EXPECT_EQ(finished(session->status({"sw"})).columns, "    S  ");
}

TEST_F(ClientOracle, AnUpdateCancelledHalfWayLeavesWhatTheClientSays)
{
    // ann reaches the server through a slow link; bob's r3 changes a small
    // and a big file, so the update is cancelled after the first of them.
    importFile("project/a.txt", "a\n");
    importFile("project/big.bin", "b\n");
    ThrottleRelay relay(QUrl(m_url).port(), 64 * 1024);
    QUrl slow(m_url);
    slow.setPort(relay.port());
    const QString root = m_base + "/ann";
    svnOk({"checkout", "-q", slow.toString() + "/project", root}, "ann");
    const QString other = m_base + "/other";
    svnOk({"checkout", "-q", urlOf("project"), other});
    QByteArray big;
    QRandomGenerator noise(7);
    for (int i = 0; i < 128 * 1024; ++i)
        big.append(char(noise.bounded(256)));
    writeBytes(other + "/a.txt", "a, bob's\n");
    writeBytes(other + "/big.bin", big);
    svnOk({"commit", "-q", "-m", "bob", other});

    std::unique_ptr<Session> session = openSession(root, settings());
    const QFuture<Status> tree = session->statusTree();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree.isFinished(); }, WaitMs));
    const QStringList paths = pathsOf(tree.results());
    QObject::connect(session.get(), &Session::progress, session.get(), [&session] { session->cancel(); });
    EXPECT_FALSE(finished(session->update({""})).ok);
    const ClientStatus a = clientStatus("svn", root, "a.txt", {"--username", "ann", "--password", passwordOf("ann")});
    const ClientStatus b = clientStatus("svn", root, "big.bin", {"--username", "ann", "--password", passwordOf("ann")});
    ASSERT_NE(a.workingRevision, b.workingRevision) << "the update was not stopped half-way";
    EXPECT_EQ(differences(*session, root, paths), QStringList());
}
