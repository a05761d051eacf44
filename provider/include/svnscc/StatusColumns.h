#pragma once

/**
 * @file
 * What the client's seven status columns say (statusText of status(),
 * Change::statusColumns, the session's Status::columns): one reading of
 * them for the provider, the session and IDE code. The meaning of each
 * column is listed in SourceCodeControlSystemProviderInterface.h.
 */

#include <QByteArrayView>
#include <QString>

namespace SourceCodeControl {

/** Questions about one item's seven status columns, as the client prints them. */
namespace StatusColumns {

/** The character in @p column (0 is the first), a blank past the end. */
inline char16_t at(const QString& columns, int column)
{
    return column < columns.size() ? columns.at(column).unicode() : u' ';
}

/** As above, for the columns as the client's bytes (the columns are ASCII; any other byte is no letter). */
inline char16_t at(QByteArrayView columns, int column)
{
    return column < columns.size() ? char16_t(uchar(columns.at(column))) : u' ';
}

/** Under version control: the client lists it, and neither as unversioned ("?") nor as ignored ("I"). */
template <typename Columns>
inline bool isVersioned(const Columns& columns)
{
    return !columns.isEmpty() && at(columns, 0) != u'?' && at(columns, 0) != u'I';
}

/** Changed or missing on disk: "M" or "!" in the first column. */
template <typename Columns>
inline bool isModified(const Columns& columns)
{
    return at(columns, 0) == u'M' || at(columns, 0) == u'!';
}

/** Locked in this working copy: "K" in the sixth column. */
template <typename Columns>
inline bool isLockedHere(const Columns& columns)
{
    return at(columns, 5) == u'K';
}

/**
 * A repository lock only the server can tell of: held by someone else
 * ("O"), taken from this working copy ("T") or broken ("B"), in the sixth
 * column.
 */
template <typename Columns>
inline bool hasServersLock(const Columns& columns)
{
    const char16_t lock = at(columns, 5);
    return lock == u'O' || lock == u'T' || lock == u'B';
}

/**
 * The columns as a run that does not ask the server shows them: a lock only
 * the server tells of is blank there. Empty when no column is left that a
 * plain "svn status" would list the item for.
 */
inline QString withoutServersLock(const QString& columns)
{
    QString local = columns;
    if (hasServersLock(local))
        local[5] = QChar(u' ');
    return local.trimmed().isEmpty() ? QString() : local;
}

} // namespace StatusColumns

} // namespace SourceCodeControl
