#pragma once

#include "FileStamp.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace SvnScc {

/**
 * A compact picture of what the working copy's databases record below a
 * session's local root, to tell which paths another client (or the
 * session's own operation) changed without running the client: for each
 * path a 64-bit hash of the path and one of its rows (NODES: every op_depth
 * with its presence, kind, revisions, properties, moves, depth, checksum;
 * ACTUAL_NODE: properties, conflicts, changelist; LOCK: the lock held
 * here). The databases are the working copy's .svn/wc.db and the one of
 * each folder external below the local root (each has its own), read
 * read-only with SQLite, never written.
 */
class WorkingCopyDigest
{
public:
    /** What changed between two reads. */
    struct Changes
    {
        /** hashOf() of each path whose rows changed, appeared or vanished. */
        QSet<quint64> paths;
        /** The paths that have rows now and had none at the read before. */
        QStringList appeared;
    };

    /** The digest of the working copy whose database is @p database, seen from @p localRoot (both absolute). */
    WorkingCopyDigest(const QString& localRoot, const QString& database);

    /**
     * Reads every database again and gives in @p changes what differs from
     * the read before (nothing at the first read). False when a database
     * cannot be read (missing, another format, busy beyond the wait): the
     * digest then stays as it was, and the caller asks the client instead.
     */
    bool read(Changes& changes);

    /**
     * Every path below @p folder (relative to the local root, "" the root)
     * that the client's status lists with or without a file on disk: each
     * path with a node that is there, deleted or missing, or with a
     * conflict recorded, from every database (the externals' too), in no
     * order. False when a database cannot be read.
     */
    bool recordedBelow(const QString& folder, QStringList& paths) const;

    /**
     * The local root's path in the repository as the working copy's base
     * records it ("trunk", "branches/1.0"; "" the repository root), read
     * now. False when the database cannot be read.
     */
    bool rootRepositoryPath(QString& path) const;

    /** Whether a database changed on disk since the last read() (always before the first). */
    bool stale() const;

    /** The databases the last read() read (absolute paths, in no order). */
    QStringList databases() const { return m_stamps.keys(); }

    /** Whether the last read found rows for the path whose hashOf() is @p hash. */
    bool records(quint64 hash) const { return m_rows.contains(hash); }
    /** How many paths the last read found rows for. */
    qsizetype recorded() const { return m_rows.size(); }
    /** Whether the last read read the database of every folder external it found named. */
    bool complete() const { return m_complete; }

    /** The hash a path (relative to the local root, "" the root itself) has in Changes::paths. */
    static quint64 hashOf(const QString& path);

private:
    const QString m_localRoot;
    const QString m_database;
    bool m_read = false;
    bool m_complete = false;
    QHash<quint64, quint64> m_rows;       // hash of a path: hash of its rows
    QHash<QString, FileStamp> m_stamps;   // each database read, as it looked just before
};

} // namespace SvnScc
