// Writes that never half-happen, against the real client and svnserve: a
// commit whose end was not seen, messages of any size and first character,
// an addFile that the server refuses, a working-copy database of another
// format, and roots below the repository URL option.

#include "E2EFixture.h"

#include <QRegularExpression>

#include <sqlite3.h>

namespace {

class HalfDoneWrites : public E2EFixture
{
protected:
    void SetUp() override
    {
        E2EFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_root = annChecksOut({"project/f.txt", "project/lib/l.txt"});
        loginAs("ann");
        bindWorkingCopy(m_root);
    }

    /** The log message of the youngest revision, as "svn log --xml" gives it. */
    QString youngestMessage()
    {
        const QByteArray xml = svnOk({"log", "--xml", "-r", "HEAD", m_url});
        const qsizetype start = xml.indexOf("<msg>"), end = xml.indexOf("</msg>");
        QString text = QString::fromUtf8(xml.mid(start + 5, end - start - 5));
        text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
        return text;
    }

    /** What "svn status" prints for the working copy (empty: nothing scheduled, nothing changed). */
    QByteArray statusLines() { return svnOk({"status", m_root}, "ann"); }

    QString m_root;
};

} // namespace

TEST_F(HalfDoneWrites, ACommitWhoseEndWasNotSeenIsCheckedAndBroughtUpToDate)
{
    // A post-commit hook slower than the time limit: the revision is made
    // before the hook runs, and the client is stopped while it waits for it.
    const QString hook = m_base + "/repository/hooks/post-commit";
    writeBytes(hook, "#!/bin/sh\nsleep 6\n");
    QFile::setPermissions(hook, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::Timeout), "2"));
    const int before = youngest().toInt();
    writeBytes(m_root + "/f.txt", "slow hook\n");
    EXPECT_TRUE(m_provider->checkin({"f.txt"}, "through a slow hook")) << lastError().toStdString();
    EXPECT_EQ(youngest().toInt(), before + 1); // committed once
    EXPECT_EQ(youngestMessage(), "through a slow hook");
    EXPECT_EQ(differenceWithClient(m_root, "f.txt"), QString()); // at the new revision, not modified
    QFile::remove(hook);
    writeBytes(m_root + "/f.txt", "next\n");
    EXPECT_TRUE(m_provider->checkin({"f.txt"}, "next")) << lastError().toStdString(); // not "out of date"
    EXPECT_EQ(youngest().toInt(), before + 2);
}

TEST_F(HalfDoneWrites, MessagesOfAnySizeAndFirstCharacterArriveByteForByte)
{
    const QString large = "build log\n" + QString(200 * 1024, QLatin1Char('x')) + "\nend\n";
    const QString messages[] = {large, "-m is not an option here", "--force-log", "Ünïcödé ✓ 日本", QString()};
    int edit = 0;
    for (const QString& message : messages) {
        SCOPED_TRACE(message.left(30).toStdString());
        writeBytes(m_root + "/f.txt", QByteArray::number(++edit) + "\n");
        ASSERT_TRUE(m_provider->checkin({"f.txt"}, message)) << lastError().toStdString();
        EXPECT_EQ(youngestMessage(), message.isNull() ? QString("") : message);
    }
    // A lock comment too.
    ASSERT_TRUE(m_provider->checkout({"f.txt"}, "-locked by the IDE", false)) << lastError().toStdString();
    EXPECT_TRUE(svnOk({"info", urlOf("project/f.txt")}).contains("\n-locked by the IDE\n"));
}

TEST_F(HalfDoneWrites, AnAddFileTheServerRefusesLeavesNothingScheduled)
{
    QDir().mkpath(m_root + "/newdir");
    writeBytes(m_root + "/newdir/n.txt", "new\n");
    // A wrong password where anonymous users may read: the probe finds no
    // folder, the folder's commit is refused, and the folder is unscheduled.
    writeBytes(m_base + "/repository/conf/svnserve.conf",
               "[general]\nanon-access = read\nauth-access = write\npassword-db = passwd\nauthz-db = authz\n"
               "realm = scc-e2e\n");
    writeBytes(m_base + "/repository/conf/authz", "[/]\n* = r\nann = rw\nbob = rw\n");
    m_provider->login("ann", "not ann's password", m_url);
    EXPECT_FALSE(m_provider->addFile({"newdir", "n.txt"}, "refused"));
    EXPECT_TRUE(lastError().startsWith("commit: ")) << lastError().toStdString();
    EXPECT_EQ(statusLines(), "?       " + QFile::encodeName(m_root) + "/newdir\n");
    // A server that is down: nothing is known of the folder, nothing is added.
    loginAs("ann");
    m_server->stop();
    EXPECT_FALSE(m_provider->addFile({"newdir", "n.txt"}, "down"));
    EXPECT_TRUE(lastError().startsWith("info: ")) << lastError().toStdString();
    EXPECT_EQ(statusLines(), "?       " + QFile::encodeName(m_root) + "/newdir\n");
}

TEST_F(HalfDoneWrites, ADatabaseOfAnotherFormatIsLeftToTheClient)
{
    // The format of a newer client: this reader says so once and leaves
    // each folder to the client, which refuses the working copy with its
    // own reason (the folders below the top are not taken for unversioned).
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(m_root + "/.svn/wc.db").constData(), &database), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(database, "PRAGMA user_version = 32", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(database);
    CommandLogCapture capture;
    for (const QStringList& path : {QStringList{"lib", "l.txt"}, QStringList{"f.txt"}}) {
        FileStatus status;
        EXPECT_FALSE(statusOf(path, status));
        EXPECT_TRUE(lastError().startsWith("status: svn: E155021: ")) << lastError().toStdString();
    }
    EXPECT_EQ(capture.logged().filter(QRegularExpression("has the format 32, which this reader does not know")).size(), 1);
}

TEST_F(HalfDoneWrites, RootsBelowTheRepositoryUrlOptionMakeTheRoundTrip)
{
    importFile("projectA/trunk/a.txt", "a\n");
    const QString projectA = urlOf("projectA");
    svnOk({"checkout", projectA + "/trunk", m_base + "/a"}, "ann");
    ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), projectA));
    bindWorkingCopy(m_base + "/a");
    QStringList local, repository;
    m_provider->getRoots(local, repository);
    EXPECT_EQ(repository, QStringList{"trunk"}); // relative to the option, as the two-list form takes it
    // What getRoots gives, the two-list form accepts: here, and on a new machine.
    EXPECT_TRUE(m_provider->setRoots(local, repository)) << lastError().toStdString();
    const QString fresh = m_base + "/fresh";
    EXPECT_TRUE(m_provider->setRoots(fresh.split('/', Qt::SkipEmptyParts), repository)) << lastError().toStdString();
    EXPECT_TRUE(QFileInfo::exists(fresh + "/a.txt"));
    QStringList files;
    EXPECT_TRUE(m_provider->getFilesList(repository, files));
    EXPECT_EQ(files, QStringList{"a.txt"});
}
