#include "SVNStatusReader.h"

#include "EightBit.h"

#include <cstring>

namespace {

// Lines are read as the client wrote them, one character per byte; the
// status columns and fields are ASCII, and the path is decoded last.
const QByteArrayView s_summaryLine("Status against revision:");
const QByteArrayView s_conflictSummary("Summary of conflicts:");
const QByteArrayView s_externalBlock("Performing status on external item at ");
const QByteArrayView s_changelistBlock("--- Changelist '");
// Where a newer client starts the name when the fields before it are blank.
const qsizetype s_nameColumn = 41;

// The isspace() set of the POSIX locale.
bool isStatusSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Moves `pos` over a run of whitespace, then returns the run of
// non-whitespace after it (empty when the line ends first).
QByteArrayView nextField(QByteArrayView line, qsizetype& pos)
{
    const qsizetype length = line.size();
    while (pos < length && isStatusSpace(line[pos]))
        ++pos;
    const qsizetype start = pos;
    while (pos < length && !isStatusSpace(line[pos]))
        ++pos;
    return line.sliced(start, pos - start);
}

// A line whose revision and author fields are all blank, with the name in
// its column (which may start with blanks: the name is all the rest).
bool hasNoFields(QByteArrayView line)
{
    if (line.size() <= s_nameColumn)
        return false;
    for (qsizetype i = 7; i < s_nameColumn; ++i)
        if (line[i] != ' ' && !(i == 8 && line[i] == '*'))
            return false;
    return true;
}

// Whether the line has the newer client's fixed columns, revisions right
// aligned in columns 11-18 and 20-27 and an author of at most twelve
// characters in 29-40, so that the name starts in column 42 whatever the
// author field holds (nothing at all, after a commit without a user name).
bool inNameColumn(QByteArrayView line)
{
    return line.size() > s_nameColumn && line[7] == ' ' && line[9] == ' ' && line[17] != ' '
        && line[18] == ' ' && line[26] != ' ' && line[27] == ' ' && line[s_nameColumn - 1] == ' ';
}

// A detail line the client adds after an entry: blanks, ">", a blank, then
// text (a tree conflict's "      >   local file edit, ...", a move's
// "        > moved to X"). An entry's line never holds ">" before its name.
bool isDetailLine(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && line[i] == ' ')
        ++i;
    return i > 0 && i < line.size() && line[i] == '>' && (i + 1 == line.size() || line[i + 1] == ' ');
}

} // namespace

// The status columns and revisions of a folder's lines repeat a lot:
// handing out shared copies of the texts seen before saves an allocation
// and a decode for each, and keeps one copy in memory. A small table by the
// bytes' hash; a text that collides replaces the older one.
struct SVNStatusReader::Recent
{
    static constexpr int Size = 256;
    static constexpr int Longest = 15;
    struct Entry
    {
        char bytes[Longest];
        quint8 length = 0;
        QString text;
    };
    Entry entries[Size];
};

SVNStatusReader::SVNStatusReader(Sink sink, NameCheck check)
    : m_sink(std::move(sink)), m_check(std::move(check)), m_recent(new Recent)
{
}

SVNStatusReader::~SVNStatusReader() = default;

QString SVNStatusReader::text(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return QString();
    const qsizetype length = bytes.size();
    if (length > Recent::Longest)
        return fromEightBit(bytes.data(), length);
    uint hash = 2166136261u; // FNV-1a
    for (char c : bytes)
        hash = (hash ^ uchar(c)) * 16777619u;
    Recent::Entry& entry = m_recent->entries[hash % Recent::Size];
    if (entry.length != length || std::memcmp(entry.bytes, bytes.data(), size_t(length)) != 0 || entry.text.isNull()) {
        std::memcpy(entry.bytes, bytes.data(), size_t(length));
        entry.length = quint8(length);
        entry.text = fromEightBit(bytes.data(), length);
    }
    return entry.text;
}

void SVNStatusReader::add(QByteArrayView line)
{
    if (line.isEmpty())
        return;
    // The client's summaries are known by their text, never by coming last:
    // it leaves the "Status against revision:" line out in a folder scheduled
    // for addition, in one renamed or deleted in the repository, and when
    // the branch was deleted. An external's block and a changelist's block
    // hold entries again after a summary; a summary of conflicts ends them
    // as a summary line does.
    if (line.startsWith(s_externalBlock)) {
        m_skipping = false;
        return;
    }
    if (line.startsWith(s_changelistBlock)) {
        m_skipping = false;
        return;
    }
    if (m_skipping)
        return;
    if (line.startsWith(s_summaryLine) || line.startsWith(s_conflictSummary)) {
        m_skipping = true;
        return;
    }
    // An ignored item, listed only when it is named as the target, is as
    // unknown to the working copy as one that is not listed at all.
    if (isDetailLine(line) || line[0] == 'I')
        return;
    const qsizetype length = line.size();

    SVNFileStatus record;
    record.modified = line[0] == 'M' || line[0] == '!';
    record.locked = length > 5 && line[5] == 'K';
    record.outOfDate = length > 6 && line[6] == '*';
    record.statusColumns = text(line.first(qMin<qsizetype>(7, length)));

    qsizetype pos = qMin<qsizetype>(7, length);
    // Newer clients keep column 8 blank and put the out-of-date mark alone
    // in column 9; a working revision is never "*".
    if (length > 8 && line[7] == ' ' && line[8] == '*' && (length == 9 || isStatusSpace(line[9]))) {
        record.outOfDate = true;
        pos = 9;
    }
    QByteArrayView path;
    if (hasNoFields(line)) {
        // An item the working copy does not hold (unversioned, an incoming
        // addition, an external): no revisions, the name where the client puts it.
        path = line.sliced(s_nameColumn);
    } else if (line[0] == '?') {
        while (pos < length && isStatusSpace(line[pos]))
            ++pos;
        path = line.sliced(pos);
    } else {
        record.workingRevision = text(nextField(line, pos));
        record.lastChangedRevision = text(nextField(line, pos));
        if (inNameColumn(line)) {
            path = line.sliced(s_nameColumn); // the author may be empty, the name may start with blanks
        } else {
            path = pathAfterLongAuthor(line, pos);
        }
    }
    m_sink(path, record);
}

QByteArrayView SVNStatusReader::pathAfterLongAuthor(QByteArrayView line, qsizetype pos) const
{
    nextField(line, pos); // the author's first word
    QByteArrayView first;
    bool haveFirst = false;
    while (pos < line.size()) {
        while (pos < line.size() && isStatusSpace(line[pos]))
            ++pos;
        if (pos == line.size())
            break;
        const QByteArrayView candidate = line.sliced(pos);
        if (!haveFirst) {
            first = candidate;
            haveFirst = true;
        }
        if (!m_check)
            return first;
        if (m_check(fromEightBit(candidate.data(), candidate.size())))
            return candidate;
        while (pos < line.size() && !isStatusSpace(line[pos]))
            ++pos;
    }
    return first;
}
