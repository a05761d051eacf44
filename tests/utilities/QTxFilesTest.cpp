#include "QTxFiles.h"

#include "FileBytes.h"
#include "QtPrinters.h"
#include "ScopedVariable.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <vector>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>

// write() and umask() as the file operations see them: a test can make every
// write short and every third one interrupted, and count calls to umask().
namespace {
bool s_shortWrites = false;
int s_umaskCalls = 0;
}

extern "C" ssize_t write(int fd, const void* data, size_t size)
{
    using Write = ssize_t (*)(int, const void*, size_t);
    static const Write real = reinterpret_cast<Write>(::dlsym(RTLD_NEXT, "write"));
    static int calls = 0;
    if (s_shortWrites && size > 0) {
        if (++calls % 3 == 0) {
            errno = EINTR;
            return -1;
        }
        return real(fd, data, size < 5 ? size : 5);
    }
    return real(fd, data, size);
}

extern "C" mode_t umask(mode_t mask)
{
    using Umask = mode_t (*)(mode_t);
    static const Umask real = reinterpret_cast<Umask>(::dlsym(RTLD_NEXT, "umask"));
    ++s_umaskCalls;
    return real(mask);
}

namespace {

struct stat statOf(const QString& path)
{
    struct stat st = {};
    ::stat(path.toLatin1().constData(), &st);
    return st;
}

mode_t modeOf(const QString& path) { return statOf(path).st_mode & 07777; }

void setTimes(const QString& path, time_t accessed, time_t modified)
{
    const struct utimbuf times = { accessed, modified };
    ASSERT_EQ(::utime(path.toLatin1().constData(), &times), 0);
}

QByteArray randomBytes(int size, unsigned seed)
{
    QByteArray bytes(size + 3, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    return bytes.left(size);
}

// A fixed umask for each test, so that modes of new files are known.
class QTxFilesTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_tmp.isValid()); }
    void TearDown() override { ::umask(m_oldMask); }
    QString at(const char* relative) const { return m_tmp.filePath(QString::fromLatin1(relative)); }

    QTemporaryDir m_tmp;
    mode_t m_oldMask = ::umask(022);
};

} // namespace

TEST_F(QTxFilesTest, RemoveAndChangeDir)
{
    writeBytes(at("f"), "x");
    EXPECT_TRUE(QTx::removeFile(at("f")));
    EXPECT_FALSE(QTx::removeFile(at("f")));

    ASSERT_TRUE(QDir().mkpath(at("d/inner")));
    EXPECT_FALSE(QTx::removeDir(at("d")));
    EXPECT_TRUE(QTx::removeDir(at("d/inner")));
    EXPECT_TRUE(QTx::removeDir(at("d")));
    EXPECT_FALSE(QTx::removeDir(at("d")));

    const QString before = QDir::currentPath();
    EXPECT_FALSE(QTx::changeDir(at("missing")));
    EXPECT_EQ(QDir::currentPath(), before);
    EXPECT_TRUE(QTx::changeDir(m_tmp.path()));
    EXPECT_EQ(QDir::currentPath(), QDir(m_tmp.path()).canonicalPath());
    QTx::changeDir(before);
}

TEST_F(QTxFilesTest, SetWriteableTouchesOnlyOwnerWrite)
{
    const struct { const char* name; mode_t before; bool writeable; mode_t after; } cases[] = {
        { "ro", 0444, true, 0644 }, { "rw", 0666, false, 0466 }, { "same", 0466, false, 0466 } };
    for (const auto& c : cases) {
        writeBytes(at(c.name), "a");
        ASSERT_EQ(::chmod(at(c.name).toLatin1().constData(), c.before), 0);
        EXPECT_TRUE(QTx::setWriteable(at(c.name), c.writeable));
        EXPECT_EQ(modeOf(at(c.name)), c.after) << c.name;
    }
    EXPECT_FALSE(QTx::setWriteable(at("missing"), true));
    EXPECT_FALSE(QFileInfo::exists(at("missing")));
}

