// Process spawning and line splitting, against test-child runs.

#include "EightBit.h"
#include "ProcessChunks.h"
#include "QTxProcess.h"
#include "QtPrinters.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

namespace {

const QString Child = QStringLiteral(TEST_CHILD_PATH);

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

struct ChildRun
{
    int code;
    QStringList out;
    QStringList err;
};

ChildRun run(const QStringList& steps, const QString& dir = QString())
{
    ChildRun r{0, {}, {}};
    r.code = QTx::spawnProcess(QStringList{Child} + steps, true, dir, true, &r.out, &r.err);
    return r;
}

TEST(SpawnProcess, SplitsLinesAsTheyWereWritten)
{
    struct Case
    {
        QByteArray bytes;
        QStringList lines;
    };
    const Case cases[] = {
        {"a\nb\nc\n", {"a", "b", "c"}},
        {"a\r\nb\r\nc\r\n", {"a", "b", "c"}},
        {"a\n\nb\n", {"a", QString(), "b"}},
        {"x", {"x"}},
        {"xy", {"xy"}},
        {"a\rb\n", {"a", QString()}}, // a CR takes the next byte as its LF, unseen
        {"a\r", {"a"}},
        {"\n", {QString()}},
        {"last\nno end", {"last", "no end"}},
        {"caf\xc3\xa9 \xe6\x97\xa5\n", {QStringLiteral("café 日")}},
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
}

TEST(SpawnProcess, AppendsAndLeavesListsAloneWhenNothingIsWritten)
{
    QStringList out{"kept"};
    QStringList err{"kept too"};
    EXPECT_EQ(QTx::spawnProcess({Child}, true, QString(), true, &out, &err), 0);
    EXPECT_EQ(out, QStringList{"kept"});
    EXPECT_EQ(err, QStringList{"kept too"});

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
    EXPECT_EQ(run({"out:610a", "kill"}).code, -1);

    // A program that cannot run: -1 and the lists untouched.
    QStringList out{"x"};
    QStringList err;
    EXPECT_EQ(QTx::spawnProcess({"/no/such/program"}, true, QString(), true, &out, &err), -1);
    EXPECT_EQ(QTx::spawnProcess({"svnscc-no-such-program-on-path"}, true, QString(), true, &out, &err), -1);
    EXPECT_EQ(QTx::spawnProcess({QString()}, true, QString(), true, &out, &err), -1);
    EXPECT_EQ(QTx::spawnProcess({}, true, QString(), true, &out, &err), -1);
    EXPECT_EQ(out, QStringList{"x"});
    EXPECT_TRUE(err.isEmpty());
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
    // 32 MiB on stdout while stderr gets 1 MiB: both pipes must be drained together.
    const long long outBytes = 32LL << 20;
    const long long errBytes = 1LL << 20;
    ChildRun r = run({"flood-err:" + QString::number(errBytes / 2), "flood-out:" + QString::number(outBytes),
                 "flood-err:" + QString::number(errBytes / 2)});
    ASSERT_EQ(r.code, 0);
    long long outTotal = 0;
    for (const QString& line : r.out)
        outTotal += line.size() + 1;
    long long errTotal = 0;
    for (const QString& line : r.err)
        errTotal += line.size() + 1;
    // Counting one byte per line end gives back every byte written, plus
    // one for the final line, which the cut-off stream leaves without its end.
    EXPECT_EQ(outTotal, outBytes + 1);
    EXPECT_EQ(errTotal, errBytes + 1);
    ASSERT_FALSE(r.out.isEmpty());
    EXPECT_EQ(r.out.first(), QString(62, '0'));
    EXPECT_EQ(r.out[12345], QStringLiteral("%1").arg(12345, 62, 10, QLatin1Char('0')));
}

TEST(SpawnProcess, NoWaitGivesZeroForASlowChild)
{
    // Without capture the slow child is not read; ten quick polls find it running.
    EXPECT_EQ(QTx::spawnProcess({Child, "sleep:300"}, false, QString(), true, nullptr, nullptr), 0);
    // A child that is done by the time it is asked reports its status.
    QStringList out, err;
    EXPECT_EQ(QTx::spawnProcess({Child, "exit:3"}, false, QString(), true, &out, &err), 3);
}

TEST(LineSplitter, JoinsChunksAndReleasesThem)
{
    ProcessChunkList chunks;
    auto add = [&](const char* bytes) {
        const unsigned n = unsigned(std::strlen(bytes));
        unsigned char* buffer = new unsigned char[n];
        std::memcpy(buffer, bytes, n);
        chunks.emplace_back(n, buffer);
    };
    add("ab");
    add("");
    add("c\r");
    add("\nd");
    add("\n");
    QStringList lines{"before"};
    bufferListToQStringList(chunks, &lines);
    EXPECT_TRUE(chunks.empty());
    EXPECT_EQ(lines, QStringList({"before", "abc", "d"}));

    add("");
    bufferListToQStringList(chunks, &lines);
    EXPECT_TRUE(chunks.empty());
    EXPECT_EQ(lines.size(), 3);
}

} // namespace
