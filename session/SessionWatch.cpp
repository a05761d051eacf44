#include "SessionWatch.h"

#include "FileStamp.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <utility>

namespace SvnScc {

namespace {

using Clock = std::chrono::steady_clock;

const std::chrono::milliseconds s_gather(50);
const QString s_adminFolder = QStringLiteral(".svn");
const QString s_databaseName = QStringLiteral("wc.db");

QString joined(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
}

bool isBelow(const QString& path, const QString& folder)
{
    return folder.isEmpty() ? !path.isEmpty()
                            : path.size() > folder.size() && path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/');
}

} // namespace

// Everything the watch knows, under its owner's mutex.
class SessionWatch::State
{
public:
    State(const QString& root, FolderNotices& notices) : m_root(root), m_notices(notices) {}

    void arm(const QString& folder)
    {
        Folder& known = m_folders[folder];
        if (known.watch >= 0 || known.polled)
            return;
        QString reason;
        const int watch = m_notices.add(absolute(folder), reason);
        known.gone = watch < 0 && reason.isEmpty();
        if (watch >= 0) {
            known.watch = watch;
            m_byWatch.insert(watch, folder);
            ++m_coverage.watched;
        } else if (!reason.isEmpty()) {
            // Refused: looked at every poll interval instead.
            known.polled = true;
            known.stamp = FileStamp::of(absolute(folder));
            known.entries = entries(folder);
            for (const QString& file : std::as_const(known.files))
                m_polledFiles.insert(file, FileStamp::of(absolute(file)));
            m_polled.insert(folder);
            ++m_coverage.unwatched;
            m_coverage.reason = reason;
        }
    }

    // @p file, in @p folder (its parent).
    void holds(const QString& folder, const QString& file)
    {
        if (!m_folders.contains(folder))
            arm(folder);
        Folder& known = m_folders[folder];
        const qsizetype before = known.files.size();
        known.files.insert(file);
        if (known.files.size() == before)
            return;
        if (known.polled)
            m_polledFiles.insert(file, FileStamp::of(absolute(file)));
    }

    void armDatabase(const QString& path)
    {
        for (const Database& database : std::as_const(m_databases))
            if (database.path == path)
                return;
        Database database{path, -1, FileStamp::of(path)};
        QString reason;
        database.watch = m_notices.add(QFileInfo(path).path(), reason);
        if (database.watch >= 0) {
            m_databaseWatches.insert(database.watch);
            ++m_coverage.watched;
        } else if (!reason.isEmpty()) {
            ++m_coverage.unwatched;
            m_coverage.reason = reason;
        }
        m_pollsDatabase = m_pollsDatabase || database.watch < 0;
        m_databases.append(database);
    }

    // What the system noticed: the names it gives, and what they stand for.
    void take(const QList<FolderNotices::Notice>& notices, bool complete)
    {
        if (!complete) {
            // Notices were dropped: anything watched may have changed.
            for (auto folder = m_folders.cbegin(); folder != m_folders.cend(); ++folder) {
                gather(folder.key());
                for (const QString& file : folder->files)
                    gather(file);
            }
            gatherDatabase();
        }
        for (const FolderNotices::Notice& notice : notices) {
            if (m_databaseWatches.contains(notice.watch)) {
                if (notice.folderGone || notice.name == s_databaseName)
                    gatherDatabase();
                continue;
            }
            const auto folder = m_byWatch.constFind(notice.watch);
            if (folder == m_byWatch.cend())
                continue; // a watch given up already
            if (notice.folderGone) {
                lose(*folder);
            } else if (notice.name.isEmpty()) {
                gather(*folder);
            } else if (notice.name != s_adminFolder) {
                const QString path = joined(*folder, notice.name);
                gather(path);
                regain(path);
            }
        }
    }

