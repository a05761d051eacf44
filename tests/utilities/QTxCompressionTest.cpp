#include "QTxCompression.h"

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

    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    static QByteArray read(const QString& name)
    {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<unreadable>");
        return file.readAll();
    }

    QTemporaryDir dir;
};

TEST_F(QTxCompressionTest, RoundTripGivesBackTheSameBytesBehindTheMarkAndLength)
{
    QByteArray random(100000, '\0');
    QRandomGenerator generator(42);
    for (char& c : random)
        c = char(generator.bounded(256));
    // Compressible text as well, so the stream is much shorter than the data.
    const QByteArray text = QByteArray("the quick brown fox\n").repeated(5000);

    for (const QByteArray& original : { random, text, QByteArray("x") }) {
        SCOPED_TRACE(original.size());
        write(path("source"), original);
        ASSERT_TRUE(QTx::compressFile(path("source"), path("packed")));

        const QByteArray packed = read(path("packed"));
        ASSERT_GE(packed.size(), 12);
        EXPECT_EQ(packed.left(8), header);
        const quint32 size = quint32(original.size());
        ASSERT_EQ(quint8(packed[8]), quint8(size >> 24));
        EXPECT_EQ(quint8(packed[9]), quint8(size >> 16));
        EXPECT_EQ(quint8(packed[10]), quint8(size >> 8));
        EXPECT_EQ(quint8(packed[11]), quint8(size));
        EXPECT_EQ(packed.mid(8), qCompress(original));
        EXPECT_TRUE(QTx::isCompressedFile(path("packed")));
        EXPECT_FALSE(QTx::isCompressedFile(path("source")));

        ASSERT_TRUE(QTx::decompressFile(path("packed"), path("restored")));
        EXPECT_EQ(read(path("restored")), original);
    }
}

TEST_F(QTxCompressionTest, IsCompressedFileLooksOnlyAtTheFirstEightBytes)
{
    write(path("short"), header.left(7));
    write(path("exact"), header);
    write(path("followed"), header + "anything at all");
    write(path("oneByteOff"), QByteArray::fromHex("7af431b202000000") + "x");

    EXPECT_FALSE(QTx::isCompressedFile(path("short")));
    EXPECT_FALSE(QTx::isCompressedFile(path("missing")));
    EXPECT_FALSE(QTx::isCompressedFile(path("oneByteOff")));
    EXPECT_TRUE(QTx::isCompressedFile(path("exact")));
    EXPECT_TRUE(QTx::isCompressedFile(path("followed")));
}

TEST_F(QTxCompressionTest, CompressFailsWithoutWritingForAnEmptyOrMissingSource)
{
    write(path("empty"), QByteArray());
    EXPECT_FALSE(QTx::compressFile(path("empty"), path("packed")));
    EXPECT_FALSE(QFile::exists(path("packed")));

    EXPECT_FALSE(QTx::compressFile(path("missing"), path("packed")));
    EXPECT_FALSE(QFile::exists(path("packed")));

    write(path("source"), "data");
    EXPECT_FALSE(QTx::compressFile(path("source"), path("noSuchDir/packed")));
}

TEST_F(QTxCompressionTest, DecompressRefusesAFileWithoutTheMarkAndNeverCreatesTheDestination)
{
    write(path("plain"), qCompress(QByteArray("data")));
    write(path("markOnly"), header);

    EXPECT_FALSE(QTx::decompressFile(path("plain"), path("out")));
    EXPECT_FALSE(QFile::exists(path("out")));
    EXPECT_FALSE(QTx::decompressFile(path("markOnly"), path("out")));
    EXPECT_FALSE(QFile::exists(path("out")));
    EXPECT_FALSE(QTx::decompressFile(path("missing"), path("out")));
    EXPECT_FALSE(QFile::exists(path("out")));
}

TEST_F(QTxCompressionTest, DamagedStreamLeavesAnEmptyDestination)
{
    QByteArray damaged = qCompress(QByteArray("some text that compresses").repeated(50));
    for (int i = 6; i < damaged.size(); ++i)
        damaged[i] = char(damaged[i] ^ 0x5A);
    write(path("damaged"), header + damaged);
    write(path("out"), "old contents");

    EXPECT_FALSE(QTx::decompressFile(path("damaged"), path("out")));
    ASSERT_TRUE(QFile::exists(path("out")));
    EXPECT_EQ(read(path("out")), QByteArray());

    // A stored length no deflate stream of this size can reach (over 2 GiB
    // from 7 bytes) is damage too, not a reason to allocate it.
    write(path("out"), "old contents");
    write(path("liar"), header + QByteArray::fromBase64("hgF4nKAAS0xKBgACTQEn"));
    EXPECT_FALSE(QTx::decompressFile(path("liar"), path("out")));
    EXPECT_EQ(read(path("out")), QByteArray());
}

} // namespace
