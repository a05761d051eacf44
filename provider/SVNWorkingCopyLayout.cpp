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

bool isFile(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QString columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text) : QString();
}

// Looks `relativePath` up in the database at `databasePath`.
void readNode(const QByteArray& databasePath, const QByteArray& relativePath, SVNFolderState& state)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(databasePath.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                        nullptr)
        != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    sqlite3_busy_timeout(db, s_busyTimeoutMs);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, s_nodeQuery, -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_bind_text(statement, 1, relativePath.constData(), int(relativePath.size()),
                             SQLITE_STATIC)
            == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW) {
        const QString kind = columnText(statement, 0);
        const QString presence = columnText(statement, 1);
        state.versioned = kind == QLatin1String("dir")
            && (presence == QLatin1String("normal") || presence == QLatin1String("incomplete")
                || presence == QLatin1String("base-deleted"));
        if (state.versioned)
            state.depth = columnText(statement, 2);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

} // namespace

bool hasEntriesFile(const QString& directory)
{
    struct stat st;
    return ::stat(toEightBit(directory + QStringLiteral("/.svn/entries")).constData(), &st) == 0;
}

SVNFolderState inspectFolder(const QString& directory)
{
    SVNFolderState state;
    const QByteArray folder = toEightBit(QDir::cleanPath(directory));
    if (!folder.startsWith('/'))
        return state;
    // Walk up to the nearest ".svn"; it owns the folder.
    QByteArray top = folder;
    for (;;) {
        const QByteArray administrative = (top == "/" ? QByteArray() : top) + "/.svn";
        if (isDirectory(administrative)) {
            const QByteArray database = administrative + "/wc.db";
            state.central = isFile(database);
            if (state.central) {
                QByteArray relative = folder.mid(top == "/" ? 1 : top.size());
                if (relative.startsWith('/'))
                    relative.remove(0, 1);
                readNode(database, relative, state);
            }
            return state;
        }
        if (top == "/")
            return state;
        const qsizetype slash = top.lastIndexOf('/');
        top = slash > 0 ? top.left(slash) : QByteArray("/");
    }
}
