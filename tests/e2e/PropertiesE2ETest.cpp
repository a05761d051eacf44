// Properties, ignores, changelists, history pages, changes between
// revisions, depth and upgrade through version 3, each compared with the
// real client's own answer.

#include "E2EFixture.h"

#include <QRegularExpression>
#include <QUrl>

using namespace SourceCodeControl;

namespace {

class PropertiesE2ETest : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        importFile("trunk/a.txt", "one\n");
        importFile("trunk/sub/b.txt", "bee\n");
        m_root = m_base + "/ann";
        svnOk({"checkout", urlOf("trunk"), m_root}, "ann");
        m_v3 = newProvider3(m_url);
        ASSERT_NE(m_v3, nullptr);
        ASSERT_TRUE(m_v3->login("ann", passwordOf("ann"), m_url));
        ASSERT_TRUE(m_v3->setRoots(m_root.split('/', Qt::SkipEmptyParts)));
        m_provider = m_v3;
    }
    QString error()
    {
        QString command;
        return m_v3->getLastError(command);
    }
    /** The value of `name` on `path` as the client stores it, byte for byte; null when it is not set. */
    QByteArray stored(const QString& name, const QString& path)
    {
        const ToolRun run = svn({"propget", "--no-newline", name, m_root + '/' + path}, "ann");
        return run.exitCode == 0 ? run.out : QByteArray();
    }
    QString clientInfo(const QString& item, const QString& path)
    {
        return QString::fromUtf8(svnOk({"info", "--show-item", item, m_root + '/' + path}, "ann")).trimmed();
    }

    QString m_root;
    SourceCodeControlSystemProviderInterface3* m_v3 = nullptr;
};

