#include "Path.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <random>
#include <string>

namespace {

QString normalised(const QString& text)
{
    QString copy = text;
    Path::removeRelativePaths(copy);
    return copy;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

} // namespace

TEST(PathTest, NormalisationTable)
{
    struct Row {
        const char* given;
        const char* stored;
    };
    const Row rows[] = {
        {"/a/b/../c", "/a/c"},
        {"/a/./b", "/a/b"},
        {"/a/.", "/a"},
        {"a/b/../c", "a/c"},
        {"/x//../b", "/b"},
        {"//a///b", "/a/b"},
        {"/a/b/", "/a/b/"},
        {"/a/..", ""},
        {"/.", ""},
        {"a/../b", "a/../b"},
        {"../x", "../x"},
        {"/../x", "/../x"},
        {"./a", "./a"},
        {"/a/.hidden", "/a/.hidden"},
        {"/a/..b", "/a/..b"},
        {"/a/b/c/../../d", "/a/d"},
        {"/a/b/./../c/.", "/a/c"},
        {"a\\..\\b", "a\\..\\b"},
        {"/a/b\\/../c", "/a/c"},
        {"", ""},
        {".", "."},
        {"..", ".."},
        {"/", "/"},
        {"//", "/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.given);
        EXPECT_EQ(normalised(QString::fromLatin1(row.given)), QString::fromLatin1(row.stored));
        EXPECT_EQ(Path(row.given).osPathQString(), QString::fromLatin1(row.stored));
        EXPECT_STREQ(Path(row.given).osPath(), row.stored);
    }
}

TEST(PathTest, NormalisationIsIdempotentOnEveryShortAndManyRandomInputs)
{
    auto check = [](const QString& input) {
        const QString once = normalised(input);
        const QString twice = normalised(once);
        ASSERT_EQ(twice, once) << "input " << input.toStdString();
        ASSERT_LE(once.size(), input.size()) << "input " << input.toStdString();
        ASSERT_FALSE(once.contains(QLatin1String("//"))) << "input " << input.toStdString();
    };

    // Every string of up to eight characters over the three that matter.
    const char alphabet[] = {'/', '.', 'a'};
    for (int length = 0; length <= 8; ++length) {
        int total = 1;
        for (int i = 0; i < length; ++i)
            total *= 3;
        for (int n = 0; n < total; ++n) {
            QString s;
            for (int i = 0, v = n; i < length; ++i, v /= 3)
                s += QLatin1Char(alphabet[v % 3]);
            check(s);
        }
    }

    std::mt19937 random(20240611u);
    const char wide[] = {'/', '/', '.', '.', 'a', 'b', '\\'};
    std::uniform_int_distribution<int> pick(0, int(sizeof wide) - 1);
    std::uniform_int_distribution<int> length(0, 40);
    for (int n = 0; n < 20000; ++n) {
        QString s;
        for (int i = length(random); i > 0; --i)
            s += QLatin1Char(wide[pick(random)]);
        check(s);
    }
}

TEST(PathTest, DelimiterIsOnlySlash)
{
    EXPECT_TRUE(Path::isPathDelimiter(QLatin1Char('/')));
    EXPECT_FALSE(Path::isPathDelimiter(QLatin1Char('\\')));
    EXPECT_FALSE(Path::isPathDelimiter(QLatin1Char('.')));
}

TEST(PathTest, ConstructorsAndSetPath)
{
    const Path empty;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.osPathQString().isNull());
    EXPECT_STREQ(empty.osPath(), "");

    EXPECT_EQ(Path(std::string("/a/./b\0/../x", 12)).osPathQString(), QStringLiteral("/a/b"));
    EXPECT_EQ(Path(QStringLiteral("/q/../r")).osPathQString(), QStringLiteral("/r"));
    EXPECT_EQ(Path("/q/s").canonicalPathQString(), QStringLiteral("/q/s"));
    EXPECT_STREQ(Path("/q//s").canonicalPath(), "/q/s");

    Path p("/one");
    p.setPath("/two/./x");
    EXPECT_EQ(p.osPathQString(), QStringLiteral("/two/x"));
    p.setPath(std::string("/three\0tail", 11));
    EXPECT_EQ(p.osPathQString(), QStringLiteral("/three"));
    p.setPath(QStringLiteral("/four/.."));
    EXPECT_TRUE(p.isEmpty());
}

TEST(PathTest, CopiesShareUntilOneChanges)
{
    Path a("/a/b");
    const char* bytes = a.osPath();
    Path b = a;
    EXPECT_EQ(b.osPath(), bytes) << "a copy shares the body and its filled cache";
    EXPECT_TRUE(a == b);

    b.setPath("/c");
    EXPECT_EQ(a.osPath(), bytes) << "the unchanged value keeps its body and cache";
    EXPECT_STREQ(bytes, "/a/b");
    EXPECT_STREQ(b.osPath(), "/c");
    EXPECT_TRUE(a != b);

    // A private body is not copied again.
    Path c("/solo");
    const char* soloBytes = c.osPath();
    c.detach();
    EXPECT_EQ(c.osPath(), soloBytes);

    // Self-assignment and assignment over a shared body.
    Path& alias = c;
    c = alias;
    EXPECT_STREQ(c.osPath(), "/solo");
    c = a;
    EXPECT_EQ(c.osPath(), bytes);
    a = Path("/z");
    EXPECT_STREQ(c.osPath(), "/a/b");
    EXPECT_STREQ(a.osPath(), "/z");
}

TEST(PathTest, AppendingAddsTextWithoutSeparatorThenNormalises)
{
    const Path a("/a");
    EXPECT_EQ((a + QStringLiteral("b")).osPathQString(), QStringLiteral("/ab"));
    EXPECT_EQ((a + QStringLiteral("/b/../c")).osPathQString(), QStringLiteral("/a/c"));
    EXPECT_EQ(a.osPathQString(), QStringLiteral("/a"));

    Path shared = a;
    shared += QStringLiteral("/x/./y");
    EXPECT_EQ(shared.osPathQString(), QStringLiteral("/a/x/y"));
    EXPECT_EQ(a.osPathQString(), QStringLiteral("/a"));
    (shared += QStringLiteral("/..")) += QStringLiteral("z");
    EXPECT_EQ(shared.osPathQString(), QStringLiteral("/a/xz"));
}

TEST(PathTest, ComparisonsUseCanonicalFormExactly)
{
    EXPECT_FALSE(Path("/a/b/") == Path("/a/b"));
    EXPECT_TRUE(Path("/a/b/") != Path("/a/b"));
    EXPECT_TRUE(Path("/a/./b") == Path("/a/b"));
    EXPECT_FALSE(Path("/A") == Path("/a"));

    EXPECT_TRUE(Path("/A") < Path("/a"));
    EXPECT_TRUE(Path("/a") < Path("/a/b"));
    EXPECT_FALSE(Path("/b") < Path("/a"));
    EXPECT_FALSE(Path("/a") < Path("/a"));

    const Path p("/same");
    const Path q = p;
    EXPECT_TRUE(p == q);
    EXPECT_FALSE(p != q);
    EXPECT_FALSE(p < q);
}

TEST(PathTest, FileQueries)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString file = tmp.path() + QStringLiteral("/sub/f.tar.gz");
    ASSERT_TRUE(QDir().mkpath(tmp.path() + QStringLiteral("/sub")));

