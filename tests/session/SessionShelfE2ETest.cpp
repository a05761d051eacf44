// The shelf through the session against the real client and svnserve:
// changes put aside and brought back byte for byte, a revert undone after
// the session was made anew, and what stays when a shelf does not apply.

#include "Session.h"

#include "Finished.h"

#include "E2EFixture.h"
#include "FileBytes.h"
#include "ScopedVariable.h"

#include <memory>

namespace {

using namespace SvnScc;

class SessionShelfE2E : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        m_data.emplace("XDG_DATA_HOME", QFile::encodeName(m_base + "/data"));
    }
    void TearDown() override
    {
        m_data.reset();
        E2EFixture::TearDown();
    }

    std::unique_ptr<Session> openSession(const QString& root)
    {
        SessionSettings settings;
        settings.repositoryUrl = m_url;
        settings.user = "ann";
        settings.password = passwordOf("ann");
        auto session = std::make_unique<Session>(QString::fromUtf8(PLUGIN_PATH));
        const Result<QString> opened = finished(session->open(root, settings));
        EXPECT_TRUE(opened.ok) << opened.error.toStdString();
        return session;
    }

    QByteArray status(const QString& root) { return svnOk({"status"}, "ann", root); }

    std::optional<ScopedVariable> m_data;
};

const QByteArray EditedA = "a\r\nedited\r\n\x01\x02 tail";
const QByteArray Loose = QByteArray("loose\0\xff\n", 8);

TEST_F(SessionShelfE2E, ShelvedChangesComeBackByteForByteAfterOtherEdits)
{
    const QString root = annChecksOut({"project/a.txt", "project/b.txt"});
    std::unique_ptr<Session> session = openSession(root);
    writeBytes(root + "/a.txt", EditedA);
    writeBytes(root + "/new.bin", Loose);
    const QByteArray before = status(root);

    const Outcome shelved = finished(session->shelve("work", {"a.txt", "new.bin"}));
    ASSERT_TRUE(shelved.ok) << shelved.error.toStdString();
    EXPECT_EQ(readBytes(root + "/a.txt"), "project/a.txt\n");
    EXPECT_FALSE(QFileInfo::exists(root + "/new.bin"));
    EXPECT_EQ(status(root), "");
    // Stored outside the working copy, under the user's data folder.
    EXPECT_TRUE(QDir(m_base + "/data/svnscc/shelves").exists());

    const Result<QList<Shelf>> listed = finished(session->shelves());
    ASSERT_EQ(listed.value.size(), 1);
    EXPECT_EQ(listed.value.first().name, "work");
    EXPECT_EQ(listed.value.first().paths, QStringList({"a.txt", "new.bin"}));
    EXPECT_LE(listed.value.first().date.secsTo(QDateTime::currentDateTimeUtc()), 60);
    EXPECT_EQ(listed.value.first().date.timeSpec(), Qt::UTC);

    // Refused, changing nothing: a name taken, a name unknown, nothing to shelve.
    EXPECT_FALSE(finished(session->shelve("work", {"b.txt"})).ok);
    EXPECT_FALSE(finished(session->unshelve("other")).ok);
    EXPECT_FALSE(finished(session->shelve("empty", {"b.txt"})).ok);

    writeBytes(root + "/b.txt", "b, edited\n");
    const Outcome back = finished(session->unshelve("work"));
    ASSERT_TRUE(back.ok) << back.error.toStdString();
    EXPECT_EQ(readBytes(root + "/a.txt"), EditedA);
    EXPECT_EQ(readBytes(root + "/new.bin"), Loose);
    EXPECT_EQ(readBytes(root + "/b.txt"), "b, edited\n");
    EXPECT_EQ(status(root), "M       a.txt\nM       b.txt\n?       new.bin\n") << before.toStdString();
    EXPECT_TRUE(finished(session->shelves()).value.isEmpty());
}