TEST_F(PropertiesE2ETest, ValuesAsTheClientStoresThem)
{
    struct Case
    {
        const char* name;
        QByteArray value;
        bool accepted;
        QByteArray stored; // what the client keeps (null: the value itself)
    };
    const Case cases[] = {
        {"my:binary", QByteArray("x\0y\xff\r\n", 6), true, {}},
        {"my:crlf", "one\r\ntwo\r\n", true, {}},
        {"my:dash", "-leading\tdash", true, {}},
        {"svn:eol-style", "native", true, {}},
        {"svn:ignore", "*.o\r\n*.a", true, "*.o\n*.a\n"},  // normalised by the client
        {"svn:mime-type", "image/png", true, {}},            // only a warning on a text file
        {"svn:eol-style", "bogus", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = qstrcmp(c.name, "svn:ignore") == 0 ? "sub" : "a.txt";
        svn({"propdel", c.name, m_root + '/' + path}, "ann");
        EXPECT_EQ(m_v3->setProperty({path}, c.name, c.value), c.accepted) << error().toStdString();
        const QByteArray expected = !c.accepted ? QByteArray() : c.stored.isNull() ? c.value : c.stored;
        EXPECT_EQ(stored(c.name, path), expected);
        QList<Property> read;
        ASSERT_TRUE(m_v3->properties(path, read)) << error().toStdString();
        const auto found = std::find_if(read.begin(), read.end(), [&](const Property& p) { return p.name == c.name; });
        EXPECT_EQ(found == read.end() ? QByteArray() : found->value, expected);
        if (!c.accepted) {
            EXPECT_TRUE(error().contains("E135001")) << error().toStdString();
        }
    }
    // Sorted by name, as the client lists them.
    QList<Property> read;
    ASSERT_TRUE(m_v3->properties("a.txt", read));
    QStringList names;
    for (const Property& p : read)
        names << p.name;
    QStringList listed = QString::fromUtf8(svnOk({"proplist", "-q", m_root + "/a.txt"}, "ann")).split('\n', Qt::SkipEmptyParts);
    for (QString& name : listed)
        name = name.trimmed();
    listed.sort();
    EXPECT_EQ(names, listed);

    // Several targets in one run, one of them unknown: false, the others set all the same.
    EXPECT_FALSE(m_v3->setProperty({"sub/b.txt", "nothere.txt"}, "my:two", "2"));
    EXPECT_TRUE(error().contains("nothere.txt")) << error().toStdString();
    EXPECT_EQ(stored("my:two", "sub/b.txt"), "2");
    // Deleting: gone; one that is not set is no failure.
    EXPECT_TRUE(m_v3->deleteProperty({"sub/b.txt", "a.txt"}, "my:two")) << error().toStdString();
    EXPECT_TRUE(stored("my:two", "sub/b.txt").isNull());
    // Paths as version 2 takes them.
    EXPECT_FALSE(m_v3->setProperty({}, "my:x", "1"));
    EXPECT_FALSE(m_v3->properties("../x", read));
}

TEST_F(PropertiesE2ETest, IgnoreKeepsPatternsAndHidesTheNamesAlone)
{
    for (const char* name : {"x[1].tmp", "x1.tmp", "y.tmp", "sub/z.tmp"})
        writeBytes(m_root + '/' + name, "scratch\n");
    // The folders are read unchanged first, so that their property change is the provider's to see.
    FileStatus before;
    ASSERT_TRUE(statusOf({"y.tmp"}, before));
    EXPECT_EQ(before.statusText.trimmed(), "?");
    for (const QStringList& folder : {QStringList{"."}, QStringList{"sub"}}) {
        ASSERT_TRUE(statusOf(folder, before));
        EXPECT_EQ(before.statusText.trimmed(), "");
    }
    svnOk({"propset", "svn:ignore", "*.log\n", m_root}, "ann");
    svnOk({"propset", "my:keep", "kept", m_root}, "ann");

    countClientRuns(m_v3);
    ASSERT_TRUE(m_v3->ignore({"x[1].tmp", "y.tmp", "sub/z.tmp"})) << error().toStdString();
    EXPECT_EQ(stored("svn:ignore", ""), "*.log\nx\\[1\\].tmp\ny.tmp\n");
    EXPECT_EQ(stored("svn:ignore", "sub"), "z.tmp\n");
    EXPECT_EQ(stored("my:keep", ""), "kept");
    // The escaped pattern hides that name alone.
    EXPECT_EQ(QString::fromUtf8(svnOk({"status"}, "ann", m_root)).split('\n').filter(QRegularExpression("^\\?")),
              QStringList({"?       x1.tmp"}));
    // One read and one write per folder, then one local re-read of the items and folders.
    const QStringList runs = clientRuns();
    EXPECT_EQ(runs.filter(QRegularExpression("^proplist ")).size(), 2) << runs.join('\n').toStdString();
    EXPECT_EQ(runs.filter(QRegularExpression("^propset ")).size(), 2) << runs.join('\n').toStdString();
    EXPECT_EQ(runs.filter(QRegularExpression("^status --verbose ")).size(), 1) << runs.join('\n').toStdString();
    EXPECT_EQ(runs.size(), 5) << runs.join('\n').toStdString();

    // With no further run: an ignored name as any unversioned one, each
    // folder written (the local root too) as the client now shows it.
    FileStatus after;
    ASSERT_TRUE(statusOf({"y.tmp"}, after));
    EXPECT_FALSE(after.controlled);
    EXPECT_EQ(after.statusText, "");
    for (const char* folder : {".", "sub"}) {
        SCOPED_TRACE(folder);
        ASSERT_TRUE(statusOf({folder}, after));
        const QByteArray client = svnOk({"status", "--depth", "empty", folder}, "ann", m_root);
        EXPECT_EQ(client.left(2), " M");
        EXPECT_EQ(after.statusText, QString::fromUtf8(client.left(after.statusText.size())));
        EXPECT_EQ(after.statusText.trimmed(), "M");
    }
    EXPECT_EQ(clientRuns().size(), runs.size());

    // Again: no duplicate line. A versioned name is refused, nothing written.
    ASSERT_TRUE(m_v3->ignore({"y.tmp"}));
    EXPECT_EQ(stored("svn:ignore", ""), "*.log\nx\\[1\\].tmp\ny.tmp\n");
    EXPECT_FALSE(m_v3->ignore({"x1.tmp", "a.txt"}));
    EXPECT_TRUE(error().contains("a.txt")) << error().toStdString();
    EXPECT_EQ(stored("svn:ignore", ""), "*.log\nx\\[1\\].tmp\ny.tmp\n");
}

TEST_F(PropertiesE2ETest, ChangelistsAsTheClientShowsThem)
{
    writeBytes(m_root + "/a.txt", "changed\n");
    ASSERT_TRUE(m_v3->setChangelist({"a.txt", "sub/b.txt"}, "review")) << error().toStdString();
    EXPECT_EQ(svnOk({"status"}, "ann", m_root), "\n--- Changelist 'review':\nM       a.txt\n        sub/b.txt\n");
    EXPECT_EQ(clientInfo("changelist", "sub/b.txt"), "review");
    QList<ItemInfo> infos;
    ASSERT_TRUE(m_v3->info({"a.txt"}, infos));
    EXPECT_EQ(infos.value(0).changelist, "review");

    // A folder is refused with no run; "" takes a file out.
    countClientRuns(m_v3);
    EXPECT_FALSE(m_v3->setChangelist({"sub"}, "review"));
    EXPECT_TRUE(clientRuns().isEmpty());
    ASSERT_TRUE(m_v3->setChangelist({"a.txt"}, ""));
    EXPECT_EQ(svnOk({"status"}, "ann", m_root), "M       a.txt\n\n--- Changelist 'review':\n        sub/b.txt\n");
    EXPECT_EQ(clientInfo("changelist", "sub/b.txt"), "review");
}

TEST_F(PropertiesE2ETest, HistoryPagesAndSearches)
{
    // Revisions 3 to 14; two of them with messages a search finds.
    const QString source = m_base + "/import.tmp";
    for (int i = 3; i <= 14; ++i) {
        writeBytes(source, "x\n");
        svnOk({"import", "-m", i == 9 ? "Fixed the crash" : i == 4 ? "fixed it again" : "import", source,
               urlOf(QStringLiteral("trunk/f%1.txt").arg(i))});
    }
    svnOk({"update", m_root}, "ann");
    const auto revisionsOf = [](const QByteArray& xml) {
        QStringList revisions;
        const QRegularExpression entry("revision=\"(\\d+)\"");
        for (auto it = entry.globalMatch(QString::fromUtf8(xml)); it.hasNext();)
            revisions << it.next().captured(1);
        return revisions;
    };
    const QStringList all = revisionsOf(svnOk({"log", "--xml", urlOf("trunk")}));
    ASSERT_EQ(all.size(), 14);
    QStringList paged;
    QString from;
    for (int page = 0; page < 3; ++page) {
        QList<LogEntry> entries;
        ASSERT_TRUE(m_v3->logRange("", from, 5, "", entries)) << error().toStdString();
        for (const LogEntry& entry : entries)
            paged << entry.revision;
        if (!entries.isEmpty())
            from = QString::number(entries.last().revision.toInt() - 1);
    }
    EXPECT_EQ(paged, all);

    // The client's limit counts revisions searched; the provider's counts matches.
    const QStringList matches = revisionsOf(svnOk({"log", "--xml", "--search", "FIX*", urlOf("trunk")}));
    ASSERT_EQ(matches, QStringList({"9", "4"}));
    QList<LogEntry> found;
    ASSERT_TRUE(m_v3->logRange("", "", 2, "FIX*", found)) << error().toStdString();
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0].revision + found[1].revision, "94");
    ASSERT_TRUE(m_v3->logRange("", "", 1, "FIX*", found));
    EXPECT_EQ(found.size(), 1);
}

