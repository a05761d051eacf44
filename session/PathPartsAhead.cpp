#include "PathPartsAhead.h"

#include <algorithm>

namespace SvnScc {

PathPartsAhead::PathPartsAhead(const QStringList& paths, Split split) : m_paths(paths), m_split(std::move(split))
{
    m_thread = std::thread([this] { run(); });
}

PathPartsAhead::~PathPartsAhead()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

QStringList PathPartsAhead::take(qsizetype index)
{
    if (index < m_takingFirst || index >= m_takingFirst + qsizetype(m_taking.size())) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_ready.empty(); });
        m_taking = std::move(m_ready.front());
        m_ready.pop_front();
        m_takingFirst = index - index % Chunk;
        lock.unlock();
        m_changed.notify_all();
    }
    return std::move(m_taking[size_t(index - m_takingFirst)]);
}

void PathPartsAhead::run()
{
    for (qsizetype first = 0; first < m_paths.size(); first += Chunk) {
        std::vector<QStringList> chunk;
        const qsizetype end = std::min(first + Chunk, m_paths.size());
        chunk.reserve(size_t(end - first));
        for (qsizetype i = first; i < end; ++i)
            chunk.push_back(m_split(m_paths.at(i)));
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stop || qsizetype(m_ready.size()) < MaxChunksAhead; });
        if (m_stop)
            return;
        m_ready.push_back(std::move(chunk));
        lock.unlock();
        m_changed.notify_all();
    }
}

} // namespace SvnScc