TEST_F(SessionShelfE2E, AShelfThatDoesNotApplyChangesNothingAndIsKept)
{
    const QString root = annChecksOut({"project/a.txt"});
    std::unique_ptr<Session> session = openSession(root);
    writeBytes(root + "/a.txt", EditedA);
    ASSERT_TRUE(finished(session->shelve("work", {"a.txt"})).ok);
    writeBytes(root + "/a.txt", "something else\n");

    const Outcome back = finished(session->unshelve("work"));
    EXPECT_FALSE(back.ok);
    EXPECT_TRUE(back.error.contains("a.txt")) << back.error.toStdString();
    EXPECT_EQ(readBytes(root + "/a.txt"), "something else\n");
    EXPECT_FALSE(QFileInfo::exists(root + "/a.txt.svnpatch.rej"));
    EXPECT_EQ(finished(session->shelves()).value.size(), 1);
    ASSERT_TRUE(finished(session->dropShelf("work")).ok);
    EXPECT_TRUE(finished(session->shelves()).value.isEmpty());

    // An unversioned file of the shelf that is there with other bytes is
    // never overwritten: nothing applies.
    writeBytes(root + "/new.bin", Loose);
    const Outcome loose = finished(session->shelve("loose", {"a.txt", "new.bin"}));
    ASSERT_TRUE(loose.ok) << loose.command.toStdString() << ": " << loose.error.toStdString();
    writeBytes(root + "/new.bin", "other\n");
    const Outcome blocked = finished(session->unshelve("loose"));
    EXPECT_FALSE(blocked.ok);
    EXPECT_TRUE(blocked.error.contains("new.bin")) << blocked.error.toStdString();
    EXPECT_EQ(readBytes(root + "/new.bin"), "other\n");
    EXPECT_EQ(readBytes(root + "/a.txt"), "project/a.txt\n");
    ASSERT_TRUE(QFile::remove(root + "/new.bin"));
    ASSERT_TRUE(finished(session->unshelve("loose")).ok);
    EXPECT_EQ(readBytes(root + "/new.bin"), Loose);

    // A shelf that cannot be written takes nothing away: neither shelve nor
    // revert runs.
    writeBytes(m_base + "/blocker", "a file where the data folder would be\n");
    ScopedVariable unwritable("XDG_DATA_HOME", QFile::encodeName(m_base + "/blocker"));
    EXPECT_FALSE(finished(session->shelve("nowhere", {"a.txt", "new.bin"})).ok);
    EXPECT_FALSE(finished(session->revert({"a.txt"}, false)).ok);
    EXPECT_EQ(readBytes(root + "/a.txt"), "something else\n");
    EXPECT_EQ(readBytes(root + "/new.bin"), Loose);
}

TEST_F(SessionShelfE2E, ARevertIsUndoneByItsShelfAlsoInTheNextSession)
{
    const QString root = annChecksOut({"project/a.txt", "project/b.txt"});
    writeBytes(root + "/a.txt", EditedA);
    writeBytes(root + "/added.bin", Loose);
    writeBytes(root + "/free.txt", "never touched\n");
    svnOk({"add", "-q", "added.bin"}, "ann", root);
    const QByteArray before = status(root);
    const QByteArray diffBefore = svnOk({"diff", "--git"}, "ann", root);
    {
        std::unique_ptr<Session> session = openSession(root);
        EXPECT_TRUE(session->shelvesBeforeRevert());
        const Outcome reverted = finished(session->revert({"a.txt", "added.bin"}, false));
        ASSERT_TRUE(reverted.ok) << reverted.error.toStdString();
        EXPECT_EQ(status(root), "?       added.bin\n?       free.txt\n");
        // A revert of nothing changed keeps no shelf.
        ASSERT_TRUE(finished(session->revert({"b.txt"}, false)).ok);
    }
    std::unique_ptr<Session> session = openSession(root);
    const QList<Shelf> shelves = finished(session->shelves()).value;
    ASSERT_EQ(shelves.size(), 1);
    const QString name = shelves.first().name;
    EXPECT_TRUE(name.startsWith("before revert " + QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd")))
        << name.toStdString();
    EXPECT_TRUE(name.endsWith(" a.txt added.bin")) << name.toStdString();

    const Outcome back = finished(session->unshelve(name));
    ASSERT_TRUE(back.ok) << back.error.toStdString();
    EXPECT_EQ(readBytes(root + "/a.txt"), EditedA);
    EXPECT_EQ(readBytes(root + "/added.bin"), Loose);
    EXPECT_EQ(readBytes(root + "/free.txt"), "never touched\n");
    EXPECT_EQ(status(root), before);
    EXPECT_EQ(svnOk({"diff", "--git"}, "ann", root), diffBefore);

    // Turned off, a revert keeps nothing.
    session->setShelvesBeforeRevert(false);
    ASSERT_TRUE(finished(session->revert({"a.txt"}, false)).ok);
    EXPECT_TRUE(finished(session->shelves()).value.isEmpty());
}

} // namespace