    // The folders the system refused to watch, looked at now.
    void poll()
    {
        for (const QString& path : std::as_const(m_polled)) {
            Folder& folder = m_folders[path];
            const FileStamp now = FileStamp::of(absolute(path));
            if (now != folder.stamp) {
                folder.stamp = now;
                const QSet<QString> names = entries(path);
                for (const QString& name : names)
                    if (!folder.entries.contains(name))
                        gather(joined(path, name));
                for (const QString& name : std::as_const(folder.entries))
                    if (!names.contains(name))
                        gather(joined(path, name));
                folder.entries = names;
                if (!now.exists)
                    gather(path);
            }
            for (const QString& file : std::as_const(folder.files))
                pollFile(m_polledFiles[file], file);
        }
        for (Database& database : m_databases) {
            if (database.watch >= 0)
                continue;
            const FileStamp now = FileStamp::of(database.path);
            if (now != database.stamp) {
                database.stamp = now;
                gatherDatabase();
            }
        }
    }

    // Those of @p paths that are files in refused folders, looked at now.
    void pollFiles(const QStringList& paths)
    {
        for (const QString& path : paths) {
            const auto noted = m_polledFiles.find(path);
            if (noted != m_polledFiles.end())
                pollFile(*noted, path);
        }
    }

    // A polled file, gathered when it looks otherwise than @p noted.
    void pollFile(FileStamp& noted, const QString& file)
    {
        const FileStamp now = FileStamp::of(absolute(file));
        if (now != noted) {
            noted = now;
            gather(file);
        }
    }

    bool polls() const { return !m_polled.isEmpty() || m_pollsDatabase; }
    const Coverage& coverage() const { return m_coverage; }
    std::optional<Clock::time_point> deadline() const { return m_deadline; }

    QStringList takePending(bool& database)
    {
        m_deadline.reset();
        database = std::exchange(m_databasePending, false);
        const QSet<QString> pending = std::exchange(m_pending, {});
        return QStringList(pending.begin(), pending.end());
    }

private:
    struct Folder
    {
        int watch = -1;
        bool polled = false;   // refused: looked at every poll interval instead
        bool gone = false;     // vanished: neither watched nor polled until named again
        QSet<QString> files;   // the files named in it
        FileStamp stamp;       // polled: the folder at the last look
        QSet<QString> entries; // polled: its names at the last look
    };
    struct Database
    {
        QString path;
        int watch = -1; // of its folder
        FileStamp stamp;
    };

    QString absolute(const QString& path) const { return path.isEmpty() ? m_root : m_root + QLatin1Char('/') + path; }

