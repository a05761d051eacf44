// The version-2 operations against the stand-in client: every command line
// and folder, the paths refused before anything runs, progress, and the
// plug-in's optional entry point.

#include "ProviderFixture.h"

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QTimeZone>

#include <dlfcn.h>

#include <functional>

namespace {

using namespace SourceCodeControl;

TEST_F(ProviderTest, VersionTwoCommandLines)
{
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"},
                                       {"a.c", 0, "file", "normal", ""},
                                       {"b c.c", 0, "file", "normal", ""},
                                       {"new", 1, "dir", "normal", "infinity"},
                                       {"new/n.c", 1, "file", "normal", ""}});
    QString revision = "caller's";
    QStringList conflicted;
    QList<LogEntry> entries;
    QList<Change> changed;
    QByteArray local, ranged = "caller's";
    SourceCodeControlSystemProviderInterface3& third = svn;
    QList<ItemChange> merged;
    QStringList untouched;
    struct Case
    {
        const char* what;
        std::function<bool()> operation;
        QStringList arguments; // argv[1..], the credentials left out
        QByteArray reply;      // what the stand-in prints
    };
    const Case cases[] = {
        {"add", [&] { return svn.add({"x.c", "-d@2/y.c"}); },
         {"add", "--parents", "--depth", "empty", "--", "x.c", "-d@2/y.c@"}, ""},
        {"commit with an added parent", [&] { return svn.commit({"a.c", "new/n.c"}, "m", revision); },
         {"commit", "--depth", "empty", "--file", "<m>", "--encoding", "UTF-8", "new", "a.c", "new/n.c"},
         "Sending        a.c\nCommitted revision 12.\n"},
        {"commit of the root", [&] { return svn.commit({"."}, "m", revision); },
         {"commit", "--file", "<m>", "--encoding", "UTF-8", "."}, ""},
        {"revert", [&] { return svn.revert({"a.c"}, true); }, {"revert", "--depth", "infinity", "a.c"}, ""},
        {"remove", [&] { return svn.remove({"./a.c", "b c.c"}, true); },
         {"delete", "--keep-local", "a.c", "b c.c"}, ""},
        {"move", [&] { return svn.move("a@1.c", "sub/a@2.c"); }, {"move", "--parents", "a@1.c@", "sub/a@2.c"}, ""},
        {"update", [&] { return svn.update({""}, "7", conflicted); },
         {"update", "--accept", "postpone", "--revision", "7", "."},
         "Updating '.':\nC    a.c\n   C b c.c\n C   new/n.c\nUpdated to revision 7.\nSummary of conflicts:\n"
         "  Text conflicts: 1\n"},
        {"resolve", [&] { return svn.resolve("a.c", Resolution::TheirsFull); },
         {"resolve", "--accept", "theirs-full", "a.c"}, ""},
        {"log", [&] { return svn.log("b c.c", 3, entries); },
         {"log", "--xml", "--verbose", "--limit", "3", "svn://repo/trunk/b%20c.c"},
         "<?xml version=\"1.0\"?>\n<log>\n<logentry revision=\"5\">\n<author>ann</author>\n"
         "<date>2026-12-07T03:53:01.721368Z</date>\n<paths>\n<path action=\"A\" copyfrom-path=\"/trunk/a.c\" "
         "copyfrom-rev=\"4\">/trunk/b c.c</path>\n</paths>\n<msg>two\nlines</msg>\n</logentry>\n</log>\n"},
        {"local diff", [&] { return svn.diff("a@1.c", "", "", local); }, {"diff", "a@1.c"}, "Index: a@1.c\r\n"},
        {"diff of two revisions", [&] { return svn.diff("a@1.c", "3", "4", ranged); },
         {"diff", "--revision", "3:4", "a@1.c@"}, ""},
        {"changes", [&] { return svn.changes("", changed); }, {"status"},
         "M       .\n!       gone.c\n        > moved to x\n--- Changelist 'c':\nA  +    dir-2.c\n"
         "Summary of conflicts:\n  Text conflicts: 1\n"},
        {"cleanup", [&] { return svn.cleanup("new"); }, {"cleanup", "new"}, ""},
        // Version 3: repository paths as "^/" URLs, pegged when a name holds "@"; the local targets of
        // switch and merge never (the client takes a trailing "@" there literally), and a local target
        // holding "@" gets the full URL (the client reads the target of a "^/" URL with a peg).
        {"switch", [&] { return third.switchTo("k@1", "branches/b 1@x", "5", untouched); },
         {"switch", "--accept", "postpone", "--revision", "5", "svn://repo/branches/b%201@x@", "k@1"}, ""},
        {"merge", [&] { return third.merge("", "trunk", {"42", "40-45", "-42"}, true, false, merged, untouched); },
         {"merge", "--accept", "postpone", "--dry-run", "-c", "42,40-45,-42", "^/trunk", "."},
         "--- Merging r42 into '.':\nU    a.c\n UU  b c.c\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = fake.callCount();
        fake.respond(c.reply);
        EXPECT_TRUE(c.operation()) << lastError().toStdString();
        ASSERT_EQ(fake.callCount(), before + 1);
        const FakeSvn::Call call = fake.calls().at(size_t(before));
        QStringList arguments = call.arguments.mid(1);
        for (const QString& credential : FakeSvn::auth("ann", "secret"))
            arguments.removeOne(credential);
        const qsizetype file = arguments.indexOf("--file");
        if (file >= 0)
            arguments[file + 1] = '<' + QString::fromUtf8(fake.message(before)) + '>';
        EXPECT_EQ(arguments, c.arguments);
        EXPECT_EQ(call.workingDirectory, arguments.first() == "log" ? QDir::currentPath() : rootPath);
    }
    EXPECT_EQ(revision, ""); // the root's commit had nothing to commit
    EXPECT_EQ(local, "Index: a@1.c\r\n"); // byte for byte
    EXPECT_EQ(ranged, "");
    EXPECT_EQ(conflicted, QStringList({"a.c", "b c.c", "new/n.c"}));
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].message, "two\nlines");
    EXPECT_EQ(entries[0].changedPaths, QStringList{"A /trunk/b c.c (from /trunk/a.c:4)"});
    EXPECT_EQ(entries[0].date, QDateTime(QDate(2026, 12, 7), QTime(3, 53, 1, 721), QTimeZone::utc()));
    ASSERT_EQ(changed.size(), 3);
    EXPECT_EQ(changed[0].path, "");
    EXPECT_EQ(changed[1].statusColumns, "!      ");
    EXPECT_EQ(changed[2].path, "dir-2.c");
    ASSERT_EQ(merged.size(), 2);
    EXPECT_EQ(merged[1].action, " UU ");
    EXPECT_EQ(merged[1].path, "b c.c");
}

