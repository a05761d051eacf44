#include "SVNStatusPass.h"

#include "EightBit.h"
#include "SVNRetryPolicy.h"
#include "SVNUrl.h"
#include "SVNWorkingCopyLayout.h"

#include <svnscc/StatusColumns.h>

#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace {

// A sink that keeps each entry under its path in one folder's records.
SVNStatusReader::Sink intoRecords(SVNDirectoryStatus* records)
{
    // The client lists a folder's entries in order, so each usually goes last.
    return [records](QByteArrayView path, SVNFileStatus& record) {
        records->insert_or_assign(records->end(), fromEightBit(path.data(), path.size()), std::move(record));
    };
}

bool isDirectory(const QString& path)
{
    struct stat st;
    return ::stat(toEightBit(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A run that failed because of the working copy itself: it finished, the
// server was not the problem, and it is not another client's work, which
// the retry table has waited for already and which will pass.
bool isWorkingCopyFailure(const SVNRunResult& result)
{
    return result.end == SVNRunResult::End::Finished && !result.repositoryUnreachable()
        && !SVNRetries::waitsFor(result);
}

// The folders of one whole-tree run at `root`, kept apart until the run has
// succeeded: a line's path "a/b/c.txt" is the record "c.txt" of the folder
// root/a/b. The client lists a folder's lines together, so the folder of
// the last line is looked up only when it changes. What the commit needs
// (each folder's absolute path, where its own line is) is found while the
// client still runs, so that little is left for after its end.
class TreeFiller
{
public:
    explicit TreeFiller(const QString& root) : m_root(root) {}

    void add(QByteArrayView path, SVNFileStatus& record)
    {
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArrayView folder = slash < 0 ? QByteArrayView() : path.first(slash);
        Folder* finished = nullptr;
        if (!m_last || m_lastFolder != folder) {
            finished = m_last;
            QByteArray key = folder.toByteArray();
            Folder& entry = m_folders[key];
            if (!entry.status) {
                entry.status = std::make_unique<SVNFolderStatus>();
                entry.path = absolute(key);
            }
            m_last = &entry;
            m_finishedFolder = std::move(m_lastFolder);
            m_lastFolder = std::move(key);
        }
        if (record.statusColumns.startsWith(QLatin1Char('?')))
            m_unversioned.push_back(path.toByteArray());
        const QByteArrayView name = slash < 0 ? path : path.sliced(slash + 1);
        const auto placed = m_last->status->records.insert_or_assign(
            m_last->status->records.end(), fromEightBit(name.data(), name.size()), std::move(record));
        // A folder's own line usually comes right after its contents. Its
        // record stays where it is (a later line of the same path overwrites
        // it in place), so the commit copies it without a search.
        if (finished && m_finishedFolder == path)
            finished->own = &placed->second;
    }

    void restart()
    {
        m_folders.clear();
        m_unversioned.clear();
        m_last = nullptr;
    }

    // Hands every folder to `cache`, complete, each with its own line as
    // its "." record (as a run inside it shows it), and appends the
    // unversioned folders the run listed to `unversioned` (a working copy of
    // its own inside one is not: it is read by a pass of its own).
    void commit(SVNStatusCache& cache, std::vector<QString>& unversioned)
    {
        placeOwnLines();
        // In the order of their relative paths, which is mostly the cache's own.
        for (auto& [folder, entry] : m_folders) {
            entry.status->listed = true;
            entry.status->complete = true;
            cache.put(entry.path, std::move(entry.status));
        }
        addUnversioned(unversioned);
    }

    // Each folder's own line as its "." record, as a run inside it shows it.
    void placeOwnLines()
    {
        for (auto& [folder, entry] : m_folders) {
            const SVNFileStatus* own = entry.own;
            const qsizetype slash = folder.lastIndexOf('/');
            if (!own && !folder.isEmpty()) {
                const auto parent = m_folders.find(slash < 0 ? QByteArray() : folder.left(slash));
                if (parent != m_folders.end()) {
                    const auto line = parent->second.status->records.find(fromEightBit(folder.mid(slash + 1)));
                    if (line != parent->second.status->records.end())
                        own = &line->second;
                }
            }
            if (own)
                entry.status->records.emplace(QStringLiteral("."), *own);
        }
    }

    // The unversioned folders the run listed (a working copy of its own
    // inside one is not: it is read by a pass of its own).
    void addUnversioned(std::vector<QString>& unversioned) const
    {
        for (const QByteArray& path : m_unversioned) {
            const QString folder = absolute(path);
            if (isDirectory(folder) && !isDirectory(folder + QStringLiteral("/.svn")))
                unversioned.push_back(folder);
        }
    }

    struct Folder
    {
        std::unique_ptr<SVNFolderStatus> status;
        QString path;                        // absolute
        const SVNFileStatus* own = nullptr;  // its own line in its parent's records, when seen right after it
    };
    // The folders the run listed, by their paths relative to the root.
    std::map<QByteArray, Folder>& folders() { return m_folders; }

private:

    QString absolute(const QByteArray& relative) const
    {
        return relative.isEmpty() ? m_root : m_root + QLatin1Char('/') + fromEightBit(relative);
    }

    QString m_root;
    std::map<QByteArray, Folder> m_folders;
    std::vector<QByteArray> m_unversioned;
    Folder* m_last = nullptr;
    QByteArray m_lastFolder;
    QByteArray m_finishedFolder; // the folder before the last one
};

} // namespace

SVNStatusPass::SVNStatusPass(Runner runner, SVNWorkingCopyLayout& layout)
    : m_run(std::move(runner)), m_layout(layout)
{
}

void SVNStatusPass::bind(const QString& localRootPath, const QString& rootURL)
{
    m_localRoot = localRootPath;
    m_rootURL = rootURL;
    m_lastFolder.status = nullptr;
}

void SVNStatusPass::parse(SVNDirectoryStatus* records, const QStringList& lines)
{
    SVNStatusReader reader(intoRecords(records));
    for (const QString& line : lines)
        reader.add(toEightBit(line));
}

QString SVNStatusPass::directoryOf(const QStringList& pathParts) const
{
    qsizetype size = m_localRoot.size();
    for (qsizetype i = 0; i + 1 < pathParts.size(); ++i)
        size += 1 + pathParts[i].size();
    QString directory;
    directory.reserve(size);
    directory += m_localRoot;
    for (qsizetype i = 0; i + 1 < pathParts.size(); ++i) {
        directory += QLatin1Char('/');
        directory += pathParts[i];
    }
    return directory;
}

bool SVNStatusPass::folderHolds(const QString& directory, const QString& name)
{
    const QString path = directory + QLatin1Char('/') + name;
    struct stat st;
    return ::lstat(toEightBit(path).constData(), &st) == 0 || m_layout.inspectNode(path).known;
}

QString SVNStatusPass::repositoryOf(const QString& directory)
{
    const QString root = m_layout.repositoryRoot(directory);
    return root.isNull() ? QStringLiteral("") : root;
}

bool SVNStatusPass::insideUnversionedFolder(const QString& directory) const
{
    for (const QString& unversioned : m_unversioned)
        if (SVNStatusCache::within(directory, unversioned))
            return true;
    return false;
}

SVNStatusPass::ReadEnd SVNStatusPass::read(const Read& run)
{
    const SVNStatusReader::NameCheck holds = [this, &run](const QString& name) { return folderHolds(run.folder, name); };
    for (;;) {
        const bool offline = !run.online || m_offline.count(run.repository) != 0;
        const SVNCommand* command = offline ? run.local : run.online;
        ReadEnd end;
        if (!command) {
            end.offline = true;
            return end;
        }
        // The lines are read as they come, while the client still runs; a
        // failed run throws them away, a repeated one starts afresh.
        std::unique_ptr<SVNStatusReader> reader;
        SVNOutput output;
        if (run.sink) {
            reader = std::make_unique<SVNStatusReader>(*run.sink, holds);
            output.observer = [&reader](QByteArrayView line) { reader->add(line); };
            output.restart = [&] {
                if (run.forget)
                    run.forget();
                reader = std::make_unique<SVNStatusReader>(*run.sink, holds);
            };
        }
        end.result = m_run(*command, output);
        end.succeeded = end.result.succeeded();
        if (end.succeeded)
            return end;
        if (run.forget)
            run.forget();
        if (offline || !end.result.repositoryUnreachable())
            return end;
        // The server's failure stays the last error; the working copy answers.
        m_offline.insert(run.repository);
        m_layout.log().write(QStringLiteral("the repository %1 cannot be reached: status is read from the working copy "
                                            "alone until refresh, logout or login")
                                 .arg(run.repository.isEmpty() ? m_rootURL : run.repository));
    }
}

QString SVNStatusPass::treeRoot(const QString& directory)
{
    const QString top = SVNWorkingCopyLayout::top(directory);
    if (top.isNull())
        return QString();
    // The local root's working copy, an external or a nested working copy.
    if (SVNStatusCache::within(top, m_localRoot) && QFileInfo::exists(top + QStringLiteral("/.svn/wc.db")))
        return top;
    // The per-folder layout has a ".svn" in every folder, so one pass reads
    // the whole local root; so does a local root below its working copy's top.
    return m_layout.isWorkingCopy(m_localRoot) ? m_localRoot : QString();
}

bool SVNStatusPass::listTree(const Listener& listener, bool& ran)
{
    ran = false;
    if (!m_treeScope || m_localRoot.isEmpty())
        return true;
    const QString root = treeRoot(m_localRoot);
    if (root.isNull() || m_trees.count(root) || m_cache.find(root))
        return true;
    ran = true;
    readTree(root, &listener);
    const auto tree = m_trees.find(root);
    return tree != m_trees.end() && !tree->second.failed;
}

void SVNStatusPass::readTree(const QString& root, const Listener* listener)
{
    TreeFiller filler(root);
    const SVNStatusReader::Sink sink = [&filler, listener](QByteArrayView path, SVNFileStatus& record) {
        if (listener)
            (*listener)(path, record);
        filler.add(path, record);
    };
    const SVNCommand online = SVNCommands::treeStatus(root);
    const SVNCommand local = SVNCommands::localTreeStatus(root);
    Read run;
    run.online = &online;
    run.local = &local;
    run.repository = repositoryOf(root);
    run.sink = &sink;
    run.folder = root;
    run.forget = [&filler] { filler.restart(); };
    const ReadEnd end = read(run);
    if (end.succeeded) {
        filler.commit(m_cache, m_unversioned);
        m_trees[root];
    } else if (isWorkingCopyFailure(end.result)) {
        SVNFolderStatus& failure = m_trees[root];
        failure.failed = true;
        failure.failedCommand = online.subcommand;
        failure.failedMessage = end.result.message();
    }
}

SVNFolderStatus* SVNStatusPass::folderEntry(const QString& directory)
{
    if (SVNFolderStatus* folder = m_cache.find(directory))
        return folder;
    if (m_treeScope && SVNStatusCache::within(directory, m_localRoot)) {
        const QString root = treeRoot(directory);
        if (!root.isNull()) {
            auto tree = m_trees.find(root);
            if (tree == m_trees.end()) {
                readTree(root);
                tree = m_trees.find(root);
                if (tree == m_trees.end())
                    return nullptr; // stopped, or a failure that may pass: nothing is remembered
            }
            if (tree->second.failed)
                return &tree->second;
            if (SVNFolderStatus* folder = m_cache.find(directory))
                return folder;
            if (insideUnversionedFolder(directory)) {
                SVNFolderStatus& folder = m_cache.entry(directory);
                folder.listed = folder.complete = true;
                return &folder;
            }
        }
    }
    const SVNFolderState state = m_layout.inspect(directory);
    if (!state.versioned && !hasEntriesFile(directory)) {
        // Remembered, so the directory is not tested again until refresh. In a
        // working copy of the newer layout a folder on disk that holds none is
        // unversioned or ignored, and so is all it holds.
        SVNFolderStatus& folder = m_cache.entry(directory);
        folder.complete = state.central && isDirectory(directory);
        return &folder;
    }
    auto folder = std::make_unique<SVNFolderStatus>();
    folder->listed = true;
    SVNDirectoryStatus& records = folder->records;
    const SVNStatusReader::Sink sink = intoRecords(&records);
    const SVNCommand online = SVNCommands::folderStatus(directory);
    const SVNCommand local = SVNCommands::localFolderStatus(directory);
    Read run;
    run.online = &online;
    run.local = &local;
    run.repository = repositoryOf(directory);
    run.sink = &sink;
    run.folder = directory;
    run.forget = [&records] { records.clear(); };
    const ReadEnd end = read(run);
    if (!end.succeeded) {
        if (!isWorkingCopyFailure(end.result))
            return nullptr; // nothing is cached: the next question runs again
        folder->failed = true;
        folder->failedCommand = online.subcommand;
        folder->failedMessage = end.result.message();
    }
    // A run of the newer layout lists every versioned and unversioned name.
    folder->complete = state.central;
    SVNFolderStatus* filled = folder.get();
    m_cache.put(directory, std::move(folder));
    return filled;
}

const SVNFileStatus* SVNStatusPass::ownRecord(const QString& directory, const QString& name)
{
    const QString path = directory + QLatin1Char('/') + name;
    if (!isDirectory(path + QStringLiteral("/.svn")))
        return nullptr;
    const SVNFolderStatus* own = folderEntry(path);
    if (!own || own->failed)
        return nullptr;
    const auto record = own->records.find(QStringLiteral("."));
    return record == own->records.end() ? nullptr : &record->second;
}

SVNStatusPass::Answer SVNStatusPass::ask(const QStringList& pathParts)
{
    SVNFolderStatus* folder = nullptr;
    Answer answer = lookUp(pathParts, folder);
    if (answer.kind != Answer::Kind::NotVersioned || folder->complete)
        return answer;
    const QString repository = repositoryOf(m_localRoot);
    if (m_offline.count(repository) != 0)
        return answer;
    // No local record: the file may still exist in the repository. Asked
    // once; the answer is kept with the folder's entry.
    const QString& name = pathParts.last();
    const auto known = folder->inRepository.find(name);
    bool found = false;
    if (known != folder->inRepository.end()) {
        found = known->second;
    } else {
        const SVNCommand info = SVNCommands::info(SVNUrl::join(m_rootURL, pathParts));
        Read run;
        run.online = &info;
        run.repository = repository;
        const ReadEnd end = read(run);
        if (end.offline || end.result.end != SVNRunResult::End::Finished) {
            answer.kind = Answer::Kind::Failed; // unreachable (no further file waits for it), stopped, not started
            return answer;
        }
        found = end.succeeded;
        folder->inRepository[name] = found;
    }
    answer.kind = found ? Answer::Kind::InRepository : Answer::Kind::NotFound;
    return answer;
}

SVNStatusPass::Answer SVNStatusPass::lookUp(const QStringList& pathParts, SVNFolderStatus*& folder)
{
    Answer answer;
    if (pathParts.isEmpty())
        return answer;
    // An IDE asks about the files of one folder after another: the folder
    // of the last question is kept, so that most questions build no path
    // and search no folder.
    const qsizetype depth = pathParts.size() - 1;
    bool same = m_lastFolder.status && m_lastFolder.generation == m_cache.generation()
        && m_lastFolder.parts.size() == depth;
    for (qsizetype i = 0; same && i < depth; ++i)
        same = m_lastFolder.parts.at(i) == pathParts.at(i);
    if (same) {
        folder = m_lastFolder.status;
    } else {
        folder = folderEntry(directoryOf(pathParts));
        if (!folder)
            return answer; // the run failed or was cancelled
        m_lastFolder.parts = pathParts.mid(0, depth);
        m_lastFolder.status = folder;
        m_lastFolder.generation = m_cache.generation();
        m_lastFolder.hasNext = false;
    }
    if (folder->failed) {
        answer.failedCommand = folder->failedCommand;
        answer.failedMessage = folder->failedMessage;
        return answer;
    }
    const QString& name = pathParts.last();
    // An IDE asks about a folder's files in their order, so the record after
    // the last one found is tried before a search.
    SVNDirectoryStatus::iterator record = m_lastFolder.next;
    if (!m_lastFolder.hasNext || record == folder->records.end() || record->first != name)
        record = folder->records.find(name);
    if (record != folder->records.end()) {
        m_lastFolder.next = std::next(record);
        m_lastFolder.hasNext = true;
        answer.kind = Answer::Kind::Record;
        answer.record = &record->second;
        // An external's folder or a nested working copy shows as itself, as
        // the client shows it when asked about it, not as its "X" line.
        if (record->second.statusColumns.startsWith(QLatin1Char('X'))) {
            if (const SVNFileStatus* own = ownRecord(directoryOf(pathParts), name))
                answer.record = own;
        }
        return answer;
    }
    answer.kind = Answer::Kind::NotVersioned;
    return answer;
}

SVNFileStatus* SVNStatusPass::record(const QStringList& pathParts)
{
    SVNFolderStatus* folder = nullptr;
    const Answer answer = lookUp(pathParts, folder);
    return answer.kind == Answer::Kind::Record ? const_cast<SVNFileStatus*>(answer.record) : nullptr;
}

void SVNStatusPass::reread(const QStringList& pathParts, unsigned change)
{
    if (pathParts.isEmpty())
        return;
    const QString directory = directoryOf(pathParts);
    if (m_layout.inspect(directory).central && isFolder(directory + QLatin1Char('/') + pathParts.last())) {
        // A folder is read with everything below it, in one run.
        rereadItems({pathParts.join(QLatin1Char('/'))}, change);
        return;
    }
    SVNFolderStatus* folder = m_cache.find(directory);
    if (!folder || folder->failed)
        return; // nothing cached here, so nothing can be stale
    const QString& name = pathParts.last();
    folder->inRepository.erase(name); // asked again when it has no record
    const bool newer = m_layout.inspect(directory).central;
    SVNDirectoryStatus answer;
    const SVNStatusReader::Sink sink = intoRecords(&answer);
    const SVNCommand online = SVNCommands::fileStatus(directory, name);
    const SVNCommand local = SVNCommands::localFileStatus(directory, name);
    Read run;
    run.online = newer ? nullptr : &online;
    run.local = &local;
    run.repository = repositoryOf(directory);
    run.sink = &sink;
    run.folder = directory;
    run.forget = [&answer] { answer.clear(); };
    if (!read(run).succeeded)
        return;
    folder->listed = true;
    const auto fresh = answer.find(name);
    keep(*folder, name, fresh == answer.end() ? nullptr : &fresh->second, change, newer);
}

void SVNStatusPass::keep(SVNFolderStatus& folder, const QString& name, SVNFileStatus* fresh, unsigned change,
                         bool local)
{
    if (!fresh) {
        // No longer listed (deleted and committed, unversioned again).
        m_lastFolder.hasNext = false;
        folder.records.erase(name);
        return;
    }
    SVNFileStatus& record = *fresh;
    const auto cached = folder.records.find(name);
    if (local && cached != folder.records.end()) {
        // The local run cannot know what only the server knows, but the
        // server's mark holds only for the revision it was given for: one
        // brought up (a terminal's update) is no longer out of date, one
        // taken back to an older revision is.
        bool before = false, after = false;
        const qint64 was = cached->second.workingRevision.toLongLong(&before);
        const qint64 is = record.workingRevision.toLongLong(&after);
        if (!(change & BroughtUpToDate))
            record.outOfDate = before && after && is != was ? is < was : cached->second.outOfDate;
        if (!(change & LockChanged) && record.statusColumns.size() > 5
            && SourceCodeControl::StatusColumns::hasServersLock(cached->second.statusColumns)) {
            record.statusColumns[5] = cached->second.statusColumns.at(5);
            record.locked = false;
        }
    }
    // Overwritten in place, so pointers to the record stay valid.
    folder.records[name] = std::move(record);
}

bool SVNStatusPass::isFolder(const QString& path)
{
    // A folder moved away or deleted is gone from the disk but still the
    // working copy's, with all it held.
    return isDirectory(path) || m_layout.inspectNode(path).kind == QLatin1String("dir");
}

void SVNStatusPass::rereadItems(const QStringList& items, unsigned change)
{
    const auto folderOf = [this](const QString& item) {
        const qsizetype slash = item.lastIndexOf(QLatin1Char('/'));
        return slash < 0 ? m_localRoot : m_localRoot + QLatin1Char('/') + item.left(slash);
    };
    const auto pathOf = [this](const QString& item) {
        return item.isEmpty() ? m_localRoot : m_localRoot + QLatin1Char('/') + item;
    };
    // An item is read when its folder is cached, a folder also when any
    // folder below it is: what nothing cached holds cannot be stale.
    QStringList targets;
    QStringList folders;
    for (const QString& item : items) {
        const SVNFolderStatus* parent = item.isEmpty() ? nullptr : m_cache.find(folderOf(item));
        const bool folder = item.isEmpty() || isFolder(pathOf(item));
        if (!(parent && !parent->failed) && !(folder && m_cache.anyWithin(pathOf(item))))
            continue;
        if (folder)
            folders << item;
        targets << item;
    }
    if (targets.isEmpty())
        return;
    if (folders.contains(QString()))
        targets = folders = QStringList{QString()};
    const auto belowFolder = [&folders](const QString& relative) {
        for (const QString& folder : folders)
            if (folder.isEmpty() || SVNStatusCache::within(relative, folder))
                return true;
        return false;
    };
    // The client cannot tell a folder it reads from inside that it is
    // switched ("S"): that mark is kept from what was cached.
    std::vector<QString> switched;
    for (const QString& folder : std::as_const(folders)) {
        if (folder.isEmpty())
            continue;
        const SVNFolderStatus* parent = m_cache.find(folderOf(folder));
        const auto record = parent ? parent->records.find(folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1))
                                   : SVNDirectoryStatus::const_iterator();
        if (parent && record != parent->records.end()
            && SourceCodeControl::StatusColumns::at(record->second.statusColumns, 4) == u'S')
            switched.push_back(folder);
    }

    TreeFiller filler(m_localRoot);
    const SVNStatusReader::Sink sink = [&filler](QByteArrayView path, SVNFileStatus& record) {
        filler.add(path, record);
    };
    SVNCommand online = SVNCommands::subtreesStatus(m_localRoot, targets, true);
    SVNCommand local = SVNCommands::subtreesStatus(m_localRoot, targets, false);
    online.afterStop = local.afterStop = (change & AfterStop) != 0;
    Read run;
    run.online = (change & AskServer) ? &online : nullptr;
    run.local = &local;
    run.repository = repositoryOf(m_localRoot);
    run.sink = &sink;
    run.folder = m_localRoot;
    run.forget = [&filler] { filler.restart(); };
    if (!read(run).succeeded) {
        // Nothing fresh: what the operation may have changed is read again when asked about.
        for (const QString& folder : std::as_const(folders)) {
            m_cache.removeWithin(pathOf(folder));
            forget(pathOf(folder));
        }
        return;
    }
    const bool fromServer = (change & AskServer) && m_offline.count(run.repository) == 0;
    m_lastFolder.hasNext = false;
    filler.placeOwnLines();
    std::set<QString> listed;
    std::set<QString> listedItems;
    for (auto& [relative, entry] : filler.folders()) {
        listed.insert(entry.path);
        for (const auto& record : entry.status ? entry.status->records : SVNDirectoryStatus())
            listedItems.insert(entry.path + QLatin1Char('/') + record.first);
        SVNFolderStatus* cached = m_cache.find(entry.path);
        SVNDirectoryStatus& fresh = entry.status->records;
        const QString folder = fromEightBit(relative);
        const bool whole = belowFolder(folder);
        if (whole) {
            // Listed whole: the fresh entry, with what only the server knew of its names.
            if (!cached || cached->failed) {
                entry.status->listed = entry.status->complete = true;
                m_cache.put(entry.path, std::move(entry.status));
                continue;
            }
            for (auto record = cached->records.begin(); record != cached->records.end();)
                record = fresh.count(record->first) != 0 ? std::next(record) : cached->records.erase(record);
            cached->inRepository.clear();
            cached->listed = cached->complete = true;
        } else if (!cached || cached->failed) {
            continue; // the folder of an item, not cached: nothing of it can be stale
        }
        for (auto& [name, record] : fresh) {
            // In the folder of an item, only the item's own line is its.
            if (!whole
                && (name == QLatin1String(".")
                    || !targets.contains(folder.isEmpty() ? name : folder + QLatin1Char('/') + name)))
                continue;
            cached->inRepository.erase(name);
            keep(*cached, name, &record, change, !fromServer);
        }
    }
    for (const QString& folder : std::as_const(switched)) {
        for (const auto& [entry, name] : {std::pair(folderOf(folder), folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1)),
                                          std::pair(pathOf(folder), QStringLiteral("."))}) {
            SVNFolderStatus* status = m_cache.find(entry);
            const auto record = status ? status->records.find(name) : SVNDirectoryStatus::iterator();
            if (status && record != status->records.end() && record->second.statusColumns.size() > 4
                && record->second.statusColumns.at(4) == QLatin1Char(' '))
                record->second.statusColumns[4] = QLatin1Char('S');
        }
    }
    // A file item the run no longer lists (ignored now, deleted from the
    // disk while unversioned) loses its record.
    for (const QString& item : std::as_const(targets)) {
        if (folders.contains(item) || listedItems.count(pathOf(item)) != 0)
            continue;
        if (SVNFolderStatus* parent = m_cache.find(folderOf(item)); parent && !parent->failed)
            keep(*parent, item.mid(item.lastIndexOf(QLatin1Char('/')) + 1), nullptr, change, true);
    }
    // A folder below them that the run no longer lists is gone (or no
    // longer versioned); one of another working copy (an external) is not
    // the run's to say.
    for (const QString& folder : std::as_const(folders)) {
        const QString path = pathOf(folder);
        const QString top = SVNWorkingCopyLayout::top(path);
        m_cache.removeWithin(path, [&listed, &top](const QString& below) {
            return listed.count(below) != 0 || SVNWorkingCopyLayout::top(below) != top;
        });
        m_unversioned.erase(std::remove_if(m_unversioned.begin(), m_unversioned.end(),
                                           [&path](const QString& unversioned) {
                                               return SVNStatusCache::within(unversioned, path)
                                                   || SVNStatusCache::within(path, unversioned);
                                           }),
                            m_unversioned.end());
    }
    filler.addUnversioned(m_unversioned);
}

