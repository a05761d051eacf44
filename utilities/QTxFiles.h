#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QDateTime>
#include <QDir>
#include <QString>
#include <QStringList>

/**
 * File and directory operations: thin, synchronous wrappers over the POSIX
 * file calls and QDir/QFile/QFileInfo. Each reports success only through its
 * result; none asks, prints or throws, and errno is left as the failing call
 * set it. Paths reach the system in their 8-bit form (toEightBit()). Every
 * file a function opens is closed before it returns.
 *
 * Directory listings here sort names ignoring case, list directories, files
 * and drives, and leave hidden entries out.
 */
namespace QTx {

/**
 * Removes the file @p path (unlink). True when it was removed; false for a
 * missing file or any other failure.
 */
SVNSCC_UTILITIES_EXPORT bool removeFile(const QString& path);

/**
 * Sets (@p writeable true) or clears the owner-write bit (0200) of a file,
 * leaving every other bit alone (group and other write included). False,
 * mode untouched, when the file cannot be opened for reading; otherwise the
 * result of the chmod.
 */
SVNSCC_UTILITIES_EXPORT bool setWriteable(const QString& path, bool writeable);

/** Removes the directory @p path (rmdir); true on success, so only an empty one goes. */
SVNSCC_UTILITIES_EXPORT bool removeDir(const QString& path);

/** Changes the process's working directory to @p path; true on success. */
SVNSCC_UTILITIES_EXPORT bool changeDir(const QString& path);

/**
 * The parent of @p dir: its absolute path up to (not including) the last "/".
 * For a directory just below the root this text is empty, which QDir takes
 * as the working directory.
 */
SVNSCC_UTILITIES_EXPORT QDir parentDir(QDir dir);

/**
 * Makes @p dir and any missing parents, outermost first. True when the
 * directory already existed (nothing is made then) or the last mkdir
 * succeeded; false for a missing root or when the directory cannot be made
 * (e.g. a regular file stands in the way). Parents made before a failure stay.
 */
SVNSCC_UTILITIES_EXPORT bool makeDir(QDir dir);

/** makeDir() on a QDir of @p path. */
SVNSCC_UTILITIES_EXPORT bool makeDir(QString path);

/**
 * Copies a file.
 * @param source  the file to copy.
 * @param destination  an existing directory (the copy gets the source's file
 *        name inside it) or the target file's path; an existing target is
 *        truncated and overwritten without asking.
 * @param createDirectories  when true, the directory part of @p destination
 *        as given is made first (see makeDir()); its failure is ignored here.
 * The copy gets the source's access and modification times (whole seconds)
 * and the source's permission bits less the process's file-creation mask.
 * Returns true when all bytes were copied; false when the source is missing
 * (then no directory is made), when source and target are the same file
 * (nothing is touched), when either file cannot be opened, or on a read or
 * write error, which leaves the partly written target behind.
 */
SVNSCC_UTILITIES_EXPORT bool copyFile(const QString& source, const QString& destination,
                                      bool createDirectories);

/**
 * Copies the tree below the directory @p source into the existing directory
 * @p destination: subdirectories are made as needed, files copied with
 * copyFile(); hidden entries and entries that are neither directories nor
 * regular files are skipped. False when either is missing or not a
 * directory (the destination is never made here), when a subdirectory's
 * name is taken in the destination by something that is not a directory or
 * cannot be made, or when any copy fails. False too, copying nothing, when
 * the destination is the source or lies inside it. Whatever was copied
 * before a failure stays.
 */
SVNSCC_UTILITIES_EXPORT bool copyDir(const QString& source, const QString& destination);

/**
 * Writes a new file (an existing one is truncated): @p size bytes from
 * @p data (continued after a short write or a signal; a failure to write
 * does not change the result). The file is created with
 * mode 0600 less the creation mask; its access and modification times are
 * set to @p time (seconds since the epoch); when @p readOnly is true the
 * owner-write bit is cleared afterwards. The path is used in its 8-bit form.
 * Returns true when the file could be opened for writing, false otherwise.
 */
SVNSCC_UTILITIES_EXPORT bool createFile(const QString& path, unsigned int size, unsigned char* data,
                                        bool readOnly, long time);

/**
 * The modification time of @p path broken into UTC calendar fields and read
 * back as local time: the time moved by the local zone's offset from UTC
 * (smaller in a zone east of UTC), without daylight-saving adjustment.
 * 0 when the file cannot be examined.
 */
SVNSCC_UTILITIES_EXPORT long getUTCModificationTime(const QString& path);

/** Setting a file's times is not supported on this platform: always false, nothing changed. */
SVNSCC_UTILITIES_EXPORT bool setFileTimes(const QString& path, const QDateTime& created,
                                          const QDateTime& accessed, const QDateTime& modified);

/**
 * True when both files exist, have the same size and hold the same bytes
 * (two empty files match). False when either is missing or cannot be read.
 */
SVNSCC_UTILITIES_EXPORT bool filesMatch(const QString& first, const QString& second);

/**
 * Tidies @p path in place: every "\" becomes "/", then one trailing "/" is
 * removed ("/" becomes the empty string; a path ending in "//" keeps one).
 */
SVNSCC_UTILITIES_EXPORT void formatPath(QString& path);

/** formatPath() applied to @p path, made absolute first when @p makeAbsolute is true. */
SVNSCC_UTILITIES_EXPORT QString simplifyPath(const QString& path, bool makeAbsolute);

/** The path with the capitalisation the file system uses: on this platform @p path unchanged. */
SVNSCC_UTILITIES_EXPORT QString correctPathCapitalisation(const QString& path);

/**
 * Appends to @p result the absolute path of every regular file below
 * @p directory, at any depth, whose extension (the text after the last "."
 * of its name) equals @p extension exactly, case-sensitively. Hidden files
 * and directories are not searched. Matches come in listing order, depth
 * first; @p result is never cleared.
 */
SVNSCC_UTILITIES_EXPORT void findFiles(QString directory, const QString& extension,
                                       QStringList& result);

} // namespace QTx
