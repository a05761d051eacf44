// SVNStatusReader on the raw bytes a client may write (not UTF-8, CR and
// NUL included), cut at "\n" alone. Each line is handed over in a buffer of
// its own, exactly as long as the line, so that a read past its end is an
// AddressSanitizer error; every path the reader hands on lies inside its
// line; each record's status columns are the line's first seven bytes; and
// the same bytes read a second time by the same reader (after a changelist's
// header, which ends any skipping) give the same paths and records, whatever
// the reader kept from the first time.

#include "EightBit.h"
#include "FuzzSupport.h"
#include "SVNStatusReader.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct Entry
{
    QByteArray path;
    SVNFileStatus record;
    QByteArrayView line;
};

bool operator==(const SVNFileStatus& a, const SVNFileStatus& b)
{
    return a.modified == b.modified && a.outOfDate == b.outOfDate && a.locked == b.locked
        && a.statusColumns == b.statusColumns && a.workingRevision == b.workingRevision
        && a.lastChangedRevision == b.lastChangedRevision;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::unique_ptr<char[]>> buffers;
    std::vector<QByteArrayView> lines;
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != '\n')
            continue;
        const size_t length = i - start;
        buffers.emplace_back(new char[length]);
        std::copy(data + start, data + i, buffers.back().get());
        lines.emplace_back(buffers.back().get(), qsizetype(length));
        start = i + 1;
    }

    std::vector<Entry> entries;
    QByteArrayView current;
    SVNStatusReader reader([&](QByteArrayView path, SVNFileStatus& record) {
        const bool inside = path.data() >= current.data() && path.end() <= current.end();
        FUZZ_CHECK(path.isEmpty() || inside, "a path outside its line");
        entries.push_back({path.toByteArray(), record, current});
    });
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            reader.add("--- Changelist 'again':");
        for (QByteArrayView line : lines) {
            current = line;
            reader.add(line);
        }
    }

    FUZZ_CHECK(entries.size() % 2 == 0, "the second reading gave another number of entries");
    const size_t half = entries.size() / 2;
    for (size_t i = 0; i < half; ++i) {
        const Entry& first = entries[i];
        const Entry& second = entries[half + i];
        FUZZ_CHECK(first.line.data() == second.line.data(), "the second reading took its entries from other lines");
        FUZZ_CHECK(first.path == second.path && first.record == second.record,
                   "the second reading gave another path or record");
        const QByteArrayView columns = first.line.first(qMin<qsizetype>(7, first.line.size()));
        FUZZ_CHECK(first.record.statusColumns == fromEightBit(columns.data(), columns.size()),
                   "the status columns are not the line's first seven bytes");
    }
    return 0;
}