TEST_F(ProviderTest, AnnotateReadsLinesAndTextAtOneRevisionNumber)
{
    // A keyword that moves (HEAD, a date) is read as its number first: the
    // stand-in answers the lines of revision 9 and the text of revision 9,
    // whatever the repository holds by the time the later runs start.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}, {"a.c", 0, "file", "normal", ""}});
    const QByteArray info = "<?xml version=\"1.0\"?>\n<info>\n<entry\n   kind=\"file\"\n   path=\"a.c\"\n"
                            "   revision=\"9\">\n<commit\n   revision=\"7\">\n</commit>\n</entry>\n</info>\n";
    const QByteArray blame = "<?xml version=\"1.0\"?>\n<blame>\n<target path=\"a.c\">\n<entry line-number=\"1\">\n"
                             "<commit revision=\"7\">\n<author>ann</author>\n</commit>\n</entry>\n</target>\n</blame>\n";
    struct Case
    {
        const char* revision;
        QList<QStringList> runs; // argv[1..] of each run, the credentials left out
    };
    const Case cases[] = {
        {"HEAD", {{"info", "--xml", "--revision", "HEAD", "a.c"}, {"blame", "--xml", "--revision", "9", "a.c"},
                  {"cat", "--revision", "9", "a.c"}}},
        {"{2026-12-07}", {{"info", "--xml", "--revision", "{2026-12-07}", "a.c"},
                          {"blame", "--xml", "--revision", "9", "a.c"}, {"cat", "--revision", "9", "a.c"}}},
        {"", {{"blame", "--xml", "--revision", "BASE", "a.c"}, {"cat", "--revision", "BASE", "a.c"}}},
        {"base", {{"blame", "--xml", "--revision", "base", "a.c"}, {"cat", "--revision", "base", "a.c"}}},
        {"7", {{"blame", "--xml", "--revision", "7", "a.c"}, {"cat", "--revision", "7", "a.c"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.revision);
        const int before = fake.callCount();
        if (c.runs.size() == 3)
            fake.respond(info);
        fake.respond(blame).respond("text of 9\n");
        QList<AnnotatedLine> lines;
        ASSERT_TRUE(svn.annotate("a.c", c.revision, lines)) << lastError().toStdString();
        ASSERT_EQ(fake.callCount(), before + c.runs.size());
        for (qsizetype i = 0; i < c.runs.size(); ++i) {
            const FakeSvn::Call call = fake.calls().at(size_t(before + i));
            QStringList arguments = call.arguments.mid(1);
            for (const QString& credential : FakeSvn::auth("ann", "secret"))
                arguments.removeOne(credential);
            EXPECT_EQ(arguments, c.runs.at(i));
            EXPECT_EQ(call.workingDirectory, rootPath);
        }
        ASSERT_EQ(lines.size(), 1);
        EXPECT_EQ(lines[0].text, "text of 9");
        EXPECT_EQ(lines[0].revision, "7");
    }
    // An answer that names no revision is an error, not a run at a keyword.
    fake.respond("<?xml version=\"1.0\"?>\n<info>\n</info>\n");
    const int before = fake.callCount();
    QList<AnnotatedLine> lines;
    EXPECT_FALSE(svn.annotate("a.c", "HEAD", lines));
    EXPECT_EQ(fake.callCount(), before + 1);
    EXPECT_EQ(lastError(), "info: the client named no revision for a.c at HEAD");
}

TEST_F(ProviderTest, VersionTwoRefusesBadPathsAndWhatTheWorkingCopyDoesNotHold)
{
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"}, {"a.c", 0, "file", "normal", ""}});
    writeFile("taken.c", "there");
    writeFile("loose.c", "unversioned");
    QStringList conflicted;
    struct Case { std::function<bool()> operation; const char* error; };
    const Case cases[] = {
        {[&] { return svn.add({}); }, "add: no path was given"},
        {[&] { return svn.revert({"/etc/passwd"}, false); }, "revert: /etc/passwd is an absolute path"},
        {[&] { return svn.update({"a/../../x"}, QString(), conflicted); }, "update: a/../../x leaves the local root"},
        {[&] { return svn.remove({"loose.c"}, true); }, "delete: loose.c: not under version control"},
        {[&] { return svn.revert({"a.c", "loose.c"}, false); }, "revert: loose.c: not under version control"},
        {[&] { return svn.move("a.c", "taken.c"); }, "move: taken.c exists already"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.operation());
        EXPECT_TRUE(lastError().startsWith(c.error)) << lastError().toStdString();
    }
    EXPECT_EQ(fake.callCount(), 0);
    EXPECT_EQ(readBytes(rootPath + "/loose.c"), "unversioned");
}

void collect(void* context, const QString& item, int itemsSoFar)
{
    static_cast<QStringList*>(context)->append(QString::number(itemsSoFar) + ' ' + item);
}

TEST_F(ProviderTest, VersionTwoProgressAndTheOptionalEntryPoint)
{
    makeWorkingCopy();
    QStringList items;
    svn.setProgressHandler(&collect, &items);
    fake.respond("Updating '.':\nA    a.c\n U   b.c\nUpdated to revision 3.\n");
    QStringList conflicted;
    ASSERT_TRUE(svn.update({""}, QString(), conflicted));
    fake.respond("Sending        a.c\nTransmitting file data .done\nCommitting transaction...\n"
                 "Committed revision 4.\n");
    QString revision;
    ASSERT_TRUE(svn.commit({"a.c"}, "m", revision));
    EXPECT_EQ(items, QStringList({"1 A    a.c", "2  U   b.c", "1 Sending        a.c"}));
    svn.setProgressHandler(nullptr, nullptr);
    fake.respond("A    c.c\n");
    ASSERT_TRUE(svn.update({""}, QString(), conflicted));
    EXPECT_EQ(items.size(), 3);

    // A host that knows version 2 gets it from its own entry point; one that
    // does not sees the base interface unchanged. The object is version 3's.
    void* handle = ::dlopen(PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr);
    auto allocate = reinterpret_cast<AllocateSourceCodeControlSystemInterface2Fn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface2"));
    auto release = reinterpret_cast<ReleaseSourceCodeControlSystemInterfaceFn>(
        ::dlsym(handle, "ReleaseSourceCodeControlSystemInterface"));
    ASSERT_NE(allocate, nullptr);
    SourceCodeControlSystemProviderInterface2* provider = allocate();
    ASSERT_NE(provider, nullptr);
    EXPECT_EQ(provider->interfaceVersion(), 3);
    SourceCodeControlSystemProviderInterface* base = provider;
    EXPECT_TRUE(base->setOption(SourceCodeControlOption::Executable, "svn"));
    EXPECT_FALSE(base->checkOutSupported());
    release(provider);

    // Version 3's slots that are not offered yet say so and run nothing.
    auto allocate3 = reinterpret_cast<AllocateSourceCodeControlSystemInterface3Fn>(
        ::dlsym(handle, "AllocateSourceCodeControlSystemInterface3"));
    ASSERT_NE(allocate3, nullptr);
    SourceCodeControlSystemProviderInterface3* third = allocate3();
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->interfaceVersion(), 3);
    EXPECT_FALSE(third->isOffline());
    QString command;
    EXPECT_FALSE(third->upgrade()); // nothing bound: nothing runs
    EXPECT_EQ(third->getLastError(command), "no working copy is bound (setRoots()), so there is nothing to upgrade");
    EXPECT_EQ(command, "upgrade");
    release(third);
    ::dlclose(handle);
}

} // namespace

