#include "SessionWatch.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <mutex>
#include <utility>

namespace SvnScc {

namespace {

const int s_gatherMs = 50;

QString joined(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
}

} // namespace

// Lives in the watch's thread; only its inbox is touched from others.
class SessionWatch::Watcher : public QObject
{
public:
    Watcher(SessionWatch& owner, const QString& localRoot, const QString& database, Changed changed)
        : m_owner(owner), m_root(localRoot), m_changed(std::move(changed))
    {
        if (!database.isEmpty())
            m_databases.insert(database);
    }

    // In the watch's thread, first: what it makes belongs to that thread.
    void start()
    {
        m_watcher = new QFileSystemWatcher(this);
        m_gathering = new QTimer(this);
        m_gathering->setSingleShot(true);
        m_gathering->setInterval(s_gatherMs);
        connect(m_gathering, &QTimer::timeout, this, [this] {
            const QSet<QString> paths = std::exchange(m_pending, {});
            m_changed(QStringList(paths.begin(), paths.end()), std::exchange(m_databasePending, false));
        });
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &Watcher::onFileChanged);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &Watcher::onDirectoryChanged);
        QStringList toAdd(m_databases.begin(), m_databases.end());
        watchFolder(QString(), toAdd);
        m_watcher->addPaths(toAdd);
        m_notifier = m_owner.m_wake.listen(this, [this] { takeRequests(); });
        const std::lock_guard<std::mutex> lock(m_owner.m_mutex);
        m_owner.m_started = true;
        m_owner.m_doneChanged.notify_all();
    }

    // In the watch's thread, as its event loop ends: the owner waits for this.
    ~Watcher() override
    {
        delete m_notifier;
        const std::lock_guard<std::mutex> lock(m_owner.m_mutex);
        m_owner.m_done = true;
        m_owner.m_doneChanged.notify_all();
    }

private:
    void takeRequests()
    {
        QStringList folders, files, databases;
        bool ending = false;
        {
            const std::lock_guard<std::mutex> lock(m_owner.m_mutex);
            folders.swap(m_owner.m_folders);
            files.swap(m_owner.m_files);
            databases.swap(m_owner.m_databases);
            ending = m_owner.m_ending;
        }
        if (ending) {
            // Deleted as the thread ends, after this call has returned.
            deleteLater();
            QThread::currentThread()->quit();
            return;
        }
        QStringList toAdd;
        for (const QString& database : std::as_const(databases))
            if (!m_databases.contains(database)) {
                m_databases.insert(database);
                toAdd << database;
            }
        for (const QString& folder : std::as_const(folders))
            watchFolder(folder, toAdd);
        for (const QString& file : std::as_const(files))
            if (!m_files.contains(file)) {
                m_files.insert(file);
                toAdd << absolute(file);
            }
        if (!toAdd.isEmpty())
            m_watcher->addPaths(toAdd);
    }

    QString absolute(const QString& path) const { return path.isEmpty() ? m_root : m_root + QLatin1Char('/') + path; }

    QString relative(const QString& absolutePath) const
    {
        return absolutePath.size() <= m_root.size() ? QString() : absolutePath.mid(m_root.size() + 1);
    }

    QSet<QString> entries(const QString& folder) const
    {
        const QStringList names =
            QDir(absolute(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        QSet<QString> set(names.begin(), names.end());
        set.remove(QStringLiteral(".svn"));
        return set;
    }

    void watchFolder(const QString& folder, QStringList& toAdd)
    {
        if (m_folders.contains(folder) || !QFileInfo(absolute(folder)).isDir())
            return;
        m_folders.insert(folder, entries(folder));
        m_lost.remove(folder);
        toAdd << absolute(folder);
    }

    void gather(const QString& path)
    {
        m_pending.insert(path);
        // Held back through a burst (an editor's save, a build), never longer than the interval.
        if (!m_gathering->isActive())
            m_gathering->start();
    }

    // The folder and what it held are gone, and their watches with them.
    void lose(const QString& folder)
    {
        const QSet<QString> held = m_folders.take(folder);
        m_lost.insert(folder, held);
        for (const QString& name : held) {
            const QString path = joined(folder, name);
            gather(path);
            m_files.remove(path);
            if (m_folders.contains(path))
                lose(path);
        }
    }

    // A folder that comes back (a revert, an update): what it held is read again.
    void regain(const QString& folder)
    {
        const QSet<QString> held = m_lost.take(folder);
        for (const QString& name : held) {
            gather(joined(folder, name));
            regain(joined(folder, name));
        }
    }

    void onFileChanged(const QString& absolutePath)
    {
        if (m_databases.contains(absolutePath)) {
            m_databasePending = true;
            if (!m_gathering->isActive())
                m_gathering->start();
        } else {
            gather(relative(absolutePath));
        }
        // A file written through a new file renamed over it is another file
        // now: the watch follows the name.
        m_watcher->removePath(absolutePath);
        if (QFileInfo::exists(absolutePath))
            m_watcher->addPath(absolutePath);
        else if (!m_databases.contains(absolutePath))
            m_files.remove(relative(absolutePath));
    }

    void onDirectoryChanged(const QString& absolutePath)
    {
        const QString folder = relative(absolutePath);
        const auto known = m_folders.find(folder);
        if (known == m_folders.end())
            return;
        if (!QFileInfo(absolutePath).isDir()) {
            lose(folder);
            return;
        }
        const QSet<QString> now = entries(folder);
        const QSet<QString> before = std::exchange(*known, now);
        for (const QString& name : before)
            if (!now.contains(name)) {
                const QString path = joined(folder, name);
                gather(path);
                if (m_folders.contains(path))
                    lose(path);
            }
        for (const QString& name : now)
            if (!before.contains(name)) {
                gather(joined(folder, name));
                regain(joined(folder, name));
            }
    }

    SessionWatch& m_owner;
    const QString m_root;
    QSet<QString> m_databases; // watched databases (absolute)
    const Changed m_changed;
    QSocketNotifier* m_notifier = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_gathering = nullptr;
    QHash<QString, QSet<QString>> m_folders; // watched folder: its entries when last looked at
    QHash<QString, QSet<QString>> m_lost;    // folder that vanished: the entries it had
    QSet<QString> m_files;                   // watched files
    QSet<QString> m_pending;
    bool m_databasePending = false;
};

SessionWatch::SessionWatch(const QString& localRoot, const QString& database, Changed changed)
{
    m_thread.setObjectName(QStringLiteral("svnscc watch"));
    m_watcher = new Watcher(*this, localRoot, database, std::move(changed));
    m_watcher->moveToThread(&m_thread);
    Watcher* const watcher = m_watcher;
    QObject::connect(&m_thread, &QThread::started, watcher, [watcher] { watcher->start(); });
    m_thread.start();
    // Watching when this returns: what changes from now on is seen.
    std::unique_lock<std::mutex> lock(m_mutex);
    m_doneChanged.wait(lock, [this] { return m_started; });
}

SessionWatch::~SessionWatch()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_wake.wake();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_doneChanged.wait(lock, [this] { return m_done; });
    lock.unlock();
    m_thread.wait();
}

void SessionWatch::watch(const QStringList& folders, const QStringList& files)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_folders += folders;
        m_files += files;
    }
    m_wake.wake();
}

void SessionWatch::watchDatabase(const QString& absolutePath)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_databases << absolutePath;
    }
    m_wake.wake();
}

} // namespace SvnScc
