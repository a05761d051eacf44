#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QString>

/**
 * A compressed file format of our own: an 8-byte mark, then exactly what
 * qCompress returns for the whole file (the uncompressed length as an
 * unsigned 32-bit big-endian number, then one zlib stream).
 *
 *   offset 0   7A F4 31 B2 01 00 00 00   the mark, compared as raw bytes
 *   offset 8   uncompressed length, big-endian
 *   offset 12  zlib stream (RFC 1950, default level)
 *
 * Files are read and written through stdio with the path's 8-bit form (toEightBit()).
 * Failure is reported only through the result; every file opened is closed
 * on every path out. The whole file is held in memory twice.
 */
namespace QTx {

/**
 * @return true when the file at @p path starts with the 8-byte mark; false
 *         for a missing or unreadable file or one shorter than 8 bytes.
 */
SVNSCC_UTILITIES_EXPORT bool isCompressedFile(const QString& path);

/**
 * Writes @p destination as the compressed form of @p source (created or
 * truncated).
 * @return true when the destination was written completely. False when the
 *         source cannot be opened or read (an empty source counts as
 *         unreadable, and then nothing is written), when the destination
 *         cannot be opened, or when a write is short (the destination then
 *         stays as far as it was written).
 */
SVNSCC_UTILITIES_EXPORT bool compressFile(const QString& source, const QString& destination);

/**
 * Writes @p destination as the uncompressed contents of the compressed file
 * @p source (created or truncated).
 * @return true when the destination was written completely. False, without
 *         touching the destination, when the source cannot be opened, lacks
 *         the mark or has nothing after it. False with the destination left
 *         created and empty when the stream is damaged (the toolkit may print
 *         a warning), claims a length deflate could not have produced from
 *         it, or decompresses to nothing.
 */
SVNSCC_UTILITIES_EXPORT bool decompressFile(const QString& source, const QString& destination);

} // namespace QTx
