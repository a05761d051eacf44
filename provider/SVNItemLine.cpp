#include "SVNItemLine.h"

#include "SVNCommand.h"

namespace SVNItemLine {

namespace {

const QByteArrayView s_revisionSummary("Status against revision:");
const QByteArrayView s_conflictSummary("Summary of conflicts:");
const QByteArrayView s_externalBlock("Performing status on external item at ");
const QByteArrayView s_changelistBlock("--- Changelist '");
// The count lines under "Summary of conflicts:", after two blanks.
const QByteArrayView s_counts[] = {"Text conflicts: ", "Property conflicts: ", "Tree conflicts: ",
                                   "Skipped paths: "};
// Where a newer client starts the name of a verbose line when the fields before it are blank.
const qsizetype s_nameColumn = 41;
// Where a commit's word line and an add's column line start the path.
const qsizetype s_wordPathColumn = 15;
const qsizetype s_schedulePathColumn = 10;
const QByteArrayView s_binary("(bin)  ");

// The isspace() set of the POSIX locale.
bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Moves `pos` over a run of whitespace, then returns the run of
// non-whitespace after it (empty when the line ends first).
QByteArrayView nextField(QByteArrayView line, qsizetype& pos)
{
    const qsizetype length = line.size();
    while (pos < length && isSpace(line[pos]))
        ++pos;
    const qsizetype start = pos;
    while (pos < length && !isSpace(line[pos]))
        ++pos;
    return line.sliced(start, pos - start);
}

// Blanks, ">", then a blank or the end (a tree conflict's "      >   local
// file edit, ...", a move's "        > moved to X"). An entry's line never
// holds ">" right after blanks: its columns or fields come first.
bool isDetail(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && line[i] == ' ')
        ++i;
    return i > 0 && i < line.size() && line[i] == '>' && (i + 1 == line.size() || line[i + 1] == ' ');
}

// "  Text conflicts: 1": no entry has a letter but "L" in column 3.
bool isCount(QByteArrayView line)
{
    if (line.size() < 3 || line[1] != ' ' || line[2] == ' ')
        return false;
    const QByteArrayView rest = line.sliced(2);
    for (const QByteArrayView count : s_counts)
        if (rest.startsWith(count))
            return true;
    return false;
}

// A verbose line whose revision and author fields are all blank, with the
// name in its column (which may start with blanks: the name is all the rest).
bool hasNoFields(QByteArrayView line)
{
    if (line.size() <= s_nameColumn)
        return false;
    for (qsizetype i = 7; i < s_nameColumn; ++i)
        if (line[i] != ' ' && !(i == 8 && line[i] == '*'))
            return false;
    return true;
}

// Whether a verbose line has the newer client's fixed columns, revisions
// right aligned in columns 11-18 and 20-27 and an author of at most twelve
// characters in 29-40, so that the name starts in column 42 whatever the
// author field holds (nothing at all, after a commit without a user name).
bool inNameColumn(QByteArrayView line)
{
    return line.size() > s_nameColumn && line[7] == ' ' && line[9] == ' ' && line[17] != ' '
        && line[18] == ' ' && line[26] != ' ' && line[27] == ' ' && line[s_nameColumn - 1] == ' ';
}

void readVerboseEntry(QByteArrayView line, StatusLine& read)
{
    const qsizetype length = line.size();
    read.outOfDate = length > 6 && line[6] == '*';
    qsizetype pos = qMin<qsizetype>(7, length);
    // Newer clients keep column 8 blank and put the out-of-date mark alone
    // in column 9; a working revision is never "*".
    if (length > 8 && line[7] == ' ' && line[8] == '*' && (length == 9 || isSpace(line[9]))) {
        read.outOfDate = true;
        pos = 9;
    }
    if (hasNoFields(line)) {
        // An item the working copy does not hold (unversioned, an incoming
        // addition, an external): no revisions, the name where the client puts it.
        read.name = line.sliced(s_nameColumn);
        return;
    }
    if (line[0] == '?') {
        while (pos < length && isSpace(line[pos]))
            ++pos;
        read.name = line.sliced(pos);
        return;
    }
    read.workingRevision = nextField(line, pos);
    read.lastChangedRevision = nextField(line, pos);
    if (inNameColumn(line)) {
        read.name = line.sliced(s_nameColumn); // the author may be empty, the name may start with blanks
        return;
    }
    nextField(line, pos); // the author's first word
    while (pos < length && isSpace(line[pos]))
        ++pos;
    read.name = line.sliced(pos);
    read.nameAfterLongAuthor = true;
}

// Four action columns, each blank or an action letter, one at least a letter.
bool isActionColumns(QByteArrayView columns)
{
    bool action = false;
    for (const char c : columns) {
        if (c == ' ')
            continue;
        if (!QByteArrayView("ADUCGERB").contains(c))
            return false;
        action = true;
    }
    return action;
}

// The subcommands whose column lines put the path in column 11.
bool schedules(QAnyStringView subcommand)
{
    for (const char* name : {SVNSubcommand::Add, SVNSubcommand::Delete, SVNSubcommand::Mkdir, SVNSubcommand::Move,
                             SVNSubcommand::Copy, SVNSubcommand::Patch})
        if (subcommand == QAnyStringView(name))
            return true;
    return false;
}

bool readWordLine(QByteArrayView line, ActionLine& read)
{
    for (const char* padded : {"Sending ", "Adding ", "Deleting ", "Replacing "}) {
        const QByteArrayView word(padded);
        if (!line.startsWith(word))
            continue;
        qsizetype pos = word.size();
        while (pos < s_wordPathColumn && pos < line.size() && line[pos] == ' ')
            ++pos;
        if (line.sliced(pos).startsWith(s_binary))
            pos += s_binary.size();
        read.namesItem = true;
        read.action = word.chopped(1);
        read.path = line.sliced(pos);
        return true;
    }
    for (const char* quoting : {"Reverted '", "Restored '"}) {
        const QByteArrayView word(quoting);
        if (!line.startsWith(word) || line.size() <= word.size() || !line.endsWith('\''))
            continue;
        read.namesItem = true;
        read.action = word.chopped(2);
        read.path = line.sliced(word.size(), line.size() - word.size() - 1);
        return true;
    }
    return false;
}

} // namespace

