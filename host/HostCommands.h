#pragma once

#include "SourceCodeControlSystemProviderInterface.h"

#include <QString>
#include <QStringList>

class QTextStream;
struct HostOptions;

/** The seven outputs of the provider's status operation for one file. */
struct FileStatus
{
    bool controlled = false;
    bool checkedOut = false;
    bool modified = false;
    bool outOfDate = false;
    QString statusText;
    QString revisionText;
    QString lastChangedText;
};

/**
 * Asks `provider` for the status of the file named by `pathParts` and stores
 * the seven outputs in `status` (which is reset first, so outputs that the
 * provider leaves alone read as false or null). Returns the provider's result.
 */
bool queryStatus(SourceCodeControlSystemProviderInterface& provider,
                 const QStringList& pathParts, FileStatus& status);

/** The heading of the status table, matching formatStatus(). */
QString statusHeading();

/**
 * One row of the status table: the four flags as yes/no, then the status
 * characters in brackets (so blanks stay visible), the revision, the last
 * changed revision and `name`.
 */
QString formatStatus(const FileStatus& status, const QString& name);

/**
 * Writes the provider's last error to `err` as
 * "scc-host: <what> failed" and then "  <command>: <message>" (each line of
 * the message indented).
 */
void printLastError(SourceCodeControlSystemProviderInterface& provider,
                    const QString& what, QTextStream& err);

/**
 * Why `svnExecutable` (a path, or a name looked up along PATH) cannot be
 * run: "cannot run 'x': not found" or "... not executable"; empty when it
 * can.
 */
QString clientProblem(const QString& svnExecutable);

/**
 * Sets the provider options the global options give: the client, the
 * password always on the client's standard input, the time limit, the
 * repository URL when given, and locking.
 */
void setProviderOptions(SourceCodeControlSystemProviderInterface& provider, const HostOptions& options);

/**
 * Passes the global options to a fresh provider (the password always on the
 * client's standard input, and the time limit): the three host options,
 * login when a user is given, and the roots when --root is given (one list,
 * or two with --repository-root; the root's parent directory is then created
 * when missing, so the check-out has somewhere to run). Returns false after
 * printing the failure on `err`; a --root that is no working copy is named
 * as such.
 */
bool configureProvider(SourceCodeControlSystemProviderInterface& provider,
                       const HostOptions& options, QTextStream& err);

/**
 * Runs the subcommand of `options` (anything but "demo") on a configured
 * provider and prints its outcome on `out`. Returns the exit status: 0 on
 * success, 1 when the operation failed (the last error is printed on `err`),
 * 2 for a usage error (unknown command, wrong number of arguments).
 */
int runHostCommand(SourceCodeControlSystemProviderInterface& provider,
                   const HostOptions& options, QTextStream& out, QTextStream& err);