TEST_F(ProviderTest, VersionTwoWritesKeepWhatOnlyTheServerKnows)
{
    // Cached from the server: a.c and the folder sub out of date, b.c locked
    // by someone else. Each write re-reads what it touched locally; the
    // local lines (" M": properties changed) say nothing of the server.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"},
                                       {"a.c", 0, "file", "normal", ""},
                                       {"b.c", 0, "file", "normal", ""},
                                       {"sub", 0, "dir", "normal", "infinity"}});
    writeFile("a.c", "a");
    writeFile("b.c", "b");
    const QByteArray online = "        *        3        3 ann          a.c\n"
                              "     O           3        3 ann          b.c\n"
                              "        *        3        3 ann          sub\n"
                              "                 3        3 ann          .\n"
                              "Status against revision:      4\n";
    const QByteArray local = " M               3        3 ann          a.c\n"
                             " M               3        3 ann          b.c\n"
                             " M               3        3 ann          sub\n";
    struct Case
    {
        const char* what;
        std::function<bool()> operation;
        QStringList touched;
    };
    const Case cases[] = {
        {"add", [&] { return svn.add({"a.c", "b.c"}); }, {"a.c", "b.c"}},
        {"revert", [&] { return svn.revert({"a.c", "b.c"}, false); }, {"a.c", "b.c"}},
        {"remove", [&] { return svn.remove({"a.c", "b.c"}, true); }, {"a.c", "b.c"}},
        {"move", [&] { return svn.move("a.c", "m.c"); }, {"a.c"}},
        {"resolve", [&] { return svn.resolve("b.c", SourceCodeControl::Resolution::Working); }, {"b.c"}},
        {"cleanup", [&] { return svn.cleanup("sub"); }, {"sub"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        svn.refresh();
        fake.respond(online);
        ASSERT_TRUE(ask({"a.c"}).outOfDate);
        fake.respond("").respond(local);
        const int before = fake.callCount();
        ASSERT_TRUE(c.operation()) << lastError().toStdString();
        ASSERT_EQ(fake.callCount(), before + 2); // the write, then one local re-read
        for (const QString& item : QStringList{"a.c", "b.c", "sub"}) {
            SCOPED_TRACE(item.toStdString());
            const Answer answer = ask({item});
            const QString properties = c.touched.contains(item) ? " M" : "  ";
            EXPECT_EQ(answer.statusText, properties + (item == "b.c" ? "   O " : "     "));
            EXPECT_EQ(answer.outOfDate, item != "b.c");
        }
    }
}

TEST_F(ProviderTest, AFolderIsReadAgainWithAllItHoldsInOneRun)
{
    // sub and sub/deep are cached from their own runs; each operation on sub
    // (or on a file below the unversioned folder new) re-reads the folder
    // with everything below it in one run at the local root, and later
    // questions below it run nothing.
    makeCentralWorkingCopy(QString(), {{"", 0, "dir", "normal", "infinity"},
                                       {"sub", 0, "dir", "normal", "infinity"},
                                       {"sub/x.c", 0, "file", "normal", ""},
                                       {"sub/deep", 0, "dir", "normal", "infinity"},
                                       {"sub/deep/y.c", 0, "file", "normal", ""}});
    writeFile("sub/x.c", "x");
    writeFile("sub/deep/y.c", "y");
    QDir().mkpath(rootPath + "/new");
    writeFile("new/n.c", "n");
    const QByteArray fresh = "                 2        2 ann          sub\n"
                             "M                2        2 ann          sub/x.c\n"
                             "                 2        2 ann          sub/deep\n"
                             "                 1        1 ann          sub/deep/y.c\n"
                             "A                -       ?   ?           new\n"
                             "A                -       ?   ?           new/n.c\n";
    const QStringList local{"status", "--verbose", "--ignore-externals"};
    const QStringList online{"status", "--show-updates", "--verbose", "--ignore-externals"};
    QStringList conflicted;
    struct Case
    {
        const char* what;
        std::function<bool()> operation;
        int code;             // the operation's exit code
        QStringList reread;   // argv[1..] of the one re-read
        bool outOfDate;       // sub/deep/y.c afterwards (the cached mark kept by a local re-read)
    };
    const Case cases[] = {
        {"update", [&] { return svn.update({"sub"}, QString(), conflicted); }, 0, local + QStringList{"sub"}, false},
        {"update to a revision", [&] { return svn.update({"sub"}, "2", conflicted); }, 0, online + QStringList{"sub"},
         false},
        {"failed update", [&] { return svn.update({"sub"}, QString(), conflicted); }, 1, online + QStringList{"sub"},
         false},
        {"saved folder", [&] { return svn.saved({"sub"}); }, -1, local + QStringList{"sub"}, true},
        {"add below a new folder", [&] { return svn.add({"new/n.c"}); }, 0, local + QStringList{"new"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        svn.refresh();
        fake.respond("        *        1        1 ann          x.c\n                 1        1 ann          .\n");
        fake.respond("        *        1        1 ann          y.c\n                 1        1 ann          .\n");
        ASSERT_TRUE(ask({"sub", "x.c"}).outOfDate);
        ASSERT_TRUE(ask({"sub", "deep", "y.c"}).outOfDate);
        ask({"new", "n.c"});
        if (c.code >= 0)
            fake.respond("", c.code ? "svn: E000028: No space left on device\n" : "", c.code);
        fake.respond(fresh);
        const int before = fake.callCount();
        EXPECT_EQ(c.operation(), c.code <= 0);
        const int runs = c.code >= 0 ? 2 : 1;
        ASSERT_EQ(fake.callCount(), before + runs);
        const FakeSvn::Call call = fake.calls().at(size_t(before + runs - 1));
        QStringList arguments = call.arguments.mid(1);
        for (const QString& credential : FakeSvn::auth("ann", "secret"))
            arguments.removeOne(credential);
        EXPECT_EQ(arguments, c.reread);
        EXPECT_EQ(call.workingDirectory, rootPath);
        if (c.reread.last() == "sub") {
            EXPECT_EQ(ask({"sub", "x.c"}).statusText, "M      ");
            EXPECT_EQ(ask({"sub", "x.c"}).revisionText, "2");
            EXPECT_EQ(ask({"sub", "deep", "y.c"}).outOfDate, c.outOfDate);
        } else {
            EXPECT_EQ(ask({"new", "n.c"}).statusText, "A      ");
        }
        EXPECT_EQ(fake.callCount(), before + runs);
    }
}
