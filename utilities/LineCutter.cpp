#include "LineCutter.h"

#include "EightBit.h"

#include <cstring>

void LineCutter::emitLine(const char* start, size_t size)
{
    if (m_observer)
        (*m_observer)(QByteArrayView(start, qsizetype(size)));
    if (m_lines)
        m_lines->append(size == 0 ? QString() : fromEightBit(start, qsizetype(size)));
}

void LineCutter::cut(QByteArray& bytes, bool atEnd)
{
    const char* data = bytes.constData();
    const size_t size = size_t(bytes.size());
    size_t i = 0;
    if (m_skipNext && size > 0) {
        m_skipNext = false;
        i = 1;
    }
    size_t lineStart = i;
    // The next LF at or after i (size: none), searched again only once passed,
    // so that lines ended by CR alone never make the search quadratic.
    size_t lfAt = 0;
    bool lfAhead = false;
    while (i < size) {
        if (!lfAhead || lfAt < i) {
            const void* lf = std::memchr(data + i, '\n', size - i);
            lfAt = lf ? size_t(static_cast<const char*>(lf) - data) : size;
            lfAhead = true;
        }
        // A CR before that LF (rare) ends the line first.
        const void* cr = std::memchr(data + i, '\r', lfAt - i);
        if (!cr && lfAt == size)
            break;
        i = cr ? size_t(static_cast<const char*>(cr) - data) : lfAt;
        const char byte = data[i];
        emitLine(data + lineStart, i - lineStart);
        // Taken as the first half of CR LF: the byte after a CR is skipped unseen.
        if (byte == '\r' && i + 1 == size && !atEnd)
            m_skipNext = true;
        i += byte == '\r' ? 2 : 1;
        lineStart = i;
    }
    if (atEnd && lineStart < size) {
        emitLine(data + lineStart, size - lineStart);
        lineStart = size;
    }
    if (lineStart >= size)
        bytes.clear();
    else if (lineStart > 0)
        bytes.remove(0, qsizetype(lineStart));
}
