// The session's property, ignore, changelist, history-page, patch and depth
// calls against the real client and svnserve: what each future gives is
// what the client answers, and the status the session gives afterwards is
// what `svn status` says.

#include "Session.h"

#include "Finished.h"

#include "E2EFixture.h"

#include <QRegularExpression>
#include <QSignalSpy>

#include <algorithm>
#include <memory>

namespace {

using namespace SvnScc;

class SessionPropertiesE2E : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_root = annChecksOut({"project/a.txt", "project/sub/b.txt", "project/sub/c.txt", "project/deep/d.txt"});
        SessionSettings settings;
        settings.repositoryUrl = m_url;
        settings.user = "ann";
        settings.password = passwordOf("ann");
        settings.timeLimitSeconds = 30;
        m_session = std::make_unique<Session>(QString::fromUtf8(PLUGIN_PATH));
        const Result<QString> opened = finished(m_session->open(m_root, settings));
        ASSERT_TRUE(opened.ok) << opened.error.toStdString();
    }

    QByteArray client(const QStringList& arguments) { return svnOk(arguments, "ann", m_root); }

    /** The revisions `svn log` lists for the local root, with the client's --search when given. */
    QStringList clientRevisions(const QString& search = QString())
    {
        QStringList arguments{"log"}; // with -q the client searches no messages
        if (!search.isEmpty())
            arguments << "--search" << search;
        QStringList revisions;
        static const QRegularExpression line("^r(\\d+) \\|");
        for (const QString& text : QString::fromUtf8(client(arguments)).split('\n'))
            if (const QRegularExpressionMatch match = line.match(text); match.hasMatch())
                revisions << match.captured(1);
        return revisions;
    }

    /** "COLUMNS|PATH" of each item `svn status -v` lists. */
    QStringList clientStatus()
    {
        QStringList lines;
        for (const QString& text : QString::fromUtf8(client({"status", "-v"})).split('\n')) {
            if (text.isEmpty() || text.startsWith("---"))
                continue;
            QString path = text.split(' ', Qt::SkipEmptyParts).last();
            lines << text.left(7) + '|' + (path == "." ? QString() : path);
        }
        lines.sort();
        return lines;
    }

    /** "COLUMNS|PATH" of each item the session's status tree gives with columns. */
    QStringList sessionStatus(QList<Status>* all = nullptr)
    {
        QStringList lines;
        const QFuture<Status> pass = m_session->statusTree();
        finished(pass);
        const QList<Status> tree = pass.results();
        for (const Status& status : tree)
            if (!status.columns.isEmpty())
                lines << status.columns + '|' + status.path;
        if (all)
            *all = tree;
        lines.sort();
        return lines;
    }

    QString m_root;
    std::unique_ptr<Session> m_session;
};

const QByteArray Binary("\x00\x01\r\nraw\xff", 9);

