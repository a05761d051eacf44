// The shelves on disk: what a shelf holds comes back byte for byte, shelves
// of revert are dropped by age and count, and a writer killed at any moment
// leaves either a whole shelf or nothing.

#include "SessionShelf.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace SvnScc;

ShelfContent contentOf(const QString& name, const QDateTime& date, bool beforeRevert, const QByteArray& patch)
{
    ShelfContent content;
    content.about = Shelf{name, date, {"a.txt", "sub/b.bin"}};
    content.beforeRevert = beforeRevert;
    content.patch = patch;
    return content;
}

QStringList namesOf(const QList<Shelf>& shelves)
{
    QStringList names;
    for (const Shelf& shelf : shelves)
        names << shelf.name;
    return names;
}

TEST(ShelfStore, WhatAShelfHoldsComesBackAndItsFolderFollowsTheDataLocation)
{
    QTemporaryDir temp;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ShelfStore store(temp.path() + "/shelves");
    ShelfContent written = contentOf("mine", now.addSecs(-5), false, QByteArray("diff\r\n\0\xff", 8));
    written.files = {{"sub/b.bin", QByteArray("\0\x01\r\n", 4)}, {"c.txt", QByteArray()}};
    QString error;
    ASSERT_TRUE(store.write(written, error)) << error.toStdString();
    ASSERT_TRUE(store.write(contentOf("newer", now, false, "p"), error));

    EXPECT_EQ(namesOf(store.list()), QStringList({"newer", "mine"}));
    ShelfContent read;
    ASSERT_TRUE(store.read("mine", read, error)) << error.toStdString();
    EXPECT_EQ(read.about.paths, written.about.paths);
    EXPECT_EQ(read.about.date, written.about.date);
    EXPECT_EQ(read.patch, written.patch);
    EXPECT_EQ(read.files, written.files);
    EXPECT_FALSE(store.read("none", read, error));

    ASSERT_TRUE(store.drop("mine", error));
    EXPECT_EQ(namesOf(store.list()), QStringList({"newer"}));
    EXPECT_EQ(QDir(store.folder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);

    // Keyed by the working copy, below the user's data folder.
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(temp.path() + "/data"));
    const QString one = ShelfStore::folderFor("/work/one"), two = ShelfStore::folderFor("/work/two");
    saved.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", saved);
    EXPECT_TRUE(one.startsWith(temp.path() + "/data/svnscc/shelves/")) << one.toStdString();
    EXPECT_NE(one, two);
}

TEST(ShelfStore, ShelvesOfRevertGoAfterFourteenDaysOrBeyondTheFiftyNewest)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    struct Case
    {
        const char* what;
        int recent;        // shelves of revert made in the last hour
        int daysOld;       // the age of one more, 0: none
        QStringList gone;  // dropped by prune()
    };
    const Case cases[] = {
        {"fifty kept", 50, 0, {}},
        {"the oldest beyond fifty", 52, 0, {"r50", "r51"}},
        {"older than fourteen days", 3, 15, {"old"}},
        {"thirteen days old stays", 3, 13, {}},
    };
    for (const Case& one : cases) {
        QTemporaryDir temp;
        ShelfStore store(temp.path());
        QString error;
        for (int i = 0; i < one.recent; ++i)
            ASSERT_TRUE(store.write(contentOf(QString("r%1").arg(i), now.addSecs(-i), true, "p"), error));
        if (one.daysOld > 0) {
            ASSERT_TRUE(store.write(contentOf("old", now.addDays(-one.daysOld), true, "p"), error));
        }
        // The user's own shelves are never dropped.
        ASSERT_TRUE(store.write(contentOf("user", now.addDays(-100), false, "p"), error));
        const QStringList before = namesOf(store.list());
        store.prune(now);
        const QStringList after = namesOf(store.list());
        QStringList gone;
        for (const QString& name : before) {
            if (!after.contains(name))
                gone << name;
        }
        EXPECT_EQ(gone, one.gone) << one.what;
    }
}

TEST(ShelfStore, AWriterKilledAtAnyMomentLeavesWholeShelvesOrNothing)
{
    QTemporaryDir temp;
    const QString folder = temp.path() + "/shelves";
    QByteArray patch(4 << 20, 'x');
    for (int i = 0; i < patch.size(); i += 4096)
        patch[i] = char(i / 4096);
    bool cutShort = false;
    for (int attempt = 0; attempt < 20 && !cutShort; ++attempt) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ShelfStore store(folder);
            QString error;
            for (int i = 0;; ++i) {
                ShelfContent content = contentOf(QString("s%1").arg(i), QDateTime::currentDateTimeUtc(), false, patch);
                content.files = {{"a.txt", patch}};
                store.write(content, error);
            }
        }
        QThread::msleep(20 + 7 * attempt);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        for (const QString& name : QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
            cutShort = cutShort || name.startsWith(".tmp-");

        ShelfStore store(folder);
        const QList<Shelf> shelves = store.list();
        // Every folder left is a listed shelf, whole.
        EXPECT_EQ(QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).size(), shelves.size());
        for (const Shelf& shelf : shelves) {
            ShelfContent read;
            QString error;
            ASSERT_TRUE(store.read(shelf.name, read, error)) << error.toStdString();
            EXPECT_EQ(read.patch, patch);
            ASSERT_EQ(read.files.size(), 1);
            EXPECT_EQ(read.files.first().second, patch);
        }
    }
    EXPECT_TRUE(cutShort) << "no writer was ever killed half way";
}

} // namespace
