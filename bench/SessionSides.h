#pragma once

// What the session's figures (10a, 11a to 11e) share: the session opened as
// a host opens it, the plug-in loaded and bound as a host without the
// session binds it, the plug-in's own pass on a worker thread, and what the
// process holds (inotify watches, heap). Every function throws
// std::runtime_error when what it sets up fails.

#include "PluginLoader.h"
#include "Session.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace SessionSides {

inline constexpr char SvnClient[] = "/usr/bin/svn";

/** The settings of every figure's session: `executable`, `url`, no time limit, the benchmarks' user. */
SvnScc::SessionSettings settings(const QString& url, const QString& executable = QString::fromLatin1(SvnClient));

/** Opens `session` on `workingCopy` with `settings` and waits for it. */
void open(SvnScc::Session& session, const QString& workingCopy, const SvnScc::SessionSettings& settings);

/** One answer of the plug-in's status(), as a host keeps it. */
struct Answer
{
    bool known = false, controlled = false, checkedOut = false, modified = false, outOfDate = false;
    QString columns, revision, lastChanged;
};

/**
 * The plug-in loaded with dlopen and its provider given the options the
 * session gives it (the whole-tree scope), logged in and bound to
 * `workingCopy`; released and closed with this object.
 */
class BoundPlugin
{
public:
    BoundPlugin(const QString& url, const QString& workingCopy);
    BoundPlugin(const BoundPlugin&) = delete;
    BoundPlugin& operator=(const BoundPlugin&) = delete;

    /**
     * The status of each of `paths` (relative, '/'-separated) in turn on a
     * thread of this object's, each answer kept in `answers`; the
     * milliseconds from the thread's start to its join.
     */
    double pass(const QStringList& paths, std::vector<Answer>& answers);

    /**
     * What a host without the session does for the tree below the local
     * root: on a thread of this object's, the disk walked (".svn" left
     * out) and the status of each folder and file asked as it is found,
     * each answer kept in `answers`; the milliseconds from the thread's
     * start to its join.
     */
    double treePass(std::vector<Answer>& answers);

private:
    SvnScc::PluginLoader m_library;
    SourceCodeControlSystemProviderInterface* m_provider = nullptr;
    QString m_root;
};

/** How many answers of `answers` say controlled. */
int controlledCount(const std::vector<Answer>& answers);

/** How many inotify watches this process holds (the "inotify wd:" lines of /proc/self/fdinfo). */
int inotifyWatches();

/** The heap this process has in use (mallinfo2: every arena and mapped block), freed memory handed back first. */
double heapBytes();

/**
 * Waits until `session`'s worker has handed what its last pass read to the
 * watch (a call queued behind the pass ends after that), so that the watch
 * count is not read as settled before the watch has been asked for anything.
 */
void handedToTheWatch(SvnScc::Session& session);

/** How the watch count rose after a pass. */
struct Settled
{
    int watches = 0;       ///< held when it settled, beyond the count before the session
    double armingMs = 0;   ///< from the call to the count's last change
    bool stillRising = false; ///< the count was still changing when the wait gave up
};

/**
 * Waits until this process's inotify watches have not changed for a
 * second, or `capMs` have passed; `baseline` is the count before the
 * session was made.
 */
Settled settleWatches(int baseline, int capMs);

} // namespace SessionSides
