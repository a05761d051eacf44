#pragma once

// The line cutting of QTx::spawnProcess, kept apart so that it can be tested alone.

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <functional>

/**
 * Cuts lines out of bytes that arrive in pieces: each finished line is
 * handed to the observer (when there is one, as bytes) and appended to the
 * list (when there is one) as soon as its end has arrived. LF ends a line;
 * CR ends a line and the byte after it is skipped (the LF of a CR LF pair),
 * also when it arrives in the next piece. An empty line is a null QString;
 * bytes after the last line end form a last line. Bytes are decoded with
 * fromEightBit().
 */
class LineCutter
{
public:
    LineCutter(QStringList* lines, const std::function<void(QByteArrayView)>* observer = nullptr)
        : m_lines(lines), m_observer(observer) {}

    /**
     * Cuts the finished lines at the start of `bytes` and removes them from
     * it, leaving an unfinished last line for the next call. With `atEnd`
     * nothing more will come, and that last line is cut too.
     */
    void cut(QByteArray& bytes, bool atEnd);

private:
    void emitLine(const char* start, size_t size);

    QStringList* m_lines;
    const std::function<void(QByteArrayView)>* m_observer;
    bool m_skipNext = false; // the last piece ended in a CR: the next byte is its LF
};

