#include "SessionWatch.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace SvnScc {

namespace {

const int s_gatherMs = 50;

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

QString joined(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
}

} // namespace

SessionWatch::SessionWatch(const QString& localRoot, QObject* parent)
    : QObject(parent), m_root(localRoot)
{
    m_gathering.setSingleShot(true);
    m_gathering.setInterval(s_gatherMs);
    connect(&m_gathering, &QTimer::timeout, this, [this] {
        const QSet<QString> paths = std::exchange(m_pending, {});
        const bool database = std::exchange(m_databasePending, false);
        emit changed(QStringList(paths.begin(), paths.end()), database);
    });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &SessionWatch::onFileChanged);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &SessionWatch::onDirectoryChanged);

    for (QDir folder(localRoot);;) {
        if (QFileInfo::exists(folder.filePath(QStringLiteral(".svn/wc.db")))) {
            m_database = folder.filePath(QStringLiteral(".svn/wc.db"));
            break;
        }
        if (!folder.cdUp())
            break;
    }
    QStringList toAdd;
    if (!m_database.isEmpty()) {
        m_databaseNoted = FileStamp::of(m_database);
        toAdd << m_database;
    }
    watchFolder(QString(), toAdd);
    m_watcher.addPaths(toAdd);
}

void SessionWatch::watch(const QStringList& paths)
{
    QStringList toAdd;
    for (const QString& path : paths) {
        const FileStamp stamp = FileStamp::of(absolute(path));
        m_noted.insert(path, stamp);
        if (path.isEmpty())
            continue;
        watchFolder(parentOf(path), toAdd);
        // A versioned item missing on disk is seen when it comes back, in its folder.
        if (stamp.directory)
            watchFolder(path, toAdd);
        else if (stamp.exists && !m_files.contains(path)) {
            m_files.insert(path);
            toAdd << absolute(path);
        }
    }
    if (!toAdd.isEmpty())
        m_watcher.addPaths(toAdd);
}

void SessionWatch::note(const QString& path)
{
    m_noted.insert(path, FileStamp::of(absolute(path)));
}

bool SessionWatch::changedSinceNoted(const QString& path)
{
    const FileStamp now = FileStamp::of(absolute(path));
    const auto noted = m_noted.find(path);
    if (noted != m_noted.end() && *noted == now)
        return false;
    m_noted.insert(path, now);
    return true;
}

void SessionWatch::noteDatabase()
{
    if (!m_database.isEmpty())
        m_databaseNoted = FileStamp::of(m_database);
}

bool SessionWatch::databaseChanged()
{
    if (m_database.isEmpty())
        return false;
    const FileStamp now = FileStamp::of(m_database);
    if (now == m_databaseNoted)
        return false;
    m_databaseNoted = now;
    return true;
}

QString SessionWatch::absolute(const QString& path) const
{
    return path.isEmpty() ? m_root : m_root + QLatin1Char('/') + path;
}

QString SessionWatch::relative(const QString& absolutePath) const
{
    return absolutePath.size() <= m_root.size() ? QString() : absolutePath.mid(m_root.size() + 1);
}

QSet<QString> SessionWatch::entries(const QString& folder) const
{
    const QStringList names = QDir(absolute(folder))
                                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    QSet<QString> set(names.begin(), names.end());
    set.remove(QStringLiteral(".svn"));
    return set;
}

void SessionWatch::watchFolder(const QString& folder, QStringList& toAdd)
{
    if (m_folders.contains(folder))
        return;
    m_folders.insert(folder, entries(folder));
    toAdd << absolute(folder);
}

void SessionWatch::lose(const QString& folder)
{
    // The folder and what it held are gone, and their watches with them.
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

void SessionWatch::gather(const QString& path)
{
    m_pending.insert(path);
    // Held back through a burst (an editor's save, a build), never longer than the interval.
    if (!m_gathering.isActive())
        m_gathering.start();
}

void SessionWatch::onFileChanged(const QString& absolutePath)
{
    if (absolutePath == m_database) {
        m_databasePending = true;
        if (!m_gathering.isActive())
            m_gathering.start();
    } else {
        gather(relative(absolutePath));
    }
    // A file written through a new file renamed over it is another file now:
    // the watch follows the name.
    m_watcher.removePath(absolutePath);
    if (QFileInfo::exists(absolutePath))
        m_watcher.addPath(absolutePath);
    else
        m_files.remove(relative(absolutePath));
}

void SessionWatch::onDirectoryChanged(const QString& absolutePath)
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
            const QString path = joined(folder, name);
            gather(path);
            regain(path);
        }
}

void SessionWatch::regain(const QString& folder)
{
    // A folder that comes back (a revert, an update): what it held is read again.
    const QSet<QString> held = m_lost.take(folder);
    for (const QString& name : held) {
        gather(joined(folder, name));
        regain(joined(folder, name));
    }
}

} // namespace SvnScc
