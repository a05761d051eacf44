#include "LineCutter.h"

#include "EightBit.h"

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
    while (i < size) {
        const char byte = data[i];
        if (byte != '\n' && byte != '\r') {
            ++i;
            continue;
        }
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
