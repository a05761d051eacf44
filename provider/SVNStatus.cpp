// The status cache: reading "svn status" lines, per-directory caching, and the
// status query the host makes for every file it shows.

#include "SVNInterface.h"

#include <memory>

namespace {

const QLatin1String s_summaryLine("Status against revision:");
const QLatin1String s_treeConflictDetail("      >");
// Where a newer client starts the name when the fields before it are blank.
const qsizetype s_nameColumn = 41;

// The isspace() set of the POSIX locale.
bool isStatusSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || (u >= '\t' && u <= '\r');
}

// Moves `pos` over a run of whitespace, then returns the run of
// non-whitespace after it (null when the line ends first).
QString nextField(const QString& line, qsizetype& pos)
{
    const qsizetype length = line.size();
    while (pos < length && isStatusSpace(line[pos]))
        ++pos;
    const qsizetype start = pos;
    while (pos < length && !isStatusSpace(line[pos]))
        ++pos;
    return pos > start ? line.mid(start, pos - start) : QString();
}

// A line whose revision and author fields are all blank, with the name in
// its column.
bool hasNoFields(const QString& line)
{
    if (line.size() <= s_nameColumn || line[s_nameColumn] == QLatin1Char(' '))
        return false;
    for (qsizetype i = 7; i < s_nameColumn; ++i)
        if (line[i] != QLatin1Char(' ') && !(i == 8 && line[i] == QLatin1Char('*')))
            return false;
    return true;
}

} // namespace

void SVNInterface::parseStatusOutput(SVNDirectoryStatus* records, const QStringList& lines)
{
    // The client ends with a summary line ("Status against revision: N"),
    // which is never an entry: the last line is not parsed.
    for (qsizetype n = 0; n + 1 < lines.size(); ++n) {
        const QString& line = lines[n];
        if (line.isEmpty() || line[0] == QLatin1Char('?'))
            continue;
        // Newer clients follow the summary line with a summary of conflicts,
        // and a tree conflict's line with a detail line ("      >   ...").
        if (line.startsWith(s_summaryLine))
            break;
        if (line.startsWith(s_treeConflictDetail))
            continue;
        const qsizetype length = line.size();

        SVNFileStatus record;
        record.modified = line[0] == QLatin1Char('M') || line[0] == QLatin1Char('!');
        record.locked = length > 5 && line[5] == QLatin1Char('K');
        record.outOfDate = length > 6 && line[6] == QLatin1Char('*');
        record.statusColumns = line.left(7);

        qsizetype pos = qMin<qsizetype>(7, length);
        // Newer clients keep column 8 blank and put the out-of-date mark
        // alone in column 9; a working revision is never "*".
        if (length > 8 && line[7] == QLatin1Char(' ') && line[8] == QLatin1Char('*')
            && (length == 9 || isStatusSpace(line[9]))) {
            record.outOfDate = true;
            pos = 9;
        }
        QString key;
        if (hasNoFields(line)) {
            // An item the working copy does not hold (an incoming addition,
            // an external): no revisions, the name where the client puts it.
            key = line.mid(s_nameColumn);
        } else {
            record.workingRevision = nextField(line, pos);
            record.lastChangedRevision = nextField(line, pos);
            nextField(line, pos); // the last author: not kept
            while (pos < length && isStatusSpace(line[pos]))
                ++pos;
            // The name is all the rest, spaces included.
            if (pos < length)
                key = line.mid(pos);
        }
        (*records)[key] = record;
    }
}

SVNFileStatus* SVNInterface::getFileStatus(const QStringList& pathParts)
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
        QStringList output;
        if (!executeSVNCommand(QStringLiteral("status"),
                               {QStringLiteral("--non-recursive"), QStringLiteral("--show-updates"),
                                QStringLiteral("--verbose")},
                               directory, QString(), output))
            return nullptr;
        auto records = std::make_unique<SVNDirectoryStatus>();
        parseStatusOutput(records.get(), output);
        entry = statusCache.emplace(directory, records.release()).first;
    }
    if (!entry->second)
        return nullptr;
    auto record = entry->second->find(pathParts.last());
    return record == entry->second->end() ? nullptr : &record->second;
}

bool SVNInterface::saved(const QStringList& pathParts)
{
    if (pathParts.isEmpty())
        return false;
    const QString directory = getLocalDirectory(pathParts);
    auto entry = statusCache.find(directory);
    if (entry == statusCache.end())
        return true; // nothing cached here, so nothing can be stale
    QStringList output;
    if (executeSVNCommand(QStringLiteral("status"),
                          {QStringLiteral("--show-updates"), QStringLiteral("--verbose")},
                          directory, pathParts.last(), output)) {
        if (!entry->second)
            entry->second = new SVNDirectoryStatus;
        parseStatusOutput(entry->second, output);
    }
    return true;
}

bool SVNInterface::status(const QStringList& pathParts, bool& controlled, bool& checkedOut,
                          bool& modified, bool& outOfDate, QString& statusText,
                          QString& revisionText, QString& lastChangedText)
{
    controlled = false;
    if (pathParts.isEmpty())
        return false;
    if (const SVNFileStatus* record = getFileStatus(pathParts)) {
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
    QStringList output;
    const QString url = rootURL + QLatin1Char('/') + pathParts.join(QLatin1Char('/'));
    if (!executeSVNCommand(QStringLiteral("info"), {}, QString(), url, output))
        return false;
    controlled = true;
    checkedOut = false;
    modified = true;
    outOfDate = true;
    statusText = QStringLiteral("missing");
    revisionText = QStringLiteral("fixme");
    return true;
}
