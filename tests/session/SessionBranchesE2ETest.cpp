// The session's branch and merge calls against the real client and
// svnserve: each future gives what a plain provider gives for the same call
// on a twin working copy, the branch follows a switch and a relocation, and
// the status the calls changed is told.

#include "Session.h"

#include "Finished.h"

#include "E2EFixture.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

using namespace SvnScc;

class SessionBranches : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        importFile("trunk/a.txt", "one\ntwo\nthree\n");
        importFile("trunk/sub/b.txt", "bee\n");
        svnOk({"mkdir", "-m", "branches", urlOf("branches")});
        svnOk({"copy", "-m", "branch", urlOf("trunk"), urlOf("branches/b 1")});
        m_root = m_base + "/session";
        m_twin = m_base + "/twin";
        svnOk({"checkout", urlOf("trunk"), m_root}, "ann");
        svnOk({"checkout", urlOf("trunk"), m_twin}, "ann");
        m_v3 = newProvider3(m_url);
        ASSERT_NE(m_v3, nullptr);
        ASSERT_TRUE(m_v3->login("ann", passwordOf("ann"), m_url));
        ASSERT_TRUE(m_v3->setRoots(m_twin.split('/', Qt::SkipEmptyParts)));

        SessionSettings settings;
        settings.repositoryUrl = m_url;
        settings.user = "ann";
        settings.password = passwordOf("ann");
        settings.timeLimitSeconds = 30;
        m_session = std::make_unique<Session>();
        const Result<QString> opened = finished(m_session->open(m_root, settings));
        ASSERT_TRUE(opened.ok) << opened.error.toStdString();
    }

    QString twinError()
    {
        QString command;
        return m_v3->getLastError(command);
    }

    QString m_root;
    QString m_twin;
    SourceCodeControlSystemProviderInterface3* m_v3 = nullptr;
    std::unique_ptr<Session> m_session;
};

// What both sides must agree on of an item (the URLs differ only by the folder).
QStringList described(const QList<ItemInfo>& infos)
{
    QStringList lines;
    for (const ItemInfo& info : infos)
        lines << QStringList{info.path, info.kind, info.repositoryPath, info.revision, info.lastChangedRevision,
                             info.schedule, info.lockOwner}
                     .join('|');
    return lines;
}

QStringList described(const QList<ItemChange>& changes)
{
    QStringList lines;
    for (const ItemChange& change : changes)
        lines << change.action + change.path;
    return lines;
}

