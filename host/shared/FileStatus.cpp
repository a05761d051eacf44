#include "FileStatus.h"

bool queryStatus(SourceCodeControlSystemProviderInterface& provider,
                 const QStringList& pathParts, FileStatus& status)
{
    status = FileStatus();
    return provider.status(pathParts, status.controlled, status.checkedOut, status.modified,
                           status.outOfDate, status.statusText, status.revisionText,
                           status.lastChangedText);
}
