#pragma once

// The read loop of a QTx::runProcess() child: its standard output and error
// read from pipes together, cut into lines as they arrive.

#include "LineCutter.h"
#include "ProcessStart.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

namespace QTx::Spawn {

class Child;
class Ending;

/** One captured stream: its pipe, and what has been read and not yet cut into lines. */
struct Capture
{
    explicit Capture(QStringList* lines, const std::function<void(QByteArrayView)>* observer = nullptr)
        : cutter(lines, observer) {}

    Descriptor fd;
    QByteArray bytes;
    LineCutter cutter;
    bool open = false;

    /**
     * Makes the pipe: ours the read end, `childEnd` the child's. With
     * `large` the pipe is asked to hold more (fewer wake-ups for a child
     * that writes a lot). False when it could not be made (errno says why).
     */
    bool openPipe(Descriptor& childEnd, bool large);
    /** After the start: reads without blocking, when there is a pipe. */
    void beginReading();
    /**
     * Closes the pipe, before the wait: a child blocked on a full pipe
     * (after a poll failure) then gets EPIPE and ends instead of hanging us
     * both. What the stream left unfinished is its last line.
     */
    void finish();
    /**
     * Drains the pipe and cuts the lines that are complete; true while the
     * stream stays open. The bytes taken are added to `taken`.
     */
    bool take(qsizetype& taken);

private:
    bool drain();
};

/**
 * Reads both pipes until each has reported end of file (or the ending gives
 * up on them), cutting lines as they complete, while `deadline` ends the
 * child as its limits and a stop request say.
 */
void collect(Capture& out, Capture& err, const Child& child, Ending& deadline);

} // namespace QTx::Spawn
