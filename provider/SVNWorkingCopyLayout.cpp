// What the working copy on disk says: the marker file of the per-folder
// layout, and a folder's state in the working copy's own SQLite database (the
// engine the client itself uses: one read-only query, no process).

#include "SVNWorkingCopyLayout.h"

#include "EightBit.h"
#include "SVNClient.h"
#include "SVNUrl.h"

#include <QDir>
#include <QSet>
#include <QThread>

#include <sqlite3.h>
#include <sys/stat.h>

namespace {

// How long a read waits for a client that holds the database's write lock,
// in pauses of s_busyPauseMs.
const int s_busyTimeoutMs = 10000;
const int s_busyPauseMs = 20;
// The formats of wc.db that svn 1.7 (29) to 1.14 (31) write.
const int s_oldestFormat = 29;
const int s_newestFormat = 31;
const size_t s_openDatabases = 4;

// The row with the highest op_depth is the node's current state; op_depth 0
// is what was checked out (its repository location).
const char s_nodeQuery[] =
    "SELECT kind, presence, depth, op_depth, file_external, repos_path,"
    " (SELECT root FROM repository WHERE repository.id = nodes.repos_id), revision FROM nodes"
    " WHERE wc_id IN (SELECT id FROM wcroot) AND local_relpath = ?1"
    " ORDER BY op_depth DESC";
const char s_conflictQuery[] =
    "SELECT conflict_data IS NOT NULL OR tree_conflict_data IS NOT NULL OR conflict_old IS NOT NULL"
    " OR conflict_new IS NOT NULL OR conflict_working IS NOT NULL OR prop_reject IS NOT NULL"
    " FROM actual_node WHERE wc_id IN (SELECT id FROM wcroot) AND local_relpath = ?1";
const char s_repositoryQuery[] = "SELECT root FROM repository ORDER BY id LIMIT 1";
// The other half of a local move: where a node moved away went, or where a node moved here came from.
const char s_moveQuery[] =
    "SELECT moved_to FROM nodes WHERE wc_id IN (SELECT id FROM wcroot) AND local_relpath = ?1 AND moved_to IS NOT NULL"
    " UNION SELECT local_relpath FROM nodes WHERE wc_id IN (SELECT id FROM wcroot) AND moved_to = ?1";
// Nodes from ?1 up to (not including) ?2 whose current row is a copy
// (repos_id set above op_depth 0) with no checked-out node below it.
const char s_copiesQuery[] =
    "SELECT local_relpath FROM nodes AS n"
    " WHERE wc_id IN (SELECT id FROM wcroot) AND local_relpath >= ?1 AND (?2 IS NULL OR local_relpath < ?2)"
    " AND op_depth > 0 AND presence = 'normal' AND repos_id IS NOT NULL"
    " AND op_depth = (SELECT MAX(op_depth) FROM nodes AS m"
    " WHERE m.wc_id = n.wc_id AND m.local_relpath = n.local_relpath)"
    " AND NOT EXISTS (SELECT 1 FROM nodes AS b WHERE b.wc_id = n.wc_id AND b.local_relpath = n.local_relpath"
    " AND b.op_depth = 0 AND b.presence IN ('normal', 'incomplete'))"
    " ORDER BY local_relpath";
const char s_externalQuery[] =
    "SELECT def_local_relpath FROM externals WHERE wc_id IN (SELECT id FROM wcroot) AND local_relpath = ?1";

bool isDirectory(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text) : QString();
}

// Binds `relative` to a statement's one parameter (if it has one); the caller steps it and
// the Query resets it, which ends the read, so the client is never kept
// waiting on us.
class Query
{
public:
    Query(sqlite3_stmt* statement, const QByteArray& relative) : m_statement(statement)
    {
        m_bound = statement
            && (sqlite3_bind_parameter_count(statement) == 0
                || sqlite3_bind_text(statement, 1, relative.constData(), int(relative.size()), SQLITE_TRANSIENT)
                    == SQLITE_OK);
    }
    ~Query()
    {
        if (m_statement) {
            sqlite3_reset(m_statement);
            sqlite3_clear_bindings(m_statement);
        }
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    bool next() { return m_bound && sqlite3_step(m_statement) == SQLITE_ROW; }
    QString text(int column) const { return columnText(m_statement, column); }
    int number(int column) const { return sqlite3_column_int(m_statement, column); }
    qint64 number64(int column) const { return sqlite3_column_int64(m_statement, column); }

private:
    sqlite3_stmt* m_statement;
    bool m_bound = false;
};

// A presence that puts the node on disk (or lets it be missing there).
bool present(const QString& presence)
{
    return presence == QLatin1String("normal") || presence == QLatin1String("incomplete");
}

} // namespace

