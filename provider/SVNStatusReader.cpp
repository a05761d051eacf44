#include "SVNStatusReader.h"

#include "EightBit.h"

#include <svnscc/StatusColumns.h>
#include "SVNItemLine.h"

#include <cstring>

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
    SVNItemLine::StatusLine entry = SVNItemLine::readStatus(line, SVNItemLine::StatusForm::Verbose);
    // An ignored item, listed only when it is named as the target, is as
    // unknown to the working copy as one that is not listed at all.
    if (entry.kind != SVNItemLine::StatusKind::Entry || line[0] == 'I')
        return;
    if (entry.nameAfterLongAuthor && m_check) {
        for (QByteArrayView name = entry.name; !name.isEmpty(); name = SVNItemLine::nextName(line, name)) {
            if (m_check(fromEightBit(name.data(), name.size()))) {
                entry.name = name;
                break;
            }
        }
    }
    const QByteArrayView columns = entry.columns;
    SVNFileStatus record;
    // The flags from the client's bytes: a byte that is no letter never
    // shifts a column, as a decoded character might.
    record.modified = SourceCodeControl::StatusColumns::isModified(columns);
    record.locked = SourceCodeControl::StatusColumns::isLockedHere(columns);
    record.outOfDate = entry.outOfDate;
    record.statusColumns = text(columns);
    record.workingRevision = text(entry.workingRevision);
    record.lastChangedRevision = text(entry.lastChangedRevision);
    m_sink(entry.name, record);
}
