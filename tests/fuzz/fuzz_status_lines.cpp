// parseStatusOutput on arbitrary lines: never reads past a line, and every
// record it makes obeys the status line layout.

#include "FuzzSupport.h"
#include "SVNInterface.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SVNInterface* provider = new SVNInterface;
    const QString text = latin1Text(data, size);
    const QStringList lines = text.split(QLatin1Char('\n'));

    SVNDirectoryStatus records;
    provider->parseStatusOutput(&records, lines);

    FUZZ_CHECK(records.size() < size_t(lines.size()), "more records than lines before the last");
    for (const auto& [key, record] : records) {
        FUZZ_CHECK(record.statusColumns.size() <= 7, "more than seven status columns");
        const QChar first = record.statusColumns.isEmpty() ? QChar() : record.statusColumns.at(0);
        FUZZ_CHECK(first != QLatin1Char('?'), "an unversioned line made a record");
        FUZZ_CHECK(record.modified == (first == QLatin1Char('M') || first == QLatin1Char('!')),
                   "modified flag does not follow column 1");
        FUZZ_CHECK(record.locked == (record.statusColumns.size() >= 6 &&
                                     record.statusColumns.at(5) == QLatin1Char('K')),
                   "locked flag does not follow column 6");
        FUZZ_CHECK(record.outOfDate == (record.statusColumns.size() >= 7 &&
                                        record.statusColumns.at(6) == QLatin1Char('*')),
                   "out-of-date flag does not follow column 7");
        for (const QString* field : {&record.workingRevision, &record.lastChangedRevision})
            for (QChar c : *field)
                FUZZ_CHECK(c != QLatin1Char(' ') && c != QLatin1Char('\t'), "a revision holds whitespace");
    }
    // Parsing the same lines again into the same map changes nothing.
    SVNDirectoryStatus again = records;
    provider->parseStatusOutput(&again, lines);
    FUZZ_CHECK(again.size() == records.size(), "reparsing changed the key set");
    return 0;
}
