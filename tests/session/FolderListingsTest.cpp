// The listings a whole-tree pass reads ahead of its walk, on a tree of its own.

#include "FolderListings.h"

#include "FileBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using SvnScc::FolderListings;

TEST(FolderListings, AreReadAheadInTheWalksOrderAndWhatTheyLackIsReadWhenAsked)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString root = temp.path();
    for (const char* folder : {"a/a1", "b", ".svn"})
        ASSERT_TRUE(QDir(root).mkpath(QString::fromLatin1(folder)));
    for (const char* file : {"top.txt", "a/x.txt", "b/y.txt", ".svn/wc.db"})
        writeBytes(root + '/' + QString::fromLatin1(file), "");
    ASSERT_TRUE(QFile::link(root + "/a", root + "/b/link"));

    FolderListings listings(root, QString());
    // "", a, a/a1, b: not .svn, not through the link.
    ASSERT_TRUE(QTest::qWaitFor([&] { return listings.foldersAhead() == 4; }, 10000)) << listings.foldersAhead();
    QTest::qWait(50);
    EXPECT_EQ(listings.foldersAhead(), 4);
    // A folder that changed since it was read ahead is read again.
    ASSERT_TRUE(QFile::rename(root + "/b/y.txt", root + "/b/z.txt"));

    const FolderListings::Listing top = listings.take(QString());
    EXPECT_EQ(top.folders, QStringList({"a", "b"}));
    EXPECT_EQ(top.files, QStringList({"top.txt"}));
    // The walk leaves a out: what was read of it is dropped.
    const FolderListings::Listing b = listings.take("b");
    EXPECT_EQ(b.folders, QStringList());
    EXPECT_EQ(b.files, QStringList({"link", "z.txt"}));
    EXPECT_EQ(listings.foldersAhead(), 0);
    // A folder no longer ahead is read when asked for.
    ASSERT_TRUE(QFile::rename(root + "/a/x.txt", root + "/a/w.txt"));
    const FolderListings::Listing a = listings.take("a");
    EXPECT_EQ(a.folders, QStringList({"a1"}));
    EXPECT_EQ(a.files, QStringList({"w.txt"}));
}
