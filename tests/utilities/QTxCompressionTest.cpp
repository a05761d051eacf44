#include "QTxCompression.h"

#include "FileBytes.h"
#include "QtPrinters.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray header = QByteArray::fromHex("7af431b201000000");

class QTxCompressionTest : public ::testing::Test
{
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    void write(const char* name, const QByteArray& bytes) const { writeBytes(path(name), bytes); }
    QByteArray read(const char* name) const { return readBytes(path(name)); }

    bool exists(const char* name) const { return QFile::exists(path(name)); }

    QTemporaryDir dir;
};

TEST_F(QTxCompressionTest, RoundTripWritesTheMarkAndBigEndianLength)
{
    QByteArray random(100000, '\0');
    QRandomGenerator(42).fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);

    // Zeros compress about 1,030:1, within 0.5% of what deflate can reach,
    // and their length 0x01020304 has no zero byte: they need all of the
    // limit on the stored length, and a byte of it shifted to the wrong
    // place puts the length past that limit.
    const QByteArray zeros(0x01020304, '\0');
    for (const QByteArray& original : { random, QByteArray("x"), zeros }) {
        SCOPED_TRACE(original.size());
        write("source", original);
        ASSERT_TRUE(QTx::compressFile(path("source"), path("packed")));
        const QByteArray packed = read("packed");
        ASSERT_GE(packed.size(), 12);
        EXPECT_EQ(packed.left(8), header);
        EXPECT_EQ(packed.mid(8), qCompress(original)); // the length big-endian, then the stream
        ASSERT_TRUE(QTx::decompressFile(path("packed"), path("restored")));
        EXPECT_TRUE(read("restored") == original);
    }
}

TEST_F(QTxCompressionTest, IsCompressedFileLooksOnlyAtTheFirstEightBytes)
{
    write("short", header.left(7));
    write("followed", header + "anything at all");
    write("oneByteOff", QByteArray::fromHex("7af431b202000000") + "x");
    EXPECT_FALSE(QTx::isCompressedFile(path("short")));
    EXPECT_FALSE(QTx::isCompressedFile(path("missing")));
    EXPECT_FALSE(QTx::isCompressedFile(path("oneByteOff")));
    EXPECT_TRUE(QTx::isCompressedFile(path("followed")));
}

TEST_F(QTxCompressionTest, FailuresLeaveNoDestinationOrAnEmptyOne)
{
    write("empty", QByteArray());
    EXPECT_FALSE(QTx::compressFile(path("empty"), path("packed")));
    EXPECT_FALSE(QTx::compressFile(path("missing"), path("packed")));
    EXPECT_FALSE(exists("packed"));

    // Without the mark the destination is never created.
    write("plain", qCompress(QByteArray("data")));
    write("markOnly", header);
    for (const char* source : { "plain", "markOnly", "missing" })
        EXPECT_FALSE(QTx::decompressFile(path(source), path("out")));
    EXPECT_FALSE(exists("out"));

    // A damaged stream, and a stored length no deflate stream of this size can
    // reach (over 2 GiB from 7 bytes), both leave the destination empty.
    QByteArray damaged = qCompress(QByteArray("some text that compresses").repeated(50));
    for (int i = 6; i < damaged.size(); ++i)
        damaged[i] = char(damaged[i] ^ 0x5A);
    write("damaged", header + damaged);
    write("liar", header + QByteArray::fromBase64("hgF4nKAAS0xKBgACTQEn"));
    for (const char* source : { "damaged", "liar" }) {
        write("out", "old contents");
        EXPECT_FALSE(QTx::decompressFile(path(source), path("out")));
        EXPECT_TRUE(exists("out"));
        EXPECT_EQ(read("out"), QByteArray());
    }
}

} // namespace