StatusLine readStatus(QByteArrayView line, StatusForm form)
{
    StatusLine read;
    const qsizetype length = line.size();
    if (length == 0)
        return read;
    // Only the first character is looked at for most lines: none of these
    // starts an entry ("P", "-" and "S" are no status letters).
    switch (line[0]) {
    case ' ':
        if (isDetail(line)) {
            read.kind = StatusKind::Detail;
            return read;
        }
        if (isCount(line)) {
            read.kind = StatusKind::Summary;
            return read;
        }
        break;
    case 'P':
        if (line.startsWith(s_externalBlock)) {
            read.kind = StatusKind::BlockHeader;
            return read;
        }
        break;
    case '-':
        if (line.startsWith(s_changelistBlock)) {
            read.kind = StatusKind::BlockHeader;
            return read;
        }
        break;
    case 'S':
        if (line.startsWith(s_revisionSummary) || line.startsWith(s_conflictSummary)) {
            read.kind = StatusKind::Summary;
            return read;
        }
        break;
    default:
        break;
    }
    read.columns = line.first(qMin<qsizetype>(7, length));
    switch (form) {
    case StatusForm::Plain:
        if (length < 9 || line[7] != ' ') {
            read.kind = StatusKind::Other;
            read.columns = QByteArrayView();
            return read;
        }
        read.name = line.sliced(8);
        break;
    case StatusForm::Verbose:
        readVerboseEntry(line, read);
        break;
    }
    read.kind = StatusKind::Entry;
    return read;
}

QByteArrayView nextName(QByteArrayView line, QByteArrayView name)
{
    qsizetype pos = line.size() - name.size();
    while (pos < line.size() && !isSpace(line[pos]))
        ++pos;
    while (pos < line.size() && isSpace(line[pos]))
        ++pos;
    return pos < line.size() ? line.sliced(pos) : QByteArrayView();
}

ActionLine readAction(QByteArrayView line, QAnyStringView subcommand)
{
    ActionLine read;
    if (readWordLine(line, read))
        return read;
    if (schedules(subcommand)) {
        if (line.size() <= s_schedulePathColumn)
            return read;
        if (line.sliced(3).startsWith(s_binary) && isActionColumns(line.first(3)))
            read.action = line.first(3);
        else if (line.sliced(4, s_schedulePathColumn - 4) == QByteArrayView("      ") && isActionColumns(line.first(4)))
            read.action = line.first(4);
        else
            return read;
        read.path = line.sliced(s_schedulePathColumn);
    } else {
        if (line.size() < 6 || line[4] != ' ' || !isActionColumns(line.first(4)))
            return read;
        read.action = line.first(4);
        read.path = line.sliced(5);
    }
    read.namesItem = true;
    read.conflict = read.action.contains('C');
    return read;
}

} // namespace SVNItemLine
