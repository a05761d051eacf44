#include "Path.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

TEST(PathTest, NormalisationTable)
{
    const std::pair<const char*, const char*> rows[] = {
        { "/a/b/../c", "/a/c" }, { "/a/./b", "/a/b" },   { "/a/.", "/a" },
        { "a/b/../c", "a/c" },   { "/x//../b", "/b" },   { "//a///b", "/a/b" },
        { "/a/b/", "/a/b/" },    { "/a/..", "" },        { "/.", "" },
        { "a/../b", "a/../b" },  { "../x", "../x" },     { "/../x", "/../x" },
        { "./a", "./a" },        { "/a/.hidden", "/a/.hidden" }, { "/a/..b", "/a/..b" },
        { "/a/b/c/../../d", "/a/d" }, { "/a/b/./../c/.", "/a/c" }, { "a\\..\\b", "a\\..\\b" },
        { "/a/b\\/../c", "/a/c" }, { "", "" }, { ".", "." }, { "..", ".." }, { "/", "/" }, { "//", "/" },
    };
    for (const auto& [given, stored] : rows) {
        SCOPED_TRACE(given);
        QString text = QString::fromLatin1(given);
        Path::removeRelativePaths(text);
        EXPECT_EQ(text, QString::fromLatin1(stored));
        EXPECT_EQ(Path(given).osPathQString(), QString::fromLatin1(stored));
        EXPECT_STREQ(Path(given).osPath(), stored);
    }
}

TEST(PathTest, ConstructorsAndSetPath)
{
    EXPECT_TRUE(Path::isPathDelimiter(QLatin1Char('/')));
    EXPECT_FALSE(Path::isPathDelimiter(QLatin1Char('\\')));

    const Path empty;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.osPathQString().isNull());
    EXPECT_EQ(Path(std::string("/a/./b\0/../x", 12)).osPathQString(), "/a/b");
    EXPECT_STREQ(Path("/q//s").canonicalPath(), "/q/s");

    Path p("/one");
    p.setPath(std::string("/three\0tail", 11));
    EXPECT_EQ(p.osPathQString(), "/three");
    p.setPath("/four/..");
    EXPECT_TRUE(p.isEmpty());
}

TEST(PathTest, CopiesShareUntilOneChanges)
{
    Path a("/a/b");
    const char* bytes = a.osPath();
    Path b = a;
    EXPECT_EQ(b.osPath(), bytes) << "a copy shares the body and its filled cache";
    b.setPath("/c");
    EXPECT_EQ(a.osPath(), bytes) << "the unchanged value keeps its body and cache";
    EXPECT_STREQ(bytes, "/a/b");
    EXPECT_STREQ(b.osPath(), "/c");

    Path c("/solo");
    const char* soloBytes = c.osPath();
    c.detach();
    EXPECT_EQ(c.osPath(), soloBytes) << "a private body is not copied again";
    c = a;
    a = Path("/z");
    EXPECT_EQ(c.osPath(), bytes);
    EXPECT_STREQ(a.osPath(), "/z");

    Path shared = c;
    (shared += "/x/./y/..") += "z";
    EXPECT_EQ(shared.osPathQString(), "/a/b/xz");
    EXPECT_EQ((c + "/../c").osPathQString(), "/a/c");
    EXPECT_STREQ(c.osPath(), "/a/b");
}

TEST(PathTest, CopiesOfOneValueLiveOnManyThreads)
{
    // Threads copy the same values at once; then, all at once again, they
    // query their copies (the first query of a body fills the caches its
    // copies share), compare, change and drop them. The values and their
    // caches come out as they were.
    std::vector<Path> values;
    for (int i = 0; i < 300; ++i)
        values.emplace_back(QStringLiteral("/top/./%1/../f.txt").arg(i));
    const int count = 8;
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back([&values, &ready, t] {
            std::vector<Path> copies(values);
            ready.fetch_add(1);
            while (ready.load() < count)
                std::this_thread::yield();
            const QString own = QStringLiteral("/thread/%1").arg(t);
            for (Path& copy : copies) {
                EXPECT_STREQ(copy.osPath(), "/top/f.txt");
                EXPECT_EQ(copy.fileName(), "f.txt");
                EXPECT_TRUE(Path("/top/f.txt") == copy && !(copy < Path("/top/f.txt")));
                Path again = copy;
                copy.setPath(own);
                EXPECT_EQ(copy.canonicalPathQString(), own);
                again = copy;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (const Path& value : values)
        EXPECT_STREQ(value.canonicalPath(), "/top/f.txt");
    EXPECT_FALSE(values.front().exists());
}

TEST(PathTest, ComparisonsUseCanonicalFormExactly)
{
    EXPECT_FALSE(Path("/a/b/") == Path("/a/b"));
    EXPECT_TRUE(Path("/a/./b") == Path("/a/b"));
    EXPECT_FALSE(Path("/A") == Path("/a"));
    EXPECT_TRUE(Path("/A") < Path("/a"));
    EXPECT_TRUE(Path("/a") < Path("/a/b"));
    EXPECT_FALSE(Path("/b") < Path("/a"));
    EXPECT_FALSE(Path("/a") < Path("/a"));
}

TEST(PathTest, FileQueries)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString sub = tmp.path() + "/sub";
    ASSERT_TRUE(QDir().mkpath(sub));
    const Path p(tmp.path() + "/sub/./x/../f.tar.gz");
    EXPECT_EQ(p.filePath(), sub + "/f.tar.gz");
    EXPECT_EQ(p.baseName(), "f");
    EXPECT_EQ(p.extension(true), "tar.gz");
    EXPECT_EQ(p.extension(false), "gz");
    EXPECT_EQ(p.dirPath(false), sub);
    EXPECT_EQ(p.dirPathQStringList(false), sub.split(QLatin1Char('/'), Qt::SkipEmptyParts));

    QFile f(p.filePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("12345");
    f.flush();
    ASSERT_TRUE(f.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000, Qt::UTC), QFileDevice::FileModificationTime));
    f.close();
    EXPECT_EQ(p.size(), 5);
    EXPECT_EQ(p.lastModified().toSecsSinceEpoch(), 1000000000);

    // Queries other than the dates answer from the file information as read.
    ASSERT_TRUE(QFile::remove(p.filePath()));
    EXPECT_TRUE(p.exists());
    EXPECT_FALSE(p.lastModified().isValid());
    // A new path is looked at afresh.
    Path q(sub);
    EXPECT_TRUE(q.exists());
    q.setPath(tmp.path() + "/missing");
    EXPECT_FALSE(q.exists());
    EXPECT_EQ(q.fileName(), "missing");
    EXPECT_EQ(Path("rel/name.txt").filePathQStringList(false), QStringList({ "rel", "name.txt" }));
}
