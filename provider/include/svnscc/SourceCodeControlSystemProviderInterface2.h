#pragma once

/**
 * @file
 * Version 2 of the contract between an IDE and the Subversion provider
 * plug-in: what an IDE's version-control menu needs beyond the 24 operations
 * of the first interface (multi-file commit, revert, delete, move, update,
 * resolve, history, annotate, diff, the list of changes, progress, clean-up).
 *
 * A host gets a version-2 provider from the optional entry point
 * AllocateSourceCodeControlSystemInterface2() (look it up with dlsym();
 * a plug-in without it offers version 1 only) and hands it back to the same
 * ReleaseSourceCodeControlSystemInterface(). The object is also a
 * SourceCodeControlSystemProviderInterface: its first 24 slots are those of
 * the base, and everything said there holds here too.
 */

#include <svnscc/SourceCodeControlSystemProviderInterface.h>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace SourceCodeControl {

/** One revision of a file's or folder's history (svn log --xml --verbose). */
struct LogEntry {
    QString revision;          ///< "1234"
    QString author;            ///< empty when the revision has none
    QDateTime date;            ///< UTC; invalid when the revision has none
    QString message;           ///< exactly as committed (line ends \n)
    QStringList changedPaths;  ///< "M /trunk/a.c", "A /trunk/b.c (from /trunk/a.c:12)", "D /trunk/old.c", "R ..."
};

/** One line of a file with the revision that last changed it (svn blame --xml). */
struct AnnotatedLine {
    QString revision;  ///< empty for a line changed locally and not committed
    QString author;    ///< who made `revision`; empty with it
    QDateTime date;    ///< UTC; invalid where the revision is empty
    QString text;      ///< the line without its line end
};

/** One changed item below a folder, from the working copy alone. */
struct Change {
    QString path;          ///< relative to the local root, '/' separated ("" is the local root)
    QString statusColumns; ///< the client's seven columns, as status() gives them
};

/** How resolve() settles a conflict: "--accept working|base|mine-full|theirs-full". */
enum class Resolution {
    Working,   ///< the working file as it is now (the only choice for a tree conflict)
    Base,      ///< the text before the update that conflicted (the file then reads modified)
    MineFull,  ///< the local text, the repository's changes dropped
    TheirsFull ///< the repository's text, the local changes dropped
};

} // namespace SourceCodeControl

/**
 * Version 2 adds what an IDE's version-control menu needs beyond the first
 * 24 operations. Its first 24 slots are those of the base; the new ones
 * follow, in this order, and never change. How the interface grows: slots
 * are only ever appended, in a new derived interface behind a new optional
 * entry point; a host asks interfaceVersion().
 *
 * Paths: `path` and each element of `paths` is ONE path relative to the
 * local root, components joined with '/' ("src/main.c"; "" or "." is the
 * local root itself). An empty list, an absolute path, or a path with a
 * ".." component is refused with false, running nothing, and sets the last
 * error. Every operation runs the client once where the client can do it in
 * one run, re-reads what it changed into the status cache with one local run
 * (no server; a folder with everything below it), follows the rules of the base (credentials, time limit,
 * cancel, command log, retries, never the wrong folder, never deleting what
 * cannot be brought back), and leaves getLastError() as the base does: every
 * false result sets it.
 */
class SourceCodeControlSystemProviderInterface2 : public SourceCodeControlSystemProviderInterface
{
public:
    /** 2 for this interface; a later version returns a higher number. */
    virtual int interfaceVersion() = 0;

    /**
     * Schedules files and folders for addition, with missing parents, in one
     * run ("svn add --parents --depth empty": a folder is added itself only,
     * not what it holds). Nothing is committed.
     * @return false when the client refuses one of them ("add"), for
     *         example a path that is already versioned.
     */
    virtual bool add(const QStringList& paths) = 0;

    /**
     * Commits all of @p paths in ONE revision with @p message (passed to
     * the client through a UTF-8 file, never as an argument); a folder
     * commits everything changed below it. An added item commits together
     * with the added parents it needs, even when only the item is listed.
     * @p newRevision gets the revision made ("" when nothing was to commit:
     * still true). A commit stopped by the time limit or a cancel before its
     * end was seen is checked with the server, as checkin() does.
     * @return false when the client refuses it ("commit"): nothing is made,
     *         @p newRevision is left alone.
     */
    virtual bool commit(const QStringList& paths, const QString& message, QString& newRevision) = 0;

    /**
     * Back to the working copy's base text and properties ("svn revert",
     * "--depth infinity" for folders with @p recursive). An added file
     * becomes unversioned and stays on disk, byte for byte; unversioned
     * files are never touched. That holds for an addition with history too
     * (copied or moved here), which the client itself removes from disk,
     * and for every file inside such a folder reverted with @p recursive,
     * unversioned and ignored ones included: each is kept under a hidden
     * scratch name (".svnscc-kept-...") in the folder that holds the copied
     * item while the client runs, and put back afterwards as an unversioned
     * file where the client left nothing (never over what it left there; a
     * replaced item gets its base text back). Reverting the new path of a
     * move leaves the old one scheduled for deletion; revert that one too to
     * have it back.
     * @return false, nothing touched, when a path is not under version
     *         control (the client only skips it), or when a scratch copy
     *         cannot be made ("cannot keep a copy of PATH in FOLDER: REASON;
     *         nothing was reverted"); false with the client's refusal for a
     *         non-recursive revert of an added folder that holds added
     *         items (E155038); false, after the revert, when a kept file
     *         cannot be put back ("the text of PATH cannot be put back
     *         (REASON): it is kept at SCRATCH").
     */
    virtual bool revert(const QStringList& paths, bool recursive) = 0;

