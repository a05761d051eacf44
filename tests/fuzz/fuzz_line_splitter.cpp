// bufferListToQStringList on arbitrary chunks. The first byte of each piece
// gives the chunk size (0 to 255, so empty chunks occur); the lines that come
// out, joined again with the line ends they were cut at, must give back the
// input. A CR ends a line and swallows the byte after it unseen, so that
// byte is taken back from the input as it was.

#include "EightBit.h"
#include "FuzzSupport.h"
#include "ProcessChunks.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray input;
    ProcessChunkList chunks;
    size_t pos = 0;
    while (pos < size) {
        size_t chunkSize = data[pos++];
        if (chunkSize > size - pos)
            chunkSize = size - pos;
        unsigned char* buffer = new unsigned char[chunkSize];
        std::memcpy(buffer, data + pos, chunkSize);
        chunks.emplace_back(unsigned(chunkSize), buffer);
        input.append(reinterpret_cast<const char*>(data + pos), qsizetype(chunkSize));
        pos += chunkSize;
    }

    QStringList lines{"sentinel"};
    bufferListToQStringList(chunks, &lines);
    FUZZ_CHECK(chunks.empty(), "chunks left in the list");
    FUZZ_CHECK(lines.takeFirst() == QLatin1String("sentinel"), "lines already there were touched");
    if (input.isEmpty()) {
        FUZZ_CHECK(lines.isEmpty(), "lines from no bytes");
        return 0;
    }

    qsizetype at = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        FUZZ_CHECK(line.isNull() == line.isEmpty(), "an empty line that is not null");
        const QByteArray bytes = toEightBit(line); // back to the bytes the child wrote
        FUZZ_CHECK(input.mid(at, bytes.size()) == bytes, "line differs from the input");
        FUZZ_CHECK(!bytes.contains('\n') && !bytes.contains('\r'), "a line end inside a line");
        at += bytes.size();
        if (at == input.size()) {
            FUZZ_CHECK(i == lines.size() - 1, "lines after the end of the input");
            break;
        }
        const char end = input.at(at);
        FUZZ_CHECK(end == '\n' || end == '\r', "line cut at a byte that is no line end");
        at += end == '\r' ? 2 : 1;
        FUZZ_CHECK(at <= input.size() + 1, "ran past the input");
        if (at >= input.size())
            FUZZ_CHECK(i == lines.size() - 1, "a trailing empty line");
    }
    FUZZ_CHECK(at >= input.size(), "input left over after the last line");
    return 0;
}