bool hasEntriesFile(const QString& directory)
{
    struct stat st;
    return ::stat(toEightBit(directory + QStringLiteral("/.svn/entries")).constData(), &st) == 0;
}

const SVNCommandLog SVNWorkingCopyLayout::s_noLog;

SVNWorkingCopyLayout::~SVNWorkingCopyLayout()
{
    for (Database& database : m_databases)
        close(database);
}

void SVNWorkingCopyLayout::close(Database& database)
{
    for (sqlite3_stmt** statement :
         {&database.nodes, &database.conflict, &database.external, &database.repository, &database.move}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    sqlite3_close(database.connection);
    database.connection = nullptr;
}

SVNWorkingCopyLayout::Database* SVNWorkingCopyLayout::open(const QByteArray& path, unsigned long long device,
                                                           unsigned long long inode, long long modified)
{
    for (auto it = m_databases.begin(); it != m_databases.end(); ++it) {
        if (it->path != path)
            continue;
        Database database = *it;
        m_databases.erase(it);
        // An open database keeps its file, so a new file at the path has
        // another inode; one that could not be read is looked at again when
        // its file changed (a freed inode may come back).
        if (database.device == device && database.inode == inode
            && (database.connection || database.modified == modified)) {
            m_databases.push_back(database);
            return &m_databases.back();
        }
        close(database);
        break;
    }
    if (m_databases.size() >= s_openDatabases) {
        close(m_databases.front());
        m_databases.erase(m_databases.begin());
    }

    Database database;
    database.path = path;
    database.device = device;
    database.inode = inode;
    database.modified = modified;
    int format = -1;
    if (sqlite3_open_v2(path.constData(), &database.connection,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
            != SQLITE_OK
        || sqlite3_busy_handler(database.connection, &SVNWorkingCopyLayout::waitWhileBusy, this) != SQLITE_OK
        || !readFormat(database.connection, format) || format < s_oldestFormat || format > s_newestFormat
        || sqlite3_prepare_v2(database.connection, s_nodeQuery, -1, &database.nodes, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(database.connection, s_conflictQuery, -1, &database.conflict, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(database.connection, s_externalQuery, -1, &database.external, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(database.connection, s_repositoryQuery, -1, &database.repository, nullptr)
            != SQLITE_OK) {
        // Kept, unread, so that this is said once while the file stays the same.
        if (log().enabled())
            log().write(format >= 0 ? QStringLiteral("%1 has the format %2, which this reader does not know (it reads %3 to "
                                                     "%4): the client is asked instead")
                                          .arg(fromEightBit(path)).arg(format).arg(s_oldestFormat).arg(s_newestFormat)
                                    : QStringLiteral("%1 cannot be read (%2): the client is asked instead")
                                          .arg(fromEightBit(path),
                                               QString::fromUtf8(database.connection ? sqlite3_errmsg(database.connection)
                                                                                     : "no memory")));
        close(database);
    }
    m_databases.push_back(database);
    return &m_databases.back();
}

bool SVNWorkingCopyLayout::readFormat(sqlite3* connection, int& format)
{
    sqlite3_stmt* statement = nullptr;
    const bool read = sqlite3_prepare_v2(connection, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW;
    if (read)
        format = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    return read;
}

int SVNWorkingCopyLayout::waitWhileBusy(void* layout, int count)
{
    // Another client writes the database: wait for it, but never longer than
    // the budget, and not at all once the operation is cancelled.
    const QTx::ProcessStopper* stopper = static_cast<SVNWorkingCopyLayout*>(layout)->m_stopper;
    if (count * s_busyPauseMs >= s_busyTimeoutMs)
        return 0;
    if (stopper)
        return stopper->wait(s_busyPauseMs) ? 0 : 1; // a stop asked for ends the wait at once
    QThread::msleep(s_busyPauseMs);
    return 1;
}

SVNWorkingCopyLayout::Location SVNWorkingCopyLayout::locate(const QByteArray& folder)
{
    Location location;
    if (!folder.startsWith('/'))
        return location;
    // Walk up to the nearest ".svn"; it owns the folder.
    QByteArray top = folder;
    while (!isDirectory((top == "/" ? QByteArray() : top) + "/.svn")) {
        if (top == "/")
            return location;
        const qsizetype slash = top.lastIndexOf('/');
        top = slash > 0 ? top.left(slash) : QByteArray("/");
    }
    const QByteArray databasePath = (top == "/" ? QByteArray() : top) + "/.svn/wc.db";
    struct stat st;
    location.central = ::stat(databasePath.constData(), &st) == 0 && S_ISREG(st.st_mode);
    Database* database = location.central
        ? open(databasePath, st.st_dev, st.st_ino, qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec)
        : nullptr;
    location.unreadable = location.central && (!database || !database->connection);
    location.database = location.unreadable ? nullptr : database;
    location.top = top;
    location.relative = folder.mid(top == "/" ? 1 : top.size());
    if (location.relative.startsWith('/'))
        location.relative.remove(0, 1);
    return location;
}

SVNFolderState SVNWorkingCopyLayout::inspect(const QString& directory)
{
    SVNFolderState state;
    const QByteArray folder = toEightBit(QDir::cleanPath(directory));
    const Location location = locate(folder);
    state.central = location.central;
    if (location.unreadable) {
        // A folder on disk may be one: the client's own run will tell.
        state.unreadable = true;
        state.versioned = isDirectory(folder);
        return state;
    }
    if (!location.database)
        return state;
    Query query(location.database->nodes, location.relative);
    if (query.next()) {
        const QString presence = query.text(1);
        // A folder deleted or moved away on disk is no folder to run in,
        // whatever the database still says.
        const bool recorded = query.text(0) == QLatin1String("dir")
            && (present(presence) || presence == QLatin1String("base-deleted"));
        const bool onDisk = isDirectory(folder);
        state.versioned = recorded && onDisk;
        state.missing = recorded && !onDisk && present(presence);
        if (state.versioned)
            state.depth = query.text(2);
    }
    return state;
}

SVNNodeState SVNWorkingCopyLayout::inspectNode(const QString& path)
{
    SVNNodeState state;
    const QByteArray node = toEightBit(QDir::cleanPath(path));
    const qsizetype slash = node.lastIndexOf('/');
    if (slash < 0)
        return state;
    const Location location = locate(slash > 0 ? node.left(slash) : QByteArray("/"));
    state.central = location.central;
    if (!location.database)
        return state;
    const QByteArray name = node.mid(slash + 1);
    const QByteArray relative = location.relative.isEmpty() ? name : location.relative + '/' + name;
    {
        Query rows(location.database->nodes, relative);
        for (bool first = true; rows.next(); first = false) {
            const QString presence = rows.text(1);
            if (first) {
                state.known = present(presence) || presence == QLatin1String("base-deleted");
                state.kind = rows.text(0);
                state.scheduled = rows.number(3) > 0;
                state.deleted = presence == QLatin1String("base-deleted");
            }
            if (rows.number(3) == 0) {
                state.fileExternal = rows.number(4) != 0;
                if (present(presence))
                    state.baseRevision = rows.number64(7);
            }
        }
        if (!state.known)
            state.kind.clear();
    }
    {
        Query conflict(location.database->conflict, relative);
        state.conflicted = conflict.next() && conflict.number(0) != 0;
    }
    if (state.fileExternal) {
        Query external(location.database->external, relative);
        if (external.next()) {
            const QByteArray owner = toEightBit(external.text(0));
            state.externalOwner = fromEightBit(owner.isEmpty() ? location.top : location.top + '/' + owner);
        }
    }
    return state;
}

QStringList SVNWorkingCopyLayout::copiesAt(const QString& path, bool recursive)
{
    QStringList copies;
    const QByteArray node = toEightBit(QDir::cleanPath(path));
    const qsizetype slash = node.lastIndexOf('/');
    if (slash < 0)
        return copies;
    // A working copy's top is "" in its own database; anything else is its
    // name in its folder's.
    const bool top = isDirectory(node + "/.svn");
    const Location location = locate(top ? node : slash > 0 ? node.left(slash) : QByteArray("/"));
    if (!location.database)
        return copies;
    const QByteArray name = top ? QByteArray() : node.mid(slash + 1);
    const QByteArray relative =
        location.relative.isEmpty() ? name : name.isEmpty() ? location.relative : location.relative + '/' + name;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(location.database->connection, s_copiesQuery, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return copies;
    }
    // '0' follows '/': the range holds the node, all below it, and a few
    // siblings ("a-b", "a.c") that the test below drops.
    const QByteArray end = relative + '0';
    sqlite3_bind_text(statement, 1, relative.constData(), int(relative.size()), SQLITE_TRANSIENT);
    if (relative.isEmpty())
        sqlite3_bind_null(statement, 2);
    else
        sqlite3_bind_text(statement, 2, end.constData(), int(end.size()), SQLITE_TRANSIENT);
    QSet<QByteArray> found;
    const QByteArray prefix = location.top == "/" ? QByteArray() : location.top;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const QByteArray row(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)),
                             sqlite3_column_bytes(statement, 0));
        const bool below = relative.isEmpty() || row.startsWith(relative + '/');
        if (row != relative && !(recursive && below))
            continue;
        // Sorted, a copied folder comes before what it holds, which it stands for.
        bool inside = false;
        for (qsizetype at = row.indexOf('/'); at > 0 && !inside; at = row.indexOf('/', at + 1))
            inside = found.contains(row.left(at));
        if (inside)
            continue;
        found.insert(row);
        copies << fromEightBit(row.isEmpty() ? location.top : prefix + '/' + row);
    }
    sqlite3_finalize(statement);
    return copies;
}

QString SVNWorkingCopyLayout::recordedURL(const QString& directory)
{
    const QByteArray folder = toEightBit(QDir::cleanPath(directory));
    const Location location = locate(folder);
    if (!location.database)
        return QString();
    Query rows(location.database->nodes, location.relative);
    QString url;
    while (rows.next()) {
        if (rows.number(3) == 0 && !rows.text(6).isNull())
            url = SVNUrl::join(rows.text(6), rows.text(5).split(QLatin1Char('/'), Qt::SkipEmptyParts));
    }
    return url;
}

QString SVNWorkingCopyLayout::repositoryRoot(const QString& directory)
{
    const Location location = locate(toEightBit(QDir::cleanPath(directory)));
    if (!location.database)
        return QString();
    Query rows(location.database->repository, QByteArray());
    return rows.next() ? rows.text(0) : QString();
}

QStringList SVNWorkingCopyLayout::moveCounterparts(const QString& path)
{
    const Location location = locate(toEightBit(QDir::cleanPath(path)));
    QStringList counterparts;
    // Prepared when first needed: a database without the move columns has no moves to tell.
    if (!location.database
        || (!location.database->move
            && sqlite3_prepare_v2(location.database->connection, s_moveQuery, -1, &location.database->move, nullptr)
                != SQLITE_OK))
        return counterparts;
    Query rows(location.database->move, location.relative);
    while (rows.next())
        counterparts << fromEightBit(location.top) + QLatin1Char('/') + rows.text(0);
    return counterparts;
}

QString SVNWorkingCopyLayout::top(const QString& directory)
{
    QByteArray folder = toEightBit(QDir::cleanPath(directory));
    if (!folder.startsWith('/'))
        return QString();
    while (!isDirectory((folder == "/" ? QByteArray() : folder) + "/.svn")) {
        if (folder == "/")
            return QString();
        const qsizetype slash = folder.lastIndexOf('/');
        folder = slash > 0 ? folder.left(slash) : QByteArray("/");
    }
    return fromEightBit(folder);
}
