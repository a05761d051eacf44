#pragma once

#include "FileStatus.h"

#include <QString>

/**
 * One entry of the svn client's own "status --show-updates --verbose"
 * answer, read the way the client prints it: seven status columns, column 8
 * blank, the out-of-date mark in column 9, then working revision, last
 * changed revision, author and name.
 */
struct ClientStatus
{
    bool listed = false;           ///< the client printed a line for the file ("?" for an unversioned one)
    QString columns;               ///< columns 1 to 7
    bool outOfDate = false;        ///< "*" in column 9
    QString workingRevision;
    QString lastChangedRevision;
};

/**
 * Asks the client `svnExecutable` (messages untranslated, names in UTF-8)
 * for the status of `name` in `directory`, adding `options` (credentials,
 * for example) to its command line. `error` gets the client's complaint
 * when it fails; the result is then not listed.
 */
ClientStatus clientStatus(const QString& svnExecutable, const QString& directory,
                          const QString& name, const QStringList& options = {},
                          QString* error = nullptr);

/**
 * How the provider's seven outputs differ from what the client says of the
 * same file; empty when they agree. A file the client lists must be
 * controlled (not for "?"), with the same columns, revisions, out-of-date
 * mark, modified ("M" or "!" in column 1) and checked-out ("K" in column 6)
 * state.
 */
QString differenceFromClient(const FileStatus& status, const ClientStatus& client);
