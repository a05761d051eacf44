#pragma once

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace SvnScc {

/**
 * The parts of each path of a long list, split on a thread of its own ahead
 * of the reads that need them. A status pass over many paths waits for the
 * client's run at its first read; splitting the paths meanwhile, and beside
 * the reads after it, takes the splitting out of the pass. At most
 * MaxChunksAhead chunks of Chunk paths are kept split and not yet taken.
 */
class PathPartsAhead
{
public:
    using Split = std::function<QStringList(const QString&)>;

    static constexpr qsizetype Chunk = 1024;
    static constexpr qsizetype MaxChunksAhead = 16;
    /** Fewer paths than this are split where they are read: a thread would cost more than it saves. */
    static constexpr qsizetype Worthwhile = 4 * Chunk;

    /** Starts splitting each of @p paths with @p split (which runs on the thread). */
    PathPartsAhead(const QStringList& paths, Split split);
    ~PathPartsAhead();
    PathPartsAhead(const PathPartsAhead&) = delete;
    PathPartsAhead& operator=(const PathPartsAhead&) = delete;

    /** What split gave for path @p index; asked for in the order of the paths, each once. */
    QStringList take(qsizetype index);

private:
    void run();

    const QStringList m_paths;
    const Split m_split;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<QStringList>> m_ready; // split and not yet taken, in order
    bool m_stop = false;
    std::vector<QStringList> m_taking; // the chunk being taken from, by the reading thread alone
    qsizetype m_takingFirst = 0;
    std::thread m_thread;
};

} // namespace SvnScc
