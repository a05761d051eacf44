// The version-2 operations against the real client and svnserve, grouped by
// operation, each compared with the client's own answer: "svn log --xml",
// "svn blame --xml", "svn diff" byte for byte, "svn status" after each write.

#include "E2EFixture.h"

#include <svnscc/SourceCodeControlSystemProviderInterface2.h>

#include <QDirIterator>
#include <QRegularExpression>

#include <functional>

namespace {

using namespace SourceCodeControl;

class VersionTwo : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        const auto allocate =
            pluginEntry<AllocateSourceCodeControlSystemInterface2Fn>("AllocateSourceCodeControlSystemInterface2");
        m_release = pluginEntry<ReleaseSourceCodeControlSystemInterfaceFn>("ReleaseSourceCodeControlSystemInterface");
        ASSERT_NE(allocate, nullptr);
        m_two = allocate();
        ASSERT_NE(m_two, nullptr);
        m_root = annChecksOut({"project/a.txt", "project/b.txt", "project/c.txt", "project/d.txt",
                               "project/sub/s.txt"});
        m_two->setOption(QLatin1String(SourceCodeControlOption::Executable), "svn");
        m_two->setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), m_url);
        ASSERT_TRUE(m_two->login("ann", passwordOf("ann"), m_url));
        bindWorkingCopy(m_root, m_two);
    }

    void TearDown() override
    {
        if (m_two)
            m_release(m_two);
        E2EFixture::TearDown();
    }

    /** The client's own "svn status" of the working copy, as it prints it. */
    QByteArray clientStatus() { return svnOk({"status"}, "ann", m_root); }

    /** What the provider's status() says of `path`, compared with "svn status -u -v" (empty: agreed). */
    QString agreed(const QString& path)
    {
        SourceCodeControlSystemProviderInterface* own = m_provider;
        m_provider = m_two;
        const QString difference = differenceWithClient(m_root, path);
        m_provider = own;
        return difference;
    }

    QString lastTwoError()
    {
        QString command;
        const QString message = m_two->getLastError(command);
        return command + ": " + message;
    }

    SourceCodeControlSystemProviderInterface2* m_two = nullptr;
    ReleaseSourceCodeControlSystemInterfaceFn m_release = nullptr;
    QString m_root;
};

} // namespace

TEST_F(VersionTwo, CommitMakesOneRevisionWithItsMessageByteForByte)
{
    writeBytes(m_root + "/a.txt", "edited a\n");
    EXPECT_EQ(agreed("a.txt"), QString()); // cached as modified: the commit must re-read it
    writeBytes(m_root + "/b.txt", "edited b\n");
    QDir().mkpath(m_root + "/new folder");
    writeBytes(m_root + "/new folder/n@1.txt", "new\n");
    ASSERT_TRUE(m_two->add({"new folder/n@1.txt"})) << lastTwoError().toStdString();
    EXPECT_EQ(clientStatus(), "M       a.txt\nM       b.txt\nA       new folder\nA       new folder/n@1.txt\n");
    // Only the file is listed: its added folder comes with it.
    const QString message = "-" + QString(200 * 1024, QLatin1Char('y')) + "\nÜnïcödé\n";
    QString revision;
    ASSERT_TRUE(m_two->commit({"a.txt", "b.txt", "new folder/n@1.txt"}, message, revision))
        << lastTwoError().toStdString();
    EXPECT_EQ(revision, youngest());
    const QByteArray log = svnOk({"log", "--xml", "--verbose", "-r", revision, m_url});
    for (const char* path : {"/project/a.txt", "/project/b.txt", "/project/new folder", "/project/new folder/n@1.txt"})
        EXPECT_TRUE(log.contains(path)) << path;
    EXPECT_EQ(QString::fromUtf8(svnOk({"propget", "--revprop", "-r", revision, "svn:log", m_url})), message + "\n");
    EXPECT_EQ(clientStatus(), "");
    for (const char* path : {"a.txt", "new folder/n@1.txt"})
        EXPECT_EQ(agreed(path), QString()) << path;
    // Nothing to commit: still true, no revision.
    revision = "caller's";
    EXPECT_TRUE(m_two->commit({"c.txt"}, "nothing", revision));
    EXPECT_EQ(revision, "");
}