    /**
     * Schedules deletion ("svn delete"); with @p keepLocal the items leave
     * version control and stay on disk as they are.
     * @return false, running nothing, for a path that is not under version
     *         control (in both forms); without @p keepLocal, false with the
     *         client's refusal (E195006) for a locally modified file, which
     *         keeps its text.
     */
    virtual bool remove(const QStringList& paths, bool keepLocal) = 0;

    /**
     * Moves or renames one file or folder inside the working copy ("svn move
     * --parents"), history kept. @p to is the item's new path, never a
     * folder to move into. Nothing is committed.
     * @return false, running nothing, when @p to exists already.
     */
    virtual bool move(const QString& from, const QString& to) = 0;

    /**
     * Brings files or folders (recursively) to @p revision ("HEAD" when
     * empty) in one run ("svn update --accept postpone"); conflicts are
     * postponed, never resolved. @p conflicted gets every path left in
     * conflict (text, property or tree), relative to the local root.
     * At another revision than the newest, and after a failure half-way,
     * the items are re-read with the server ("svn status --show-updates
     * --verbose --ignore-externals PATH...": its out-of-date marks).
     * @return false when the client refuses ("update"); conflicts are no
     *         failure.
     */
    virtual bool update(const QStringList& paths, const QString& revision, QStringList& conflicted) = 0;

    /**
     * Marks a conflict resolved, keeping the chosen text ("svn resolve
     * --accept ...").
     * @return false with the client's refusal, for example any choice but
     *         Working for a tree conflict (W195024).
     */
    virtual bool resolve(const QString& path, SourceCodeControl::Resolution choice) = 0;

    /**
     * History of @p path, newest first, at most @p limit entries (0: all),
     * following copies, up to the repository's newest revision (not only to
     * the working copy's base, which lags behind after the provider's own
     * commits). @p entries is replaced.
     */
    virtual bool log(const QString& path, int limit, QList<SourceCodeControl::LogEntry>& entries) = 0;

    /**
     * Every line of @p path at @p revision ("BASE" when empty; "WORKING"
     * includes local edits, whose lines have an empty revision) with who
     * last changed it: "svn blame --xml", and the text itself from the
     * working file or "svn cat" at the revision (blame's XML holds no text).
     * Lines and texts are one revision's, also when the repository moves on
     * between the runs: BASE and a number are given to both runs as they
     * are; any other revision (HEAD, a date, COMMITTED, PREV) is read as its
     * number first ("svn info --xml --revision R PATH", the entry's
     * revision) and both runs get that number. @p lines is replaced.
     */
    virtual bool annotate(const QString& path, const QString& revision,
                          QList<SourceCodeControl::AnnotatedLine>& lines) = 0;

    /**
     * The client's unified diff of @p path between two revisions: both
     * empty means local changes against BASE; @p to empty means from
     * @p from to the working file. Byte for byte as the client prints it,
     * run from the local root with root-relative paths ("Index: src/b.txt").
     * @p unifiedDiff is replaced.
     */
    virtual bool diff(const QString& path, const QString& from, const QString& to, QByteArray& unifiedDiff) = 0;

    /**
     * Every item below @p folder (recursively) that is not unchanged: added,
     * deleted (also when gone from disk), modified, replaced, missing,
     * conflicted, unversioned (not ignored), locked, switched; from the
     * working copy alone, with no server ("svn status"), so it answers even
     * while offline and only the "K" lock column is known. In the client's
     * own order (by path component: "dir/x.txt" before "dir-2.txt"); a
     * changed local root is listed as "". @p changes is replaced.
     */
    virtual bool changes(const QString& folder, QList<SourceCodeControl::Change>& changes) = 0;

    /** A progress handler, as setProgressHandler() takes it. */
    using ProgressHandler = void (*)(void* context, const QString& item, int itemsSoFar);

    /**
     * Progress of long runs (update, commit, add, revert, remove, checkout,
     * getFile): @p handler is called on the operation's own thread once per
     * item the client reports while it works ("A    src/a.c", "Sending
     * src/b.c", ...: the line as printed), with the count of items so far,
     * from 1 in each operation. Headers and summaries ("Updating '...':",
     * "Transmitting file data", "Committed revision N.") are no items. Null
     * stops the calls. The handler must not call into the provider.
     */
    virtual void setProgressHandler(ProgressHandler handler, void* context) = 0;

    /**
     * Finishes or undoes what a stopped client left in the working copy
     * below @p folder ("svn cleanup"): its locks and unfinished work. Needed
     * after a client was killed from outside; the provider already cleans
     * up after a run it stopped itself.
     */
    virtual bool cleanup(const QString& folder) = 0;

protected:
    ~SourceCodeControlSystemProviderInterface2() = default;
};

extern "C" {
/** Optional: a new version-2 provider, or null. Release it with ReleaseSourceCodeControlSystemInterface(). */
SourceCodeControlSystemProviderInterface2* AllocateSourceCodeControlSystemInterface2();
}

/** The function type of AllocateSourceCodeControlSystemInterface2, for dlsym(). */
using AllocateSourceCodeControlSystemInterface2Fn = SourceCodeControlSystemProviderInterface2* (*)();
