// Branches and merges through version 3, each compared with the real
// client's own answer: info, copy, switch, merge, merge information, locks
// taken over, relocation, and the commit of half a move.

#include "E2EFixture.h"

#include <QRegularExpression>
#include <QUrl>

using namespace SourceCodeControl;

namespace {

// A branch name holding a blank, "@", "%" (with two hex digits after it,
// which a URL not encoded would turn into "A") and a non-ASCII letter.
const QString s_branch = QStringLiteral("branches/b 1@ü%41");
// A local folder with a blank, "@", "%" and a non-ASCII letter (a switch
// takes its local target as written: "s p@ü%@" would be another name).
const QString s_folder = QStringLiteral("s p@ü%");

class BranchesE2ETest : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        importFile("trunk/a.txt", "one\ntwo\nthree\n");
        importFile("trunk/sub/b.txt", "bee\n");
        importFile("trunk/" + s_folder + "/c.txt", "sea\n");
        svnOk({"mkdir", "-m", "tags", urlOf("tags")});
        m_root = m_base + "/ann";
        svnOk({"checkout", urlOf("trunk"), m_root}, "ann");
        m_v3 = newProvider3(m_url);
        ASSERT_NE(m_v3, nullptr);
        ASSERT_TRUE(m_v3->login("ann", passwordOf("ann"), m_url));
        ASSERT_TRUE(m_v3->setRoots(m_root.split('/', Qt::SkipEmptyParts)));
        m_provider = m_v3; // the fixture's comparisons with the client ask this one
    }
    QString error()
    {
        QString command;
        return m_v3->getLastError(command);
    }
    /** What `svn info --show-item ITEM` says of `target`. */
    QString clientInfo(const QString& item, const QString& target)
    {
        return QString::fromUtf8(svnOk({"info", "--show-item", item, target}, "ann")).trimmed();
    }
    /** Who holds the repository's lock on `url`, as "svn info URL" says ("" for nobody). */
    QString lockOwner(const QString& url)
    {
        static const QRegularExpression s_owner("^Lock Owner: (.*)$", QRegularExpression::MultilineOption);
        return s_owner.match(QString::fromUtf8(svnOk({"info", url}, "ann"))).captured(1);
    }
    /** The URL of a repository path with every name percent-encoded, as the client prints it. */
    QString encodedURL(const QString& path) const
    {
        QStringList names;
        for (const QString& name : path.split('/'))
            names << QString::fromLatin1(QUrl::toPercentEncoding(name, "!$&'()*+,;=:@"));
        return m_url + '/' + names.join('/');
    }

    QString m_root;
    SourceCodeControlSystemProviderInterface3* m_v3 = nullptr;
};

