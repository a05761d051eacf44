#pragma once

#include <QList>
#include <QString>

#include <memory>

namespace SvnScc {

/**
 * The system's change notices for whole folders: one watch per folder sees
 * a file in it written, closed after writing, its metadata changed, and
 * names created, deleted or renamed in or out of it, and the folder itself
 * deleted or moved. But for wait() and wake(), one thread uses it at a
 * time.
 *
 * The system may refuse a watch: it has no room for more (the per-user
 * limit), or the folder lies on a file system that sends no notices. The
 * refusal says why, in the user's terms, so that the owner can say it and
 * look at that folder another way.
 *
 * Its thread waits in wait() for notices; wake() ends such a wait from any
 * other thread.
 */
class FolderNotices
{
public:
    /** One notice: the watch it came through, and the name in that folder (empty: the folder itself). */
    struct Notice
    {
        int watch = -1;
        QString name;
        /** The folder itself was deleted or moved away, or its watch ended: the watch is gone. */
        bool folderGone = false;
    };

    /** The notices of the running system (inotify); a backend that refuses everything when it has none. */
    static std::unique_ptr<FolderNotices> make();

    virtual ~FolderNotices() = default;

    /**
     * Returns when notices wait to be read, after wake(), or after
     * @p timeoutMs milliseconds (-1: no limit), whichever comes first. May
     * be called while another thread adds, removes or reads.
     */
    virtual void wait(int timeoutMs) = 0;
    /** Any thread: ends the wait that runs, or the next one, at once. Never blocks. */
    virtual void wake() = 0;
    /**
     * Watches @p absoluteFolder; gives its watch (0 or more; the same folder
     * gives the same watch), or -1: when the system refuses, with the reason
     * in @p reason ("the system's limit of change notices is reached ..."),
     * and with @p reason empty when there is no such folder (now).
     */
    virtual int add(const QString& absoluteFolder, QString& reason) = 0;
    /** Stops watching through @p watch. */
    virtual void remove(int watch) = 0;
    /**
     * Appends every notice the system holds now to @p notices, never
     * waiting. Returns false when the system dropped notices (its queue
     * overflowed): everything watched may have changed.
     */
    virtual bool read(QList<Notice>& notices) = 0;
};

} // namespace SvnScc
