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
    const QString source = scratch->filePath("in.cmp");
    const QString destination = scratch->filePath("out");
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
        const QByteArray expected = qUncompress(reinterpret_cast<const uchar*>(data) + 8, qsizetype(size) - 8);
        FUZZ_CHECK(out.readAll() == expected, "destination differs from the stream's contents");
        FUZZ_CHECK(!expected.isEmpty(), "success for an empty stream");
    }
    return 0;
}