    QSet<QString> entries(const QString& folder) const
    {
        const QStringList names =
            QDir(absolute(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        QSet<QString> set(names.begin(), names.end());
        set.remove(s_adminFolder);
        return set;
    }

    void gather(const QString& path)
    {
        m_pending.insert(path);
        // Held back through a burst (an editor's save, a build), never longer than the interval.
        if (!m_deadline)
            m_deadline = Clock::now() + s_gather;
    }

    void gatherDatabase()
    {
        m_databasePending = true;
        if (!m_deadline)
            m_deadline = Clock::now() + s_gather;
    }

    // The folder vanished or moved away, and the folders below it with it:
    // their watches are given up, and what they held is told.
    void lose(const QString& folder)
    {
        for (auto known = m_folders.begin(); known != m_folders.end(); ++known) {
            if (known->watch < 0 || (known.key() != folder && !isBelow(known.key(), folder)))
                continue;
            m_notices.remove(known->watch);
            m_byWatch.remove(known->watch);
            --m_coverage.watched;
            known->watch = -1;
            known->gone = true;
            gather(known.key());
            for (const QString& file : std::as_const(known->files))
                gather(file);
        }
    }

    // A folder that comes back (a revert, a move back): what it held is told again.
    void regain(const QString& path)
    {
        const auto found = m_folders.constFind(path);
        if (found == m_folders.cend() || !found->gone)
            return;
        for (auto known = m_folders.cbegin(); known != m_folders.cend(); ++known)
            if (known->gone && (known.key() == path || isBelow(known.key(), path)))
                for (const QString& file : known->files)
                    gather(file);
    }

    const QString m_root;
    FolderNotices& m_notices;
    QHash<QString, Folder> m_folders; // every folder named, by path
    QHash<int, QString> m_byWatch;    // watched folders
    QSet<QString> m_polled;           // refused folders
    QHash<QString, FileStamp> m_polledFiles;
    QList<Database> m_databases;
    QSet<int> m_databaseWatches;
    bool m_pollsDatabase = false; // some database's folder is not watched
    Coverage m_coverage;
    QSet<QString> m_pending;
    bool m_databasePending = false;
    std::optional<Clock::time_point> m_deadline;
};

SessionWatch::SessionWatch(const QString& localRoot, const QString& database, int pollMs, Changed changed,
                           CoverageChanged coverageChanged, std::unique_ptr<FolderNotices> notices)
    : m_pollMs(std::max(pollMs, 1)), m_changed(std::move(changed)), m_coverageChanged(std::move(coverageChanged)),
      m_notices(std::move(notices)), m_state(std::make_unique<State>(localRoot, *m_notices))
{
    m_state->arm(QString());
    if (!database.isEmpty())
        m_state->armDatabase(database);
    m_reported = m_state->coverage();
    if (m_coverageChanged)
        m_coverageChanged(m_reported);
    m_thread = std::thread([this] { run(); });
}

SessionWatch::~SessionWatch()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_notices->wake();
    m_thread.join();
}

void SessionWatch::watch(const QStringList& folders, const QStringList& files)
{
    std::optional<Coverage> changed;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (const QString& folder : folders)
            m_state->arm(folder);
        // Files come folder by folder: each folder is named once per run of them.
        QString folder;
        for (qsizetype i = 0; i < files.size(); ++i) {
            const QString& file = files.at(i);
            const qsizetype slash = file.lastIndexOf(QLatin1Char('/'));
            const QStringView parent = slash < 0 ? QStringView() : QStringView(file).left(slash);
            if (i == 0 || parent != folder)
                folder = parent.toString();
            m_state->holds(folder, file);
        }
        changed = takeCoverageChange();
    }
    m_notices->wake(); // the poll may have begun
    if (changed && m_coverageChanged)
        m_coverageChanged(*changed);
}

void SessionWatch::watchDatabase(const QString& absolutePath)
{
    std::optional<Coverage> changed;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_state->armDatabase(QDir::cleanPath(absolutePath));
        changed = takeCoverageChange();
    }
    m_notices->wake();
    if (changed && m_coverageChanged)
        m_coverageChanged(*changed);
}

QStringList SessionWatch::takeSeen(bool& database, const QStringList& named, bool everything)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    QList<FolderNotices::Notice> notices;
    const bool complete = m_notices->read(notices);
    m_state->take(notices, complete);
    if (everything && m_state->polls())
        m_state->poll();
    else if (!named.isEmpty())
        m_state->pollFiles(named);
    return m_state->takePending(database);
}

bool SessionWatch::polls()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_state->polls();
}

std::optional<SessionWatch::Coverage> SessionWatch::takeCoverageChange()
{
    const Coverage& now = m_state->coverage();
    if (now.unwatched == m_reported.unwatched && (now.watched == 0) == (m_reported.watched == 0)
        && now.reason == m_reported.reason)
        return std::nullopt;
    m_reported = now;
    return now;
}

void SessionWatch::run()
{
    const std::chrono::milliseconds pollInterval(m_pollMs);
    Clock::time_point nextPoll = Clock::now() + pollInterval;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_ending) {
        // Asleep until a notice, a wake-up, the end of the gathering or the next poll.
        std::optional<Clock::time_point> until = m_state->deadline();
        if (m_state->polls() && (!until || nextPoll < *until))
            until = nextPoll;
        int timeoutMs = -1;
        if (until)
            timeoutMs = int(std::max<qint64>(
                0, std::chrono::ceil<std::chrono::milliseconds>(*until - Clock::now()).count()));
        lock.unlock();
        m_notices->wait(timeoutMs);
        lock.lock();
        if (m_ending)
            break;
        QList<FolderNotices::Notice> notices;
        const bool complete = m_notices->read(notices);
        m_state->take(notices, complete);
        const Clock::time_point now = Clock::now();
        if (now >= nextPoll) {
            if (m_state->polls())
                m_state->poll();
            nextPoll = now + pollInterval;
        }
        const std::optional<Clock::time_point> deadline = m_state->deadline();
        if (deadline && now >= *deadline) {
            bool database = false;
            const QStringList paths = m_state->takePending(database);
            lock.unlock();
            m_changed(paths, database);
            lock.lock();
        }
    }
}

} // namespace SvnScc
