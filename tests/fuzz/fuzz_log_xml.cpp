// SVNLogEntry::parse on arbitrary bytes as "svn log --xml --verbose" text:
// no crash and no leak; a text that is not well formed gives no entries;
// the same bytes give the same entries again; every changed path is its
// action, a blank and the path; a date is UTC or invalid.

#include "FuzzSupport.h"
#include "SVNLogEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto same = [](const SVNLogEntry& a, const SVNLogEntry& b) {
        return a.revision == b.revision && a.author == b.author && a.date == b.date && a.message == b.message
            && a.changedPaths == b.changedPaths;
    };
    const QByteArray xml(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const SVNLogEntry& entry : readTwice(&SVNLogEntry::parse, xml, same)) {
        FUZZ_CHECK(!entry.date.isValid() || entry.date.offsetFromUtc() == 0, "a date that is not UTC");
        for (const QString& path : entry.changedPaths)
            FUZZ_CHECK(path.contains(QLatin1Char(' ')), "a changed path without its action");
    }
    return 0;
}
