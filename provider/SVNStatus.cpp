// The status cache: reading "svn status" lines, per-directory caching, and the
// status query the host makes for every file it shows.

#include "SVNInterface.h"

#include "EightBit.h"

#include <cstring>
#include <memory>

namespace {

// Lines are read as the client wrote them, one character per byte; the
// status columns and fields are ASCII, and the name is decoded last.
const QByteArrayView s_summaryLine("Status against revision:");
const QByteArrayView s_treeConflictDetail("      >");
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
    explicit StatusLineReader(SVNDirectoryStatus* records) : m_records(records) {}

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

    SVNDirectoryStatus* m_records;
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
    // and a tree conflict's line with a detail line ("      >   ...").
    if (line.startsWith(s_summaryLine)) {
        m_done = true;
        return;
    }
    if (line.startsWith(s_treeConflictDetail))
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
            nextField(line, pos); // the last author: not kept
            while (pos < length && isStatusSpace(line[pos]))
                ++pos;
        }
    }
    // The name is all the rest, spaces included.
    if (pos < length)
        key = fromEightBit(line.data() + pos, length - pos);
    m_records->insert_or_assign(std::move(key), std::move(record));
}

} // namespace

void SVNInterface::parseStatusOutput(SVNDirectoryStatus* records, const QStringList& lines)
{
    StatusLineReader reader(records);
    for (const QString& line : lines)
        reader.add(toEightBit(line));
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
        std::unique_ptr<StatusLineReader> reader = std::make_unique<StatusLineReader>(records.get());
        SVNOutput output;
        output.observer = [&reader](QByteArrayView line) { reader->add(line); };
        output.restart = [&] {
            records->clear();
            reader = std::make_unique<StatusLineReader>(records.get());
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
        parseStatusOutput(entry->second, output);
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
    if (!run(SVNCommands::info(rootURL + QLatin1Char('/') + pathParts.join(QLatin1Char('/')))))
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
