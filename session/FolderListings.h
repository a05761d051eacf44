#pragma once

#include "FileStamp.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace SvnScc {

/**
 * The names in each folder of a tree, read on a thread of its own ahead of
 * a walk that needs them. A whole-tree pass first waits for the client's run
 * and only then walks the disk; reading the folders during that run takes
 * the disk's part out of the pass.
 *
 * The thread reads the folders in the order the walk visits them: a folder,
 * then each of its folders (not ".svn", not a link) by name, depth first. The
 * walk may leave out a folder and all below it (one that is not versioned),
 * never change the order, so a folder it asks for tells that everything read
 * before it is of no more use. At most MaxNamesAhead names are kept unread by
 * the walk; the thread waits while that many are, so a large tree the walk
 * leaves out (build output) costs at most that much. A folder the thread has
 * not read when the walk asks for it is read by the walk, and the thread
 * stops: it is behind and would only repeat the walk's work. A folder whose
 * stamp changed since the thread read it (a name added, removed or renamed)
 * is read again when asked for: the walk gets what it holds then.
 */
class FolderListings
{
public:
    struct Listing
    {
        QStringList folders; ///< sorted by name
        QStringList files;   ///< everything else, links to folders included, sorted by name
        FileStamp stamp;     ///< the folder's, taken before it was read
    };

    static constexpr qsizetype MaxNamesAhead = 1 << 18;

    /**
     * Starts reading @p top (relative to @p root, an absolute path; "" for
     * the root itself) and what it holds.
     */
    FolderListings(const QString& root, const QString& top);
    ~FolderListings();
    FolderListings(const FolderListings&) = delete;
    FolderListings& operator=(const FolderListings&) = delete;

    /** What @p folder (relative to the root, as the walk names it) holds. */
    Listing take(const QString& folder);

    /** How many folders are read and not yet asked for. */
    qsizetype foldersAhead() const;

    /** Reads what @p absoluteFolder holds, here. */
    static Listing read(const QString& absoluteFolder);

private:
    void run(QString top);
    QString absolute(const QString& folder) const;

    const QString m_root;
    mutable std::mutex m_mutex;
    std::condition_variable m_taken;
    // Read and not yet asked for, in the order they were read; the index maps
    // a folder to its place.
    std::map<quint64, std::pair<QString, Listing>> m_ahead;
    QHash<QString, quint64> m_order;
    qsizetype m_namesAhead = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace SvnScc
