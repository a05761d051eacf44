#pragma once

#include <QString>

#include <cstring>
#include <map>

/** The state of one working-copy entry, read from one line of "svn status". */
struct SVNFileStatus
{
    bool modified = false;       ///< first status column is "M" or "!" (modified or missing)
    bool outOfDate = false;      ///< the out-of-date mark "*": alone in column 9 (column 7 in the older layout)
    bool locked = false;         ///< sixth status column is "K": locked in this working copy
    QString statusColumns;       ///< the first seven characters of the line, unchanged
    QString workingRevision;     ///< first field after the status columns
    QString lastChangedRevision; ///< second field after the status columns
};

/**
 * QString's own order (by UTF-16 code units), compared inline four units at
 * a time: a folder's lines come in no order, so filing each takes a dozen
 * comparisons of names that often share their start.
 */
struct SVNNameOrder
{
    bool operator()(const QString& a, const QString& b) const noexcept
    {
        const char16_t* p = reinterpret_cast<const char16_t*>(a.constData());
        const char16_t* q = reinterpret_cast<const char16_t*>(b.constData());
        const qsizetype common = a.size() < b.size() ? a.size() : b.size();
        qsizetype i = 0;
        for (; i + 4 <= common; i += 4) {
            quint64 x, y;
            std::memcpy(&x, p + i, sizeof x);
            std::memcpy(&y, q + i, sizeof y);
            if (x != y)
                break;
        }
        for (; i < common; ++i) {
            if (p[i] != q[i])
                return p[i] < q[i];
        }
        return a.size() < b.size();
    }
};

/** One directory's records, keyed by entry name as the client printed it. */
using SVNDirectoryStatus = std::map<QString, SVNFileStatus, SVNNameOrder>;
