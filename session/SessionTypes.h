#pragma once

/**
 * @file
 * The values a SvnScc::Session takes and hands back: the settings of a
 * working copy, the result of an operation, a file's status and what the
 * history, annotate, changes and property operations give.
 *
 * The history, annotate, changes and property values are the plug-in interface's own
 * types (<svnscc/SourceCodeControlSystemProviderInterface3.h>), so that a
 * field the plug-in gives reaches the IDE as it is.
 *
 * Paths: every path a Session takes or gives names one file or folder
 * relative to the local root, its components joined with '/' ("src/main.c";
 * "" is the local root). A Session also takes an absolute path below the
 * local root. A path in the repository (listings, createDirectory()) is
 * relative to the repository URL of the settings.
 */

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace SvnScc {

/**
 * How a Session reaches the working copy and its repository, given once to
 * Session::open(). The defaults suit a GUI host: the client found along
 * PATH, the password on the client's standard input, a silent client ended
 * after two minutes, one client run for the whole working copy's status.
 */
struct SessionSettings
{
    /** How the status of the working copy is first read. */
    enum class StatusScope {
        WorkingCopy, ///< one client run for the whole working copy, at the first question
        PerFolder    ///< one client run per folder, when the folder is first asked about
    };

    /** The svn client: a path, or a name looked up along PATH. */
    QString executable = QStringLiteral("svn");
    /**
     * The repository URL: what login checks, the base of repository paths,
     * and where Session::open() with a repository path checks out. May stay
     * empty for a working copy used without login or browsing.
     */
    QString repositoryUrl;
    /** Whether locking is offered: without it, Session::checkout() and undoCheckout() are refused. */
    bool locking = false;
    /**
     * The password reaches each client run on its standard input (svn 1.10
     * and later) instead of as an argument that any local user can read
     * while the client runs.
     */
    bool passwordOnStdin = true;
    /** Seconds a client run may stay silent (no output, no byte moved) before it is stopped; 0: no limit. */
    int timeLimitSeconds = 120;
    /** See StatusScope. */
    StatusScope statusScope = StatusScope::WorkingCopy;
    /** The user Session::open() logs in as; empty: no login, and no credentials are passed. */
    QString user;
    /** The user's password, passed to every client run but "svn add", never shown in the command log. */
    QString password;
    /**
     * Milliseconds between two looks at the folders the system refuses to
     * watch (see Session's live status): a stat() of each such folder and
     * of each versioned file in it, and of the database when its folder is
     * not watched. The client runs only for what changed.
     */
    int pollIntervalMs = 2000;
};

/** The order in which Session::statusTree() gives its results. */
enum class TreeOrder {
    /**
     * The walk's order: each folder before what it holds, then the
     * versioned items not on disk. The first result comes once the
     * client's run for the tree has ended.
     */
    Walk,
    /**
     * For the local root with a plug-in of version 4, when its status is
     * not read yet (else as Walk): each item the client lists, in the
     * client's order, while it lists it; then, in the walk's order, what
     * it does not list (ignored items, what an external holds). A view
     * fills from the client's first line.
     */
    AsListed
};

/** How one operation ended. */
struct Outcome
{
    bool ok = false; ///< true on success
    /**
     * On failure: the svn subcommand that failed or was refused ("commit",
     * "info", ...), empty when no client was involved (the plug-in could not
     * be loaded, the session was closed).
     */
    QString command;
    /**
     * On failure: why, in the client's words ("svn: E155011: ..."), or the
     * session's own ("cancelled", "/home/ann/x is not a working copy"). Empty
     * on success.
     */
    QString error;
};

/** How an operation that gives a value ended, and the value (left default on failure). */
template <typename T>
struct Result : Outcome
{
    T value{}; ///< what the operation gives; see the operation
};

/** The status of one file or folder, as the plug-in answers it. */
struct Status
{
    QString path;            ///< relative to the local root; "" is the local root
    bool known = false;      ///< the plug-in answered; false: command and error say why
    bool controlled = false; ///< under version control (an unversioned file "?" is not)
    bool checkedOut = false; ///< locked in this working copy ("K" in column 6)
    bool modified = false;   ///< "M" or "!" in column 1
    bool outOfDate = false;  ///< the repository holds a newer revision (never known while offline)
    /**
     * The client's seven status columns ("M      ", "?      ", "       " for
     * an unchanged versioned item); empty for a name the client does not
     * list (an ignored file, anything inside an unversioned or ignored
     * folder), which is not under version control.
     */
    QString columns;
    QString revision;            ///< the working revision; empty when not versioned
    QString lastChangedRevision; ///< the revision that last changed it; empty when not versioned
    QString command;             ///< when not known: the svn subcommand that failed
    QString error;               ///< when not known: why ("cancelled" for a status pass cancelled before it)

    /** Whether two answers say the same of the same path. */
    bool operator==(const Status& other) const
    {
        return path == other.path && known == other.known && controlled == other.controlled
            && checkedOut == other.checkedOut && modified == other.modified && outOfDate == other.outOfDate
            && columns == other.columns && revision == other.revision
            && lastChangedRevision == other.lastChangedRevision && command == other.command
            && error == other.error;
    }
    /** Whether two answers differ in anything. */
    bool operator!=(const Status& other) const { return !(*this == other); }
};

/** One shelf of Session::shelve() or of a revert, as Session::shelves() lists it. */
struct Shelf
{
    QString name;      ///< as given to shelve(), or "before revert DATE PATHS"
    QDateTime date;    ///< when it was made, UTC
    QStringList paths; ///< the paths shelved, relative to the local root
};

/** One revision of a file's or folder's history, newest first in a list: the plug-in's own type. */
using LogEntry = SourceCodeControl::LogEntry;

/** One line of a file with the revision that last changed it: the plug-in's own type. */
using AnnotatedLine = SourceCodeControl::AnnotatedLine;

/**
 * One item below a folder that is not unchanged, from the working copy
 * alone (path relative to the local root, "" the local root; the client's
 * seven status columns): the plug-in's own type.
 */
using Change = SourceCodeControl::Change;

/** How Session::resolve() settles a conflict: the plug-in's own choices. */
using Resolution = SourceCodeControl::Resolution;

/**
 * What the working copy records of one item (its URL and repository path,
 * revisions, lock, conflicts and their files, the halves of a move): the
 * plug-in's own type.
 */
using ItemInfo = SourceCodeControl::ItemInfo;

/**
 * One item a merge or a patch touched or would touch, with the client's
 * action columns, or one that changed between two revisions
 * (Session::changedBetween()): the plug-in's own type.
 */
using ItemChange = SourceCodeControl::ItemChange;

/**
 * One property of an item, its value exactly as stored (binary values
 * too): the plug-in's own type.
 */
using Property = SourceCodeControl::Property;

/** How much of a folder a working copy holds (Session::setDepth()): the plug-in's own values. */
using Depth = SourceCodeControl::Depth;

/** What Session::merge() gives. */
struct MergeResult
{
    /** Every item line the client printed, in its order, duplicates kept (a dry run: what would change). */
    QList<ItemChange> changes;
    /** The paths left in conflict. */
    QStringList conflicted;
};

} // namespace SvnScc