TEST_F(VersionTwo, RevertKeepsUnversionedAndAddedFilesOnDisk)
{
    writeBytes(m_root + "/a.txt", "edited\n");
    writeBytes(m_root + "/added.txt", "added\n");
    writeBytes(m_root + "/loose.txt", "loose\n");
    ASSERT_TRUE(m_two->add({"added.txt"}));
    EXPECT_FALSE(m_two->revert({"a.txt", "loose.txt"}, false)); // nothing touched
    EXPECT_EQ(readBytes(m_root + "/a.txt"), "edited\n");
    ASSERT_TRUE(m_two->revert({"a.txt", "added.txt"}, false)) << lastTwoError().toStdString();
    EXPECT_EQ(readBytes(m_root + "/a.txt"), "project/a.txt\n");
    EXPECT_EQ(readBytes(m_root + "/added.txt"), "added\n");
    EXPECT_EQ(readBytes(m_root + "/loose.txt"), "loose\n");
    EXPECT_EQ(clientStatus(), "?       added.txt\n?       loose.txt\n");
    // An added folder holding added items: not reverted without depth.
    QDir().mkpath(m_root + "/f/g");
    writeBytes(m_root + "/f/g/x.txt", "x\n");
    ASSERT_TRUE(m_two->add({"f/g/x.txt"}));
    EXPECT_FALSE(m_two->revert({"f"}, false));
    EXPECT_TRUE(lastTwoError().contains("E155038")) << lastTwoError().toStdString();
    EXPECT_TRUE(m_two->revert({"f"}, true));
    EXPECT_EQ(readBytes(m_root + "/f/g/x.txt"), "x\n");
}

