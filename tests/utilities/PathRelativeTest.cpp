#include "Path.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

TEST(PathRelativeTest, RelativeDirPathTable)
{
    struct Row { const char* base; const char* target; bool returns; const char* result; }; // result nullptr: null
    const Row rows[] = {
        { "/a/b/c", "/a/b/c", true, nullptr }, { "/a/b/c", "/a/b", true, ".." },
        { "/a/b", "/a/b/c/d", true, "c/d" },   { "/a/b/c", "/a/x/y", true, "../../x/y" },
        { "/a/b", "/c/d", false, nullptr },    { "/", "/a", false, nullptr },
        { "/a", "/", false, nullptr },         { "/q/r", ".", true, nullptr },
        { "/", ".", true, nullptr },           { "/a/B", "/a/b", true, "../b" },
        { "//a//b/", "/a/b/c", true, "c" },
        // Relative inputs are resolved against the working directory.
        { nullptr, "sub/dir", true, "sub/dir" }, { "sub", nullptr, true, ".." },
    };
    const QString cwd = QDir::currentPath();
    for (const Row& row : rows) {
        const QString base = row.base ? QString::fromLatin1(row.base) : cwd;
        const QString target = row.target ? QString::fromLatin1(row.target) : cwd;
        SCOPED_TRACE((base + QStringLiteral(" -> ") + target).toStdString());
        QString result = "stale";
        EXPECT_EQ(Path::relativeDirPath(base, target, result), row.returns);
        EXPECT_EQ(result, QString::fromLatin1(row.result));
        EXPECT_EQ(result.isNull(), !row.result);
    }
}

TEST(PathRelativeTest, RelativeFilePathAndEqual)
{
    const struct { const char* base; const char* file; const char* result; } cases[] = {
        { "/a/b", "/a/b/c/f.txt", "c/f.txt" }, { "/a/b/c", "/a/x/f.txt", "../../x/f.txt" },
        { "/a/b", "/a/b/f.txt", "f.txt" },     { "/a/b", "f.txt", "f.txt" }, { "/", "f.txt", "f.txt" },
    };
    for (const auto& c : cases) {
        const QString base = QString::fromLatin1(c.base), file = QString::fromLatin1(c.file);
        QString result;
        EXPECT_TRUE(Path::relativeFilePath(base, file, result)) << c.file;
        EXPECT_EQ(result, QString::fromLatin1(c.result));
        EXPECT_EQ(Path::relativeFilePath(base, file), QString::fromLatin1(c.result));
    }
    QString untouched = "keep";
    EXPECT_FALSE(Path::relativeFilePath("/a", "/b/f.txt", untouched));
    EXPECT_EQ(untouched, "keep");
    EXPECT_EQ(Path::relativeFilePath("/a", "/b/f.txt"), "/b/f.txt");

    EXPECT_TRUE(Path::equal("/a", "/a"));
    EXPECT_FALSE(Path::equal("/a", "/A"));
    EXPECT_FALSE(Path::equal("/a/", "/a"));
}

TEST(PathRelativeTest, EnsureDirExistsMakesTheMissingChainOnly)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString x = tmp.filePath("x");
    ASSERT_TRUE(QDir().mkdir(x));
    Path::ensureDirExists(x + "/y/z/file.txt");
    EXPECT_TRUE(QFileInfo(x + "/y/z").isDir());
    EXPECT_FALSE(QFileInfo::exists(x + "/y/z/file.txt"));

    // A regular file in the way: silently nothing is made below it.
    QFile blocker(tmp.filePath("plain"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Path::ensureDirExists(blocker.fileName() + "/d/e/f.txt");
    EXPECT_FALSE(QFileInfo::exists(blocker.fileName() + "/d"));
    EXPECT_TRUE(QFileInfo(blocker.fileName()).isFile());
}
