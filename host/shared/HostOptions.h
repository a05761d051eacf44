#pragma once

#include <QString>
#include <QStringList>

class SourceCodeControlSystemProviderInterface;

/**
 * The command line of a host, parsed (scc-browser takes scc-host's global
 * options).
 *
 * Global options come before the subcommand; the subcommand and its own
 * arguments and options follow. Every value is kept as given; only the
 * password is read from where the options say.
 */
struct HostOptions
{
    QString plugin;            ///< --plugin: the library to load
    QString svnExecutable;     ///< --svn: the client the provider runs ("svn" by default)
    QString repositoryURL;     ///< --url: the repository URL; null when not given
    QString userName;          ///< --user; null when not given
    QString password;          ///< read from --password-file or --password-stdin; null when neither
    bool lockSupported = false;///< --locking yes|no
    int timeoutSeconds = 120;  ///< --timeout: seconds one svn run may stay silent (0: no limit)
    QString localRoot;         ///< --root: absolute, cleaned local root; null when not given
    QString repositoryRoot;    ///< --repository-root: the local root's path in the repository; null when not given
    QString keepDirectory;     ///< --keep: where the demo leaves its files; null to remove them
    bool verbose = false;      ///< --verbose: show the plug-in's command log (every svn run)
    bool ask = false;          ///< --ask: the server's and ssh's questions asked on the terminal, when standard input is one
    QString command;           ///< the subcommand; empty when none was given
    QStringList arguments;     ///< the subcommand's positional arguments
    QString comment;           ///< -m/--message of the subcommand; null when not given
    bool discard = false;      ///< --discard: get and unlock throw local changes away
    bool replace = false;      ///< --replace: lock replaces a modified local file first
    bool recursive = false;    ///< --recursive: revert reverts whole folders
    bool keepLocal = false;    ///< --keep-local: rm leaves the files on disk
    QString revision;          ///< -r/--revision: REV, or FROM[:TO] for diff; null when not given
    int limit = 0;             ///< --limit: at most this many log entries (0: all)
    QString from;              ///< --from: the revision log starts at, going back; null when not given
    QString search;            ///< --search: log lists the revisions matching TEXT only; null when not given
    QString valueFile;         ///< -F/--file: propset reads the value from FILE, byte for byte; null when not given
    bool remove = false;       ///< --remove: changelist takes the files out of their changelist
    int strip = -1;            ///< --strip: leading name components patch-apply removes (-1: worked out)
    QString accept;            ///< --accept: how resolve settles a conflict; null when not given
    QString changes;           ///< -c/--change: merge's revisions, "REV[,REV...]"; null when not given
    bool dryRun = false;       ///< --dry-run: merge and patch-apply list what they would change and change nothing
    bool recordOnly = false;   ///< --record-only: merge records the merge information only
    bool merged = false;       ///< --merged: mergeinfo lists merged revisions, not eligible ones
    bool steal = false;        ///< --steal: lock takes over a lock another user holds
    bool breakLock = false;    ///< --break: unlock removes a lock this working copy does not hold
    bool help = false;         ///< --help was given
};

/**
 * Parses `arguments` (without the program name) into `options`, whose
 * `plugin` field must already hold the default library path. Reads the
 * password file or one line of standard input when asked to. Returns an
 * empty string on success, otherwise a one-line description of the problem
 * (unknown option, missing value, unreadable password file); `options` is
 * then partly filled.
 */
QString parseHostOptions(const QStringList& arguments, HostOptions& options);

/**
 * Whether a `lock` or `unlock` command line is the version-3 form (several
 * files in one run, a lock taken over or broken): more than one PATH, or
 * --steal / --break. One PATH without them is version 1's check-out (lock)
 * or undo check-out (unlock), which needs --locking yes.
 */
bool isMultiLockForm(const HostOptions& options);

/**
 * The plug-in a host uses when it is not told: the one installed beside the
 * running program (<prefix>/bin/.. + the plug-in folder), else the one of
 * the build tree it was built in.
 */
QString defaultPluginPath();

/**
 * Splits a path as a person writes it ("src/util/a.c", "./a.c", "docs/")
 * into path parts: separators collapse, "." parts are dropped. An empty or
 * "." path gives an empty list. ".." is kept as a part (the provider
 * resolves nothing).
 */
QStringList splitPathParts(const QString& path);

/** Path parts joined with "/" into one path, as a person reads it; "" for none. */
QString joinPathParts(const QStringList& parts);

/**
 * Sets the provider options the host options give: the client, the password
 * always on the client's standard input, the time limit, the repository URL
 * when given, and locking.
 */
void setProviderOptions(SourceCodeControlSystemProviderInterface& provider, const HostOptions& options);
