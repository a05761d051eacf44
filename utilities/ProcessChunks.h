#pragma once

// Helpers of QTx::spawnProcess, kept apart so that they can be tested alone.

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <functional>

#include <list>
#include <utility>

/** One successful read from a pipe: byte count and an owned buffer of exactly that size. */
using ProcessChunk = std::pair<unsigned int, unsigned char*>;
using ProcessChunkList = std::list<ProcessChunk>;

/**
 * Joins the chunks and appends their lines to `lines`, releasing every chunk
 * buffer and emptying the list. LF ends a line; CR ends a line and the byte
 * after it is skipped (the LF of a CR LF pair). An empty line is a null
 * QString; bytes after the last line end form a last line. Bytes are decoded
 * with fromEightBit(). Nothing is appended when the chunks hold no bytes.
 */
void bufferListToQStringList(ProcessChunkList& chunks, QStringList* lines);

/** Appends the lines of `size` bytes at `bytes`, cut as bufferListToQStringList() cuts them. */
void appendLines(const char* bytes, size_t size, QStringList* lines);

/**
 * Cuts lines, as bufferListToQStringList() does, out of bytes that arrive in
 * pieces: each finished line is handed to the observer (when there is one,
 * as bytes) and appended to the list (when there is one) as soon as its end
 * has arrived.
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

/** Releases every chunk buffer and empties the list. */
void releaseChunks(ProcessChunkList& chunks);
