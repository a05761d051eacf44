// What a cancel leaves behind: how the running client is ended, and the
// runs that must still follow it.

#include "ProviderFixture.h"

#include <QElapsedTimer>
#include <QThread>

#include <functional>
#include <thread>

namespace {

// Cancels the provider's running operation from another thread once `due` says so.
class CancelWhen
{
public:
    CancelWhen(SVNInterface& provider, std::function<bool()> due)
        : m_thread([&provider, due] {
              QElapsedTimer clock;
              clock.start();
              while (!due() && clock.elapsed() < 10000)
                  QThread::msleep(5);
              provider.cancelOperation();
          })
    {
    }
    ~CancelWhen() { m_thread.join(); }

private:
    std::thread m_thread;
};

TEST_F(ProviderTest, ACancelledWriterFinishesItsStepAndAReaderEndsAtOnce)
{
    // A client that, told to end (SIGTERM), takes 200 ms to finish its step
    // and notes that it did; every run but the first answers at once.
    makeWorkingCopy();
    const QString started = rootPath + "/started", finished = rootPath + "/finished";
    const QString client = fake.executable() + "-finishing";
    writeBytes(client, "#!/bin/sh\n[ -e '" + QFile::encodeName(started) + "' ] && exit 0\n"
                       "trap \"sleep 0.2; echo \\$1 > '" + QFile::encodeName(finished) + "'; exit 1\" TERM\n"
                       ": > '" + QFile::encodeName(started) + "'\nsleep 20 & wait\n");
    ASSERT_TRUE(QFile::setPermissions(client, QFile::permissions(client) | QFile::ExeOwner));
    svn.setOption(SourceCodeControlOption::Executable, client);
    struct Case
    {
        const char* subcommand;
        std::function<bool()> operation;
        bool finishes;
    };
    const Case cases[] = {
        {"status", [this] { return ask({"a.c"}).result; }, false},
        {"update", [this] { return svn.getFile({"a.c"}, true); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.subcommand);
        QFile::remove(started);
        QFile::remove(finished);
        {
            const CancelWhen cancel(svn, [&started] { return QFile::exists(started); });
            EXPECT_FALSE(c.operation());
        }
        EXPECT_EQ(lastError(), QString::fromLatin1(c.subcommand) + ": cancelled");
        EXPECT_EQ(readBytes(finished), c.finishes ? QByteArray(c.subcommand).append('\n') : QByteArray("<unreadable>"));
    }
}

TEST_F(ProviderTest, ACancelledAddFileStillUnschedulesItsFile)
{
    // The commit is cancelled; after its clean-up and the question whether
    // it landed (it did not), the file is unscheduled again.
    makeWorkingCopy();
    writeFile("n.c", "new");
    fake.respond("A         n.c\n").respond("", "", 0, 20000);
    {
        const CancelWhen cancel(svn, [this] { return fake.callCount() == 2; });
        EXPECT_FALSE(svn.addFile({"n.c"}, "c"));
    }
    EXPECT_EQ(lastError(), "commit: cancelled");
    const std::vector<FakeSvn::Call> calls = fake.calls();
    QStringList subcommands;
    for (const FakeSvn::Call& call : calls)
        subcommands << call.arguments.value(1);
    EXPECT_EQ(subcommands, QStringList({"add", "commit", "cleanup", "log", "revert"}));
    EXPECT_EQ(calls.back().workingDirectory, rootPath);
    EXPECT_EQ(calls.back().arguments.mid(1), withAuth({"revert"}, {"n.c"}));
}

} // namespace
