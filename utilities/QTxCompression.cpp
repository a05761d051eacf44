#include "QTxCompression.h"

#include "EightBit.h"

#include <QByteArray>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const unsigned char compressedFileHeader[8] = { 0x7A, 0xF4, 0x31, 0xB2, 0x01, 0x00, 0x00, 0x00 };

struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File openFile(const QString& path, const char* mode)
{
    return File(std::fopen(toEightBit(path).constData(), mode));
}

// The size of an open file, leaving the position at the start; -1 on failure.
long fileSize(FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    long size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

// The big-endian length that qCompress puts before its zlib stream.
quint64 storedLength(const QByteArray& data)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    return quint64(bytes[0]) << 24 | quint64(bytes[1]) << 16 | quint64(bytes[2]) << 8 | bytes[3];
}

quint64 maximumInflatedSize(qsizetype streamBytes)
{
    return quint64(streamBytes) * 1032 + 1032;
}

bool writeItem(FILE* file, const void* data, size_t size)
{
    // One item of the whole size: an empty item counts as a failed write.
    return std::fwrite(data, size, 1, file) == 1;
}

} // namespace

namespace QTx {

bool isCompressedFile(const QString& path)
{
    File file = openFile(path, "rb");
    if (!file)
        return false;
    unsigned char header[sizeof compressedFileHeader];
    if (std::fread(header, sizeof header, 1, file.get()) != 1)
        return false;
    return std::memcmp(header, compressedFileHeader, sizeof header) == 0;
}

bool compressFile(const QString& source, const QString& destination)
{
    QByteArray data;
    {
        File in = openFile(source, "rb");
        if (!in)
            return false;
        long size = fileSize(in.get());
        if (size <= 0)
            return false;
        data.resize(size);
        if (std::fread(data.data(), size_t(size), 1, in.get()) != 1)
            return false;
    }
    const QByteArray compressed = qCompress(data);
    data.clear();

    File out = openFile(destination, "wb");
    if (!out)
        return false;
    if (!writeItem(out.get(), compressedFileHeader, sizeof compressedFileHeader))
        return false;
    if (!writeItem(out.get(), compressed.constData(), size_t(compressed.size())))
        return false;
    return std::fclose(out.release()) == 0;
}

bool decompressFile(const QString& source, const QString& destination)
{
    QByteArray data;
    {
        File in = openFile(source, "rb");
        if (!in)
            return false;
        long size = fileSize(in.get());
        if (size < 0)
            return false;
        unsigned char header[sizeof compressedFileHeader];
        if (std::fread(header, sizeof header, 1, in.get()) != 1
            || std::memcmp(header, compressedFileHeader, sizeof header) != 0)
            return false;
        long rest = size - long(sizeof header);
        if (rest <= 0)
            return false;
        data.resize(rest);
        if (std::fread(data.data(), size_t(rest), 1, in.get()) != 1)
            return false;
    }
    // The toolkit allocates the stored length in full before inflating. A
    // length that deflate cannot reach from this many bytes (it expands at
    // most about 1032:1) marks a damaged file: treat it as a rejected stream
    // instead of asking for up to 4 GiB.
    QByteArray uncompressed;
    if (data.size() >= 4 && storedLength(data) <= maximumInflatedSize(data.size() - 4))
        uncompressed = qUncompress(data);
    data.clear();

    File out = openFile(destination, "wb");
    if (!out)
        return false;
    // A damaged stream gives an empty array: this write then fails and the
    // destination stays created and empty.
    if (!writeItem(out.get(), uncompressed.constData(), size_t(uncompressed.size())))
        return false;
    return std::fclose(out.release()) == 0;
}

} // namespace QTx
