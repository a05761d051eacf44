#pragma once

#include "WakePipe.h"

#include <QString>
#include <QStringList>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <mutex>

namespace SvnScc {

/**
 * What a session watches on disk below its local root, in a thread of its
 * own (QFileSystemWatcher needs an event loop; the session's worker has
 * none): the folders and files its worker names, and the working copy's
 * database. Paths are relative to the local root ("" is the root itself,
 * always watched).
 *
 * It gathers for 50 ms what changed, then calls its callback once, in its
 * thread: each file whose content or metadata changed, and each name that
 * appeared in or vanished from a watched folder (for a folder that
 * vanished, everything it held, and again when it comes back). Whether a
 * path needs reading again is its owner's decision.
 */
class SessionWatch
{
public:
    /** What changed: the paths, and whether the database did. */
    using Changed = std::function<void(const QStringList& paths, bool database)>;

    /** Starts watching @p localRoot (absolute) and @p database (empty: none); returns when they are watched. */
    SessionWatch(const QString& localRoot, const QString& database, Changed changed);
    /** Stops watching and ends its thread; @p changed is not called after it returns. */
    ~SessionWatch();
    SessionWatch(const SessionWatch&) = delete;
    SessionWatch& operator=(const SessionWatch&) = delete;

    /**
     * Thread-safe: watches each of @p folders (with its entries as they are
     * now) and @p files; what is watched already stays as it is.
     */
    void watch(const QStringList& folders, const QStringList& files);

    /**
     * Thread-safe: watches another working copy's database (an external's
     * .svn/wc.db, @p absolutePath), its changes told as the database flag.
     */
    void watchDatabase(const QString& absolutePath);

private:
    class Watcher;

    WakePipe m_wake;
    QThread m_thread;
    Watcher* m_watcher = nullptr;
    // Handed to the watch's thread under the lock, with a wake-up.
    std::mutex m_mutex;
    std::condition_variable m_doneChanged; // m_started or m_done changed
    QStringList m_folders;
    QStringList m_files;
    QStringList m_databases;
    bool m_started = false;
    bool m_ending = false;
    bool m_done = false;
};

} // namespace SvnScc
