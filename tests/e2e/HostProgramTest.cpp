// scc-host as a user runs it: the password on standard input, each
// subcommand against the client's own answer, its failure report and usage
// errors, and the demo; --ask on a terminal and off one; and the hosts'
// switch for the command log, which adds to the host's logging rules.

#include "E2EFixture.h"

#include "ClientAnswers.h"
#include "ClientLog.h"

#include <QLoggingCategory>
#include <QRegularExpression>

#include <sqlite3.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

using HostProgram = E2EFixture;

namespace {

// Log entries as scc-host prints them, from the client's own log.
QByteArray printedLog(const QList<SourceCodeControl::LogEntry>& entries)
{
    QByteArray text;
    for (const SourceCodeControl::LogEntry& entry : entries) {
        text += "r" + entry.revision.toUtf8() + " | " + entry.author.toUtf8() + " | "
            + entry.date.toUTC().toString(Qt::ISODate).toUtf8() + "\n" + entry.message.toUtf8()
            + (entry.message.endsWith('\n') ? "" : "\n");
        for (const QString& changed : entry.changedPaths)
            text += "  " + changed.toUtf8() + "\n";
        text += "\n";
    }
    return text;
}

} // namespace

TEST_F(HostProgram, PasswordFromStandardInputAndTheFailureReport)
{
    const QStringList base = {"--plugin", PLUGIN_PATH, "--url", m_url, "--user", "bob", "--password-stdin", "login"};
    ToolRun run = runTool(SCC_HOST_PATH, QStringList{"--verbose"} + base, QString(), "bob-secret\n");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("login bob")) << run.out.toStdString();
    // --verbose: the command log on standard error, plain lines, the password masked.
    EXPECT_TRUE(run.err.startsWith("run 1 in ")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(": svn info ")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("\nrun 1 ended: exit 0, ")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("bob-secret")) << run.err.toStdString();

    run = runTool(SCC_HOST_PATH, base, QString(), "wrong\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("scc-host: login failed\n  info:")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("svn: E")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("wrong")) << "the password must not be echoed";
}

TEST_F(HostProgram, EachSubcommandReachesTheRepository)
{
    // One row per scc-host run: its arguments (after the global ones, with
    // the root bound where a row needs it) and what it must print.
    const QString root = m_base + "/wc/project";
    const QString destination = m_base + "/first.txt";
    writeBytes(m_base + "/password", "ann-secret\n");
    struct Row { QStringList arguments; bool rooted; QByteArray out; };
    const Row rows[] = {
        {{"mkdir", "project"}, false, "created project in the repository\n"},
        {{"mkdir", "project/docs"}, false, "created project/docs in the repository\n"},
        {{"ls", "project"}, true, ""}, // the first rooted run checks the project out
        {{"add", "./a b.txt", "-m", "Add \"a b\""}, true, "added and committed ./a b.txt\n"},
        {{"lock", "a b.txt", "-m", "mine"}, true, "locked a b.txt\n"},
        {{"checkin", "a b.txt", "-m", "line one\nline two"}, true, "committed a b.txt\n"},
        {{"cat", "a b.txt", "3", destination}, true, "wrote a b.txt at revision 3 to " + destination.toUtf8() + "\n"},
        {{"get", "./docs/../a b.txt", "--discard"}, true, "updated ./docs/../a b.txt (local copy replaced)\n"},
        {{"ls", "project"}, false, "a b.txt\n"},
        {{"dirs", "project/"}, false, "docs/\n"},
    };
    for (const Row& row : rows) {
        const QString& subcommand = row.arguments.first();
        if (subcommand == "add" || subcommand == "checkin" || subcommand == "get")
            writeBytes(root + "/a b.txt",
                       subcommand == "add" ? "one\n" : subcommand == "get" ? "scratch\n" : "one\ntwo\n");
        QStringList arguments{"--plugin", PLUGIN_PATH, "--url", m_url, "--user", "ann", "--password-file",
                              m_base + "/password", "--locking", "yes"};
        if (row.rooted)
            arguments << "--root" << root << "--repository-root" << "project";
        const ToolRun run = runTool(SCC_HOST_PATH, arguments + row.arguments);
        EXPECT_EQ(run.exitCode, 0) << row.arguments.join(' ').toStdString() << ": " << run.err.toStdString();
        EXPECT_EQ(run.out, row.out) << row.arguments.join(' ').toStdString();
    }
    EXPECT_EQ(logMessage("HEAD"), QByteArray("line one\nline two"));
    EXPECT_EQ(readBytes(destination), QByteArray("one\n"));
    EXPECT_EQ(readBytes(root + "/a b.txt"), QByteArray("one\ntwo\n"));
}

