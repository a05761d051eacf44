#pragma once

#include "FakeSvn.h"
#include "FileBytes.h"
#include "QtPrinters.h"
#include "SVNInterfaceSeam.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <vector>

/** The eight results of status(): its own, then the seven outputs. */
struct Answer
{
    bool result = false;
    bool controlled = false, checkedOut = false, modified = false, outOfDate = false;
    QString statusText, revisionText, lastChangedText;
};

/** One expected client run: working directory and argv[1..]. */
struct ExpectedRun
{
    QString directory;
    QStringList arguments;
};

/** A folder's newest row in a working-copy database: path below the top, kind, presence, depth. */
struct NodeRow
{
    const char* relativePath;
    int opDepth;
    const char* kind;
    const char* presence;
    const char* depth;
};

/**
 * A provider driving the stand-in client, logged in as ann/secret on
 * svn://repo, with a scratch local root (not a working copy until
 * makeWorkingCopy() marks it).
 */
class ProviderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        svn.setOption(SourceCodeControlOption::Executable, fake.executable());
        svn.setOption(SourceCodeControlOption::RepositoryURL, "svn://repo");
        seam.client().setCredentials("ann", "secret");
        rootPath = QDir(root.path()).canonicalPath();
        seam.bind(rootPath, "svn://repo/trunk");
    }

    /** Marks `relative` (below the local root; empty: the root) as a working copy. */
    void makeWorkingCopy(const QString& relative = QString())
    {
        const QString dir = relative.isEmpty() ? rootPath : rootPath + '/' + relative;
        ASSERT_TRUE(QDir().mkpath(dir + "/.svn"));
        QFile marker(dir + "/.svn/entries");
        ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    }

    /**
     * Makes `relative` (below the local root; empty: the root) the top of a
     * working copy of the central layout, checked out from
     * `repositoryRoot`/trunk: ".svn/entries" and a ".svn/wc.db" holding
     * `rows`. The folders of the rows are created on disk.
     */
    void makeCentralWorkingCopy(const QString& relative, const std::vector<NodeRow>& rows,
                                const std::string& repositoryRoot = "svn://repo")
    {
        const QString top = relative.isEmpty() ? rootPath : rootPath + '/' + relative;
        makeWorkingCopy(relative);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(top + "/.svn/wc.db").constData(), &db), SQLITE_OK);
        std::string sql = "PRAGMA user_version = 31;"
                          "CREATE TABLE wcroot (id INTEGER PRIMARY KEY, local_abspath TEXT);"
                          "INSERT INTO wcroot VALUES (1, NULL);"
                          "CREATE TABLE repository (id INTEGER PRIMARY KEY, root TEXT, uuid TEXT);"
                          "INSERT INTO repository VALUES (1, '" + repositoryRoot + "', 'u');"
                          "CREATE TABLE nodes (wc_id INTEGER, local_relpath TEXT, op_depth INTEGER, kind TEXT,"
                          " presence TEXT, depth TEXT, repos_id INTEGER, repos_path TEXT, file_external INTEGER, revision INTEGER);"
                          "CREATE TABLE actual_node (wc_id INTEGER, local_relpath TEXT, conflict_data BLOB,"
                          " tree_conflict_data TEXT, conflict_old TEXT, conflict_new TEXT, conflict_working TEXT,"
                          " prop_reject TEXT);"
                          "CREATE TABLE externals (wc_id INTEGER, local_relpath TEXT, def_local_relpath TEXT);";
        for (const NodeRow& row : rows) {
            sql += std::string("INSERT INTO nodes VALUES (1, '") + row.relativePath + "', "
                + std::to_string(row.opDepth) + ", '" + row.kind + "', '" + row.presence + "', '" + row.depth
                + "', 1, 'trunk/" + row.relativePath + "', NULL, 1);";
            if (std::string(row.kind) == "dir")
                QDir().mkpath(top + '/' + QString::fromUtf8(row.relativePath));
        }
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }

    /** status() of `parts`, its outputs starting as `start` holds them. */
    Answer ask(const QStringList& parts, Answer start = {})
    {
        start.result = svn.status(parts, start.controlled, start.checkedOut, start.modified,
                                  start.outOfDate, start.statusText, start.revisionText,
                                  start.lastChangedText);
        return start;
    }

    /** "command: message" of the last error. */
    QString lastError()
    {
        QString command;
        const QString message = svn.getLastError(command);
        return command + ": " + message;
    }

    /** The client ran exactly `runs`, in this order. */
    void expectRuns(const std::vector<ExpectedRun>& runs) const
    {
        const std::vector<FakeSvn::Call> calls = fake.calls();
        EXPECT_EQ(calls.size(), runs.size());
        for (size_t i = 0; i < std::min(calls.size(), runs.size()); ++i) {
            EXPECT_EQ(calls[i].workingDirectory, runs[i].directory) << "run " << i;
            // A message file is shown by what it held: "<text>".
            QStringList arguments = calls[i].arguments.mid(1);
            const qsizetype file = arguments.indexOf("--file");
            if (file >= 0 && file + 1 < arguments.size())
                arguments[file + 1] = '<' + QString::fromUtf8(fake.message(int(i))) + '>';
            EXPECT_EQ(arguments, runs[i].arguments) << "run " << i;
        }
    }

    /** The arguments that pass `text` as a run's message, as expectRuns() shows them. */
    static QStringList message(const QString& text)
    {
        return {"--file", '<' + text + '>', "--encoding", "UTF-8"};
    }

    /** argv[1..] of a run with credentials: command and arguments, the credentials, then `tail`. */
    static QStringList withAuth(const QStringList& head, const QStringList& tail = {})
    {
        return head + FakeSvn::auth("ann", "secret") + tail;
    }

    void writeFile(const QString& relative, const QByteArray& data) { writeBytes(rootPath + '/' + relative, data); }

    FakeSvn fake;
    SVNInterface svn;
    SVNInterfaceSeam seam{svn};
    QTemporaryDir root;
    QString rootPath;
};