TEST_F(PropertiesE2ETest, ChangedBetweenAsTheClientSummarizes)
{
    const QString first = youngest();
    writeBytes(m_root + "/a.txt", "two\n");
    writeBytes(m_root + "/n@ 1.txt", "new\n");
    svnOk({"add", m_root + "/n@ 1.txt@"}, "ann");
    svnOk({"propset", "p", "v", m_root + "/sub"}, "ann");
    svnOk({"rm", m_root + "/sub/b.txt"}, "ann");
    svnOk({"commit", "-m", "changes", m_root}, "ann");
    const QString second = youngest();
    // The client's own lines, as letters and paths below trunk, sorted.
    QStringList expected;
    for (const QString& line : QString::fromUtf8(svnOk({"diff", "--summarize", urlOf("trunk") + "@" + first,
                                                         urlOf("trunk") + "@" + second}))
                                   .split('\n', Qt::SkipEmptyParts)) {
        const QString path = QUrl::fromPercentEncoding(line.mid(8).toUtf8()).mid(urlOf("trunk").size() + 1);
        expected << path + ' ' + line.left(2).remove(QRegularExpression(" +$"));
    }
    expected.sort();
    QList<ItemChange> changes;
    ASSERT_TRUE(m_v3->changedBetween("", first, second, changes)) << error().toStdString();
    QStringList got;
    for (const ItemChange& change : changes)
        got << change.path + ' ' + change.action;
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got, QStringList({"a.txt M", "n@ 1.txt A", "sub  M", "sub/b.txt D"}));
    // Of one folder: paths relative to it.
    ASSERT_TRUE(m_v3->changedBetween("sub", first, second, changes));
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[0].path + changes[1].path, "b.txt");
}

