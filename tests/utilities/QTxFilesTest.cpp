#include "QTxFiles.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <random>
#include <string>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

mode_t modeOf(const QString& path)
{
    struct stat st;
    if (::stat(path.toLatin1().constData(), &st) != 0)
        return mode_t(-1);
    return st.st_mode & 07777;
}

struct stat statOf(const QString& path)
{
    struct stat st = {};
    ::stat(path.toLatin1().constData(), &st);
    return st;
}

void setTimes(const QString& path, time_t accessed, time_t modified)
{
    struct utimbuf times;
    times.actime = accessed;
    times.modtime = modified;
    ASSERT_EQ(::utime(path.toLatin1().constData(), &times), 0);
}

QByteArray randomBytes(int size, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(random() & 0xff);
    return bytes;
}

// Sets the file-creation mask for the life of the object.
class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask) : m_old(::umask(mask)) {}
    ~ScopedUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

// Sets TZ for the life of the object.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_hadOld = old != nullptr;
        if (old)
            m_old = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_hadOld)
            ::setenv("TZ", m_old.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool m_hadOld = false;
    std::string m_old;
};

class QTxFilesTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_tmp.isValid()); }
    QString at(const char* relative) const
    {
        return m_tmp.path() + QLatin1Char('/') + QString::fromLatin1(relative);
    }

    QTemporaryDir m_tmp;
};

} // namespace

TEST_F(QTxFilesTest, RemoveFileAndDir)
{
    EXPECT_FALSE(QTx::removeFile(at("missing")));

    writeBytes(at("f"), "x");
    EXPECT_TRUE(QTx::removeFile(at("f")));
    EXPECT_FALSE(QFileInfo::exists(at("f")));

    ASSERT_TRUE(QDir().mkpath(at("d/inner")));
    EXPECT_FALSE(QTx::removeDir(at("d")));
    EXPECT_TRUE(QTx::removeDir(at("d/inner")));
    EXPECT_TRUE(QTx::removeDir(at("d")));
    EXPECT_FALSE(QTx::removeDir(at("d")));
}

TEST_F(QTxFilesTest, ChangeDir)
{
    const QString before = QDir::currentPath();
    EXPECT_FALSE(QTx::changeDir(at("missing")));
    EXPECT_EQ(QDir::currentPath(), before);
    EXPECT_TRUE(QTx::changeDir(m_tmp.path()));
    EXPECT_EQ(QDir::currentPath(), QDir(m_tmp.path()).canonicalPath());
    ASSERT_TRUE(QTx::changeDir(before));
}

TEST_F(QTxFilesTest, SetWriteableTouchesOnlyOwnerWrite)
{
    writeBytes(at("ro"), "a");
    ASSERT_EQ(::chmod(at("ro").toLatin1().constData(), 0444), 0);
    EXPECT_TRUE(QTx::setWriteable(at("ro"), true));
    EXPECT_EQ(modeOf(at("ro")), mode_t(0644));

    writeBytes(at("rw"), "b");
    ASSERT_EQ(::chmod(at("rw").toLatin1().constData(), 0666), 0);
    EXPECT_TRUE(QTx::setWriteable(at("rw"), false));
    EXPECT_EQ(modeOf(at("rw")), mode_t(0466));

    // Already in the requested state: nothing moves.
    EXPECT_TRUE(QTx::setWriteable(at("rw"), false));
    EXPECT_EQ(modeOf(at("rw")), mode_t(0466));

    EXPECT_FALSE(QTx::setWriteable(at("missing"), true));
    EXPECT_FALSE(QFileInfo::exists(at("missing")));
}

TEST_F(QTxFilesTest, MakeDirBuildsChains)
{
    EXPECT_TRUE(QTx::makeDir(at("a/b/c")));
    EXPECT_TRUE(QFileInfo(at("a")).isDir());
    EXPECT_TRUE(QFileInfo(at("a/b")).isDir());
    EXPECT_TRUE(QFileInfo(at("a/b/c")).isDir());
    EXPECT_TRUE(QTx::makeDir(at("a/b/c")));
    EXPECT_TRUE(QTx::makeDir(QDir(at("a/b/c2/d"))));
    EXPECT_TRUE(QFileInfo(at("a/b/c2/d")).isDir());
    EXPECT_TRUE(QTx::makeDir(QDir(QStringLiteral("/"))));

    EXPECT_EQ(QTx::parentDir(QDir(at("a/b/c"))).absolutePath(), at("a/b"));

    writeBytes(at("plain"), "x");
    EXPECT_FALSE(QTx::makeDir(at("plain/sub/deeper")));
    EXPECT_TRUE(QFileInfo(at("plain")).isFile());
}

