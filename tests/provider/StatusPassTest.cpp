// The status pass driven through an injected runner: which runs it makes
// (exactly), what the working copy answers alone, the whole-tree scope,
// offline per repository and the re-read; and where the status-line reader
// finds entries again after a summary.

#include "ProviderFixture.h"

#include "EightBit.h"
#include "SVNStatusReader.h"

#include <deque>

namespace {

/** One scripted answer of the runner: standard output, error lines, exit code. */
struct Reply
{
    Reply(const QByteArray& o = {}, const QByteArray& e = {}, int code = 0)
        : out(o), err(e), exitCode(code) {}
    QByteArray out;
    QByteArray err;
    int exitCode;
};

const QByteArray Unreachable = "svn: E170013: Unable to connect to a repository at URL 'svn://other'\n";

class StatusPassTest : public ProviderTest
{
protected:
    void SetUp() override
    {
        ProviderTest::SetUp();
        pass.bind(rootPath, "svn://repo/trunk");
    }

    SVNRunResult run(const SVNCommand& command, const SVNOutput& output)
    {
        const QString folder = QDir(rootPath).relativeFilePath(command.workingDirectory);
        runs << (folder == "." || command.workingDirectory.isNull() ? QString() : folder) + ": " + (QStringList{command.subcommand} + command.arguments + QStringList{command.target})
                                 .join(' ').trimmed();
        const Reply reply = replies.empty() ? Reply() : replies.front();
        if (!replies.empty())
            replies.pop_front();
        for (const QByteArray& line : reply.out.split('\n')) {
            if (line.isEmpty())
                continue;
            if (output.observer)
                output.observer(line);
            if (output.lines)
                output.lines->append(fromEightBit(line));
        }
        SVNRunResult result;
        result.exitCode = reply.exitCode;
        for (const QByteArray& line : reply.err.split('\n'))
            if (!line.isEmpty())
                result.errors << fromEightBit(line);
        result.codes = SVNRunResult::codesOf(result.errors);
        return result;
    }

    /** What ask() says, as "kind columns revision". */
    QString answer(const QString& path)
    {
        const SVNStatusPass::Answer a = pass.ask(path.split('/'));
        static const char* const kinds[] = {"record", "not-versioned", "in-repository", "not-found", "failed"};
        QString text = QString::fromLatin1(kinds[int(a.kind)]);
        if (a.record)
            text += " [" + a.record->statusColumns + "] " + a.record->workingRevision;
        return text;
    }

    std::deque<Reply> replies;
    QStringList runs;
    SVNWorkingCopyLayout layout;
    SVNStatusPass pass{[this](const SVNCommand& c, const SVNOutput& o) { return run(c, o); }, layout};
};

TEST_F(StatusPassTest, NamesOnlyTheDiskKnowsRunNothingInEitherScope)
{
    // A working copy of the newer layout: "src" versioned, "build" unversioned
    // (with a working copy of its own inside), "gen" ignored, "gone" versioned
    // but missing on disk.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"},
                                       {"src", 0, "dir", "normal", "infinity"},
                                       {"gone", 0, "dir", "normal", "infinity"}});
    QDir(rootPath + "/gone").removeRecursively();
    makeCentralWorkingCopy("build/sub", {{"", 0, "dir", "normal", "infinity"}});
    QDir().mkpath(rootPath + "/gen/deep");
    for (const bool tree : {false, true}) {
        SCOPED_TRACE(tree ? "whole tree" : "per folder");
        pass.clear();
        runs.clear();
        pass.setTreeScope(tree);
        if (tree) {
            replies = {{"                 1        1 ann          src/a.c\n"
                        "?                                        build\n"
                        "!                1        1 ann          gone\n"
                        "                 1        1 ann          .\n"
                        "Status against revision:      1\n"},
                       {"                 2        2 bob          k.c\nStatus against revision:      2\n"},
                       {"Path: f.c\n"}};
        } else {
            replies = {{"                 1        1 ann          a.c\nStatus against revision:      1\n"},
                       {"                 1        1 ann          .\nStatus against revision:      1\n"},
                       {"                 2        2 bob          k.c\nStatus against revision:      2\n"},
                       {"Path: f.c\n"}};
        }
        EXPECT_EQ(answer("src/a.c"), "record [       ] 1");
        EXPECT_EQ(answer("src/ignored.o"), "not-versioned");
        EXPECT_EQ(answer("ignored.o"), "not-versioned");
        EXPECT_EQ(answer("build/x.o"), "not-versioned");
        EXPECT_EQ(answer("gen/deep/z.txt"), "not-versioned");
        EXPECT_EQ(answer("build/sub/k.c"), "record [       ] 2"); // a working copy of its own
        EXPECT_EQ(answer("gone/f.c"), "in-repository");         // only the repository can tell
        EXPECT_EQ(answer("gone/f.c"), "in-repository");
        const QString update = "status --non-recursive --show-updates --verbose";
        const QString whole = "status --show-updates --verbose --ignore-externals";
        const QString info = ": info svn://repo/trunk/gone/f.c";
        if (tree)
            EXPECT_EQ(runs, QStringList({": " + whole, "build/sub: " + whole, info}));
        else
            EXPECT_EQ(runs, QStringList({"src: " + update, ": " + update, "build/sub: " + update, info}));
    }
}

