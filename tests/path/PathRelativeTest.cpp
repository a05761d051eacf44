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
        // Relative inputs are resolved against the working directory.
        { nullptr, "sub/dir", true, "sub/dir" }, { "sub", nullptr, true, ".." },
    };
    const QString cwd = QDir::currentPath();
    for (const Row& row : rows) {
        const QString base = row.base ? QString::fromLatin1(row.base) : cwd;
        const QString target = row.target ? QString::fromLatin1(row.target) : cwd;
        SCOPED_TRACE((base + QStringLiteral(" -> ") + target).toStdString());
        QString result = QStringLiteral("stale");
        EXPECT_EQ(Path::relativeDirPath(base, target, result), row.returns);
        if (row.result)
            EXPECT_EQ(result, QString::fromLatin1(row.result));
        else
            EXPECT_TRUE(result.isNull()) << result.toStdString();
    }
}

TEST(PathRelativeTest, RelativeFilePathAndEqual)
{
    const struct {
        const char* base;
        const char* file;
        const char* result;
    } cases[] = {
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
    QString untouched = QStringLiteral("keep");
    EXPECT_FALSE(Path::relativeFilePath(QStringLiteral("/a"), QStringLiteral("/b/f.txt"), untouched));
    EXPECT_EQ(untouched, QStringLiteral("keep"));
    EXPECT_EQ(Path::relativeFilePath(QStringLiteral("/a"), QStringLiteral("/b/f.txt")), QStringLiteral("/b/f.txt"));

    EXPECT_TRUE(Path::equal(QStringLiteral("/a"), QStringLiteral("/a")));
    EXPECT_FALSE(Path::equal(QStringLiteral("/a"), QStringLiteral("/A")));
    EXPECT_FALSE(Path::equal(QStringLiteral("/a/"), QStringLiteral("/a")));
}

TEST(PathRelativeTest, EnsureDirExistsMakesTheMissingChainOnly)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString x = tmp.filePath(QStringLiteral("x"));
    ASSERT_TRUE(QDir().mkdir(x));
    Path::ensureDirExists(x + QStringLiteral("/y/z/file.txt"));
    EXPECT_TRUE(QFileInfo(x + QStringLiteral("/y/z")).isDir());
    EXPECT_FALSE(QFileInfo::exists(x + QStringLiteral("/y/z/file.txt")));

    // A regular file in the way: silently nothing is made below it.
    QFile blocker(tmp.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Path::ensureDirExists(blocker.fileName() + QStringLiteral("/d/e/f.txt"));
    EXPECT_FALSE(QFileInfo::exists(blocker.fileName() + QStringLiteral("/d")));
    EXPECT_TRUE(QFileInfo(blocker.fileName()).isFile());
}
