#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QString>

/**
 * Where the application is installed and where the usual per-user and system
 * directories are. None of these checks that a directory exists.
 * Environment values are decoded with fromEightBit().
 */
namespace QTx {

/**
 * Records, once at start, the canonical directory holding the executable and
 * the installation root @p levels directories above it. Calling it again
 * replaces both. Not thread-safe against readers.
 * @param path   path of the executable as in the first program argument; a
 *               symbolic link is not followed, but links in the path of its
 *               directory are resolved.
 * @param levels 0 or more: 0 makes the root the executable's directory.
 * A directory that does not exist is recorded as an empty string.
 */
SVNSCC_UTILITIES_EXPORT void setApplicationPath(const char* path, int levels);
/** The executable's directory as recorded; null before setApplicationPath. */
SVNSCC_UTILITIES_EXPORT QString applicationDirectory();
/** The installation root as recorded; null before setApplicationPath. */
SVNSCC_UTILITIES_EXPORT QString rootDirectory();

/** The first program argument as the QApplication holds it, unchanged (null
 *  when there is none). Needs the application object. */
SVNSCC_UTILITIES_EXPORT QString appPath();
/** The absolute directory part of appPath(), resolved against the current
 *  directory. Needs the application object. */
SVNSCC_UTILITIES_EXPORT QString appDir();
/** "/" */
SVNSCC_UTILITIES_EXPORT QString osDir();
/** "/" */
SVNSCC_UTILITIES_EXPORT QString osRoot();

/**
 * The value of the first of TMP, TEMP and TMPDIR that is set, in that order
 * (a variable set to the empty string counts and gives ""); "/tmp" when none
 * is set.
 */
SVNSCC_UTILITIES_EXPORT QString tmpDir();

/** The value of HOME; a null string when it is not set. */
SVNSCC_UTILITIES_EXPORT QString userHomeDirectory();
/** HOME + "/Documents" (just "/Documents" when HOME is not set). */
SVNSCC_UTILITIES_EXPORT QString userDocumentsDirectory();
/** HOME + "/Desktop" (just "/Desktop" when HOME is not set). */
SVNSCC_UTILITIES_EXPORT QString userDesktopDirectory();
/**
 * HOME + "/." + @p applicationName in lower case, with every space of the
 * whole result (also those in HOME) replaced by "_": "My Editor" with HOME
 * /home/ann gives "/home/ann/.my_editor".
 */
SVNSCC_UTILITIES_EXPORT QString userLocalAppDataDirectory(const QString& applicationName);
/** Always the empty (not null) string on this platform. */
SVNSCC_UTILITIES_EXPORT QString userRoamingAppDataDirectory(const QString& applicationName);

} // namespace QTx