TEST_F(HostProgram, EachVersion2SubcommandPrintsWhatTheClientSays)
{
    // ann's working copy of project/ (old.txt, keep.txt, gone.txt: r1 to r3),
    // one scc-host run per row, each checked against the client's own
    // answer. The host runs in a zone 5:30 east of UTC: it prints UTC.
    const QString root = annChecksOut({"project/old.txt", "project/keep.txt", "project/gone.txt"});
    writeBytes(m_base + "/password", "ann-secret\n");
    QProcessEnvironment environment = m_environment;
    environment.insert("TZ", "XST-5:30");
    const QStringList credentials{"--username", "ann", "--password", "ann-secret", "--no-auth-cache"};
    auto client = [&](const QStringList& arguments) { return svnOk(arguments, "ann", root); };
    auto columns = [&](const QString& path) { return client({"status", "--depth", "empty", path}).left(7); };
    auto history = [&](const QString& path, const QStringList& options) {
        return printedLog(clientLog("svn", root, urlOf(path), credentials + options));
    };
    auto annotation = [&](const QString& path) {
        const QList<SourceCodeControl::AnnotatedLine> lines = clientBlame("svn", root, path, credentials);
        const QList<QByteArray> text = readBytes(root + "/" + path).split('\n');
        qsizetype revisionWidth = 1, authorWidth = 0;
        for (const SourceCodeControl::AnnotatedLine& line : lines) {
            revisionWidth = qMax(revisionWidth, line.revision.size());
            authorWidth = qMax(authorWidth, line.author.size());
        }
        QByteArray printed;
        for (qsizetype i = 0; i < lines.size(); ++i)
            printed += (lines[i].revision.rightJustified(revisionWidth) + ' '
                        + lines[i].author.leftJustified(authorWidth) + ' ').toUtf8() + text.value(i) + "\n";
        return printed;
    };
    QString youngestBefore;
    auto committed = [&](int revisions) {
        EXPECT_EQ(youngest().toInt(), youngestBefore.toInt() + revisions);
        return revisions ? "Committed revision " + youngest().toUtf8() + ".\n" : QByteArray("nothing to commit\n");
    };
    const QByteArray latin1 = "caf\xe9 au lait\r\nsecond line of sub/b.txt, Latin-1 with CR LF\r\n";
    auto edit = [&](const QString& path, const QByteArray& bytes) {
        return [=] { writeBytes(root + "/" + path, bytes); };
    };

    struct Row {
        QStringList arguments;
        std::function<void()> before;                   // set-up, may be empty
        std::function<QByteArray(const ToolRun&)> expected; // what scc-host must print; checks the client's side too
    };
    const Row rows[] = {
        {{"schedule", "a.txt", "sub/b.txt"},
         [&] { QDir(root).mkdir("sub"); edit("a.txt", "a\n")(); edit("sub/b.txt", latin1)(); },
         [&](const ToolRun&) {
             EXPECT_EQ(client({"status"}), "A       a.txt\nA       sub\nA       sub/b.txt\n");
             return QByteArray("scheduled a.txt for addition\nscheduled sub/b.txt for addition\n");
         }},
        {{"--verbose", "commit", "a.txt", "sub/b.txt", "-m", "Two files"}, nullptr,
         [&](const ToolRun& run) {
             const QStringList progress =
                 QString::fromUtf8(run.err).split('\n').filter(QRegularExpression("^progress "));
             EXPECT_EQ(progress.size(), 3) << run.err.toStdString();
             EXPECT_TRUE(progress.value(2).startsWith("progress 3: Adding ")) << run.err.toStdString();
             return committed(1);
         }},
        {{"commit", "a.txt", "-m", "Nothing changed"}, nullptr, [&](const ToolRun&) { return committed(0); }},
        {{"commit", "old.txt", "-m", "line one\nline two"}, edit("old.txt", "project/old.txt\nsecond\n"),
         [&](const ToolRun&) { return committed(1); }},
        {{"log", "old.txt"}, nullptr, [&](const ToolRun&) { return history("project/old.txt", {}); }},
        {{"log", ".", "--limit", "2"}, nullptr, [&](const ToolRun&) { return history("project", {"--limit", "2"}); }},
        {{"annotate", "old.txt"}, nullptr, [&](const ToolRun&) { return annotation("old.txt"); }},
        {{"diff", "sub/b.txt"}, edit("sub/b.txt", "caf\xe9 noir\r\n" + latin1.mid(latin1.indexOf('\n') + 1)),
         [&](const ToolRun&) { return client({"diff", "sub/b.txt"}); }},
        {{"diff", "old.txt", "-r", "1"}, edit("old.txt", "project/old.txt\nsecond\nlocal\n"),
         [&](const ToolRun&) { return client({"diff", "-r", "1", "old.txt"}); }},
        {{"diff", "old.txt", "-r", "1:HEAD"}, nullptr,
         [&](const ToolRun&) { return client({"diff", "-r", "1:HEAD", "old.txt"}); }},
        {{"changes"}, [&] { QFile::remove(root + "/gone.txt"); edit("new.txt", "new\n")(); },
         [&](const ToolRun&) { return client({"status"}); }},
        {{"changes", "sub"}, nullptr, [&](const ToolRun&) { return client({"status", "sub"}); }},
        {{"revert", "sub", "--recursive"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"status", "sub"}), "");
             return QByteArray("reverted sub\n");
         }},
        {{"revert", "gone.txt", "old.txt"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"status", "gone.txt", "old.txt"}), "");
             return QByteArray("reverted gone.txt\nreverted old.txt\n");
         }},
        {{"mv", "a.txt", "sub/c.txt"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(columns("a.txt") + columns("sub/c.txt"), "D      A  +   ");
             return QByteArray("moved a.txt to sub/c.txt\n");
         }},
        {{"rm", "keep.txt", "--keep-local"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(columns("keep.txt"), "D      ");
             EXPECT_EQ(readBytes(root + "/keep.txt"), "project/keep.txt\n");
             return QByteArray("scheduled keep.txt for deletion (kept on disk)\n");
         }},
        {{"rm", "gone.txt"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(columns("gone.txt"), "D      ");
             EXPECT_FALSE(QFileInfo::exists(root + "/gone.txt"));
             return QByteArray("scheduled gone.txt for deletion\n");
         }},
        {{"commit", ".", "-m", "Move and remove"}, [&] { QFile::remove(root + "/new.txt"); },
         [&](const ToolRun&) { return committed(1); }},
        // r4 holds the two files, before old.txt's second line.
        {{"update", "-r", "4"}, [&] { QFile::remove(root + "/keep.txt"); },
         [&](const ToolRun&) {
             EXPECT_EQ(client({"info", "--show-item", "revision"}), "4\n");
             EXPECT_EQ(readBytes(root + "/old.txt"), "project/old.txt\n");
             return QByteArray("updated . to revision 4\n");
         }},
        {{"update"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"info", "--show-item", "revision"}), youngest().toUtf8() + "\n");
             return QByteArray("updated .\n");
         }},
        {{"update", "old.txt"},
         [&] {
             svnOk({"checkout", urlOf("project"), m_base + "/bob"});
             writeBytes(m_base + "/bob/old.txt", "bob's first line\nsecond\n");
             svnOk({"commit", "-m", "bob's line", m_base + "/bob"});
             edit("old.txt", "ann's first line\nsecond\n")();
         },
         [&](const ToolRun&) {
             EXPECT_EQ(columns("old.txt"), "C      ");
             return QByteArray("updated old.txt\nconflicts:\n  old.txt\n");
         }},
        {{"resolve", "old.txt", "--accept", "theirs-full"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"status", "old.txt"}), "");
             EXPECT_EQ(readBytes(root + "/old.txt"), "bob's first line\nsecond\n");
             return QByteArray("resolved old.txt with theirs-full\n");
         }},
        // The lock a killed client leaves on the working copy.
        {{"cleanup"},
         [&] {
             sqlite3* database = nullptr;
             ASSERT_EQ(sqlite3_open(QFile::encodeName(root + "/.svn/wc.db").constData(), &database), SQLITE_OK);
             EXPECT_EQ(sqlite3_exec(database, "INSERT INTO WC_LOCK VALUES (1, '', -1)", nullptr, nullptr, nullptr),
                       SQLITE_OK);
             sqlite3_close(database);
             EXPECT_EQ(client({"status"}), "  L     .\n  L     sub\n");
         },
         [&](const ToolRun&) {
             EXPECT_EQ(client({"status"}), "");
             return QByteArray("cleaned up .\n");
         }},
    };
    for (const Row& row : rows) {
        if (row.before)
            row.before();
        youngestBefore = youngest();
        const ToolRun run = runTool(SCC_HOST_PATH, QStringList{"--plugin", PLUGIN_PATH, "--url", m_url, "--user", "ann",
                                                               "--password-file", m_base + "/password", "--root", root}
                                                       + row.arguments,
                                    QString(), QByteArray(), &environment);
        const std::string name = row.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, 0) << name << ": " << run.err.toStdString();
        if (!row.arguments.contains("--verbose")) {
            EXPECT_EQ(run.err, "") << name;
        }
        EXPECT_EQ(run.out, row.expected(run)) << name;
    }
}

