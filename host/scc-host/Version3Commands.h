#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QString>

class QTextStream;
struct HostOptions;

/**
 * Whether `options` names one of scc-host's subcommands for the branch and
 * merge operations of version 3 of the interface: info, copy, switch,
 * merge, mergeinfo, relocate, and lock / unlock in their several-files form
 * (isMultiLockForm()).
 */
bool isVersion3Command(const HostOptions& options);

/**
 * Runs the version-3 subcommand of `options` on a configured provider and
 * prints its outcome on `out`. PATH arguments are root-relative as for
 * version 2 ("." is the local root); REPOPATH, SOURCE, FROM and TO are
 * relative to the repository root ("trunk", "branches/1.0").
 *
 * `provider` is null for a plug-in that offers an older version only: the
 * subcommand then fails, saying so, and nothing runs. Returns the exit
 * status: 0 on success (a switch or merge that left conflicts included), 1
 * when the operation failed (the last error is printed on `err`), 2 for a
 * usage error.
 */
int runVersion3Command(SourceCodeControlSystemProviderInterface3* provider, const HostOptions& options,
                       QTextStream& out, QTextStream& err);