TEST_F(BranchesE2ETest, CopySwitchAndInfoAsTheClientSeesThem)
{
    // A branch: one revision, as the client's log shows; the same target again is refused.
    QString revision;
    ASSERT_TRUE(m_v3->copy("trunk", "", s_branch, "make a branch", revision)) << error().toStdString();
    EXPECT_EQ(revision, youngest());
    const QString log = QString::fromUtf8(svnOk({"log", "-v", "-l1", urlOf("branches")}));
    EXPECT_TRUE(log.contains("A /" + s_branch + " (from /trunk:")) << log.toStdString();
    EXPECT_FALSE(m_v3->copy("trunk", "", s_branch, "again", revision));
    EXPECT_TRUE(error().contains("exists already")) << error().toStdString();
    EXPECT_EQ(youngest(), revision);

    // The whole working copy to the branch: the client's URL, and the roots
    // follow. The switch, and at most a local re-read of what the status
    // cache holds (at the newest revision the server has nothing more to say).
    QStringList conflicted;
    FileStatus cached;
    ASSERT_TRUE(statusOf({"a.txt"}, cached));
    countClientRuns(m_v3);
    ASSERT_TRUE(m_v3->switchTo("", s_branch, "", conflicted)) << error().toStdString();
    ASSERT_EQ(clientRuns().size(), 2) << clientRuns().join('\n').toStdString();
    EXPECT_TRUE(clientRuns()[0].startsWith("switch "));
    EXPECT_FALSE(clientRuns()[1].contains("--show-updates")) << clientRuns()[1].toStdString();
    EXPECT_EQ(clientInfo("url", m_root), encodedURL(s_branch));
    QStringList locals;
    QStringList repositoryRoots;
    m_v3->getRoots(locals, repositoryRoots);
    EXPECT_EQ(repositoryRoots, s_branch.split('/'));

    // A subfolder back to trunk: switched, as the client's status says.
    ASSERT_TRUE(m_v3->switchTo("sub", "trunk/sub", "", conflicted));
    EXPECT_EQ(clientInfo("url", m_root + "/sub"), urlOf("trunk/sub"));
    QList<Change> changes;
    ASSERT_TRUE(m_v3->changes("", changes));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0].path, "sub");
    EXPECT_EQ(changes[0].statusColumns.mid(4, 1), "S");
    EXPECT_EQ(differenceWithClient(m_root, "sub/b.txt"), QString());
    EXPECT_EQ(differenceWithClient(m_root, "a.txt"), QString());

    ASSERT_TRUE(m_v3->switchTo(s_folder, "trunk/" + s_folder, "", conflicted)) << error().toStdString();
    EXPECT_EQ(clientInfo("url", m_root + '/' + s_folder + '@'), encodedURL("trunk/" + s_folder));

    // Unrelated: the client's refusal, nothing changed.
    svnOk({"mkdir", "-m", "unrelated", urlOf("elsewhere")});
    EXPECT_FALSE(m_v3->switchTo("sub", "elsewhere", "", conflicted));
    EXPECT_TRUE(error().contains("E195012")) << error().toStdString();
    EXPECT_EQ(clientInfo("url", m_root + "/sub"), urlOf("trunk/sub"));

    // info: from the working copy alone, in the order asked.
    writeBytes(m_root + "/new.txt", "new\n");
    ASSERT_TRUE(m_v3->add({"new.txt"}));
    QList<ItemInfo> infos;
    ASSERT_TRUE(m_v3->info({"sub/b.txt", "new.txt", ""}, infos)) << error().toStdString();
    ASSERT_EQ(infos.size(), 3);
    EXPECT_EQ(infos[0].path, "sub/b.txt");
    EXPECT_EQ(infos[0].kind, "file");
    EXPECT_EQ(infos[0].repositoryPath, "trunk/sub/b.txt");
    EXPECT_EQ(infos[0].url, urlOf("trunk/sub/b.txt"));
    EXPECT_EQ(infos[0].repositoryRoot, m_url);
    EXPECT_EQ(infos[0].revision, clientInfo("revision", m_root + "/sub/b.txt"));
    EXPECT_EQ(infos[0].lastChangedAuthor, "bob");
    EXPECT_EQ(infos[0].lastChangedDate.timeSpec(), Qt::UTC);
    EXPECT_EQ(infos[0].schedule, "normal");
    EXPECT_EQ(infos[0].depth, "infinity");
    EXPECT_EQ(infos[1].schedule, "add");
    EXPECT_EQ(infos[1].revision, "");
    EXPECT_EQ(infos[2].path, "");
    EXPECT_EQ(infos[2].kind, "dir");
    EXPECT_EQ(infos[2].repositoryPath, s_branch);
    EXPECT_EQ(infos[2].repositoryUuid, clientInfo("repos-uuid", m_root));
}