TEST_F(HostProgram, EachVersion3SubcommandPrintsWhatTheClientSays)
{
    // ann's working copy of trunk; one scc-host run per step, each checked
    // against the repository or the client.
    importFile("trunk/a.txt", "one\n");
    importFile("trunk/b.txt", "bee\n");
    const QString root = m_base + "/ann";
    svnOk({"checkout", urlOf("trunk"), root}, "ann");
    writeBytes(m_base + "/password", "ann-secret\n");
    const QStringList global{"--plugin", PLUGIN_PATH, "--url", m_url, "--user", "ann",
                             "--password-file", m_base + "/password", "--root", root};
    auto host = [&](const QStringList& arguments, int exitCode = 0) {
        const ToolRun run = runTool(SCC_HOST_PATH, global + arguments);
        EXPECT_EQ(run.exitCode, exitCode) << arguments.join(' ').toStdString() << ": " << run.err.toStdString();
        return run.out;
    };
    auto client = [&](const QStringList& arguments) { return QString::fromUtf8(svnOk(arguments, "ann")).trimmed(); };
    auto lockOwner = [&](const QString& path) {
        static const QRegularExpression s_owner("^Lock Owner: (.*)$", QRegularExpression::MultilineOption);
        return s_owner.match(client({"info", urlOf(path)})).captured(1);
    };

    const QByteArray copied = host({"copy", "trunk", "branches/b 1", "-m", "branch it"});
    EXPECT_EQ(copied, "copied trunk to branches/b 1 in revision " + youngest().toUtf8() + "\n");
    host({"copy", "trunk", "branches/b 1", "-m", "again"}, 1);
    const QString bobs = m_base + "/bob";
    svnOk({"checkout", urlOf("trunk"), bobs});
    writeBytes(bobs + "/a.txt", "ONE\n");
    svnOk({"commit", "-m", "trunk change", bobs});
    const QByteArray change = youngest().toUtf8();

    EXPECT_EQ(host({"switch", "branches/b 1"}), "switched . to branches/b 1\n");
    EXPECT_EQ(client({"info", "--show-item", "relative-url", root}), "^/branches/b%201");
    EXPECT_EQ(host({"mergeinfo", "trunk"}), "r" + change + "\n");
    EXPECT_EQ(host({"mergeinfo", "trunk", ".", "--merged"}), "");
    EXPECT_EQ(host({"merge", "trunk", "--dry-run"}), "U    a.txt\n(dry run: nothing changed)\n");
    EXPECT_EQ(client({"status", root}), "");
    EXPECT_EQ(host({"merge", "trunk", ".", "-c", change}), "U    a.txt\n U   .\n");
    EXPECT_EQ(readBytes(root + "/a.txt"), "ONE\n");
    EXPECT_EQ(host({"mergeinfo", "trunk", "--merged"}), "r" + change + "\n");
    svnOk({"revert", "-R", root}, "ann");

    // Several files in one run need no --locking; bob takes one over, ann breaks it.
    svnOk({"lock", "-m", "bob's", urlOf("branches/b 1/a.txt")});
    host({"lock", "a.txt", "b.txt", "-m", "mine"}, 1);
    EXPECT_EQ(lockOwner("branches/b 1/a.txt"), "bob");
    EXPECT_EQ(host({"unlock", "a.txt", "--break"}), "unlocked a.txt (broken)\n");
    EXPECT_EQ(lockOwner("branches/b 1/a.txt"), "");
    svnOk({"lock", "-m", "bob's again", urlOf("branches/b 1/a.txt")});
    EXPECT_EQ(host({"lock", "a.txt", "b.txt", "--steal", "-m", "mine"}), "locked a.txt (taken over)\nlocked b.txt (taken over)\n");
    EXPECT_EQ(lockOwner("branches/b 1/a.txt"), "ann");
    EXPECT_EQ(lockOwner("branches/b 1/b.txt"), "ann");
    host({"lock", "a.txt"}, 2); // one file without --steal: version 1's check-out, which needs --locking yes

    const QByteArray info = host({"info", "a.txt", "."});
    EXPECT_TRUE(info.startsWith("Path: a.txt\nKind: file\nURL: " + urlOf("branches/b%201/a.txt").toUtf8()
                                + "\nRepository Path: branches/b 1/a.txt\n"))
        << info.toStdString();
    EXPECT_TRUE(info.contains("\nLock Owner: ann\nLock Comment: mine\n\nPath: .\nKind: dir\n")) << info.toStdString();

    const QString moved = "file://" + m_base + "/repository";
    EXPECT_EQ(host({"relocate", moved}), "relocated to " + moved.toUtf8() + "\n");
    EXPECT_EQ(client({"info", "--show-item", "url", root}), moved + "/branches/b%201");
}