    const Path p(tmp.path() + QStringLiteral("/sub/./x/../f.tar.gz"));
    EXPECT_EQ(p.filePath(), file);
    EXPECT_EQ(p.fileName(), QStringLiteral("f.tar.gz"));
    EXPECT_EQ(p.baseName(), QStringLiteral("f"));
    EXPECT_EQ(p.extension(true), QStringLiteral("tar.gz"));
    EXPECT_EQ(p.extension(false), QStringLiteral("gz"));
    EXPECT_EQ(p.dirPath(false), tmp.path() + QStringLiteral("/sub"));
    EXPECT_EQ(p.dir(true).absolutePath(), tmp.path() + QStringLiteral("/sub"));
    EXPECT_EQ(p.dirPathQStringList(false),
              (tmp.path() + QStringLiteral("/sub")).split(QLatin1Char('/'), Qt::SkipEmptyParts));
    QStringList parts = tmp.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts << QStringLiteral("sub") << QStringLiteral("f.tar.gz");
    EXPECT_EQ(p.filePathQStringList(true), parts);

    writeFile(file, QByteArray("12345"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const QDateTime when = QDateTime::fromSecsSinceEpoch(1000000000, Qt::UTC);
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    f.close();
    EXPECT_TRUE(p.exists());
    EXPECT_EQ(p.size(), 5);
    EXPECT_TRUE(p.readable());
    EXPECT_EQ(p.lastModified().toSecsSinceEpoch(), 1000000000);
    EXPECT_TRUE(p.created().isValid());
    EXPECT_TRUE(p.lastRead().isValid());

    // Queries other than the dates answer from the file information as read.
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_TRUE(p.exists());
    EXPECT_FALSE(p.lastModified().isValid());

    const Path relative("rel/name.txt");
    EXPECT_EQ(relative.dirPath(false), QStringLiteral("rel"));
    EXPECT_EQ(relative.filePathQStringList(false),
              QStringList({QStringLiteral("rel"), QStringLiteral("name.txt")}));
}
