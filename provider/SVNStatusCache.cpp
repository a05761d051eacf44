#include "SVNStatusCache.h"

bool SVNStatusCache::within(const QString& path, const QString& folder)
{
    return path.startsWith(folder)
        && (path.size() == folder.size() || path.at(folder.size()) == QLatin1Char('/') || folder.endsWith(QLatin1Char('/')));
}

SVNFolderStatus* SVNStatusCache::find(const QString& folder) const
{
    const auto entry = m_folders.find(folder);
    return entry == m_folders.end() ? nullptr : entry->second.get();
}

SVNFolderStatus& SVNStatusCache::entry(const QString& folder)
{
    std::unique_ptr<SVNFolderStatus>& status = m_folders[folder];
    if (!status)
        status = std::make_unique<SVNFolderStatus>();
    return *status;
}

void SVNStatusCache::put(const QString& folder, std::unique_ptr<SVNFolderStatus> status)
{
    ++m_generation;
    // Placed without a search when it sorts last, as a whole tree's folders
    // put in order do.
    m_folders.insert_or_assign(m_folders.end(), folder, std::move(status));
}

void SVNStatusCache::remove(const QString& folder)
{
    ++m_generation;
    m_folders.erase(folder);
}

void SVNStatusCache::removeWithin(const QString& folder, const std::function<bool(const QString&)>& spare)
{
    ++m_generation;
    // Entries below `folder` sort after it among those that start with it;
    // a sibling sharing the prefix ("folder2", "folder-x") may sort among
    // them, so each is checked.
    for (auto entry = m_folders.lower_bound(folder); entry != m_folders.end() && entry->first.startsWith(folder);) {
        if (within(entry->first, folder) && !(spare && spare(entry->first)))
            entry = m_folders.erase(entry);
        else
            ++entry;
    }
}

bool SVNStatusCache::anyWithin(const QString& folder) const
{
    for (auto entry = m_folders.lower_bound(folder); entry != m_folders.end() && entry->first.startsWith(folder); ++entry)
        if (within(entry->first, folder))
            return true;
    return false;
}

void SVNStatusCache::clear()
{
    ++m_generation;
    m_folders.clear();
}
