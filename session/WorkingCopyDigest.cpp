#include "WorkingCopyDigest.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

#include <cstring>

namespace SvnScc {

namespace {

// How long a read waits for a client that holds the database's write lock.
const int s_busyTimeoutMs = 2000;

// Every row of each table that says what the client shows of a path. The
// first column is the path below the database's top; the rest are hashed.
// Times and sizes the client records for its own comparisons are left out:
// they change with no change of status.
const char s_nodesQuery[] =
    "SELECT local_relpath, op_depth, presence, kind, revision, changed_revision, properties, moved_here,"
    " moved_to, depth, checksum, repos_id, repos_path, changed_author, file_external, symlink_target"
    " FROM nodes WHERE wc_id IN (SELECT id FROM wcroot)";
const char s_actualQuery[] =
    "SELECT local_relpath, properties, conflict_data, tree_conflict_data, conflict_old, conflict_new,"
    " conflict_working, prop_reject, changelist FROM actual_node WHERE wc_id IN (SELECT id FROM wcroot)";
// A lock belongs to the repository item that the path has checked out.
const char s_lockQuery[] =
    "SELECT n.local_relpath, l.lock_token, l.lock_owner, l.lock_comment, l.lock_date FROM lock AS l"
    " JOIN nodes AS n ON n.repos_id = l.repos_id AND n.repos_path = l.repos_relpath AND n.op_depth = 0"
    " WHERE n.wc_id IN (SELECT id FROM wcroot)";
// What the client's status lists: a node that is there, deleted or
// missing (not one that is absent, excluded or hidden by the server), or a
// conflict's victim, which may have no node.
const char s_recordedQuery[] =
    "SELECT local_relpath FROM nodes WHERE wc_id IN (SELECT id FROM wcroot)"
    " AND presence IN ('normal', 'incomplete', 'base-deleted')"
    " UNION SELECT local_relpath FROM actual_node WHERE wc_id IN (SELECT id FROM wcroot)"
    " AND (conflict_data IS NOT NULL OR tree_conflict_data IS NOT NULL)";
// The repository path the working copy's base records for one path.
const char s_repositoryPathQuery[] =
    "SELECT repos_path FROM nodes WHERE wc_id IN (SELECT id FROM wcroot) AND local_relpath = ?1 AND op_depth = 0";
const char s_externalsQuery[] =
    "SELECT local_relpath FROM externals WHERE kind = 'dir' AND wc_id IN (SELECT id FROM wcroot)";

const quint64 s_fnvOffset = 14695981039346656037ULL;
const quint64 s_fnvPrime = 1099511628211ULL;

quint64 hashBytes(quint64 hash, const char* bytes, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        hash ^= quint8(bytes[i]);
        hash *= s_fnvPrime;
    }
    return hash;
}

// Spreads a row's hash over all bits, so that a path's rows can be summed.
quint64 mixed(quint64 value)
{
    value ^= value >> 30;
    value *= 0xbf58476d1ce4e5b9ULL;
    value ^= value >> 27;
    value *= 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

struct Statement
{
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
};

// One database, read-only, in one read transaction while it is open.
struct Connection
{
    sqlite3* handle = nullptr;

    bool open(const QString& database)
    {
        const QByteArray uri = "file:" + QUrl::toPercentEncoding(database, "/") + "?mode=ro";
        return sqlite3_open_v2(uri.constData(), &handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK
            && sqlite3_busy_timeout(handle, s_busyTimeoutMs) == SQLITE_OK
            && sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // The databases of the folder externals of the working copy whose top is @p top (some may not exist).
    QStringList externals(const QString& top) const
    {
        QStringList databases;
        Statement externals;
        if (sqlite3_prepare_v2(handle, s_externalsQuery, -1, &externals.handle, nullptr) == SQLITE_OK)
            while (sqlite3_step(externals.handle) == SQLITE_ROW) {
                databases << top + QLatin1Char('/')
                        + QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(externals.handle, 0)))
                        + QStringLiteral("/.svn/wc.db");
            }
        return databases;
    }

    ~Connection()
    {
        if (handle)
            sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(handle);
    }
};

// The working copy top of @p database (its .svn/wc.db).
QString topOf(const QString& database)
{
    return QFileInfo(database).dir().absolutePath().chopped(int(qstrlen("/.svn")));
}

// Where a database's rows lie below the local root: its top's path there
// (`prefix`), or, when the local root lies below the top, the root's path
// below the top (`strip`): rows outside it are not the session's.
struct Placement
{
    QByteArray prefix;
    QByteArray strip;
};

// Where the rows of the working copy at @p top lie below @p localRoot; false when nowhere.
bool place(const QString& localRoot, const QString& top, Placement& placement)
{
    if (top == localRoot)
        return true; // the rows' paths are the session's
    if (top.startsWith(localRoot + QLatin1Char('/')))
        placement.prefix = top.mid(localRoot.size() + 1).toUtf8();
    else if (localRoot.startsWith(top + QLatin1Char('/')))
        placement.strip = localRoot.mid(top.size() + 1).toUtf8();
    else
        return false;
    return true;
}

// Whether a row's path lies below the local root.
bool inside(const Placement& placement, const char* relpath, qsizetype size)
{
    const qsizetype length = placement.strip.size();
    return length == 0
        || (size >= length && std::memcmp(relpath, placement.strip.constData(), size_t(length)) == 0
            && (size == length || relpath[length] == '/'));
}

// The hash of a row's path as the session names it; false when it lies outside the local root.
bool pathHash(const Placement& placement, const char* relpath, qsizetype size, quint64& hash)
{
    if (!inside(placement, relpath, size))
        return false;
    if (!placement.strip.isEmpty()) {
        const qsizetype length = placement.strip.size();
        const qsizetype skip = size > length ? length + 1 : length;
        relpath += skip;
        size -= skip;
    }
    hash = hashBytes(s_fnvOffset, placement.prefix.constData(), placement.prefix.size());
    if (!placement.prefix.isEmpty() && size > 0)
        hash = hashBytes(hash, "/", 1);
    hash = hashBytes(hash, relpath, size);
    return true;
}

QString pathOf(const Placement& placement, const char* relpath, qsizetype size)
{
    QByteArray path(relpath, size);
    if (!placement.strip.isEmpty())
        path = path.mid(path.size() > placement.strip.size() ? placement.strip.size() + 1 : path.size());
    if (!placement.prefix.isEmpty())
        path = path.isEmpty() ? placement.prefix : placement.prefix + '/' + path;
    return QString::fromUtf8(path);
}

} // namespace

WorkingCopyDigest::WorkingCopyDigest(const QString& localRoot, const QString& database)
    : m_localRoot(QDir::cleanPath(localRoot)), m_database(database)
{
}

quint64 WorkingCopyDigest::hashOf(const QString& path)
{
    const QByteArray bytes = path.toUtf8();
    return hashBytes(s_fnvOffset, bytes.constData(), bytes.size());
}

bool WorkingCopyDigest::stale() const
{
    if (!m_read)
        return true;
    for (auto stamp = m_stamps.cbegin(); stamp != m_stamps.cend(); ++stamp)
        if (FileStamp::of(stamp.key()) != stamp.value())
            return true;
    return false;
}

bool WorkingCopyDigest::read(Changes& changes)
{
    changes = Changes();
    QHash<quint64, quint64> rows;
    rows.reserve(m_rows.size());
    QHash<QString, FileStamp> stamps;
    QSet<quint64> appeared;
    bool complete = true;
    QStringList pending{m_database};
    while (!pending.isEmpty()) {
        const QString database = pending.takeFirst();
        const QString top = topOf(database);
        Placement placement;
        if (!place(m_localRoot, top, placement))
            continue;
        // Taken before the read: a write during it is seen as a change later.
        stamps.insert(database, FileStamp::of(database));

        Connection connection;
        if (!connection.open(database))
            return false;
        int table = 0;
        for (const char* query : {s_nodesQuery, s_actualQuery, s_lockQuery}) {
            ++table;
            Statement statement;
            if (sqlite3_prepare_v2(connection.handle, query, -1, &statement.handle, nullptr) != SQLITE_OK)
                return false;
            const int columns = sqlite3_column_count(statement.handle);
            int step = SQLITE_ROW;
            while ((step = sqlite3_step(statement.handle)) == SQLITE_ROW) {
                const auto* relpath = static_cast<const char*>(sqlite3_column_blob(statement.handle, 0));
                const qsizetype size = sqlite3_column_bytes(statement.handle, 0);
                quint64 path = 0;
                if (!pathHash(placement, relpath ? relpath : "", size, path))
                    continue;
                quint64 row = hashBytes(s_fnvOffset, reinterpret_cast<const char*>(&table), sizeof table);
                for (int column = 1; column < columns; ++column) {
                    const char type = char(sqlite3_column_type(statement.handle, column));
                    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement.handle, column));
                    const int length = sqlite3_column_bytes(statement.handle, column);
                    row = hashBytes(row, &type, 1);
                    row = hashBytes(row, reinterpret_cast<const char*>(&length), sizeof length);
                    row = hashBytes(row, bytes, bytes ? length : 0);
                }
                rows[path] += mixed(row);
                if (m_read && !m_rows.contains(path) && !appeared.contains(path)) {
                    appeared.insert(path);
                    changes.appeared << pathOf(placement, relpath ? relpath : "", size);
                }
            }
            if (step != SQLITE_DONE)
                return false;
        }
        // Each folder external has a database of its own, read the same way.
        for (const QString& external : connection.externals(top)) {
            if (stamps.contains(external))
                continue;
            if (QFileInfo(external).isFile())
                pending << external;
            else
                complete = false;
        }
    }
    if (m_read) {
        for (auto row = rows.cbegin(); row != rows.cend(); ++row) {
            const auto before = m_rows.constFind(row.key());
            if (before == m_rows.cend() || before.value() != row.value())
                changes.paths.insert(row.key());
        }
        for (auto row = m_rows.cbegin(); row != m_rows.cend(); ++row)
            if (!rows.contains(row.key()))
                changes.paths.insert(row.key());
    }
    m_rows = std::move(rows);
    m_stamps = std::move(stamps);
    m_read = true;
    m_complete = complete;
    return true;
}