TEST_F(QTxFilesTest, MakeDirBuildsChains)
{
    for (int twice = 0; twice < 2; ++twice)
        EXPECT_TRUE(QTx::makeDir(at("a/b/c")));
    EXPECT_TRUE(QFileInfo(at("a/b/c")).isDir());
    EXPECT_TRUE(QTx::makeDir(QDir(at("a/b/c2/d"))));
    EXPECT_TRUE(QFileInfo(at("a/b/c2/d")).isDir());
    EXPECT_EQ(QTx::parentDir(QDir(at("a/b/c"))).absolutePath(), at("a/b"));

    writeBytes(at("plain"), "x");
    EXPECT_FALSE(QTx::makeDir(at("plain/sub/deeper")));
    EXPECT_TRUE(QFileInfo(at("plain")).isFile());
}

TEST_F(QTxFilesTest, CopyFileKeepsTimesAndModeLessMaskAndFails)
{
    ::umask(027);
    writeBytes(at("src.txt"), "hello\nworld\n");
    ASSERT_EQ(::chmod(at("src.txt").toLatin1().constData(), 0776), 0);
    setTimes(at("src.txt"), 1000000000, 1100000000);
    ASSERT_TRUE(QDir().mkdir(at("dest")));

    EXPECT_TRUE(QTx::copyFile(at("src.txt"), at("dest"), false));
    // Times first: reading the copy may move its access time.
    const struct stat copy = statOf(at("dest/src.txt"));
    EXPECT_EQ(copy.st_atime, 1000000000);
    EXPECT_EQ(copy.st_mtime, 1100000000);
    EXPECT_EQ(copy.st_mode & 07777, mode_t(0750));
    EXPECT_EQ(readBytes(at("dest/src.txt")), QByteArray("hello\nworld\n"));

    // An existing target is truncated.
    writeBytes(at("long.txt"), QByteArray(100, 'z'));
    EXPECT_TRUE(QTx::copyFile(at("dest/src.txt"), at("long.txt"), false));
    EXPECT_EQ(readBytes(at("long.txt")), QByteArray("hello\nworld\n"));

    const QByteArray big = randomBytes(12 * 131072 + 7, 42u); // over 1 MiB, a short last chunk
    writeBytes(at("big.bin"), big);
    EXPECT_TRUE(QTx::copyFile(at("big.bin"), at("made/here/copy.bin"), true));
    EXPECT_TRUE(readBytes(at("made/here/copy.bin")) == big);

    EXPECT_FALSE(QTx::copyFile(at("missing"), at("new/dir/x"), true));
    EXPECT_FALSE(QFileInfo::exists(at("new")));
    writeBytes(at("plain"), "x");
    EXPECT_FALSE(QTx::copyFile(at("plain"), at("plain/sub/x"), true));
    EXPECT_FALSE(QTx::copyFile(at("plain"), at("nodir/x"), false));
    EXPECT_FALSE(QFileInfo::exists(at("nodir")));
}

