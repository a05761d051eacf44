#include "ProcessChunks.h"

#include <cstring>
#include <memory>

void releaseChunks(ProcessChunkList& chunks)
{
    for (ProcessChunk& chunk : chunks)
        delete[] chunk.second;
    chunks.clear();
}

void bufferListToQStringList(ProcessChunkList& chunks, QStringList* lines)
{
    size_t total = 0;
    for (const ProcessChunk& chunk : chunks)
        total += chunk.first;
    if (total == 0) {
        releaseChunks(chunks);
        return;
    }

    std::unique_ptr<unsigned char[]> joined(new unsigned char[total]);
    size_t offset = 0;
    for (ProcessChunk& chunk : chunks) {
        std::memcpy(joined.get() + offset, chunk.second, chunk.first);
        offset += chunk.first;
        delete[] chunk.second;
    }
    chunks.clear();

    const char* bytes = reinterpret_cast<const char*>(joined.get());
    auto append = [&](size_t start, size_t end) {
        if (end == start)
            lines->append(QString());
        else
            lines->append(QString::fromLatin1(bytes + start, qsizetype(end - start)));
    };
    size_t lineStart = 0;
    size_t i = 0;
    while (i < total) {
        if (bytes[i] == '\n') {
            append(lineStart, i);
            lineStart = ++i;
        } else if (bytes[i] == '\r') {
            // Taken as the first half of CR LF: the byte after it is skipped unseen.
            append(lineStart, i);
            i += 2;
            lineStart = i;
        } else {
            ++i;
        }
    }
    if (lineStart < total)
        append(lineStart, total);
}