TEST_F(SessionBranches, EachCallGivesWhatTheProviderGivesAndTheBranchFollows)
{
    Session& session = *m_session;
    EXPECT_EQ(session.branch(), "trunk");
    QSignalSpy branches(&session, &Session::branchChanged);
    QSignalSpy changed(&session, &Session::statusChanged);
    ASSERT_TRUE(finished(session.status({"a.txt", "sub/b.txt"})).known);

    // info, from the working copy alone.
    const Result<QList<ItemInfo>> info = finished(session.info({"", "a.txt", "sub"}));
    ASSERT_TRUE(info.ok) << info.error.toStdString();
    QList<ItemInfo> twinInfo;
    ASSERT_TRUE(m_v3->info({"", "a.txt", "sub"}, twinInfo));
    EXPECT_EQ(described(info.value), described(twinInfo));
    ASSERT_EQ(info.value.size(), 3);
    EXPECT_EQ(info.value.at(1).url, urlOf("trunk/a.txt"));

    // copy: one new revision; an existing target refused.
    const Result<QString> copied = finished(session.copy("trunk", "tags/1.0", "tag it"));
    ASSERT_TRUE(copied.ok) << copied.error.toStdString();
    EXPECT_EQ(copied.value, youngest());
    EXPECT_FALSE(finished(session.copy("trunk", "tags/1.0", "again")).ok);
    QString twinRevision;
    EXPECT_EQ(m_v3->copy("trunk", "", "tags/1.0", "again", twinRevision), false);

    // Two trunk changes to merge later.
    const QString first = changeTrunk("ONE\ntwo\nthree\n");
    const QString second = changeTrunk("ONE\ntwo\nTHREE\n");

    // switch the root: the branch follows, once.
    const Result<QStringList> switched = finished(session.switchTo("", "branches/b 1"));
    ASSERT_TRUE(switched.ok) << switched.error.toStdString();
    QStringList twinConflicted;
    ASSERT_TRUE(m_v3->switchTo("", "branches/b 1", "", twinConflicted)) << twinError().toStdString();
    EXPECT_EQ(switched.value, twinConflicted);
    EXPECT_EQ(session.branch(), "branches/b 1");
    ASSERT_EQ(branches.size(), 1);
    EXPECT_EQ(branches.at(0).at(0).toString(), "branches/b 1");
    EXPECT_EQ(QString::fromUtf8(svnOk({"info", "--show-item", "relative-url", m_root}, "ann")).trimmed(),
              "^/branches/b%201");
    // A switch refused changes no branch.
    EXPECT_FALSE(finished(session.switchTo("", "no/such/place")).ok);
    EXPECT_EQ(branches.size(), 1);

    // mergeInfo in both forms.
    for (const bool merged : {false, true}) {
        const Result<QStringList> revisions = finished(session.mergeInfo("", "trunk", merged));
        ASSERT_TRUE(revisions.ok) << revisions.error.toStdString();
        QStringList twinRevisions;
        ASSERT_TRUE(m_v3->mergeInfo("", "trunk", merged, twinRevisions));
        EXPECT_EQ(revisions.value, twinRevisions);
        EXPECT_EQ(revisions.value, merged ? QStringList() : QStringList({first, second}));
    }

    // A dry run changes nothing and lists what the merge then does.
    const Result<MergeResult> preview = finished(session.merge("", "trunk", {first}, true, false));
    ASSERT_TRUE(preview.ok) << preview.error.toStdString();
    QList<ItemChange> twinChanges;
    ASSERT_TRUE(m_v3->merge("", "trunk", {first}, true, false, twinChanges, twinConflicted));
    EXPECT_EQ(described(preview.value.changes), described(twinChanges));
    EXPECT_EQ(described(preview.value.changes), QStringList{"U   a.txt"});
    EXPECT_EQ(svnOk({"status", m_root}, "ann"), QByteArray());
    changed.clear();
    const Result<MergeResult> merged = finished(session.merge("", "trunk", {first}, false, false));
    ASSERT_TRUE(merged.ok) << merged.error.toStdString();
    EXPECT_EQ(described(merged.value.changes).mid(0, 1), QStringList{"U   a.txt"});
    EXPECT_EQ(readBytes(m_root + "/a.txt"), QByteArray("ONE\ntwo\nthree\n"));
    bool toldModified = false;
    for (const QList<QVariant>& signal : changed) {
        const Status status = signal.at(0).value<Status>();
        toldModified = toldModified || (status.path == "a.txt" && status.modified);
    }
    EXPECT_TRUE(toldModified);
    svnOk({"revert", "-R", m_root}, "ann");

    // Locks: taken over from the twin and broken back, each one run.
    ASSERT_TRUE(m_v3->lock({"a.txt"}, "twin's", false)) << twinError().toStdString();
    EXPECT_FALSE(finished(session.lock({"a.txt", "sub/b.txt"}, "mine", false)).ok);
    const Outcome stolen = finished(session.lock({"a.txt", "sub/b.txt"}, "mine", true));
    ASSERT_TRUE(stolen.ok) << stolen.error.toStdString();
    const Result<QList<ItemInfo>> locked = finished(session.info({"a.txt"}));
    ASSERT_TRUE(locked.ok);
    EXPECT_EQ(locked.value.at(0).lockOwner, "ann");
    EXPECT_EQ(locked.value.at(0).lockComment, "mine");
    EXPECT_TRUE(m_v3->lock({"a.txt"}, "back", true)) << twinError().toStdString();
    EXPECT_FALSE(finished(session.unlock({"a.txt"}, false)).ok);
    EXPECT_TRUE(finished(session.unlock({"a.txt", "sub/b.txt"}, true)).ok);
    EXPECT_EQ(svn({"info", "--show-item", "lock-owner", urlOf("branches/b 1/a.txt")}, "ann").out.trimmed(),
              QByteArray());

    // relocate: the same repository under another URL; the branch stays and is told no change.
    const QString moved = "file://" + m_base + "/repository";
    ASSERT_TRUE(finished(session.relocate(moved)).ok);
    EXPECT_EQ(QString::fromUtf8(svnOk({"info", "--show-item", "url", m_root}, "ann")).trimmed(),
              moved + "/branches/b%201");
    EXPECT_EQ(session.branch(), "branches/b 1");
    EXPECT_EQ(branches.size(), 1);
    EXPECT_FALSE(finished(session.relocate(m_base + "/nowhere")).ok);
}

} // namespace