bool WorkingCopyDigest::recordedBelow(const QString& folder, QStringList& paths) const
{
    paths.clear();
    const QString below = folder.isEmpty() ? QString() : folder + QLatin1Char('/');
    QStringList pending{m_database};
    QSet<QString> seen;
    while (!pending.isEmpty()) {
        const QString database = pending.takeFirst();
        seen.insert(database);
        const QString top = topOf(database);
        Placement placement;
        if (!place(m_localRoot, top, placement))
            continue;
        Connection connection;
        Statement statement;
        if (!connection.open(database)
            || sqlite3_prepare_v2(connection.handle, s_recordedQuery, -1, &statement.handle, nullptr) != SQLITE_OK)
            return false;
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(statement.handle)) == SQLITE_ROW) {
            const auto* relpath = static_cast<const char*>(sqlite3_column_blob(statement.handle, 0));
            const qsizetype size = sqlite3_column_bytes(statement.handle, 0);
            if (!inside(placement, relpath ? relpath : "", size))
                continue;
            const QString path = pathOf(placement, relpath ? relpath : "", size);
            if (path == folder || path.startsWith(below) || folder.isEmpty())
                paths << path;
        }
        if (step != SQLITE_DONE)
            return false;
        for (const QString& external : connection.externals(top)) {
            if (seen.contains(external))
                continue;
            if (!QFileInfo(external).isFile())
                return false; // an external not fetched yet: the client knows what it lists there
            pending << external;
        }
    }
    return true;
}

bool WorkingCopyDigest::rootRepositoryPath(QString& path) const
{
    Placement placement;
    if (!place(m_localRoot, topOf(m_database), placement) || !placement.prefix.isEmpty())
        return false;
    Connection connection;
    Statement statement;
    if (!connection.open(m_database)
        || sqlite3_prepare_v2(connection.handle, s_repositoryPathQuery, -1, &statement.handle, nullptr) != SQLITE_OK
        || sqlite3_bind_text(statement.handle, 1, placement.strip.constData(), int(placement.strip.size()),
                             SQLITE_TRANSIENT) != SQLITE_OK
        || sqlite3_step(statement.handle) != SQLITE_ROW)
        return false;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.handle, 0));
    path = QString::fromUtf8(text ? text : "");
    return true;
}

} // namespace SvnScc
