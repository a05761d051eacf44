#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface.h>

#include <QString>
#include <QStringList>

/** The seven outputs of the provider's status operation for one file. */
struct FileStatus
{
    bool controlled = false;
    bool checkedOut = false;
    bool modified = false;
    bool outOfDate = false;
    QString statusText;
    QString revisionText;
    QString lastChangedText;
};

/**
 * Asks `provider` for the status of the file named by `pathParts` and stores
 * the seven outputs in `status` (which is reset first, so outputs that the
 * provider leaves alone read as false or null). Returns the provider's result.
 */
bool queryStatus(SourceCodeControlSystemProviderInterface& provider,
                 const QStringList& pathParts, FileStatus& status);
