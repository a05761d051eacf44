#pragma once

#include <QByteArrayView>
#include <QAnyStringView>

/**
 * The client's item lines, told apart and taken apart in one place: the
 * lines of "svn status" and the action lines an update, switch, merge,
 * check-out, add, commit, revert, delete or patch prints as it works. Every
 * reader of those lines in the provider goes through these functions, so a
 * rule about a line's layout holds for all of them.
 *
 * A line is read as the client wrote it, one character per byte, without
 * its line end; the views returned point into it. Nothing is allocated.
 */
namespace SVNItemLine {

/** What a line of "svn status" is. */
enum class StatusKind
{
    Empty,       ///< no character at all
    Entry,       ///< an item: its status columns, then (by the form) fields and its name
    Detail,      ///< blanks, then ">": a tree conflict's "      >   local file edit, ...", a move's "        > moved to X"
    BlockHeader, ///< "Performing status on external item at '...':" or "--- Changelist 'NAME':": entries follow again
    Summary,     ///< "Status against revision:", "Summary of conflicts:" and the count lines under it
    Other,       ///< none of these: too short or misshapen for an entry of the plain form
};

/** Which fields come between the seven status columns and the name. */
enum class StatusForm
{
    /** "svn status": the columns, a blank, the name from column 9. */
    Plain,
    /**
     * "svn status --verbose", with or without "--show-updates": the
     * out-of-date mark, the working revision, the last-changed revision, the
     * author, then the name.
     */
    Verbose,
};

/** One line of "svn status", read. */
struct StatusLine
{
    StatusKind kind = StatusKind::Empty;
    /** An entry's status columns: the first seven characters (fewer on a shorter line). */
    QByteArrayView columns;
    /**
     * An entry's name: everything after the fields of its form, leading
     * blanks included (an unversioned name may begin with them); empty when
     * the line ends first.
     */
    QByteArrayView name;

    // The verbose form only.
    /** "*" in column 7 (the older layout) or alone in column 9 (the newer one). */
    bool outOfDate = false;
    /** The first field after the columns (empty: none; "-" for a copy, "?" when unknown). */
    QByteArrayView workingRevision;
    /** The second field. */
    QByteArrayView lastChangedRevision;
    /**
     * The author is longer than twelve characters, so the name's column is
     * not fixed: `name` is the rest after the author's first word, and
     * nextName() gives the later readings (an author may hold blanks).
     */
    bool nameAfterLongAuthor = false;
};

/** Reads one line of "svn status" printed in `form`. */
StatusLine readStatus(QByteArrayView line, StatusForm form);

/**
 * The reading of a name after a long author that comes after `name` (a
 * rest of `line`): the rest after its first word and the blanks that
 * follow; empty when there is none.
 */
QByteArrayView nextName(QByteArrayView line, QByteArrayView name);

/** One action line, read. */
struct ActionLine
{
    /** The line names an item the client acted on; headers, summaries and details do not. */
    bool namesItem = false;
    /**
     * The action: the columns of a column line ("A   ", " U  ", "   C",
     * "UC  ", "A  " before "(bin)"), or the word of a word line ("Sending",
     * "Reverted").
     */
    QByteArrayView action;
    /** A "C" among the columns: the item was left in conflict (text, property or tree). */
    bool conflict = false;
    /** The item's path as the client printed it (leading blanks included). */
    QByteArrayView path;
};

/**
 * Reads one line that a run of `subcommand` printed to standard output. Item
 * lines:
 *  - update, switch, merge, checkout, export: four action columns (each
 *    blank or one of "ADUCGERB", one at least not blank), a blank, the path
 *    from column 6: "A    src/a.c", " U   .", "C    a.txt", "   C x";
 *  - add, delete, mkdir, move, copy, patch: the same columns, the path from
 *    column 11: "A         n.txt", "UC        a.txt", "A  (bin)  b.dat";
 *  - any: a commit's "Sending", "Adding", "Deleting", "Replacing" padded to
 *    column 15 (or followed by "  (bin)  "), the path after it; "Reverted
 *    'c.c'" and "Restored 'd.c'", the path between the quotes.
 * Everything else names no item: "Updating '.':", "--- Merging r6 through
 * r21 into '.':", "Fetching external item into 'ext':", "Committed revision
 * 5.", "Summary of conflicts:" and its count lines, a patch's "> rejected
 * hunk" details.
 */
ActionLine readAction(QByteArrayView line, QAnyStringView subcommand);

} // namespace SVNItemLine