TEST_F(PropertiesE2ETest, DepthAsTheClientRecordsIt)
{
    ASSERT_TRUE(m_v3->setDepth("sub", Depth::Empty)) << error().toStdString();
    EXPECT_EQ(clientInfo("depth", "sub"), "empty");
    EXPECT_FALSE(QFileInfo::exists(m_root + "/sub/b.txt"));
    ASSERT_TRUE(m_v3->setDepth("sub", Depth::Infinity)) << error().toStdString();
    EXPECT_EQ(clientInfo("depth", "sub"), "infinity");
    EXPECT_TRUE(QFileInfo::exists(m_root + "/sub/b.txt"));

    // Local changes or unversioned items below: refused, nothing lost, no lock left.
    for (const char* name : {"sub/u.txt", "sub/b.txt"}) {
        SCOPED_TRACE(name);
        const QByteArray before = svnOk({"status"}, "ann", m_root);
        writeBytes(m_root + '/' + name, "mine\n");
        const QByteArray changed = svnOk({"status"}, "ann", m_root);
        EXPECT_FALSE(m_v3->setDepth("sub", Depth::Exclude));
        EXPECT_EQ(readBytes(m_root + '/' + name), "mine\n");
        EXPECT_EQ(svnOk({"status"}, "ann", m_root), changed) << "no lock (L) and nothing dropped";
        EXPECT_EQ(clientInfo("depth", "sub"), "infinity");
        svn({"revert", m_root + '/' + name}, "ann");
        QFile::remove(m_root + "/sub/u.txt");
        EXPECT_EQ(svnOk({"status"}, "ann", m_root), before);
    }
    ASSERT_TRUE(m_v3->setDepth("sub", Depth::Exclude)) << error().toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_root + "/sub"));
    EXPECT_EQ(svnOk({"status", "-v", "--depth", "immediates"}, "ann", m_root).contains("sub"), false);
}

TEST_F(PropertiesE2ETest, UpgradeOfAnOlderWorkingCopy)
{
    const QString sample = "/work/shared/data/old-working-copies/upgrade_from_1_7_wc.tar.bz2";
    if (!QFileInfo::exists(sample))
        GTEST_SKIP() << "no working copy of an older format at " << sample.toStdString();
    ASSERT_EQ(runTool("tar", {"-xjf", sample, "-C", m_base}).exitCode, 0);
    const QString old = m_base + "/upgrade_from_1_7_wc";
    auto* provider = newProvider3(m_url);
    m_provider = provider;
    ASSERT_TRUE(provider->setRoots(old.split('/', Qt::SkipEmptyParts))) << lastError().toStdString();
    FileStatus status;
    EXPECT_FALSE(statusOf({"iota"}, status));
    EXPECT_TRUE(lastError().contains("E155036")) << lastError().toStdString();
    ASSERT_TRUE(provider->upgrade()) << lastError().toStdString();
    EXPECT_EQ(svn({"status"}, "ann", old).exitCode, 0);
    EXPECT_TRUE(statusOf({"iota"}, status)) << lastError().toStdString();
    EXPECT_TRUE(status.controlled);
    EXPECT_TRUE(provider->upgrade()) << "a current working copy is no failure";
}

} // namespace