TEST_F(HostProgram, PropertiesHistoryDepthAndPatchesMatchTheClient)
{
    // A file:// working copy of trunk (a.txt in r1, sub/b.txt in r2); one
    // scc-host run per row, each checked against the client's own answer.
    importFile("trunk/a.txt", "one\n");
    importFile("trunk/sub/b.txt", "bee\n");
    const QString trunk = "file://" + m_base + "/repository/trunk";
    const QString root = m_base + "/wc";
    svnOk({"checkout", trunk, root});
    auto client = [&](const QStringList& arguments) { return svnOk(arguments, "bob", root); };
    auto history = [&](const QStringList& options) { return printedLog(clientLog("svn", root, trunk, options)); };
    auto summary = [&](const QStringList& arguments) {
        QList<QByteArray> lines = client(QStringList{"diff", "--summarize"} + arguments).split('\n');
        lines.removeAll(QByteArray());
        std::sort(lines.begin(), lines.end(),
                  [](const QByteArray& a, const QByteArray& b) { return a.mid(8) < b.mid(8); });
        return lines.join('\n') + "\n";
    };
    // The client's item lines of a patch run: no hunk notes, no summary.
    auto patchItems = [&](const QStringList& arguments) {
        QByteArray items;
        for (const QByteArray& line : client(QStringList{"patch", "--dry-run"} + arguments).split('\n')) {
            if (line.startsWith("Summary of conflicts:"))
                break;
            if (!line.isEmpty() && !line.startsWith('>'))
                items += line + "\n";
        }
        return items;
    };
    auto edit = [&](const QString& path, const QByteArray& bytes) { writeBytes(root + "/" + path, bytes); };
    const char value[] = "\0\x01\xff\x1b[2J\r\nnot text\n";
    const QByteArray binary(value, sizeof value - 1);
    writeBytes(m_base + "/value", binary);
    const QString patch = m_base + "/changes.patch";
    const QByteArray propertiesOnly = " M      .\n M      a.txt\n M      sub\n";
    QByteArray changedBefore, clientDryRun;

    struct Row {
        QStringList arguments;
        std::function<void()> before;                       // set-up, may be empty
        std::function<QByteArray(const ToolRun&)> expected; // what scc-host must print; checks the client's side too
        int exitCode = 0;
    };
    const Row rows[] = {
        {{"propset", "my:bin", "-F", m_base + "/value", "a.txt", "sub"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"propget", "--strict", "my:bin", "a.txt"}), binary);
             EXPECT_EQ(client({"propget", "--strict", "my:bin", "sub"}), binary);
             return QByteArray("property 'my:bin' set on 'a.txt'\nproperty 'my:bin' set on 'sub'\n");
         }},
        {{"propset", "note", "two\nlines\n", "a.txt"}, nullptr,
         [&](const ToolRun&) { return QByteArray("property 'note' set on 'a.txt'\n"); }},
        {{"propdel", "my:bin", "a.txt"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"proplist", "a.txt"}), "Properties on 'a.txt':\n  note\n");
             return QByteArray("property 'my:bin' deleted from 'a.txt'\n");
         }},
        {{"proplist", "a.txt"}, nullptr, [&](const ToolRun&) { return client({"proplist", "-v", "a.txt"}); }},
        {{"proplist", "sub"}, nullptr,
         [&](const ToolRun&) {
             return "Properties on 'sub':\n  my:bin (binary, " + QByteArray::number(binary.size()) + " bytes, base64)\n    "
                 + binary.toBase64() + "\n";
         }},
        {{"ignore", "build.log", "sub/x[1].tmp"}, [&] { edit("build.log", "log\n"); edit("sub/x[1].tmp", "tmp\n"); },
         [&](const ToolRun&) {
             EXPECT_EQ(client({"status"}), propertiesOnly);
             return QByteArray("ignored build.log\nignored sub/x[1].tmp\n");
         }},
        {{"changelist", "fixes", "a.txt"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"status"}), " M      .\n M      sub\n\n--- Changelist 'fixes':\n M      a.txt\n");
             return QByteArray("added a.txt to changelist fixes\n");
         }},
        {{"changelist", "--remove", "a.txt"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"status"}), propertiesOnly);
             return QByteArray("removed a.txt from its changelist\n");
         }},
        // r3 the properties, r4 to r6 a.txt's text.
        {{"log", ".", "--limit", "2"},
         [&] {
             client({"commit", "-m", "properties"});
             for (const char* message : {"first edit", "the Needle edit", "last edit"}) {
                 edit("a.txt", message);
                 client({"commit", "-m", message});
             }
         },
         [&](const ToolRun&) { return history({"--limit", "2"}); }},
        {{"log", ".", "--from", "4", "--limit", "2"}, nullptr,
         [&](const ToolRun&) { return history({"-r", "4:1", "--limit", "2"}); }},
        {{"log", "a.txt", "--search", "needle"}, nullptr,
         [&](const ToolRun&) { return printedLog(clientLog("svn", root, trunk + "/a.txt", {"--search", "needle"})); }},
        // The client's lines, sorted by path.
        {{"changed", ".", "-r", "1:5"}, nullptr,
         [&](const ToolRun&) { return summary({"-r", "1:5", "."}); }},
        {{"changed", "sub", "-r", "1"}, nullptr,
         [&](const ToolRun&) { return summary({"-r", "1:HEAD", "sub"}); }},
        {{"depth", "sub", "empty"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"info", "--show-item", "depth", "sub"}), "empty\n");
             EXPECT_FALSE(QFileInfo::exists(root + "/sub/b.txt"));
             return QByteArray("set the depth of sub to empty\n");
         }},
        {{"depth", "sub", "immediates"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"info", "--show-item", "depth", "sub"}), "immediates\n");
             return QByteArray("set the depth of sub to immediates\n");
         }},
        {{"depth", "sub", "infinity"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"info", "--show-item", "depth", "sub"}), "infinity\n");
             EXPECT_EQ(readBytes(root + "/sub/b.txt"), "bee\n");
             return QByteArray("set the depth of sub to infinity\n");
         }},
        // The patch's bytes are the client's; reverted, the patch brings the changes back.
        {{"patch-create", "."},
         [&] {
             edit("a.txt", "patched\n");
             edit("sub/b.txt", "bee\nsee\n");
             edit("new.txt", "new\n");
             client({"add", "new.txt"});
         },
         [&](const ToolRun& run) {
             const QByteArray clientPatch = client({"diff", "--git", "--show-copies-as-adds"});
             writeBytes(patch, run.out);
             changedBefore = client({"diff"});
             client({"revert", "-R", "."});
             QFile::remove(root + "/new.txt");
             clientDryRun = patchItems({"--strip", "1", patch});
             EXPECT_TRUE(clientDryRun.contains("A         new.txt\n")) << clientDryRun.toStdString();
             return clientPatch;
         }},
        {{"patch-apply", patch, "--dry-run"}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"status"}), "");
             return clientDryRun + "(dry run: nothing changed)\n";
         }},
        {{"patch-apply", patch}, nullptr,
         [&](const ToolRun&) {
             EXPECT_EQ(client({"diff"}), changedBefore);
             return clientDryRun;
         }},
        {{"patch-apply", patch, "--strip", "0", "--dry-run"}, nullptr,
         [&](const ToolRun& run) {
             EXPECT_TRUE(run.err.startsWith("scc-host: patch-apply ")) << run.err.toStdString();
             return patchItems({patch});
         },
         1},
        {{"upgrade"}, nullptr, [&](const ToolRun&) { return QByteArray("upgraded the working copy\n"); }},
    };
    for (const Row& row : rows) {
        if (row.before)
            row.before();
        const ToolRun run =
            runTool(SCC_HOST_PATH, QStringList{"--plugin", PLUGIN_PATH, "--root", root} + row.arguments);
        const std::string name = row.arguments.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, row.exitCode) << name << ": " << run.err.toStdString();
        EXPECT_EQ(run.out, row.expected(run)) << name;
    }
}