TEST_F(SessionPropertiesE2E, EachCallGivesWhatTheClientAnswersAndTheStatusFollows)
{
    Session& session = *m_session;
    writeBytes(m_root + "/sub/junk.tmp", "junk\n");
    sessionStatus(); // everything reported, so that each change is told
    QSignalSpy changed(&session, &Session::statusChanged);

    // Properties: a binary value byte for byte, an svn: value as the client normalised it.
    ASSERT_TRUE(finished(session.setProperty({"a.txt", "sub/b.txt"}, "my:raw", Binary)).ok);
    ASSERT_TRUE(finished(session.setProperty({"a.txt"}, "svn:eol-style", "native")).ok);
    const Outcome refused = finished(session.setProperty({"a.txt"}, "svn:eol-style", "sideways"));
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.error.contains("E")) << refused.error.toStdString();
    const Result<QList<Property>> properties = finished(session.properties("a.txt"));
    ASSERT_TRUE(properties.ok) << properties.error.toStdString();
    ASSERT_EQ(properties.value.size(), 2);
    EXPECT_EQ(properties.value.at(0).name, "my:raw");
    EXPECT_EQ(properties.value.at(0).value, Binary);
    EXPECT_EQ(properties.value.at(0).value, client({"propget", "--no-newline", "my:raw", "a.txt"}));
    EXPECT_EQ(properties.value.at(1).name, "svn:eol-style");
    EXPECT_EQ(properties.value.at(1).value, "native");
    ASSERT_TRUE(finished(session.deleteProperty({"sub/b.txt"}, "my:raw")).ok);
    EXPECT_EQ(client({"proplist", "sub/b.txt"}), "");
    bool toldPropertyChange = false;
    for (const QList<QVariant>& signal : changed) {
        const Status status = signal.at(0).value<Status>();
        toldPropertyChange = toldPropertyChange || (status.path == "a.txt" && status.columns == " M     ");
    }
    EXPECT_TRUE(toldPropertyChange);

    // ignore: the name joins svn:ignore and the item is answered as ignored, not "?".
    ASSERT_TRUE(finished(session.ignore({"sub/junk.tmp"})).ok);
    EXPECT_EQ(client({"propget", "--no-newline", "svn:ignore", "sub"}), "junk.tmp\n");
    EXPECT_FALSE(finished(session.ignore({"a.txt"})).ok); // versioned
    const Status junk = finished(session.status({"sub/junk.tmp"}));
    EXPECT_TRUE(junk.known);
    EXPECT_FALSE(junk.controlled);
    EXPECT_EQ(junk.columns, "");
    EXPECT_EQ(finished(session.status({"sub"})).columns, " M     ");
    EXPECT_TRUE(std::any_of(changed.begin(), changed.end(), [](const QList<QVariant>& signal) {
        const Status status = signal.at(0).value<Status>();
        return status.path == "sub" && status.columns == " M     ";
    })) << "the folder's property change is told";

    // Changelists: info gives it, svn status shows the block; folders refused.
    ASSERT_TRUE(finished(session.setChangelist({"sub/b.txt"}, "fix 1")).ok);
    EXPECT_FALSE(finished(session.setChangelist({"sub"}, "fix 1")).ok);
    const Result<QList<ItemInfo>> info = finished(session.info({"sub/b.txt", "a.txt"}));
    ASSERT_TRUE(info.ok) << info.error.toStdString();
    EXPECT_EQ(info.value.at(0).changelist, "fix 1");
    EXPECT_EQ(info.value.at(1).changelist, "");
    EXPECT_TRUE(client({"status"}).contains("--- Changelist 'fix 1':\n        sub/b.txt\n"));

    // History in pages of two: every revision once, in the client's order; a search filters.
    ASSERT_TRUE(finished(session.checkin("a.txt", "needle one")).ok);
    writeBytes(m_root + "/sub/c.txt", "c\n");
    ASSERT_TRUE(finished(session.checkin("sub/c.txt", "plain")).ok);
    client({"update"});
    QStringList paged;
    QString start;
    for (int page = 0; page < 10; ++page) {
        const Result<QList<LogEntry>> entries = finished(session.logRange("", start, 2));
        ASSERT_TRUE(entries.ok) << entries.error.toStdString();
        ASSERT_LE(entries.value.size(), 2);
        if (entries.value.isEmpty())
            break;
        for (const LogEntry& entry : entries.value)
            paged << entry.revision;
        start = QString::number(entries.value.last().revision.toLongLong() - 1);
        if (start == "0")
            break;
    }
    EXPECT_EQ(paged, clientRevisions());
    const Result<QList<LogEntry>> found = finished(session.logRange("", "", 5, "NEEDLE*"));
    ASSERT_TRUE(found.ok) << found.error.toStdString();
    QStringList foundRevisions;
    for (const LogEntry& entry : found.value)
        foundRevisions << entry.revision;
    EXPECT_EQ(foundRevisions, clientRevisions("NEEDLE*"));
    EXPECT_EQ(foundRevisions.size(), 1);

    // changedBetween: what `svn diff --summarize` lists between the two.
    const QString newest = youngest();
    const Result<QList<ItemChange>> between =
        finished(session.changedBetween("", QString::number(newest.toInt() - 2), newest));
    ASSERT_TRUE(between.ok) << between.error.toStdString();
    QStringList described, summarized;
    for (const ItemChange& change : between.value)
        described << change.action + '|' + change.path;
    const QString range = QString::number(newest.toInt() - 2) + ':' + newest;
    for (const QString& line : QString::fromUtf8(client({"diff", "--summarize", "-r", range, "."})).split('\n'))
        if (!line.isEmpty())
            summarized << line.left(7).replace(QRegularExpression(" +$"), QString()) + '|' + line.mid(8);
    summarized.sort();
    EXPECT_EQ(described, summarized);
    EXPECT_EQ(described.size(), 2);

    // A patch made, the changes reverted, the patch applied: the same diff, and the session's status follows.
    writeBytes(m_root + "/sub/c.txt", "c\nmore\n");
    ASSERT_TRUE(finished(session.setProperty({"a.txt"}, "my:note", "n\n")).ok);
    const QByteArray before = client({"diff", "a.txt", "sub/c.txt"});
    const Result<QByteArray> patch = finished(session.createPatch({"a.txt", "sub/c.txt"}));
    ASSERT_TRUE(patch.ok) << patch.error.toStdString();
    EXPECT_TRUE(patch.value.contains("sub/c.txt")) << patch.value.toStdString();
    client({"revert", "a.txt", "sub/c.txt"});
    EXPECT_FALSE(finished(session.status({"sub/c.txt"})).modified);
    const Result<QList<ItemChange>> applied = finished(session.applyPatch(patch.value));
    ASSERT_TRUE(applied.ok) << applied.error.toStdString();
    EXPECT_EQ(client({"diff", "a.txt", "sub/c.txt"}), before);
    EXPECT_TRUE(finished(session.status({"sub/c.txt"})).modified);

    // Depth: a sparse folder holds nothing below it; refused where it holds changes.
    EXPECT_FALSE(finished(session.setDepth("sub", Depth::Empty)).ok);
    ASSERT_TRUE(finished(session.setDepth("deep", Depth::Empty)).ok);
    EXPECT_FALSE(QFileInfo::exists(m_root + "/deep/d.txt"));
    QList<Status> tree;
    EXPECT_EQ(sessionStatus(&tree), clientStatus());
    bool junkIgnored = false;
    for (const Status& status : tree) {
        EXPECT_NE(status.path, "deep/d.txt");
        junkIgnored = junkIgnored || (status.path == "sub/junk.tmp" && status.known && status.columns.isEmpty());
    }
    EXPECT_TRUE(junkIgnored);
    ASSERT_TRUE(finished(session.setDepth("deep", Depth::Infinity)).ok);
    EXPECT_TRUE(QFileInfo::exists(m_root + "/deep/d.txt"));
    const QStringList client = clientStatus();
    EXPECT_EQ(sessionStatus(), client);
    EXPECT_TRUE(client.contains("       |deep/d.txt"));
    EXPECT_TRUE(client.contains(" M     |sub")); // the svn:ignore of ignore() above
}

} // namespace