namespace {

TEST_F(PropertiesE2ETest, PatchRoundTripAndRejectedHunk)
{
    importFile("trunk/b.bin", QByteArray("\0\1\2bin", 6));
    svnOk({"update", m_root}, "ann");
    // A binary file changed, a text file changed, a file deleted, a folder
    // added, a property changed on a file and one on the local root (named
    // in the patch by the root's own path, no slash after it).
    writeBytes(m_root + "/b.bin", QByteArray("\0\5\2bin2\0", 8));
    writeBytes(m_root + "/a.txt", "one\ntwo\n");
    svnOk({"propset", "my:root", "r", m_root}, "ann");
    svnOk({"rm", m_root + "/sub/b.txt"}, "ann");
    QDir().mkpath(m_root + "/nd");
    writeBytes(m_root + "/nd/n.txt", "new\n");
    svnOk({"add", m_root + "/nd"}, "ann");
    svnOk({"propset", "my:p", "val", m_root + "/a.txt"}, "ann");
    const QByteArray status = svnOk({"status"}, "ann", m_root);
    const QByteArray diff = svnOk({"diff", "--git"}, "ann", m_root);

    QByteArray patch;
    ASSERT_TRUE(m_v3->createPatch({""}, patch)) << error().toStdString();
    const QByteArray whole = patch;
    EXPECT_EQ(patch, svnOk({"diff", "--git", "--show-copies-as-adds"}, "ann", m_root));
    ASSERT_TRUE(m_v3->revert({""}, true)) << error().toStdString();
    EXPECT_TRUE(QFileInfo::exists(m_root + "/nd/n.txt")) << "a revert leaves an addition on disk";
    QList<ItemChange> changes;
    ASSERT_TRUE(m_v3->applyPatch(patch, -1, true, changes)) << error().toStdString();
    EXPECT_FALSE(changes.isEmpty());
    EXPECT_EQ(svnOk({"status", "-q"}, "ann", m_root), "") << "a dry run changes nothing";
    ASSERT_TRUE(m_v3->applyPatch(patch, -1, false, changes)) << error().toStdString();
    EXPECT_EQ(svnOk({"status"}, "ann", m_root), status);
    EXPECT_EQ(svnOk({"diff", "--git"}, "ann", m_root), diff);

    // The client applies the same patch alike in a working copy of its own.
    const QString other = m_base + "/other";
    svnOk({"checkout", urlOf("trunk"), other}, "ann");
    writeBytes(m_base + "/p.diff", patch);
    svnOk({"patch", "--strip", "1", m_base + "/p.diff"}, "ann", other);
    EXPECT_EQ(svnOk({"diff", "--git"}, "ann", other), diff);

    // A copy goes in as an addition.
    svnOk({"copy", m_root + "/a.txt", m_root + "/c.txt"}, "ann");
    ASSERT_TRUE(m_v3->createPatch({"c.txt"}, patch)) << error().toStdString();
    EXPECT_TRUE(patch.contains("new file mode")) << patch.toStdString();
    svnOk({"revert", "-R", m_root}, "ann");

    // A hunk that does not fit: "C", a reject file, false.
    writeBytes(m_root + "/a.txt", "mine\n");
    QByteArray text;
    ASSERT_TRUE(m_v3->createPatch({"a.txt"}, text));
    svnOk({"revert", m_root + "/a.txt"}, "ann");
    writeBytes(m_root + "/a.txt", "theirs\n");
    EXPECT_FALSE(m_v3->applyPatch(text, -1, false, changes));
    EXPECT_TRUE(error().contains("C         a.txt")) << error().toStdString();
    EXPECT_TRUE(QFileInfo::exists(m_root + "/a.txt.svnpatch.rej"));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0].path + '|' + changes[0].action.trimmed(), "a.txt|C");

    // An unversioned file of other content in the way is left as it is, and refused.
    svnOk({"revert", m_root + "/a.txt"}, "ann");
    writeBytes(m_root + "/nd/n.txt", "other\n");
    EXPECT_FALSE(m_v3->applyPatch(whole, -1, false, changes));
    EXPECT_EQ(readBytes(m_root + "/nd/n.txt"), "other\n");
    EXPECT_TRUE(error().contains("nd/n.txt")) << error().toStdString();
    EXPECT_TRUE(svnOk({"status"}, "ann", m_root).contains("?       nd/n.txt"));
}

} // namespace