TEST_F(StatusPassTest, AWholeTreePassFilesEveryLineUnderItsOwnFolder)
{
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"},
                                       {"a", 0, "dir", "normal", "infinity"},
                                       {"a/b", 0, "dir", "normal", "infinity"},
                                       {"lib2", 0, "dir", "normal", "infinity"}});
    QDir().mkpath(rootPath + "/lib");
    QDir(rootPath + "/lib2").removeRecursively();
    pass.setTreeScope(true);
    const Reply tree{"M                3        3 ann          a/b/c.txt\n"
                     "                 3        3 ann          a/b\n"
                     "                 3        3 ann          a\n"
                     "?                                        lib\n"
                     "!                3        3 ann          lib2\n"
                     "                 3        3 ann          .\n"
                     "Status against revision:      3\n"};
    replies = {tree, {"Path: f.c\n"}};
    EXPECT_EQ(answer("a/b/c.txt"), "record [M      ] 3");
    EXPECT_EQ(answer("a/b/."), "record [       ] 3");
    EXPECT_EQ(answer("a/c.txt"), "not-versioned");
    EXPECT_EQ(answer("lib/x.o"), "not-versioned");
    // "lib2" is no part of the unversioned "lib": its file is the repository's to tell.
    EXPECT_EQ(answer("lib2/f.c"), "in-repository");
    EXPECT_EQ(runs.size(), 2);

    // In a working copy of the per-folder layout, where a folder that holds
    // no working copy is otherwise the repository's to tell, the pass's own
    // "?" line says a folder's contents are not versioned.
    QDir(rootPath + "/old").mkpath("build/deep");
    makeWorkingCopy("old");
    pass.bind(rootPath + "/old", "svn://repo/trunk/old");
    replies = {{"?                                        build\n                 3        3 ann          .\n"
                "Status against revision:      3\n"}};
    EXPECT_EQ(answer("build/deep/x.o"), "not-versioned");
    EXPECT_EQ(runs.size(), 3);
    pass.bind(rootPath, "svn://repo/trunk");

    // A folder entry dropped (its folder just joined the working copy) is
    // read again, never used through the pointer of the last question.
    replies = {{"A                -       ?   ?           new.c\n"}};
    EXPECT_EQ(answer("lib/new.c"), "not-versioned");
    pass.forget(rootPath + "/lib");
    QFile::remove(rootPath + "/.svn/wc.db");
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}, {"lib", 1, "dir", "normal", "infinity"}});
    EXPECT_EQ(answer("lib/new.c"), "record [A      ] -");
    // After a refresh the next question runs the whole tree again, not one folder.
    pass.clear();
    replies = {tree};
    EXPECT_EQ(answer("a/b/c.txt"), "record [M      ] 3");
    EXPECT_EQ(runs.mid(3), QStringList({"lib: status --non-recursive --show-updates --verbose",
                                        ": status --show-updates --verbose --ignore-externals"}));
}

TEST_F(StatusPassTest, OfflineIsKeptPerRepositoryAndAFailingWorkingCopyIsRemembered)
{
    // An external from another server that is down takes only its own repository offline.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}});
    makeCentralWorkingCopy("ext", {{"", 0, "dir", "normal", "infinity"}}, "svn://other");
    makeCentralWorkingCopy("old", {{"", 0, "dir", "normal", "infinity"}}, "svn://third");
    pass.setTreeScope(true);
    replies = {{"", Unreachable, 1},
               {"                 4        4 bob          e.c\n"},
               {"                 1        1 ann          a.c\nStatus against revision:      1\n"},
               {"", "svn: E155036: Please see the 'svn upgrade' command\n", 1}};
    EXPECT_EQ(answer("ext/e.c"), "record [       ] 4");
    EXPECT_TRUE(pass.anyOffline());
    EXPECT_EQ(answer("ext/unknown.c"), "not-versioned");
    EXPECT_EQ(answer("a.c"), "record [       ] 1");
    // A working copy that needs an upgrade fails once, then answers with
    // that failure, running nothing, until refresh.
    for (int i = 0; i < 2; ++i) {
        const SVNStatusPass::Answer failed = pass.ask({"old", "x.c"});
        EXPECT_EQ(failed.kind, SVNStatusPass::Answer::Kind::Failed);
        EXPECT_EQ(failed.failedMessage, "svn: E155036: Please see the 'svn upgrade' command");
    }
    const QString whole = "status --show-updates --verbose --ignore-externals";
    EXPECT_EQ(runs, QStringList({"ext: " + whole, "ext: status --verbose --ignore-externals", ": " + whole,
                                 "old: " + whole}));

    // The repository's answer for a folder no working copy holds: an
    // unreachable server takes the provider offline, so the next file
    // does not wait for it again.
    pass.clear();
    pass.setTreeScope(false);
    runs.clear();
    QDir(rootPath + "/ext").removeRecursively();
    replies = {{"", Unreachable, 1}};
    EXPECT_EQ(answer("ext/a.c"), "failed");
    EXPECT_EQ(answer("ext/b.c"), "not-versioned");
    EXPECT_EQ(runs, QStringList({": info svn://repo/trunk/ext/a.c"}));
}