bool SVNStatusPass::readFile(const QString& folder, const QString& name, SVNFileStatus& record, bool& listed)
{
    SVNDirectoryStatus answer;
    const SVNStatusReader::Sink sink = intoRecords(&answer);
    const SVNCommand local = SVNCommands::localFileStatus(folder, name);
    Read run;
    run.local = &local;
    run.sink = &sink;
    run.folder = folder;
    run.forget = [&answer] { answer.clear(); };
    if (!read(run).succeeded)
        return false;
    const auto fresh = answer.find(name);
    listed = fresh != answer.end();
    record = listed ? fresh->second : SVNFileStatus();
    return true;
}

void SVNStatusPass::forget(const QString& folder)
{
    m_cache.remove(folder);
    // It was unversioned and is a working copy's folder now: what a pass
    // said of the unversioned folder around it no longer holds.
    m_unversioned.erase(std::remove_if(m_unversioned.begin(), m_unversioned.end(),
                                       [&folder](const QString& unversioned) {
                                           return SVNStatusCache::within(folder, unversioned)
                                               || SVNStatusCache::within(unversioned, folder);
                                       }),
                        m_unversioned.end());
}

void SVNStatusPass::clear()
{
    m_cache.clear();
    m_trees.clear();
    m_unversioned.clear();
    m_offline.clear();
    m_lastFolder.status = nullptr;
}