TEST_F(VersionTwo, RevertOfACopyOrMoveKeepsTheUsersTextOnDisk)
{
    // The client itself removes these from disk; the provider keeps them, unversioned.
    const struct
    {
        const char* step;
        std::function<void()> prepare;
        QStringList paths;
        bool recursive;
        QByteArray status;
        std::vector<std::pair<QString, QByteArray>> files;
    } steps[] = {
        {"a moved and edited file",
         [&] {
             ASSERT_TRUE(m_two->move("a.txt", "m2.txt")) << lastTwoError().toStdString();
             writeBytes(m_root + "/m2.txt", "moved, then edited\n");
         },
         {"m2.txt"}, false, "D       a.txt\n?       m2.txt\n",
         {{"m2.txt", "moved, then edited\n"}, {"a.txt", QByteArray()}}},
        {"a copied and edited file",
         [&] {
             svnOk({"copy", "-q", "b.txt", "c2.txt"}, "ann", m_root);
             writeBytes(m_root + "/c2.txt", "copied, then edited\n");
         },
         {"c2.txt"}, false, "D       a.txt\n?       c2.txt\n?       m2.txt\n",
         {{"c2.txt", "copied, then edited\n"}, {"b.txt", "project/b.txt\n"}}},
        {"a copy below a folder reverted with all it holds",
         [&] {
             svnOk({"copy", "-q", "d.txt", "sub/d2.txt"}, "ann", m_root);
             writeBytes(m_root + "/sub/d2.txt", "copied below\n");
         },
         {""}, true, "?       c2.txt\n?       m2.txt\n?       sub/d2.txt\n", {{"sub/d2.txt", "copied below\n"}}},
        {"a moved folder with an edited file, an added one and an unversioned one",
         [&] {
             ASSERT_TRUE(m_two->move("sub", "sub2")) << lastTwoError().toStdString();
             writeBytes(m_root + "/sub2/s.txt", "edited in the moved folder\n");
             QDir().mkpath(m_root + "/sub2/deeper");
             writeBytes(m_root + "/sub2/deeper/n.txt", "added there\n");
             ASSERT_TRUE(m_two->add({"sub2/deeper/n.txt"})) << lastTwoError().toStdString();
             writeBytes(m_root + "/sub2/loose.txt", "never versioned\n");
         },
         {"sub2"}, true, "?       c2.txt\n?       m2.txt\nD       sub\n?       sub2\n",
         {{"sub2/s.txt", "edited in the moved folder\n"},
          {"sub2/deeper/n.txt", "added there\n"},
          {"sub2/loose.txt", "never versioned\n"},
          {"sub2/d2.txt", "copied below\n"}}},
        {"a copy in an added folder, which the client leaves on disk itself",
         [&] {
             QDir().mkpath(m_root + "/p");
             ASSERT_TRUE(m_two->add({"p"})) << lastTwoError().toStdString();
             svnOk({"copy", "-q", "c.txt", "p/c.txt"}, "ann", m_root);
             writeBytes(m_root + "/p/c.txt", "copied into p\n");
         },
         {"p"}, true, "?       c2.txt\n?       m2.txt\n?       p\nD       sub\n?       sub2\n",
         {{"p/c.txt", "copied into p\n"}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.prepare();
        ASSERT_TRUE(m_two->revert(step.paths, step.recursive)) << lastTwoError().toStdString();
        EXPECT_EQ(clientStatus(), step.status);
        for (const auto& [path, bytes] : step.files)
            EXPECT_EQ(QFileInfo::exists(m_root + '/' + path) ? readBytes(m_root + '/' + path) : QByteArray(), bytes)
                << path.toStdString();
        // No scratch copy is left behind.
        QStringList scratch;
        for (QDirIterator it(m_root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            if (it.next().contains(".svnscc-kept"))
                scratch << it.filePath();
        EXPECT_EQ(scratch, QStringList());
    }
}

TEST_F(VersionTwo, RemoveRefusesAModifiedFileAndMoveKeepsHistory)
{
    writeBytes(m_root + "/b.txt", "modified\n");
    EXPECT_FALSE(m_two->remove({"b.txt"}, false));
    EXPECT_TRUE(lastTwoError().contains("E195006")) << lastTwoError().toStdString();
    EXPECT_EQ(readBytes(m_root + "/b.txt"), "modified\n");
    ASSERT_TRUE(m_two->remove({"b.txt"}, true));
    EXPECT_EQ(readBytes(m_root + "/b.txt"), "modified\n");
    writeBytes(m_root + "/loose.txt", "loose\n");
    EXPECT_FALSE(m_two->remove({"loose.txt"}, true));
    EXPECT_FALSE(m_two->remove({"loose.txt"}, false));
    EXPECT_EQ(readBytes(m_root + "/loose.txt"), "loose\n");
    ASSERT_TRUE(m_two->remove({"c.txt"}, false));
    EXPECT_FALSE(QFileInfo::exists(m_root + "/c.txt"));

    EXPECT_FALSE(m_two->move("a.txt", "d.txt")); // an existing destination
    ASSERT_TRUE(m_two->move("a.txt", "moved/-a@2.txt")) << lastTwoError().toStdString();
    EXPECT_TRUE(clientStatus().contains("\nA  +    moved/-a@2.txt\n        > moved from a.txt\n"));
    EXPECT_EQ(agreed("moved/-a@2.txt"), QString());
    QString revision;
    ASSERT_TRUE(m_two->commit({"."}, "moved", revision));
    QList<LogEntry> entries;
    ASSERT_TRUE(m_two->log("moved/-a@2.txt", 0, entries));
    ASSERT_EQ(entries.size(), 2); // the move, then a.txt's import: copies are followed
    EXPECT_EQ(entries[0].changedPaths.filter(QRegularExpression("^A /project/moved/-a@2.txt \\(from /project/a.txt:\\d+\\)$"))
                  .size(),
              1)
        << entries[0].changedPaths.join(' ').toStdString();
}

TEST_F(VersionTwo, UpdatePostponesConflictsAndEachResolutionKeepsItsText)
{
    const QString bobs = m_base + "/bob";
    svnOk({"checkout", urlOf("project"), bobs});
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        writeBytes(bobs + '/' + name, "bob's\n");
    svnOk({"rm", bobs + "/sub"});
    svnOk({"commit", "-m", "bob", bobs});
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        writeBytes(m_root + '/' + name, "ann's\n");
    writeBytes(m_root + "/sub/s.txt", "ann's edit\n");
    QStringList conflicted;
    ASSERT_TRUE(m_two->update({""}, QString(), conflicted)) << lastTwoError().toStdString();
    conflicted.sort();
    EXPECT_EQ(conflicted, QStringList({"a.txt", "b.txt", "c.txt", "d.txt", "sub"}));
    struct Case { const char* path; Resolution choice; const char* text; };
    const Case cases[] = {{"a.txt", Resolution::Working, nullptr}, {"b.txt", Resolution::Base, "project/b.txt\n"},
                          {"c.txt", Resolution::MineFull, "ann's\n"}, {"d.txt", Resolution::TheirsFull, "bob's\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_TRUE(m_two->resolve(c.path, c.choice)) << lastTwoError().toStdString();
        if (c.text) {
            EXPECT_EQ(readBytes(m_root + '/' + c.path), c.text);
        }
        EXPECT_EQ(agreed(c.path), QString());
    }
    // A tree conflict takes the working state only.
    EXPECT_FALSE(m_two->resolve("sub", Resolution::TheirsFull));
    EXPECT_TRUE(lastTwoError().contains("W195024")) << lastTwoError().toStdString();
    EXPECT_TRUE(m_two->resolve("sub", Resolution::Working));
    // To an older revision (b.txt was imported in revision 2).
    ASSERT_TRUE(m_two->update({"b.txt"}, "2", conflicted));
    EXPECT_EQ(svnOk({"info", "--show-item", "revision", m_root + "/b.txt"}, "ann"), "2\n");
}

TEST_F(VersionTwo, LogAnnotateAndDiffAreTheClientsOwn)
{
    writeBytes(m_root + "/a.txt", "one\ntwo\n");
    QString revision;
    ASSERT_TRUE(m_two->commit({"a.txt"}, "second\nline", revision));
    writeBytes(m_root + "/a.txt", "one\ntwo\r\nthree");
    QList<LogEntry> entries;
    ASSERT_TRUE(m_two->log("a.txt", 1, entries));
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].revision, revision);
    EXPECT_EQ(entries[0].author, "ann");
    EXPECT_EQ(entries[0].message, "second\nline");
    EXPECT_EQ(entries[0].changedPaths, QStringList{"M /project/a.txt"});
    EXPECT_TRUE(svnOk({"log", "--xml", "-r", revision, m_url}).contains(
        entries[0].date.toString(Qt::ISODateWithMs).left(23).toUtf8()));
    ASSERT_TRUE(m_two->log("", 0, entries));
    EXPECT_EQ(entries.size(), youngest().toInt());

    QList<AnnotatedLine> lines;
    ASSERT_TRUE(m_two->annotate("a.txt", QString(), lines)); // BASE
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].text, "one");
    EXPECT_EQ(lines[1].revision, revision);
    EXPECT_TRUE(svnOk({"blame", "--xml", m_root + "/a.txt"}, "ann").contains("revision=\"" + revision.toUtf8() + "\""));
    ASSERT_TRUE(m_two->annotate("a.txt", "WORKING", lines));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[1].text, "two");
    EXPECT_EQ(lines[2].text, "three");
    EXPECT_TRUE(lines[2].revision.isEmpty()); // changed here, not committed
    EXPECT_FALSE(lines[2].date.isValid());
    ASSERT_TRUE(m_two->annotate("a.txt", "1", lines));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].text, "project/a.txt");

    struct Case { const char* from; const char* to; QStringList client; };
    const Case cases[] = {{"", "", {"diff", "a.txt"}},
                          {"1", "", {"diff", "-r", "1", "a.txt"}},
                          {"1", "HEAD", {"diff", "-r", "1:HEAD", "a.txt"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.client.join(' ').toStdString());
        QByteArray bytes;
        ASSERT_TRUE(m_two->diff("a.txt", c.from, c.to, bytes)) << lastTwoError().toStdString();
        EXPECT_EQ(bytes, svnOk(c.client, "ann", m_root));
        EXPECT_TRUE(bytes.startsWith("Index: a.txt\n"));
    }
}

