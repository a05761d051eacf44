// The status cache: reading "svn status" lines, per-directory caching, and the
// status query the host makes for every file it shows.

#include "SVNInterface.h"

#include "EightBit.h"
#include "SVNUrl.h"

#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <memory>

namespace {

// Lines are read as the client wrote them, one character per byte; the
// status columns and fields are ASCII, and the name is decoded last.
const QByteArrayView s_summaryLine("Status against revision:");
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
// its column.
bool hasNoFields(QByteArrayView line)
{
    if (line.size() <= s_nameColumn || line[s_nameColumn] == ' ')
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

// The status columns and revisions of a directory's lines repeat a lot;
// handing out shared copies of recent texts saves an allocation for each.
class RecentTexts
{
public:
    // The text of `bytes`; null when there are none.
    QString get(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return QString();
        for (const Entry& entry : m_entries)
            if (entry.bytes == bytes)
                return entry.text;
        Entry& entry = m_entries[m_next];
        m_next = (m_next + 1) % Size;
        entry.bytes = bytes.toByteArray();
        entry.text = fromEightBit(bytes.data(), bytes.size());
        return entry.text;
    }

private:
    struct Entry
    {
        QByteArray bytes;
        QString text;
    };
    static constexpr int Size = 8;
    Entry m_entries[Size];
    int m_next = 0;
};

// Reads status lines one at a time, as they come, holding each back until
// the next one arrives: the client ends with a summary line ("Status against
// revision: N"), which is never an entry, so the last line is not parsed.
class StatusLineReader
{
public:
    /**
     * Whether the folder the lines are about holds an entry of the name: it
     * settles which blank ends a last author of more than twelve characters.
     */
    using NameCheck = std::function<bool(const QString&)>;

    explicit StatusLineReader(SVNDirectoryStatus* records, NameCheck holds = NameCheck())
        : m_records(records), m_holds(std::move(holds)) {}

    void add(QByteArrayView line)
    {
        if (m_holding)
            parse(m_held);
        // Copied into the same buffer each time: no allocation per line.
        m_held.resize(line.size());
        if (!line.isEmpty())
            std::memcpy(m_held.data(), line.data(), size_t(line.size()));
        m_holding = true;
    }

private:
    void parse(QByteArrayView line);

    QString nameAfterLongAuthor(QByteArrayView line, qsizetype pos) const;

    SVNDirectoryStatus* m_records;
    NameCheck m_holds;
    RecentTexts m_recent;
    QByteArray m_held;
    bool m_holding = false;
    bool m_done = false;
};

void StatusLineReader::parse(QByteArrayView line)
{
    if (m_done || line.isEmpty() || line[0] == '?')
        return;
    // Newer clients follow the summary line with a summary of conflicts,
    // and a tree conflict's or a move's line with a detail line.
    if (line.startsWith(s_summaryLine)) {
        m_done = true;
        return;
    }
    if (isDetailLine(line))
        return;
    const qsizetype length = line.size();

    SVNFileStatus record;
    record.modified = line[0] == 'M' || line[0] == '!';
    record.locked = length > 5 && line[5] == 'K';
    record.outOfDate = length > 6 && line[6] == '*';
    record.statusColumns = m_recent.get(line.first(qMin<qsizetype>(7, length)));

    qsizetype pos = qMin<qsizetype>(7, length);
    // Newer clients keep column 8 blank and put the out-of-date mark alone
    // in column 9; a working revision is never "*".
    if (length > 8 && line[7] == ' ' && line[8] == '*' && (length == 9 || isStatusSpace(line[9]))) {
        record.outOfDate = true;
        pos = 9;
    }
    QString key;
    if (hasNoFields(line)) {
        // An item the working copy does not hold (an incoming addition, an
        // external): no revisions, the name where the client puts it.
        pos = s_nameColumn;
    } else {
        record.workingRevision = m_recent.get(nextField(line, pos));
        record.lastChangedRevision = m_recent.get(nextField(line, pos));
        if (inNameColumn(line)) {
            pos = s_nameColumn; // the author may be empty, the name may start with blanks
        } else {
            key = nameAfterLongAuthor(line, pos);
            pos = length;
        }
    }
    // The name is all the rest, spaces included.
    if (pos < length)
        key = fromEightBit(line.data() + pos, length - pos);
    m_records->insert_or_assign(std::move(key), std::move(record));
}

// The name after a last author that pushed it out of its column. Such an
// author may hold blanks too ("Release Engineering"), and so may the name:
// the name is the rest after the first blank run that the folder holds an
// entry of; the rest after the author's first word when none is held (or
// nobody can tell).
QString StatusLineReader::nameAfterLongAuthor(QByteArrayView line, qsizetype pos) const
{
    nextField(line, pos); // the author's first word
    QString first;
    while (pos < line.size()) {
        while (pos < line.size() && isStatusSpace(line[pos]))
            ++pos;
        if (pos == line.size())
            break;
        const QString candidate = fromEightBit(line.data() + pos, line.size() - pos);
        if (first.isNull())
            first = candidate;
        if (!m_holds || m_holds(candidate))
            return m_holds ? candidate : first;
        while (pos < line.size() && !isStatusSpace(line[pos]))
            ++pos;
    }
    return first;
}

} // namespace

void SVNInterface::parseStatusOutput(SVNDirectoryStatus* records, const QStringList& lines)
{
    StatusLineReader reader(records);
    for (const QString& line : lines)
        reader.add(toEightBit(line));
}

bool SVNInterface::folderHolds(const QString& directory, const QString& name)
{
    const QString path = directory + QLatin1Char('/') + name;
    struct stat st;
    return ::lstat(toEightBit(path).constData(), &st) == 0 || workingCopyLayout.inspectNode(path).known;
}

SVNFileStatus* SVNInterface::getFileStatus(const QStringList& pathParts)
{
    bool timedOut = false;
    return lookUpStatus(pathParts, timedOut);
}

SVNFileStatus* SVNInterface::lookUpStatus(const QStringList& pathParts, bool& timedOut)
{
    if (pathParts.isEmpty())
        return nullptr;
    const QString directory = getLocalDirectory(pathParts);
    auto entry = statusCache.find(directory);
    if (entry == statusCache.end()) {
        if (!isWorkingCopy(directory)) {
            // Remembered, so the directory is not tested again until refresh.
            statusCache.emplace(directory, nullptr);
            return nullptr;
        }
        // The lines are read as they come, while the client still runs; a
        // failed run throws them away, a repeated one starts afresh.
        auto records = std::make_unique<SVNDirectoryStatus>();
        const StatusLineReader::NameCheck holds = [this, &directory](const QString& name) {
            return folderHolds(directory, name);
        };
        std::unique_ptr<StatusLineReader> reader = std::make_unique<StatusLineReader>(records.get(), holds);
        SVNOutput output;
        output.observer = [&reader](QByteArrayView line) { reader->add(line); };
        output.restart = [&] {
            records->clear();
            reader = std::make_unique<StatusLineReader>(records.get(), holds);
        };
        const SVNRunResult result = run(SVNCommands::folderStatus(directory), output);
        if (!result.succeeded()) {
            timedOut = result.end == SVNRunResult::End::TimedOut;
            return nullptr;
        }
        entry = statusCache.emplace(directory, nullptr).first;
        entry->second = records.release();
    }
    if (!entry->second)
        return nullptr;
    auto record = entry->second->find(pathParts.last());
    return record == entry->second->end() ? nullptr : &record->second;
}

bool SVNInterface::saved(const QStringList& pathParts)
try {
    if (pathParts.isEmpty())
        return false;
    const QString directory = getLocalDirectory(pathParts);
    auto entry = statusCache.find(directory);
    if (entry == statusCache.end())
        return true; // nothing cached here, so nothing can be stale
    QStringList output;
    if (run(SVNCommands::fileStatus(directory, pathParts.last()), output)) {
        if (!entry->second)
            entry->second = new SVNDirectoryStatus;
        SVNDirectoryStatus answer;
        StatusLineReader reader(&answer, [this, &directory](const QString& name) {
            return folderHolds(directory, name);
        });
        for (const QString& line : output)
            reader.add(toEightBit(line));
        // Records are overwritten in place, so pointers to them stay valid;
        // a file the client no longer lists (deleted and committed,
        // unversioned again) loses its record.
        for (auto& record : answer)
            (*entry->second)[record.first] = std::move(record.second);
        if (answer.find(pathParts.last()) == answer.end())
            entry->second->erase(pathParts.last());
    }
    return true;
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::status(const QStringList& pathParts, bool& controlled, bool& checkedOut,
                          bool& modified, bool& outOfDate, QString& statusText,
                          QString& revisionText, QString& lastChangedText)
try {
    controlled = false;
    if (pathParts.isEmpty())
        return false;
    bool timedOut = false;
    const SVNFileStatus* record = lookUpStatus(pathParts, timedOut);
    if (timedOut)
        return false; // a client that hung there would hang on the repository too
    if (record) {
        controlled = true;
        checkedOut = record->locked;
        modified = record->modified;
        outOfDate = record->outOfDate;
        statusText = record->statusColumns;
        revisionText = record->workingRevision;
        lastChangedText = record->lastChangedRevision;
        return true;
    }

    // No local record: the file may still exist in the repository.
    if (!run(SVNCommands::info(SVNUrl::join(rootURL, pathParts))))
        return false;
    controlled = true;
    checkedOut = false;
    modified = true;
    outOfDate = true;
    statusText = QStringLiteral("missing");
    revisionText = QStringLiteral("fixme");
    return true;
} catch (...) {
    return false; // out of memory: no exception may reach the host
}