TEST_F(QTxFilesTest, CopyFileIntoDirectoryKeepsTimesAndModeLessMask)
{
    const ScopedUmask mask(027);
    writeBytes(at("src.txt"), "hello\nworld\n");
    ASSERT_EQ(::chmod(at("src.txt").toLatin1().constData(), 0776), 0);
    setTimes(at("src.txt"), 1000000000, 1100000000);
    ASSERT_TRUE(QDir().mkdir(at("dest")));

    EXPECT_TRUE(QTx::copyFile(at("src.txt"), at("dest"), false));
    const QString copy = at("dest/src.txt");
    // Times first: reading the copy may move its access time.
    EXPECT_EQ(statOf(copy).st_atime, 1000000000);
    EXPECT_EQ(statOf(copy).st_mtime, 1100000000);
    EXPECT_EQ(modeOf(copy), mode_t(0750));
    EXPECT_EQ(readBytes(copy), QByteArray("hello\nworld\n"));

    // An existing target is truncated and overwritten.
    writeBytes(at("long.txt"), QByteArray(100, 'z'));
    writeBytes(at("short.txt"), "ab");
    EXPECT_TRUE(QTx::copyFile(at("short.txt"), at("long.txt"), false));
    EXPECT_EQ(readBytes(at("long.txt")), QByteArray("ab"));
}

TEST_F(QTxFilesTest, CopyFileLargeIsByteExact)
{
    const QByteArray data = randomBytes(12 * 131072 + 7, 42u); // twelve full chunks and a short one
    ASSERT_GT(data.size(), 1024 * 1024);
    writeBytes(at("big.bin"), data);
    EXPECT_TRUE(QTx::copyFile(at("big.bin"), at("made/here/copy.bin"), true));
    EXPECT_TRUE(readBytes(at("made/here/copy.bin")) == data);
}

TEST_F(QTxFilesTest, CopyFileFailures)
{
    EXPECT_FALSE(QTx::copyFile(at("missing"), at("new/dir/x"), true));
    EXPECT_FALSE(QFileInfo::exists(at("new")));

    writeBytes(at("src"), "data");
    writeBytes(at("plain"), "x");
    EXPECT_FALSE(QTx::copyFile(at("src"), at("plain/sub/x"), false));
    EXPECT_FALSE(QTx::copyFile(at("src"), at("plain/sub/x"), true));
    EXPECT_FALSE(QTx::copyFile(at("src"), at("nodir/x"), false));
    EXPECT_FALSE(QFileInfo::exists(at("nodir")));
}

TEST_F(QTxFilesTest, CopyDirCopiesTreeSkippingHidden)
{
    ASSERT_TRUE(QDir().mkpath(at("src/sub/deep")));
    ASSERT_TRUE(QDir().mkpath(at("src/.hiddendir")));
    writeBytes(at("src/top.txt"), "top");
    writeBytes(at("src/sub/mid.txt"), "mid");
    writeBytes(at("src/sub/deep/low.bin"), randomBytes(5000, 7u));
    writeBytes(at("src/.hidden"), "h");
    writeBytes(at("src/.hiddendir/x"), "x");
    ASSERT_TRUE(QDir().mkpath(at("dst/sub")));

    EXPECT_TRUE(QTx::copyDir(at("src"), at("dst")));
    EXPECT_EQ(readBytes(at("dst/top.txt")), QByteArray("top"));
    EXPECT_EQ(readBytes(at("dst/sub/mid.txt")), QByteArray("mid"));
    EXPECT_TRUE(readBytes(at("dst/sub/deep/low.bin")) == randomBytes(5000, 7u));
    EXPECT_FALSE(QFileInfo::exists(at("dst/.hidden")));
    EXPECT_FALSE(QFileInfo::exists(at("dst/.hiddendir")));
}

TEST_F(QTxFilesTest, CopyDirFailures)
{
    ASSERT_TRUE(QDir().mkpath(at("src/sub")));
    writeBytes(at("src/sub/f"), "f");
    writeBytes(at("file"), "not a dir");

    EXPECT_FALSE(QTx::copyDir(at("src"), at("missing")));
    EXPECT_FALSE(QFileInfo::exists(at("missing")));
    EXPECT_FALSE(QTx::copyDir(at("missing"), at("src")));
    EXPECT_FALSE(QTx::copyDir(at("file"), at("src")));
    EXPECT_FALSE(QTx::copyDir(at("src"), at("file")));

    ASSERT_TRUE(QDir().mkdir(at("dst")));
    writeBytes(at("dst/sub"), "in the way");
    EXPECT_FALSE(QTx::copyDir(at("src"), at("dst")));
    EXPECT_EQ(readBytes(at("dst/sub")), QByteArray("in the way"));
}

