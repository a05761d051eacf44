#include "FolderListings.h"

#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace SvnScc {

FolderListings::FolderListings(const QString& root, const QString& top) : m_root(root)
{
    m_thread = std::thread([this, top] { run(top); });
}

FolderListings::~FolderListings()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_taken.notify_all();
    m_thread.join();
}

FolderListings::Listing FolderListings::read(const QString& absoluteFolder)
{
    Listing listing;
    listing.stamp = FileStamp::of(absoluteFolder);
    QDirIterator entries(absoluteFolder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo entry = entries.fileInfo();
        // A link to a folder is a file here: it is not followed.
        if (entry.isDir() && !entry.isSymLink()) {
            if (entry.fileName() != QLatin1String(".svn"))
                listing.folders << entry.fileName();
        } else {
            listing.files << entry.fileName();
        }
    }
    // In the order of their names, as QDir::Name sorts them.
    std::sort(listing.folders.begin(), listing.folders.end());
    std::sort(listing.files.begin(), listing.files.end());
    return listing;
}

qsizetype FolderListings::foldersAhead() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return qsizetype(m_ahead.size());
}

FolderListings::Listing FolderListings::take(const QString& folder)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto found = m_order.constFind(folder);
        if (found != m_order.cend()) {
            // Everything read before it is left out by the walk.
            const quint64 place = *found;
            Listing listing;
            while (!m_ahead.empty() && m_ahead.begin()->first <= place) {
                auto& [name, first] = m_ahead.begin()->second;
                m_namesAhead -= first.folders.size() + first.files.size();
                if (m_ahead.begin()->first == place)
                    listing = std::move(first);
                m_order.remove(name);
                m_ahead.erase(m_ahead.begin());
            }
            lock.unlock();
            m_taken.notify_all();
            if (FileStamp::of(absolute(folder)) != listing.stamp)
                return read(absolute(folder));
            return listing;
        }
        // The thread is behind the walk.
        m_stop = true;
    }
    m_taken.notify_all();
    return read(absolute(folder));
}

QString FolderListings::absolute(const QString& folder) const
{
    return folder.isEmpty() ? m_root : m_root + QLatin1Char('/') + folder;
}

void FolderListings::run(QString top)
{
    std::vector<QString> pending{std::move(top)};
    quint64 place = 0;
    while (!pending.empty() && !m_stop) {
        const QString folder = std::move(pending.back());
        pending.pop_back();
        Listing listing = read(absolute(folder));
        // Its folders next, the first by name on top.
        for (auto name = listing.folders.crbegin(); name != listing.folders.crend(); ++name)
            pending.push_back(folder.isEmpty() ? *name : folder + QLatin1Char('/') + *name);
        const qsizetype names = listing.folders.size() + listing.files.size();
        std::unique_lock<std::mutex> lock(m_mutex);
        m_taken.wait(lock, [&] { return m_stop || m_namesAhead < MaxNamesAhead; });
        if (m_stop)
            return;
        m_order.insert(folder, place);
        m_ahead.emplace(place++, std::make_pair(folder, std::move(listing)));
        m_namesAhead += names;
    }
}

} // namespace SvnScc
