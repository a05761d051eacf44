// The status cache and the status query the host makes for every file it
// shows: a folder's records from one client run (or every folder's from one
// whole-tree run), answers from them, the repository asked once for a file
// without a record, and the working copy alone while the repository cannot
// be reached.

#include "SVNInterface.h"

#include "EightBit.h"
#include "SVNStatusReader.h"
#include "SVNUrl.h"

#include <sys/stat.h>

#include <memory>

namespace {

// A sink that keeps each entry under its path in one folder's records.
SVNStatusReader::Sink intoRecords(SVNDirectoryStatus* records)
{
    // The client lists a folder's entries in order, so each usually goes last.
    return [records](QByteArrayView path, SVNFileStatus& record, bool) {
        records->insert_or_assign(records->end(), fromEightBit(path.data(), path.size()), std::move(record));
    };
}

bool isDirectory(const QString& path)
{
    struct stat st;
    return ::stat(toEightBit(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folders of one whole-tree run at `root`, kept apart until the run has
// succeeded: a line's path "a/b/c.txt" is the record "c.txt" of the folder
// root/a/b. The client lists a folder's lines together, so the folder of
// the last line is looked up only when it changes.
class TreeFiller
{
public:
    explicit TreeFiller(const QString& root) : m_root(root) {}

    void add(QByteArrayView path, SVNFileStatus& record)
    {
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArrayView folder = slash < 0 ? QByteArrayView() : path.first(slash);
        if (!m_last || m_lastFolder != folder) {
            std::unique_ptr<SVNFolderStatus>& status = m_folders[folder.toByteArray()];
            if (!status)
                status = std::make_unique<SVNFolderStatus>();
            m_last = status.get();
            m_lastFolder = folder.toByteArray();
        }
        if (record.statusColumns.startsWith(QLatin1Char('?')))
            m_unversioned.push_back(path.toByteArray());
        const QByteArrayView name = slash < 0 ? path : path.sliced(slash + 1);
        QString key = fromEightBit(name.data(), name.size());
        // An external's folder keeps the line of the external's own block,
        // which follows the enclosing working copy's "X" line.
        if (record.statusColumns.startsWith(QLatin1Char('X')))
            m_last->records.emplace(std::move(key), std::move(record));
        else
            m_last->records.insert_or_assign(m_last->records.end(), std::move(key), std::move(record));
    }

    void restart()
    {
        m_folders.clear();
        m_unversioned.clear();
        m_last = nullptr;
    }

    // Hands every folder to `cache`, complete, each with its own line as
    // its "." record (as a run inside it shows it), and the unversioned
    // folders the run listed (not a working copy of its own inside one).
    void commit(SVNStatusCache& cache)
    {
        for (auto& [folder, status] : m_folders) {
            const qsizetype slash = folder.lastIndexOf('/');
            const auto parent = m_folders.find(slash < 0 ? QByteArray() : folder.left(slash));
            if (!folder.isEmpty() && parent != m_folders.end()) {
                const auto own = parent->second->records.find(fromEightBit(folder.mid(slash + 1)));
                if (own != parent->second->records.end())
                    status->records.emplace(QStringLiteral("."), own->second);
            }
        }
        for (auto& [folder, status] : m_folders) {
            status->listed = true;
            status->complete = true;
            cache.put(absolute(folder), std::move(status));
        }
        for (const QByteArray& path : m_unversioned) {
            const QString folder = absolute(path);
            if (isDirectory(folder) && !isDirectory(folder + QStringLiteral("/.svn")))
                cache.addUnversionedFolder(folder);
        }
        cache.coverTree(m_root);
    }

private:
    QString absolute(const QByteArray& relative) const
    {
        return relative.isEmpty() ? m_root : m_root + QLatin1Char('/') + fromEightBit(relative);
    }

    QString m_root;
    std::map<QByteArray, std::unique_ptr<SVNFolderStatus>> m_folders;
    std::vector<QByteArray> m_unversioned;
    SVNFolderStatus* m_last = nullptr;
    QByteArray m_lastFolder;
};

} // namespace

void SVNInterface::parseStatusOutput(SVNDirectoryStatus* records, const QStringList& lines)
{
    SVNStatusReader reader(intoRecords(records), true);
    for (const QString& line : lines)
        reader.add(toEightBit(line));
}

bool SVNInterface::folderHolds(const QString& directory, const QString& name)
{
    const QString path = directory + QLatin1Char('/') + name;
    struct stat st;
    return ::lstat(toEightBit(path).constData(), &st) == 0 || workingCopyLayout.inspectNode(path).known;
}

SVNFileStatus* SVNInterface::getFileStatus(const QStringList& pathParts)
{
    return lookUp(pathParts).record;
}

SVNInterface::StatusLookup SVNInterface::lookUp(const QStringList& pathParts)
{
    StatusLookup lookup;
    if (pathParts.isEmpty())
        return lookup;
    // An IDE asks about the files of one folder after another: the folder
    // of the last question is kept, so that most questions build no path
    // and search no folder.
    const qsizetype depth = pathParts.size() - 1;
    bool same = lastFolder.status && lastFolder.generation == statusCache.generation()
        && lastFolder.parts.size() == depth && lastFolder.root == localRootPath;
    for (qsizetype i = 0; same && i < depth; ++i)
        same = lastFolder.parts.at(i) == pathParts.at(i);
    if (same) {
        lookup.folder = lastFolder.status;
    } else {
        lookup.folder = folderEntry(getLocalDirectory(pathParts));
        if (!lookup.folder)
            return lookup;
        lastFolder = {pathParts.mid(0, depth), localRootPath, lookup.folder, statusCache.generation()};
    }
    const auto record = lookup.folder->records.find(pathParts.last());
    if (record != lookup.folder->records.end())
        lookup.record = &record->second;
    else
        lookup.local = lookup.folder->complete || statusCache.offline();
    return lookup;
}

SVNFolderStatus* SVNInterface::folderEntry(const QString& directory)
{
    if (SVNFolderStatus* folder = statusCache.find(directory))
        return folder;
    if (treeScope && !statusCache.treeCovers(directory) && SVNStatusCache::within(directory, localRootPath)
        && isWorkingCopy(localRootPath)) {
        if (!readTree())
            return nullptr;
        if (SVNFolderStatus* folder = statusCache.find(directory))
            return folder;
    }
    if (statusCache.treeCovers(directory) && statusCache.insideUnversionedFolder(directory)) {
        SVNFolderStatus& folder = statusCache.entry(directory);
        folder.listed = folder.complete = true;
        return &folder;
    }
    // Remembered, so the directory is not tested again until refresh.
    if (!isWorkingCopy(directory))
        return &statusCache.entry(directory);
    auto folder = std::make_unique<SVNFolderStatus>();
    folder->listed = true;
    if (!readFolder(directory, folder->records))
        return nullptr;
    SVNFolderStatus* filled = folder.get();
    statusCache.put(directory, std::move(folder));
    return filled;
}

bool SVNInterface::readStatus(const QString& folder, const SVNStatusReader::Sink& sink,
                              const std::function<void()>& forget, const SVNCommand& online, const SVNCommand& local)
{
    const SVNStatusReader::NameCheck holds = [this, &folder](const QString& name) { return folderHolds(folder, name); };
    for (;;) {
        // The lines are read as they come, while the client still runs; a
        // failed run throws them away, a repeated one starts afresh.
        const bool offline = statusCache.offline();
        auto reader = std::make_unique<SVNStatusReader>(sink, !offline, holds);
        SVNOutput output;
        output.observer = [&reader](QByteArrayView line) { reader->add(line); };
        output.restart = [&] {
            forget();
            reader = std::make_unique<SVNStatusReader>(sink, !offline, holds);
        };
        const SVNRunResult result = run(offline ? local : online, output);
        if (result.succeeded())
            return true;
        forget();
        if (offline || !result.repositoryUnreachable())
            return false; // the working copy itself failed: nothing is cached
        goOffline();
    }
}

bool SVNInterface::readFolder(const QString& directory, SVNDirectoryStatus& records)
{
    return readStatus(directory, intoRecords(&records), [&records] { records.clear(); },
                      SVNCommands::folderStatus(directory), SVNCommands::localFolderStatus(directory));
}

bool SVNInterface::readTree()
{
    const QString root = localRootPath;
    TreeFiller filler(root);
    const SVNStatusReader::Sink sink = [&filler](QByteArrayView path, SVNFileStatus& record, bool) {
        filler.add(path, record);
    };
    if (!readStatus(root, sink, [&filler] { filler.restart(); }, SVNCommands::treeStatus(root),
                    SVNCommands::localTreeStatus(root)))
        return false;
    filler.commit(statusCache);
    return true;
}

void SVNInterface::goOffline()
{
    // The server's failure stays the last error; the working copy answers.
    statusCache.setOffline(true);
    qCDebug(lcClient) << "the repository cannot be reached: status is read from the working copy alone until "
                         "refresh, logout or login";
}

bool SVNInterface::saved(const QStringList& pathParts)
try {
    const SVNClient::Operation operation(client);
    if (pathParts.isEmpty())
        return false;
    const QString directory = getLocalDirectory(pathParts);
    SVNFolderStatus* folder = statusCache.find(directory);
    if (!folder)
        return true; // nothing cached here, so nothing can be stale
    const QString& name = pathParts.last();
    folder->inRepository.erase(name); // asked again when it has no record
    const bool local = statusCache.offline();
    QStringList output;
    if (run(local ? SVNCommands::localFileStatus(directory, name) : SVNCommands::fileStatus(directory, name), output)) {
        folder->listed = true;
        SVNDirectoryStatus answer;
        SVNStatusReader reader(intoRecords(&answer), !local,
                               [this, &directory](const QString& path) { return folderHolds(directory, path); });
        for (const QString& line : output)
            reader.add(toEightBit(line));
        // Records are overwritten in place, so pointers to them stay valid;
        // a file the client no longer lists (deleted and committed,
        // unversioned again) loses its record.
        for (auto& record : answer)
            folder->records[record.first] = std::move(record.second);
        if (answer.find(name) == answer.end())
            folder->records.erase(name);
    }
    return true;
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::status(const QStringList& pathParts, bool& controlled, bool& checkedOut,
                          bool& modified, bool& outOfDate, QString& statusText,
                          QString& revisionText, QString& lastChangedText)
try {
    const SVNClient::Operation operation(client);
    controlled = false;
    if (pathParts.isEmpty())
        return false;
    const StatusLookup lookup = lookUp(pathParts);
    if (!lookup.folder && client.cancelled())
        return false; // the folder's run was cancelled: nothing more runs
    if (lookup.record) {
        // An unversioned item ("?") has a record too, of its status columns alone.
        const SVNFileStatus& record = *lookup.record;
        controlled = !record.statusColumns.startsWith(QLatin1Char('?'));
        checkedOut = record.locked;
        modified = record.modified;
        outOfDate = record.outOfDate;
        statusText = record.statusColumns;
        revisionText = record.workingRevision;
        lastChangedText = record.lastChangedRevision;
        return true;
    }
    const auto notVersioned = [&] {
        checkedOut = modified = outOfDate = false;
        statusText = revisionText = lastChangedText = QString();
        return true;
    };
    if (lookup.local || statusCache.offline())
        return notVersioned();

    // No local record: the file may still exist in the repository. Asked
    // once; the answer is kept with the folder's entry.
    const QString& name = pathParts.last();
    bool found = false;
    const auto known = lookup.folder ? lookup.folder->inRepository.find(name) : std::map<QString, bool>::iterator();
    if (lookup.folder && known != lookup.folder->inRepository.end()) {
        found = known->second;
    } else {
        const SVNRunResult result = run(SVNCommands::info(SVNUrl::join(rootURL, pathParts)), SVNOutput());
        found = result.succeeded();
        if (!found && result.repositoryUnreachable()) {
            goOffline(); // no further file waits for it
            return false;
        }
        if (lookup.folder)
            lookup.folder->inRepository[name] = found;
    }
    if (!found)
        return false;
    controlled = true;
    checkedOut = false;
    modified = true;
    outOfDate = true;
    statusText = QStringLiteral("missing");
    revisionText = QStringLiteral("fixme");
    return true;
} catch (...) {
    return false; // out of memory: no exception may reach the host
}