TEST_F(BranchesE2ETest, MergesAsTheClientMakesThem)
{
    QString branchRevision;
    ASSERT_TRUE(m_v3->copy("trunk", "", s_branch, "branch", branchRevision));
    const QString first = changeTrunk("ONE\ntwo\nthree\n");
    const QString second = changeTrunk("ONE\nTWO\nthree\n");
    const QString third = changeTrunk("ONE\nTWO\nTHREE\n");
    struct Case
    {
        const char* name;
        QStringList revisions;   // as merge() takes them
        QStringList clientRange; // the client's own arguments for the same merge
    };
    const Case cases[] = {
        {"sync", {}, {}},
        {"cherry-pick", {second}, {"-c", second}},
        {"range", {first + "-" + third}, {"-c", first + "-" + third}},
        {"two at once", {first, third}, {"-c", first + "," + third}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The provider's working copy and the client's, both of the branch.
        const QString mine = m_base + "/mine" + QString::number(n);
        const QString theirs = m_base + "/theirs" + QString::number(n++);
        svnOk({"checkout", encodedURL(s_branch) + "@", mine}, "ann");
        svnOk({"checkout", encodedURL(s_branch) + "@", theirs}, "ann");
        ASSERT_TRUE(m_v3->setRoots(mine.split('/', Qt::SkipEmptyParts)));
        QList<ItemChange> preview;
        QStringList conflicted;
        ASSERT_TRUE(m_v3->merge("", "trunk", c.revisions, true, false, preview, conflicted)) << error().toStdString();
        EXPECT_TRUE(svnOk({"status", mine}, "ann").isEmpty()) << "a dry run changes nothing";
        QList<ItemChange> changes;
        ASSERT_TRUE(m_v3->merge("", "trunk", c.revisions, false, false, changes, conflicted)) << error().toStdString();
        EXPECT_TRUE(conflicted.isEmpty());
        // The client's own dry run and merge of the same revisions, item lines alone.
        const auto itemLines = [](const QByteArray& printed) {
            QStringList lines;
            for (const QString& line : QString::fromUtf8(printed).split('\n', Qt::SkipEmptyParts))
                if (!line.startsWith("---"))
                    lines << line;
            return lines;
        };
        const auto linesOf = [](const QList<ItemChange>& list) {
            QStringList lines;
            for (const ItemChange& change : list)
                lines << change.action + ' ' + (change.path.isEmpty() ? "." : change.path);
            return lines;
        };
        const QStringList arguments = c.clientRange + QStringList{urlOf("trunk"), "."};
        EXPECT_EQ(linesOf(preview), itemLines(svnOk(QStringList{"merge", "--dry-run"} + arguments, "ann", theirs)));
        EXPECT_EQ(linesOf(changes), itemLines(svnOk(QStringList{"merge"} + arguments, "ann", theirs)));
        EXPECT_EQ(svnOk({"diff"}, "ann", mine), svnOk({"diff"}, "ann", theirs));
        EXPECT_EQ(svnOk({"propget", "svn:mergeinfo", mine}, "ann"), svnOk({"propget", "svn:mergeinfo", theirs}, "ann"));
    }

    // Merge information in both forms, as the client gives it.
    const QString mine = m_base + "/mine0";
    ASSERT_TRUE(m_v3->setRoots(mine.split('/', Qt::SkipEmptyParts)));
    const QString other = m_base + "/mine1";
    for (bool merged : {true, false}) {
        QStringList revisions;
        ASSERT_TRUE(m_v3->setRoots(other.split('/', Qt::SkipEmptyParts)));
        ASSERT_TRUE(m_v3->mergeInfo("", "trunk", merged, revisions)) << error().toStdString();
        QStringList client;
        for (const QString& line : QString::fromUtf8(svnOk({"mergeinfo", "--show-revs", merged ? "merged" : "eligible",
                                                            urlOf("trunk"), other}, "ann"))
                                       .split('\n', Qt::SkipEmptyParts))
            client << line.mid(1);
        EXPECT_EQ(revisions, client);
        EXPECT_EQ(revisions.size(), merged ? 1 : 2);
    }

    // Record only: the merge information alone; a reverse merge undoes a revision.
    const QString fresh = m_base + "/fresh";
    svnOk({"checkout", encodedURL(s_branch) + "@", fresh}, "ann");
    ASSERT_TRUE(m_v3->setRoots(fresh.split('/', Qt::SkipEmptyParts)));
    QList<ItemChange> changes;
    QStringList conflicted;
    ASSERT_TRUE(m_v3->merge("", "trunk", {second}, false, true, changes, conflicted));
    EXPECT_EQ(QString::fromUtf8(svnOk({"status", fresh}, "ann")), " M      " + fresh + "\n");

    // A mixed-revision working copy: the client's refusal, nothing changed.
    const QString mixed = m_base + "/mixed";
    svnOk({"checkout", encodedURL(s_branch) + "@", mixed}, "ann");
    svnOk({"update", "-r", branchRevision, mixed + "/sub"}, "ann");
    svnOk({"update", "-r", third, mixed + "/a.txt"}, "ann");
    ASSERT_TRUE(m_v3->setRoots(mixed.split('/', Qt::SkipEmptyParts)));
    EXPECT_FALSE(m_v3->merge("", "trunk", {}, false, false, changes, conflicted));
    EXPECT_TRUE(error().contains("E195020")) << error().toStdString();
    EXPECT_TRUE(svnOk({"status", mixed}, "ann").isEmpty());
    EXPECT_FALSE(m_v3->merge("", "trunk", {"4-x"}, false, false, changes, conflicted));
}

TEST_F(BranchesE2ETest, ConflictsLocksRelocationAndHalfAMove)
{
    // A text conflict: the three files, each with the client's text.
    changeTrunk("one\nTHEIRS\nthree\n");
    writeBytes(m_root + "/a.txt", "one\nMINE\nthree\n");
    QStringList conflicted;
    ASSERT_TRUE(m_v3->update({""}, "", conflicted));
    // A tree conflict: bob deletes what ann edited; a property conflict on sub.
    svnOk({"delete", "-m", "gone", urlOf("trunk/sub/b.txt")});
    writeBytes(m_root + "/sub/b.txt", "edited\n");
    svnOk({"propset", "p", "mine", m_root + "/sub"}, "ann");
    const QString bobs = m_base + "/bob";
    svnOk({"update", bobs});
    svnOk({"propset", "p", "theirs", bobs + "/sub"});
    svnOk({"commit", "-m", "prop", bobs});
    ASSERT_TRUE(m_v3->update({""}, "", conflicted));
    QList<ItemInfo> infos;
    ASSERT_TRUE(m_v3->info({"a.txt", "sub/b.txt", "sub"}, infos)) << error().toStdString();
    ASSERT_EQ(infos.size(), 3);
    ASSERT_EQ(infos[0].conflicts.size(), 1);
    const ConflictInfo& text = infos[0].conflicts[0];
    EXPECT_EQ(text.kind, "text");
    EXPECT_EQ(readBytes(m_root + '/' + text.mineFile), "one\nMINE\nthree\n");
    EXPECT_EQ(readBytes(m_root + '/' + text.theirsFile), "one\nTHEIRS\nthree\n");
    EXPECT_EQ(readBytes(m_root + '/' + text.baseFile), "one\ntwo\nthree\n");
    ASSERT_EQ(infos[1].conflicts.size(), 1);
    EXPECT_EQ(infos[1].conflicts[0].kind, "tree");
    const QString plain = QString::fromUtf8(svnOk({"info", "sub/b.txt"}, "ann", m_root));
    EXPECT_TRUE(plain.contains("Tree conflict: " + infos[1].conflicts[0].description + '\n')) << plain.toStdString();
    ASSERT_EQ(infos[2].conflicts.size(), 1);
    EXPECT_EQ(infos[2].conflicts[0].kind, "property");
    EXPECT_TRUE(QFileInfo::exists(m_root + '/' + infos[2].conflicts[0].rejectFile));
    svnOk({"resolve", "-R", "--accept", "working", m_root}, "ann");
    svnOk({"revert", "-R", m_root}, "ann");
    svnOk({"update", m_root}, "ann");

    // Locks: another's lock refused, taken over with steal; broken with breakLock.
    svnOk({"lock", "-m", "bob's", urlOf("trunk/a.txt")});
    m_v3->refresh();
    FileStatus before;
    ASSERT_TRUE(statusOf({"a.txt"}, before)); // cached: the lock must read it again
    EXPECT_FALSE(m_v3->lock({"a.txt"}, "mine", false));
    EXPECT_TRUE(m_v3->lock({"a.txt"}, "mine now", true)) << error().toStdString();
    EXPECT_EQ(lockOwner(urlOf("trunk/a.txt")), "ann");
    EXPECT_EQ(differenceWithClient(m_root, "a.txt"), QString()) << "the status cache shows the lock";
    ASSERT_TRUE(m_v3->info({"a.txt"}, infos));
    EXPECT_EQ(infos[0].lockOwner, "ann");
    EXPECT_EQ(infos[0].lockComment, "mine now");
    svnOk({"lock", "--force", "-m", "bob's again", urlOf("trunk/a.txt")});
    EXPECT_FALSE(m_v3->unlock({"a.txt"}, false));
    EXPECT_TRUE(m_v3->unlock({"a.txt"}, true)) << error().toStdString();
    EXPECT_EQ(lockOwner(urlOf("trunk/a.txt")), "");

    // Half a move commits the other half with it.
    ASSERT_TRUE(m_v3->move("a.txt", "moved.txt"));
    QString revision;
    ASSERT_TRUE(m_v3->commit({"moved.txt"}, "moved", revision)) << error().toStdString();
    const QString log = QString::fromUtf8(svnOk({"log", "-v", "-r", revision, m_url}));
    EXPECT_TRUE(log.contains("D /trunk/a.txt") && log.contains("A /trunk/moved.txt (from /trunk/a.txt:"))
        << log.toStdString();

    // The same repository under another URL: later runs go there.
    const QString moved = "file://" + m_base + "/repository";
    ASSERT_TRUE(m_v3->relocate(moved)) << error().toStdString();
    EXPECT_EQ(clientInfo("url", m_root), moved + "/trunk");
    writeBytes(m_root + "/moved.txt", "after the move\n");
    ASSERT_TRUE(m_v3->commit({"moved.txt"}, "after", revision)) << error().toStdString();
    EXPECT_EQ(revision, youngest());
    EXPECT_FALSE(m_v3->relocate(m_base + "/nowhere"));
}

} // namespace
