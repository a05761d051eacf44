#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QByteArray>
#include <QString>

/**
 * @file
 * The 8-bit conversion between QString and the bytes the system uses.
 */

/**
 * The 8-bit conversion used wherever text meets the system: program
 * arguments, output lines, and every path handed to or read back from it.
 *
 * It is UTF-8, made lossless: a byte that does not belong to a valid UTF-8
 * sequence decodes to the lone surrogate U+DC80 + byte (U+DC80..U+DCFF), and
 * encoding turns such a surrogate back into that byte. Bytes therefore
 * survive a decode-encode round trip unchanged, so a file name that is not
 * valid UTF-8 still names the same file. Valid text converts exactly as
 * QString::fromUtf8() and toUtf8() do. A lone surrogate outside
 * U+DC80..U+DCFF (which no decode produces) is encoded as its three-byte
 * form, so two different strings never encode to the same bytes.
 */
SVNSCC_UTILITIES_EXPORT QByteArray toEightBit(const QString& text);

/** Decodes `size` bytes at `data`; an empty input gives an empty (not null) string. */
SVNSCC_UTILITIES_EXPORT QString fromEightBit(const char* data, qsizetype size);
/** Decodes a NUL-terminated string; a null pointer gives a null string. */
SVNSCC_UTILITIES_EXPORT QString fromEightBit(const char* text);
/** Decodes the bytes of @p bytes, as fromEightBit(const char*, qsizetype) does. */
inline QString fromEightBit(const QByteArray& bytes)
{
    return fromEightBit(bytes.constData(), bytes.size());
}
