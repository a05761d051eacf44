// SVNStatusReader on arbitrary lines of text, filed by name as a folder's
// status run files them: never reads past a line, and every record it makes
// obeys the status line layout of the line it came from.

#include "EightBit.h"
#include "FuzzSupport.h"
#include "SVNStatusReader.h"

#include <QStringList>

namespace {

// Reads `lines` into `records` by name; a later line with the same name
// replaces the earlier record.
void readInto(SVNDirectoryStatus* records, const QStringList& lines)
{
    SVNStatusReader reader([records](QByteArrayView path, SVNFileStatus& record) {
        records->insert_or_assign(fromEightBit(path.data(), path.size()), record);
    });
    for (const QString& line : lines)
        reader.add(toEightBit(line));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList lines = latin1Text(data, size).split(QLatin1Char('\n'));

    SVNDirectoryStatus records;
    readInto(&records, lines);
    // A summary is known by its text, not by coming last: every line may be an entry.
    FUZZ_CHECK(records.size() <= size_t(lines.size()), "more records than lines");
    // Reading the same lines again into the same map changes nothing.
    SVNDirectoryStatus again = records;
    readInto(&again, lines);
    FUZZ_CHECK(again.size() == records.size(), "reading again changed the key set");

    // Each line alone, before a summary line: the flags follow its columns
    // (the out-of-date mark in column 7, or alone in column 9 behind a blank
    // column 8), as the client's bytes have them.
    for (const QString& line : lines) {
        SVNDirectoryStatus one;
        readInto(&one, {line, QStringLiteral("Status against revision: 1")});
        if (one.empty())
            continue;
        const SVNFileStatus& record = one.begin()->second;
        const QByteArray bytes = toEightBit(line);
        auto at = [&](qsizetype i) { return i < bytes.size() ? bytes.at(i) : '\0'; };
        auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
        FUZZ_CHECK(at(0) != '?' || (record.workingRevision.isNull() && record.lastChangedRevision.isNull()),
                   "an unversioned line's record has revisions");
        FUZZ_CHECK(record.statusColumns.size() <= 7, "more than seven status columns");
        FUZZ_CHECK(record.modified == (at(0) == 'M' || at(0) == '!'), "modified flag does not follow column 1");
        FUZZ_CHECK(record.locked == (at(5) == 'K'), "locked flag does not follow column 6");
        const bool ninth = at(7) == ' ' && at(8) == '*' && (bytes.size() == 9 || blank(at(9)));
        FUZZ_CHECK(record.outOfDate == (at(6) == '*' || ninth), "out-of-date flag follows neither column 7 nor 9");
        for (const QString* field : {&record.workingRevision, &record.lastChangedRevision})
            for (QChar c : *field)
                FUZZ_CHECK(c != QLatin1Char(' ') && c != QLatin1Char('\t'), "a revision holds whitespace");
    }
    return 0;
}
