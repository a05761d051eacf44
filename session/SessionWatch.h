#pragma once

#include "FolderNotices.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace SvnScc {

/**
 * What a session watches on disk below its local root, in a thread of its
 * own: one watch per folder its worker names (FolderNotices), which sees
 * the content of the files in it change and names appear, vanish or be
 * renamed, and the working copy's database (.svn/wc.db, through its .svn
 * folder; other databases through watchDatabase()). Paths are relative to
 * the local root ("" is the root itself, always watched).
 *
 * It gathers for 50 ms what changed, then calls its callback once, in its
 * thread: each name in a watched folder whose file or entry changed (for a
 * folder that vanished, the folder and what it held, and again when it
 * comes back), and whether a database did. Whether a path needs reading
 * again is its owner's decision.
 *
 * A folder the system refuses to watch (its limit of watches, a file system
 * without change notices) is polled instead: every poll interval its
 * modification time (which changes when a name in it appears, vanishes or
 * is renamed) and the stamps of the files named in it are compared with the
 * last look, costing a stat() each and a listing of a folder that changed.
 * A database whose folder cannot be watched is polled the same way.
 */
class SessionWatch
{
public:
    /** What changed: the paths, and whether a database did. */
    using Changed = std::function<void(const QStringList& paths, bool database)>;

    /** How much of what it was asked to watch is watched. */
    struct Coverage
    {
        int watched = 0;   ///< folders watched through the system's notices
        int unwatched = 0; ///< folders the system refused, which are polled
        QString reason;    ///< why the last one was refused; empty when none was
    };
    /** The coverage changed: called in the thread that asked for the watch (constructor, watch(), watchDatabase()). */
    using CoverageChanged = std::function<void(const Coverage& coverage)>;

    /**
     * Starts watching @p localRoot (absolute) and @p database (empty: none)
     * through @p notices, polling what cannot be watched every @p pollMs
     * milliseconds; returns when they are watched. @p coverageChanged is
     * called before it returns.
     */
    SessionWatch(const QString& localRoot, const QString& database, int pollMs, Changed changed,
                 CoverageChanged coverageChanged, std::unique_ptr<FolderNotices> notices = FolderNotices::make());
    /** Stops watching and ends its thread; no callback is called after it returns. */
    ~SessionWatch();
    SessionWatch(const SessionWatch&) = delete;
    SessionWatch& operator=(const SessionWatch&) = delete;

    /**
     * Thread-safe: watches each of @p folders, and notes @p files (in
     * folders watched, or named here too) as what those folders hold; what
     * is watched already stays as it is. Returns when they are watched.
     */
    void watch(const QStringList& folders, const QStringList& files);
    /** Thread-safe: another wc.db (absolute) whose changes are reported as `database`. */
    void watchDatabase(const QString& absolutePath);
    /**
     * Thread-safe: reads the notices the system holds now and gives what
     * changed and was not yet handed to the callback, which then never
     * gets it; @p database tells whether a database changed. Before, what
     * is polled is looked at now: every polled folder and database with
     * @p everything, else those of @p named (relative paths) that are files
     * in polled folders, so an answer about them never waits for the next
     * poll.
     */
    QStringList takeSeen(bool& database, const QStringList& named = {}, bool everything = false);
    /** Thread-safe: whether some folder or database is polled. */
    bool polls();

private:
    class State;

    void run();
    std::optional<Coverage> takeCoverageChange();

    const int m_pollMs;
    const Changed m_changed;
    const CoverageChanged m_coverageChanged;
    const std::unique_ptr<FolderNotices> m_notices; // wait() and wake() free, the rest under m_mutex
    std::mutex m_mutex;
    const std::unique_ptr<State> m_state; // under m_mutex
    Coverage m_reported;                  // under m_mutex: what coverageChanged was last given
    bool m_ending = false; // under m_mutex
    std::thread m_thread;
};

} // namespace SvnScc