TEST_F(VersionTwo, ChangesComeFromTheWorkingCopyAloneEvenWithTheServerStopped)
{
    QFile::remove(m_root + "/a.txt");                 // deleted from disk
    writeBytes(m_root + "/b.txt", "edited\n");
    writeBytes(m_root + "/sub-2.txt", "unversioned\n");
    QDir().mkpath(m_root + "/sub/dir");
    ASSERT_TRUE(m_two->add({"sub/dir"}));
    svnOk({"propset", "p", "v", m_root}, "ann");      // the local root itself changed
    m_server->stop();
    QList<Change> changes;
    ASSERT_TRUE(m_two->changes("", changes)) << lastTwoError().toStdString();
    QByteArray shown;
    for (const Change& change : changes)
        shown += change.statusColumns.toUtf8() + ' ' + (change.path.isEmpty() ? "." : change.path.toUtf8()) + '\n';
    EXPECT_EQ(shown, clientStatus());
    ASSERT_FALSE(changes.isEmpty());
    EXPECT_EQ(changes.first().path, "");
    ASSERT_TRUE(m_two->changes("sub", changes));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes.first().path, "sub/dir");
}

TEST_F(VersionTwo, AnnotateWithoutARevisionIsTheWorkingCopysBaseNotTheNewest)
{
    // Someone commits a newer a.txt; this working copy has not updated.
    const QString newer = m_base + "/newer";
    svnOk({"checkout", m_url + "/project", newer});
    writeBytes(newer + "/a.txt", "theirs\n");
    svnOk({"commit", "-m", "theirs", newer});
    QList<AnnotatedLine> lines;
    ASSERT_TRUE(m_two->annotate("a.txt", QString(), lines)) << lastTwoError().toStdString();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].text, "project/a.txt"); // as imported, not "theirs"
}