TEST_F(QTxFilesTest, CopiesNeverDestroyTheirSource)
{
    // A file copied onto itself (straight, or into its own folder) stays.
    writeBytes(at("self.txt"), "keep me\n");
    EXPECT_FALSE(QTx::copyFile(at("self.txt"), at("self.txt"), false));
    EXPECT_FALSE(QTx::copyFile(at("self.txt"), m_tmp.path(), false));
    ASSERT_EQ(::link(at("self.txt").toLatin1().constData(), at("hard.txt").toLatin1().constData()), 0);
    EXPECT_FALSE(QTx::copyFile(at("self.txt"), at("hard.txt"), false));
    EXPECT_EQ(readBytes(at("self.txt")), QByteArray("keep me\n"));

    // A tree copied into itself or a folder of its own copies nothing.
    ASSERT_TRUE(QDir().mkpath(at("tree/sub")));
    writeBytes(at("tree/a.txt"), "a");
    EXPECT_FALSE(QTx::copyDir(at("tree"), at("tree")));
    EXPECT_FALSE(QTx::copyDir(at("tree"), at("tree/sub")));
    EXPECT_FALSE(QTx::copyDir(at("tree/sub/.."), at("tree/./sub")));
    EXPECT_EQ(readBytes(at("tree/a.txt")), QByteArray("a"));
    EXPECT_EQ(QDir(at("tree/sub")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    ASSERT_TRUE(QDir().mkpath(at("treehouse")));
    EXPECT_TRUE(QTx::copyDir(at("tree"), at("treehouse"))); // a sibling whose name starts alike
}

TEST_F(QTxFilesTest, WritesSurviveShortWritesAndSignalsWithoutTouchingTheUmask)
{
    const QByteArray data = randomBytes(131072 + 333, 9u);
    writeBytes(at("source.bin"), data);
    std::vector<unsigned char> raw(data.begin(), data.end());
    s_umaskCalls = 0;
    s_shortWrites = true;
    const bool copied = QTx::copyFile(at("source.bin"), at("copy.bin"), false);
    const bool created = QTx::createFile(at("created.bin"), unsigned(raw.size()), raw.data(), false, 0L);
    s_shortWrites = false;
    EXPECT_TRUE(copied);
    EXPECT_TRUE(created);
    EXPECT_TRUE(readBytes(at("copy.bin")) == data);
    EXPECT_TRUE(readBytes(at("created.bin")) == data);
    // The creation mask was read without being set (a set-and-restore would
    // leave other threads a window with mask 0).
    EXPECT_EQ(s_umaskCalls, 0);
}

TEST_F(QTxFilesTest, CopyDirCopiesTreeSkippingHiddenAndFailures)
{
    ASSERT_TRUE(QDir().mkpath(at("src/sub/deep")));
    ASSERT_TRUE(QDir().mkpath(at("src/.hiddendir")));
    writeBytes(at("src/top.txt"), "top");
    writeBytes(at("src/sub/f"), "f");
    writeBytes(at("src/sub/deep/low.bin"), randomBytes(5000, 7u));
    writeBytes(at("src/.hidden"), "h");
    writeBytes(at("src/.hiddendir/x"), "x");
    ASSERT_TRUE(QDir().mkpath(at("dst/sub")));

    EXPECT_TRUE(QTx::copyDir(at("src"), at("dst")));
    EXPECT_EQ(readBytes(at("dst/top.txt")), QByteArray("top"));
    EXPECT_TRUE(readBytes(at("dst/sub/deep/low.bin")) == randomBytes(5000, 7u));
    EXPECT_FALSE(QFileInfo::exists(at("dst/.hidden")));
    EXPECT_FALSE(QFileInfo::exists(at("dst/.hiddendir")));

    writeBytes(at("file"), "not a dir");
    EXPECT_FALSE(QTx::copyDir(at("src"), at("missing")));
    EXPECT_FALSE(QFileInfo::exists(at("missing")));
    EXPECT_FALSE(QTx::copyDir(at("missing"), at("src")));
    EXPECT_FALSE(QTx::copyDir(at("file"), at("src")));
    EXPECT_FALSE(QTx::copyDir(at("src"), at("file")));

    // A file where a directory should go.
    ASSERT_TRUE(QDir().mkdir(at("dst2")));
    writeBytes(at("dst2/sub"), "in the way");
    EXPECT_FALSE(QTx::copyDir(at("src"), at("dst2")));
    EXPECT_EQ(readBytes(at("dst2/sub")), QByteArray("in the way"));
}

TEST_F(QTxFilesTest, CreateFile)
{
    unsigned char data[] = { 'a', 0, 'b', 0xff };
    EXPECT_TRUE(QTx::createFile(at("made"), 4, data, false, 1234567890L));
    const struct stat made = statOf(at("made"));
    EXPECT_EQ(made.st_mtime, 1234567890);
    EXPECT_EQ(made.st_atime, 1234567890);
    EXPECT_EQ(made.st_mode & 07777, mode_t(0600));
    EXPECT_EQ(readBytes(at("made")), QByteArray("a\0b\xff", 4));

    EXPECT_TRUE(QTx::createFile(at("made"), 1, data, true, 1000L));
    EXPECT_EQ(readBytes(at("made")), QByteArray("a"));
    EXPECT_EQ(modeOf(at("made")), mode_t(0400));
    EXPECT_FALSE(QTx::createFile(at("nodir/x"), 1, data, false, 0L));
}

TEST_F(QTxFilesTest, UtcModificationTimeShiftsByZoneOffset)
{
    writeBytes(at("f"), "x");
    setTimes(at("f"), 1100000000, 1100000000);
    const std::pair<const char*, long> zones[] = { { "UTC0", 0 }, { "EAST-2", -7200 }, { "WEST5", 5 * 3600 } };
    for (const auto& [zone, shift] : zones) {
        const ScopedVariable tz("TZ", zone);
        ::tzset();
        EXPECT_EQ(QTx::getUTCModificationTime(at("f")), 1100000000L + shift) << zone;
    }
    ::tzset();
    EXPECT_EQ(QTx::getUTCModificationTime(at("missing")), 0L);

    const QDateTime t = QDateTime::fromSecsSinceEpoch(1, Qt::UTC);
    EXPECT_FALSE(QTx::setFileTimes(at("f"), t, t, t));
    EXPECT_EQ(statOf(at("f")).st_mtime, 1100000000);
}

TEST_F(QTxFilesTest, FilesMatch)
{
    QByteArray data = randomBytes(1500, 3u);
    writeBytes(at("a"), data);
    writeBytes(at("same"), data);
    writeBytes(at("shorter"), data.left(1499));
    writeBytes(at("empty"), QByteArray());
    EXPECT_TRUE(QTx::filesMatch(at("a"), at("same")));
    data[1499] = char(data[1499] ^ 1);
    writeBytes(at("b"), data);
    EXPECT_FALSE(QTx::filesMatch(at("a"), at("b")));
    // A prefix of the other file, whichever comes first.
    for (const char* prefix : { "shorter", "empty" }) {
        EXPECT_FALSE(QTx::filesMatch(at("a"), at(prefix))) << prefix;
        EXPECT_FALSE(QTx::filesMatch(at(prefix), at("a"))) << prefix;
    }
    EXPECT_FALSE(QTx::filesMatch(at("missing"), at("missing")));
}

TEST(QTxFilesPathText, FormatSimplifyAndCapitalisation)
{
    const std::pair<const char*, const char*> rows[] = {
        { "\\a\\b\\", "/a/b" }, { "/", "" }, { "", "" }, { "/a//", "/a/" }, { "a/b", "a/b" }, { "c:\\x", "c:/x" },
    };
    for (const auto& [given, formatted] : rows) {
        QString path = QString::fromLatin1(given);
        QTx::formatPath(path);
        EXPECT_EQ(path, QString::fromLatin1(formatted)) << given;
    }
    EXPECT_EQ(QTx::simplifyPath("x\\y\\", false), "x/y");
    EXPECT_EQ(QTx::simplifyPath("x/y/", true), QDir::currentPath() + "/x/y");
}

TEST_F(QTxFilesTest, FindFilesByExactExtensionSkippingHidden)
{
    ASSERT_TRUE(QDir().mkpath(at("sub")));
    ASSERT_TRUE(QDir().mkpath(at(".hiddendir")));
    ASSERT_TRUE(QDir().mkpath(at("dir.cpp")));
    for (const char* name : { "a.cpp", "b.tar.cpp", "c.CPP", "cpp", ".hidden.cpp", ".hiddendir/d.cpp",
                              "sub/e.cpp", "sub/f.txt", "Z.cpp" })
        writeBytes(at(name), "x");

    QStringList found = { "kept" };
    QTx::findFiles(m_tmp.path(), "cpp", found);
    EXPECT_EQ(found, QStringList({ "kept", at("a.cpp"), at("b.tar.cpp"), at("sub/e.cpp"), at("Z.cpp") }));
    QStringList none;
    QTx::findFiles(at("missing"), "cpp", none);
    EXPECT_TRUE(none.isEmpty());
}
