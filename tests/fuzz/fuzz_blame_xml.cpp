// SVNBlameEntry::parse on arbitrary bytes as "svn blame --xml" text: no
// crash and no leak; a text that is not well formed gives no entries; the
// same bytes give the same entries again; a date is UTC or invalid.

#include "FuzzSupport.h"
#include "SVNLogEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto same = [](const SVNBlameEntry& a, const SVNBlameEntry& b) {
        return a.line == b.line && a.revision == b.revision && a.author == b.author && a.date == b.date;
    };
    const QByteArray xml(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const SVNBlameEntry& line : readTwice(&SVNBlameEntry::parse, xml, same))
        FUZZ_CHECK(!line.date.isValid() || line.date.offsetFromUtc() == 0, "a date that is not UTC");
    return 0;
}