TEST_F(StatusPassTest, TheLocalRereadKeepsWhatOnlyTheServerKnows)
{
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}});
    struct Case
    {
        const char* cached; // the line of the online folder run
        const char* local;  // the local re-read's line
        unsigned change;
        const char* columns;
        bool locked, outOfDate;
    };
    const Case cases[] = {
        {"M       *        3        3 ann          f.c", "M                3        3 ann          f.c",
         SVNStatusPass::Edited, "M      ", false, true},
        {"M       *        3        3 ann          f.c", "                 4        4 ann          f.c",
         SVNStatusPass::BroughtUpToDate, "       ", false, false},
        {"     O           3        3 ann          f.c", "M                3        3 ann          f.c",
         SVNStatusPass::Edited, "M    O ", false, false},
        {"     T           3        3 ann          f.c", "     K           3        3 ann          f.c",
         SVNStatusPass::Edited, "     T ", false, false},
        {"     O           3        3 ann          f.c", "     K           3        3 ann          f.c",
         SVNStatusPass::LockChanged, "     K ", true, false},
        {"     K  *        3        3 ann          f.c", "                 3        3 ann          f.c",
         SVNStatusPass::LockChanged, "       ", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.local);
        pass.clear();
        runs.clear();
        replies = {{QByteArray(c.cached) + "\nStatus against revision:      4\n"}, {QByteArray(c.local) + "\n"}};
        ASSERT_NE(pass.record({"f.c"}), nullptr);
        pass.reread({"f.c"}, c.change);
        const SVNFileStatus* record = pass.record({"f.c"});
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->statusColumns, c.columns);
        EXPECT_EQ(record->locked, c.locked);
        EXPECT_EQ(record->outOfDate, c.outOfDate);
        EXPECT_EQ(runs.last(), ": status --verbose f.c"); // no server
    }
}

TEST_F(StatusPassTest, ALongAuthorBeforeAFileMissingOnDiskIsReadFromTheWorkingCopysRecords)
{
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}, {"gone file.c", 0, "file", "normal", ""}});
    replies = {{"!                3        3 Release Engineering gone file.c\nStatus against revision:      3\n"}};
    EXPECT_EQ(answer("gone file.c"), "record [!      ] 3");
}

} // namespace

TEST_F(StatusPassTest, AFolderAnotherClientHeldIsAskedAgainAtTheNextQuestion)
{
    // Another client's lock outlasted the retry table's wait: that passes,
    // so nothing is remembered and the next question runs again, in either scope.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}});
    const Reply locked{"", "svn: E155004: Working copy '" + rootPath.toUtf8() + "' locked.\nsvn: E155004: '"
                               + rootPath.toUtf8() + "' is already locked.\n", 1};
    const Reply listed{"M                3        3 ann          a.c\nStatus against revision:      3\n"};
    for (const bool tree : {false, true}) {
        SCOPED_TRACE(tree ? "whole tree" : "per folder");
        pass.clear();
        runs.clear();
        pass.setTreeScope(tree);
        replies = {locked, listed};
        EXPECT_EQ(answer("a.c"), "failed");
        EXPECT_EQ(answer("a.c"), "record [M      ] 3");
        EXPECT_EQ(runs.size(), 2);
    }
}

TEST(StatusReader, AnExternalsBlockAfterASummaryHoldsEntriesAgain)
{
    QStringList paths;
    SVNStatusReader reader(
        [&paths](QByteArrayView path, SVNFileStatus&) { paths << fromEightBit(path.data(), path.size()); });
    for (const char* line : {"                 3        3 ann          a.c",
                             "X                                        ext",
                             "Status against revision:      3",
                             "",
                             "Performing status on external item at 'ext':",
                             "M                4        4 bob          ext/e.c",
                             "Status against revision:      4"})
        reader.add(line);
    EXPECT_EQ(paths, QStringList({"a.c", "ext", "ext/e.c"}));
}