TEST_F(VersionTwo, AnnotateAtHeadGivesTheNewestRevisionsLinesWithItsTexts)
{
    // a.txt changed twice since this working copy's base; HEAD is read as
    // its number, and lines and texts are both that revision's, as the
    // client's own "svn blame" and "svn cat" of the number say.
    const QString newer = m_base + "/newer";
    svnOk({"checkout", m_url + "/project", newer});
    writeBytes(newer + "/a.txt", "project/a.txt\ntheirs\n");
    svnOk({"commit", "-m", "theirs", newer});
    writeBytes(newer + "/a.txt", "first\nproject/a.txt\ntheirs\r\n");
    svnOk({"commit", "-m", "more", newer});
    const QString head = youngest();
    QList<AnnotatedLine> lines;
    ASSERT_TRUE(m_two->annotate("a.txt", "HEAD", lines)) << lastTwoError().toStdString();
    const QByteArray blame = svnOk({"blame", "--xml", "-r", head, m_url + "/project/a.txt"});
    const QByteArray text = svnOk({"cat", "-r", head, m_url + "/project/a.txt"});
    ASSERT_EQ(lines.size(), 3);
    QByteArray shown;
    for (const AnnotatedLine& line : lines) {
        shown += line.text.toUtf8() + '\n';
        EXPECT_TRUE(blame.contains("revision=\"" + line.revision.toUtf8() + "\"")) << line.revision.toStdString();
    }
    EXPECT_EQ(shown, QByteArray(text).replace("\r\n", "\n"));
    EXPECT_EQ(lines[0].revision, head);
    EXPECT_EQ(lines[1].revision, "1");
    EXPECT_EQ(lines[2].revision, head);
    EXPECT_EQ(lines[2].text, "theirs");
}
