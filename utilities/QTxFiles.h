#pragma once

#include <QDateTime>
#include <QDir>
#include <QString>
#include <QStringList>

/**
 * File and directory operations: thin, synchronous wrappers over the POSIX
 * file calls and QDir/QFile/QFileInfo. Each reports success only through its
 * result; none asks, prints or throws. Paths reach the system as Latin-1.
 */
namespace QTx {

/** unlink(); true when the file was removed (false for a missing file). */
bool removeFile(const QString& path);
/**
 * Sets (writeable true) or clears the owner-write bit (0200) of a file,
 * leaving every other bit alone. False, mode untouched, when the file cannot
 * be opened for reading or chmod fails.
 */
bool setWriteable(const QString& path, bool writeable);
// The remaining declarations are added with their implementation.

} // namespace QTx
