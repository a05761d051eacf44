#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QString>

class QTextStream;
struct HostOptions;

/**
 * Whether `options` names one of scc-host's subcommands for version 3 of
 * the interface: info, copy, switch, merge, mergeinfo, relocate, lock /
 * unlock in their several-files form (isMultiLockForm()), proplist,
 * propset, propdel, ignore, changelist, changed, depth, upgrade,
 * patch-create, patch-apply, and log with --from or --search.
 */
bool isVersion3Command(const HostOptions& options);

/**
 * Whether a log command line asks for one page of history (--from,
 * --search, or --limit above 0): a version-3 plug-in answers it with
 * logRange(); an older one answers --limit alone with version 2's log().
 */
bool isLogPage(const HostOptions& options);

/**
 * "usage: ..." of a version-3 subcommand (isVersion3Command() or
 * isLogPage()) whose arguments do not fit it: a missing NAME, VALUE, PATH
 * or FILE, an unknown depth word, changed without -r FROM[:TO]. Checked
 * before the plug-in is loaded, so that such a command line runs nothing.
 * Empty when they fit, or for any other subcommand.
 */
QString version3UsageProblem(const HostOptions& options);

/**
 * Runs the version-3 subcommand of `options` on a configured provider and
 * prints its outcome on `out`. PATH arguments are root-relative as for
 * version 2 ("." is the local root); REPOPATH, SOURCE, FROM and TO are
 * relative to the repository root ("trunk", "branches/1.0").
 *
 * Log entries print as version 2's log prints them (printLogEntry());
 * patch-create writes the patch's bytes unchanged.
 *
 * `provider` is null for a plug-in that offers an older version only: the
 * subcommand then fails, saying so, and nothing runs. Returns the exit
 * status: 0 on success (a switch or merge that left conflicts included), 1
 * when the operation failed (the last error is printed on `err`; a
 * patch-apply that rejected a hunk or skipped an item prints the item lines
 * first), 2 for a usage error.
 */
int runVersion3Command(SourceCodeControlSystemProviderInterface3* provider, const HostOptions& options,
                       QTextStream& out, QTextStream& err);
