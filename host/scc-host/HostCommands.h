#pragma once

#include "FileStatus.h"
#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QString>
#include <QStringList>

class QTextStream;
struct HostOptions;

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

/** Writes "scc-host: <text>" and a pointer to --help on `err`; returns 2, the usage error's exit status. */
int usageError(QTextStream& err, const QString& text);

/** printLastError(), then 1: the exit status of an operation that failed. */
int failed(SourceCodeControlSystemProviderInterface& provider, const QString& what, QTextStream& err);

/** One root-relative path as the interface takes it: "a//b/./c" is "a/b/c", "." is "". */
QString interfacePath(const QString& argument);

/** interfacePath() of each argument. */
QStringList interfacePaths(const QStringList& arguments);

/**
 * Writes one log entry as scc-host's log subcommand prints it:
 * "r12 | ann | 2024-05-01T10:00:00Z" (the date in UTC; "(no author)" and
 * "(no date)" when the client gave none), the message, each changed path
 * indented by two blanks, and a blank line.
 */
void printLogEntry(const SourceCodeControl::LogEntry& entry, QTextStream& out);

/**
 * Writes `bytes` to the device of `out` as they are (what came before on
 * `out` first), without decoding or line-end changes: a diff or a patch
 * exactly as the client wrote it.
 */
void writeBytes(QTextStream& out, const QByteArray& bytes);

/**
 * Makes a fresh provider ready with setUpProvider(): the global options
 * (the password always on the client's standard input, and the time
 * limit), login when a user is given, and the roots when --root is given.
 * Returns false after printing the failure on `err` as printLastError()
 * does; a --root that is no working copy is named as such.
 */
bool configureProvider(SourceCodeControlSystemProviderInterface& provider,
                       const HostOptions& options, QTextStream& err);

/**
 * Runs the subcommand of `options` (anything but "demo") on a configured
 * provider and prints its outcome on `out`; the subcommands of version 2
 * go to runVersion2Command() with `provider2`, the same provider's version-2
 * interface (null when the plug-in offers version 1 only), those of
 * version 3, and a log page (isLogPage()) on a version-3 plug-in, to
 * runVersion3Command() with `provider3` (null when the plug-in offers an
 * older version). Returns the exit
 * status: 0 on success, 1 when the operation failed (the last error is
 * printed on `err`), 2 for a usage error (unknown command, wrong number of
 * arguments).
 */
int runHostCommand(SourceCodeControlSystemProviderInterface& provider,
                   SourceCodeControlSystemProviderInterface2* provider2,
                   SourceCodeControlSystemProviderInterface3* provider3, const HostOptions& options,
                   QTextStream& out, QTextStream& err);

/** The text printed by --help: every option and every subcommand. */
QString hostUsage();
