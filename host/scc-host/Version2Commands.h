#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface2.h>

#include <QString>

class QTextStream;
struct HostOptions;

/**
 * Whether `command` is one of scc-host's subcommands for the operations of
 * version 2 of the interface: schedule, commit, revert, rm, mv, update,
 * resolve, log, annotate, diff, changes, cleanup.
 */
bool isVersion2Command(const QString& command);

/**
 * Runs the version-2 subcommand of `options` on a configured provider and
 * prints its outcome on `out` (diff: the client's unified diff, its bytes
 * unchanged). PATH arguments are split and joined with '/' into one
 * root-relative path each ("." is the local root).
 *
 * `provider` is null for a plug-in that offers version 1 only: the
 * subcommand then fails, saying so, and nothing runs. Returns the exit
 * status: 0 on success (an update that left conflicts included), 1 when the
 * operation failed (the last error is printed on `err`), 2 for a usage
 * error.
 */
int runVersion2Command(SourceCodeControlSystemProviderInterface2* provider, const HostOptions& options,
                       QTextStream& out, QTextStream& err);

/**
 * Makes `provider` print each item its long operations report (update,
 * commit, add, revert, remove, and the first interface's checkout and
 * getFile) on standard error as it comes: "progress 3: Sending src/b.c".
 * scc-host calls it for --verbose only.
 */
void showProgress(SourceCodeControlSystemProviderInterface2& provider);
