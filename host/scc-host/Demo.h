#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface2.h>

#include <QString>

class QTextStream;

/**
 * The scc-host demo: drives a fresh provider through a whole life cycle on a
 * throwaway repository that it makes with "svnadmin create" and reaches by a
 * file:// URL, so no server is needed.
 *
 * Steps: the three options, login, two repository directories, the check-out
 * of the project directory, three added files (in the root, in a directory
 * the repository already holds, in a new directory), their status, an edit
 * with saved, checkin, lock and unlock, getFile, getTo of an earlier
 * revision, both listings; then, through `provider2` (the same provider's
 * version-2 interface; null fails that step), two files scheduled and
 * committed in one revision, a log, an annotation, the diff of an edit, the
 * changes with a file deleted from disk, reverts, a move, a removal and
 * their commit, an update to an older revision and back, a conflict made
 * from another working copy, postponed by an update and resolved, and a
 * clean-up after a client killed in its commit; and logout. Every step is
 * compared with the client's own answer (status, log, blame, diff, info).
 * One line per step goes to `out`: the verdict, the operation, its result
 * and, where there are some, the status outputs; a summary line ends the
 * run.
 *
 * `svnExecutable` is the client the provider runs; svnadmin is taken from
 * the same directory when it names one, else from the search path. The
 * demo's files live in a temporary directory that is removed at the end,
 * or in `keepDirectory` (created when missing, refused when not empty) which
 * is left in place. HOME is pointed at the demo's directory for the run, so
 * the user's own client configuration is neither read nor written.
 *
 * Returns 0 when every step gave the expected result, otherwise 1.
 */
int runDemo(SourceCodeControlSystemProviderInterface& provider, SourceCodeControlSystemProviderInterface2* provider2,
            const QString& svnExecutable, const QString& keepDirectory, QTextStream& out, QTextStream& err);
