// What the working copy on disk says: the marker file of the per-folder
// layout, and a folder's state in the working copy's own SQLite database (the
// engine the client itself uses: one read-only query, no process).

#include "SVNWorkingCopyLayout.h"

#include "EightBit.h"

#include <QDir>

#include <sqlite3.h>
#include <sys/stat.h>

namespace {

const int s_busyTimeoutMs = 10000;
const size_t s_openDatabases = 4;

// The row with the highest op_depth is the node's current state.
const char s_nodeQuery[] =
    "SELECT kind, presence, depth FROM nodes"
    " WHERE wc_id IN (SELECT id FROM wcroot) AND local_relpath = ?1"
    " ORDER BY op_depth DESC LIMIT 1";

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

} // namespace

bool hasEntriesFile(const QString& directory)
{
    struct stat st;
    return ::stat(toEightBit(directory + QStringLiteral("/.svn/entries")).constData(), &st) == 0;
}

SVNWorkingCopyLayout::~SVNWorkingCopyLayout()
{
    for (Database& database : m_databases)
        close(database);
}

void SVNWorkingCopyLayout::close(Database& database)
{
    sqlite3_finalize(database.query);
    sqlite3_close(database.connection);
    database.query = nullptr;
    database.connection = nullptr;
}

SVNWorkingCopyLayout::Database* SVNWorkingCopyLayout::open(const QByteArray& path, unsigned long long device,
                                                           unsigned long long inode)
{
    for (auto it = m_databases.begin(); it != m_databases.end(); ++it) {
        if (it->path != path)
            continue;
        Database database = *it;
        m_databases.erase(it);
        if (database.device == device && database.inode == inode) {
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
    if (sqlite3_open_v2(path.constData(), &database.connection,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
            != SQLITE_OK
        || sqlite3_busy_timeout(database.connection, s_busyTimeoutMs) != SQLITE_OK
        || sqlite3_prepare_v2(database.connection, s_nodeQuery, -1, &database.query, nullptr)
            != SQLITE_OK) {
        close(database);
        return nullptr;
    }
    m_databases.push_back(database);
    return &m_databases.back();
}

SVNFolderState SVNWorkingCopyLayout::inspect(const QString& directory)
{
    SVNFolderState state;
    const QByteArray folder = toEightBit(QDir::cleanPath(directory));
    if (!folder.startsWith('/'))
        return state;
    // Walk up to the nearest ".svn"; it owns the folder.
    QByteArray top = folder;
    while (!isDirectory((top == "/" ? QByteArray() : top) + "/.svn")) {
        if (top == "/")
            return state;
        const qsizetype slash = top.lastIndexOf('/');
        top = slash > 0 ? top.left(slash) : QByteArray("/");
    }
    const QByteArray databasePath = (top == "/" ? QByteArray() : top) + "/.svn/wc.db";
    struct stat st;
    state.central = ::stat(databasePath.constData(), &st) == 0 && S_ISREG(st.st_mode);
    Database* database = state.central ? open(databasePath, st.st_dev, st.st_ino) : nullptr;
    if (!database)
        return state;

    QByteArray relative = folder.mid(top == "/" ? 1 : top.size());
    if (relative.startsWith('/'))
        relative.remove(0, 1);
    sqlite3_stmt* query = database->query;
    if (sqlite3_bind_text(query, 1, relative.constData(), int(relative.size()), SQLITE_TRANSIENT)
            == SQLITE_OK
        && sqlite3_step(query) == SQLITE_ROW) {
        const QString kind = columnText(query, 0);
        const QString presence = columnText(query, 1);
        state.versioned = kind == QLatin1String("dir")
            && (presence == QLatin1String("normal") || presence == QLatin1String("incomplete")
                || presence == QLatin1String("base-deleted"));
        if (state.versioned)
            state.depth = columnText(query, 2);
    }
    // Resetting ends the read, so the client is never kept waiting on us.
    sqlite3_reset(query);
    sqlite3_clear_bindings(query);
    return state;
}
