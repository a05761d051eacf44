#include "Path.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

TEST(PathRelativeTest, RelativeDirPathTable)
{
    struct Row {
        const char* base;
        const char* target;
        bool returns;
        const char* result; // nullptr: the null string
    };
    const Row rows[] = {
        { "/a/b/c", "/a/b/c", true, nullptr }, { "/a/b/c", "/a/b", true, ".." },
        { "/a/b", "/a/b/c/d", true, "c/d" },   { "/a/b/c", "/a/x/y", true, "../../x/y" },
        { "/a/b", "/c/d", false, nullptr },    { "/", "/a", false, nullptr },
        { "/a", "/", false, nullptr },         { "/q/r", ".", true, nullptr },
        { "/", ".", true, nullptr },           { "/a/B", "/a/b", true, "../b" },
        { "//a//b/", "/a/b/c", true, "c" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.base) + " -> " + row.target);
        QString result = QStringLiteral("stale");
        EXPECT_EQ(Path::relativeDirPath(QString::fromLatin1(row.base),
                                        QString::fromLatin1(row.target), result),
                  row.returns);
        if (row.result)
            EXPECT_EQ(result, QString::fromLatin1(row.result));
        else
            EXPECT_TRUE(result.isNull()) << result.toStdString();
    }
}

TEST(PathRelativeTest, RelativeDirPathResolvesRelativeInputsAgainstWorkingDirectory)
{
    const QString cwd = QDir::currentPath();
    QString result;
    ASSERT_TRUE(Path::relativeDirPath(cwd, QStringLiteral("sub/dir"), result));
    EXPECT_EQ(result, QStringLiteral("sub/dir"));
    ASSERT_TRUE(Path::relativeDirPath(QStringLiteral("sub"), cwd, result));
    EXPECT_EQ(result, QStringLiteral(".."));
}

TEST(PathRelativeTest, RelativeFilePath)
{
    struct Row {
        const char* base;
        const char* file;
        const char* result;
    };
    const Row rows[] = {
        { "/a/b", "/a/b/c/f.txt", "c/f.txt" }, { "/a/b/c", "/a/x/f.txt", "../../x/f.txt" },
        { "/a/b", "/a/b/f.txt", "f.txt" },     { "/a/b", "f.txt", "f.txt" }, { "/", "f.txt", "f.txt" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.base) + " , " + row.file);
        QString result;
        EXPECT_TRUE(Path::relativeFilePath(QString::fromLatin1(row.base),
                                           QString::fromLatin1(row.file), result));
        EXPECT_EQ(result, QString::fromLatin1(row.result));
        EXPECT_EQ(Path::relativeFilePath(QString::fromLatin1(row.base),
                                         QString::fromLatin1(row.file)),
                  QString::fromLatin1(row.result));
    }

    QString untouched = QStringLiteral("keep");
    EXPECT_FALSE(Path::relativeFilePath(QStringLiteral("/a"), QStringLiteral("/b/f.txt"), untouched));
    EXPECT_EQ(untouched, QStringLiteral("keep"));
    EXPECT_EQ(Path::relativeFilePath(QStringLiteral("/a"), QStringLiteral("/b/f.txt")),
              QStringLiteral("/b/f.txt"));
}

TEST(PathRelativeTest, EqualIsExactAndCaseSensitive)
{
    EXPECT_FALSE(Path::equal(QStringLiteral("/a"), QStringLiteral("/A")));
    EXPECT_FALSE(Path::equal(QStringLiteral("/a/"), QStringLiteral("/a")));
}

TEST(PathRelativeTest, EnsureDirExistsMakesTheMissingChainOnly)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString x = tmp.path() + QStringLiteral("/x");
    ASSERT_TRUE(QDir().mkdir(x));

    Path::ensureDirExists(x + QStringLiteral("/y/z/file.txt"));
    EXPECT_TRUE(QFileInfo(x + QStringLiteral("/y/z")).isDir());
    EXPECT_FALSE(QFileInfo::exists(x + QStringLiteral("/y/z/file.txt")));

    EXPECT_EQ(QDir(x).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({ QStringLiteral("y") }));

    // A regular file in the way: silently nothing is made below it.
    QFile blocker(tmp.path() + QStringLiteral("/plain"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Path::ensureDirExists(tmp.path() + QStringLiteral("/plain/d/e/f.txt"));
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + QStringLiteral("/plain/d")));
    EXPECT_TRUE(QFileInfo(tmp.path() + QStringLiteral("/plain")).isFile());
}
