#include "ProcessChunks.h"

#include "EightBit.h"

#include <cstring>
#include <vector>

void releaseChunks(ProcessChunkList& chunks)
{
    for (ProcessChunk& chunk : chunks)
        delete[] chunk.second;
    chunks.clear();
}

void appendLines(const char* bytes, size_t size, QStringList* lines)
{
    size_t lineStart = 0;
    size_t i = 0;
    while (i < size) {
        const char byte = bytes[i];
        if (byte != '\n' && byte != '\r') {
            ++i;
            continue;
        }
        lines->append(i == lineStart ? QString()
                                     : fromEightBit(bytes + lineStart, qsizetype(i - lineStart)));
        // Taken as the first half of CR LF: the byte after a CR is skipped unseen.
        i += byte == '\r' ? 2 : 1;
        lineStart = i;
    }
    if (lineStart < size)
        lines->append(fromEightBit(bytes + lineStart, qsizetype(size - lineStart)));
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
    std::vector<char> joined(total);
    size_t offset = 0;
    for (const ProcessChunk& chunk : chunks) {
        std::memcpy(joined.data() + offset, chunk.second, chunk.first);
        offset += chunk.first;
    }
    releaseChunks(chunks);
    appendLines(joined.data(), total, lines);
}