TEST_F(HostProgram, SaysWhatIsWrong)
{
    writeBytes(m_base + "/password", "ann-secret\n");
    const QString notExecutable = m_base + "/password";
    // A client that cannot be run fails the first provider run, here the login's.
    const QStringList login{"--url", m_url, "--user", "ann", "--password-file", notExecutable, "login"};
    const QByteArray cannotRun = "scc-host: login failed\n  info: cannot run '";
    struct Case { QStringList arguments; int exitCode; QByteArray message; };
    const Case cases[] = {
        {QStringList{"--svn", "/no/such/svn"} + login, 1, cannotRun + "/no/such/svn': not found\n"},
        {QStringList{"--svn", "scc-no-such-client"} + login, 1, cannotRun + "scc-no-such-client': not found\n"},
        {QStringList{"--svn", m_base} + login, 1, cannotRun + m_base.toUtf8() + "': not executable\n"},
        {QStringList{"--svn", notExecutable} + login, 1, cannotRun + notExecutable.toUtf8() + "': not executable\n"},
        {{"--url", m_url, "--user", "ann", "login"}, 2, "scc-host: --user needs --password-file or --password-stdin\n"},
        {{"--root", m_base, "lock", "a.txt"}, 2, "scc-host: lock needs --locking yes"},
        {{"--locking", "no", "--root", m_base, "unlock", "a.txt"}, 2, "scc-host: unlock needs --locking yes"},
        {{"--root", m_base, "status", "a.txt"}, 1, "scc-host: " + m_base.toUtf8() + " is not a working copy"},
        {{"--plugin", VERSION_ONE_PLUGIN_PATH, "commit", "a.txt", "-m", "text"}, 1,
         "scc-host: commit needs version 2 of the provider interface, and " VERSION_ONE_PLUGIN_PATH
         " offers version 1 only"},
        {{"--plugin", VERSION_TWO_PLUGIN_PATH, "info", "a.txt"}, 1,
         "scc-host: info needs version 3 of the provider interface, and " VERSION_TWO_PLUGIN_PATH
         " offers an older one only"},
        {{"log", "a.txt", "--limit", "all"}, 2, "scc-host: --limit takes a whole number of entries, not \"all\"\n"},
        {{"--plugin", VERSION_TWO_PLUGIN_PATH, "log", "a.txt", "--search", "x"}, 1,
         "scc-host: log needs version 3 of the provider interface"},
        // Arguments that do not fit are refused before the root is bound: nothing runs.
        {{"--root", m_base, "propset", "note", "a.txt"}, 2,
         "scc-host: usage: propset NAME VALUE PATH... or propset NAME -F FILE PATH...\n"},
        {{"--root", m_base, "propset", "note", "a.txt", "-F"}, 2, "scc-host: -F needs a value\n"},
        {{"--root", m_base, "depth", "sub", "deep"}, 2,
         "scc-host: usage: depth PATH empty|files|immediates|infinity|exclude\n"},
        {{"--root", m_base, "changelist", "a.txt"}, 2, "scc-host: usage: changelist NAME PATH..."},
        {{"--root", m_base, "changed", ".", "-r", "3:"}, 2, "scc-host: usage: changed PATH -r FROM[:TO]\n"},
        {{"--root", m_base, "patch-apply", "a.patch", "--strip", "-1"}, 2,
         "scc-host: --strip takes a whole number of name components, not \"-1\"\n"},
        {{"--root", m_base, "log", ".", "b.txt", "--from", "3"}, 2, "scc-host: usage: log PATH [--from REV]"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(SCC_HOST_PATH, QStringList{"--plugin", PLUGIN_PATH} + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(c.message)) << run.err.toStdString();
    }
}

TEST_F(HostProgram, AskAsksOnATerminalOnlyWithThePasswordUnseen)
{
    importFile("project/a.txt", "a\n");
    const QStringList arguments{"--plugin", PLUGIN_PATH, "--url", m_url, "--ask", "ls", "project"};

    // Standard input a pipe: nothing is asked, nothing read; the server's refusal at once.
    const ToolRun piped = runTool(SCC_HOST_PATH, arguments, QString(), "ann\nann-secret\nno\n");
    EXPECT_EQ(piped.exitCode, 1);
    EXPECT_TRUE(piped.err.contains("E170001")) << piped.err.toStdString();
    EXPECT_FALSE(piped.err.contains("User")) << piped.err.toStdString();

    // Standard input a terminal: each question, answered as a person types.
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const int typing = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
    ASSERT_GE(typing, 0);
    QProcess host;
    host.setProcessEnvironment(m_environment);
    host.setChildProcessModifier([typing] { ::dup2(typing, STDIN_FILENO); });
    host.setReadChannel(QProcess::StandardError);
    host.start(SCC_HOST_PATH, arguments);
    ASSERT_TRUE(host.waitForStarted());
    ::close(typing);
    QByteArray asked;
    const auto answer = [&](const QByteArray& prompt, const QByteArray& typed) {
        while (!asked.contains(prompt) && host.waitForReadyRead(20000))
            asked += host.readAllStandardError();
        ASSERT_TRUE(asked.contains(prompt)) << asked.toStdString();
        ASSERT_EQ(::write(terminal, typed.constData(), size_t(typed.size())), typed.size());
    };
    answer("User: ", "ann\n");
    answer("Password for 'ann': ", "ann-secret\n");
    answer("(yes/no)? [no] ", "\n");
    ASSERT_TRUE(host.waitForFinished(20000));
    EXPECT_EQ(host.exitCode(), 0) << (asked + host.readAllStandardError()).toStdString();
    EXPECT_EQ(host.readAllStandardOutput(), "a.txt\n");
    EXPECT_TRUE(asked.contains("The server asks who you are for <svn://127.0.0.1:")) << asked.toStdString();
    // What the terminal shows: the user typed, the password not.
    ::fcntl(terminal, F_SETFL, O_NONBLOCK);
    QByteArray shown(4096, '\0');
    const ssize_t got = ::read(terminal, shown.data(), size_t(shown.size()));
    shown.truncate(got > 0 ? got : 0);
    ::close(terminal);
    EXPECT_TRUE(shown.contains("ann")) << shown.toStdString();
    EXPECT_FALSE(shown.contains("ann-secret")) << shown.toStdString();
}

TEST_F(HostProgram, DemoRunsTheLifeCycleAndCleansUp)
{
    const QString temporary = m_base + "/tmp";
    ASSERT_TRUE(QDir().mkpath(temporary));
    QProcessEnvironment environment = m_environment;
    environment.insert("TMPDIR", temporary);
    ToolRun run = runTool(SCC_HOST_PATH, {"--plugin", PLUGIN_PATH, "demo"}, QString(), QByteArray(), &environment);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.endsWith("\ndemo: 92 steps, 92 as expected, 0 failed\n")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("FAIL"));
    EXPECT_TRUE(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());

    // A folder to keep the demo in must be empty: what is there stays.
    writeBytes(m_base + "/kept.txt", "mine\n");
    run = runTool(SCC_HOST_PATH, {"--plugin", PLUGIN_PATH, "--keep", m_base, "demo"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(readBytes(m_base + "/kept.txt"), "mine\n");
}

TEST(ClientLog, AddsItsRuleToTheHostsRules)
{
    QLoggingCategory::setFilterRules("host.loud.debug=true\nhost.quiet.debug=false");
    QLoggingCategory loud("host.loud"), quiet("host.quiet"), client("svnscc.client");
    enableClientLog();
    enableClientLog(); // a second call changes nothing
    EXPECT_TRUE(client.isDebugEnabled());
    EXPECT_TRUE(loud.isDebugEnabled());
    EXPECT_FALSE(quiet.isDebugEnabled());
    // Rules the host sets later apply too, and the command log stays on.
    QLoggingCategory::setFilterRules("host.loud.debug=false");
    EXPECT_TRUE(client.isDebugEnabled());
    EXPECT_FALSE(loud.isDebugEnabled());
    EXPECT_TRUE(QLoggingCategory("svnscc.client").isDebugEnabled()); // one made after
}