TEST_F(QTxFilesTest, CreateFile)
{
    const ScopedUmask mask(022);
    unsigned char data[] = {'a', 0, 'b', 0xff};
    EXPECT_TRUE(QTx::createFile(at("made"), 4, data, false, 1234567890L));
    EXPECT_EQ(statOf(at("made")).st_mtime, 1234567890);
    EXPECT_EQ(statOf(at("made")).st_atime, 1234567890);
    EXPECT_EQ(modeOf(at("made")), mode_t(0600));
    EXPECT_EQ(readBytes(at("made")), QByteArray("a\0b\xff", 4));

    EXPECT_TRUE(QTx::createFile(at("made"), 1, data, true, 1000L));
    EXPECT_EQ(readBytes(at("made")), QByteArray("a"));
    EXPECT_EQ(modeOf(at("made")), mode_t(0400));

    EXPECT_TRUE(QTx::createFile(at("empty"), 0, nullptr, false, 5L));
    EXPECT_EQ(readBytes(at("empty")), QByteArray());

    EXPECT_FALSE(QTx::createFile(at("nodir/x"), 1, data, false, 0L));
}

TEST_F(QTxFilesTest, UtcModificationTimeShiftsByZoneOffset)
{
    writeBytes(at("f"), "x");
    setTimes(at("f"), 1100000000, 1100000000);
    {
        const ScopedTimeZone zone("UTC0");
        EXPECT_EQ(QTx::getUTCModificationTime(at("f")), 1100000000L);
    }
    {
        const ScopedTimeZone zone("EAST-2"); // two hours east of UTC
        EXPECT_EQ(QTx::getUTCModificationTime(at("f")), 1100000000L - 7200);
    }
    {
        const ScopedTimeZone zone("WEST5");
        EXPECT_EQ(QTx::getUTCModificationTime(at("f")), 1100000000L + 5 * 3600);
    }
    EXPECT_EQ(QTx::getUTCModificationTime(at("missing")), 0L);

    const QDateTime t = QDateTime::fromSecsSinceEpoch(1, Qt::UTC);
    EXPECT_FALSE(QTx::setFileTimes(at("f"), t, t, t));
    EXPECT_EQ(statOf(at("f")).st_mtime, 1100000000);
}

TEST_F(QTxFilesTest, FilesMatch)
{
    writeBytes(at("e1"), QByteArray());
    writeBytes(at("e2"), QByteArray());
    EXPECT_TRUE(QTx::filesMatch(at("e1"), at("e2")));

    QByteArray data = randomBytes(1500, 3u);
    writeBytes(at("a"), data);
    writeBytes(at("same"), data);
    EXPECT_TRUE(QTx::filesMatch(at("a"), at("same")));
    data[1499] = char(data[1499] ^ 1);
    writeBytes(at("b"), data);
    EXPECT_FALSE(QTx::filesMatch(at("a"), at("b")));

    data[1499] = char(data[1499] ^ 1);
    data[0] = char(data[0] ^ 0x80);
    writeBytes(at("c"), data);
    EXPECT_FALSE(QTx::filesMatch(at("a"), at("c")));

    writeBytes(at("shorter"), data.left(1499));
    EXPECT_FALSE(QTx::filesMatch(at("a"), at("shorter")));
    EXPECT_FALSE(QTx::filesMatch(at("a"), at("missing")));
    EXPECT_FALSE(QTx::filesMatch(at("missing"), at("missing")));
}

TEST(QTxFilesPathText, FormatSimplifyAndCapitalisation)
{
    struct Row {
        const char* given;
        const char* formatted;
    };
    const Row rows[] = {
        {"\\a\\b\\", "/a/b"},
        {"/", ""},
        {"", ""},
        {"/a//", "/a/"},
        {"a/b", "a/b"},
        {"c:\\x", "c:/x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.given);
        QString path = QString::fromLatin1(row.given);
        QTx::formatPath(path);
        EXPECT_EQ(path, QString::fromLatin1(row.formatted));
    }

    EXPECT_EQ(QTx::simplifyPath(QStringLiteral("x\\y\\"), false), QStringLiteral("x/y"));
    EXPECT_EQ(QTx::simplifyPath(QStringLiteral("x/y/"), true),
              QDir::currentPath() + QStringLiteral("/x/y"));
    EXPECT_EQ(QTx::correctPathCapitalisation(QStringLiteral("/Mixed/Case")),
              QStringLiteral("/Mixed/Case"));
}

TEST_F(QTxFilesTest, FindFilesByExactExtensionSkippingHidden)
{
    ASSERT_TRUE(QDir().mkpath(at("sub")));
    ASSERT_TRUE(QDir().mkpath(at(".hiddendir")));
    ASSERT_TRUE(QDir().mkpath(at("dir.cpp")));
    for (const char* name : {"a.cpp", "b.tar.cpp", "c.CPP", "cpp", ".hidden.cpp",
                             ".hiddendir/d.cpp", "sub/e.cpp", "sub/f.txt", "Z.cpp"})
        writeBytes(at(name), "x");

    QStringList found = {QStringLiteral("kept")};
    QTx::findFiles(m_tmp.path(), QStringLiteral("cpp"), found);
    EXPECT_EQ(found, QStringList({QStringLiteral("kept"), at("a.cpp"), at("b.tar.cpp"),
                                  at("sub/e.cpp"), at("Z.cpp")}));

    QStringList none;
    QTx::findFiles(at("missing"), QStringLiteral("cpp"), none);
    EXPECT_TRUE(none.isEmpty());
}
