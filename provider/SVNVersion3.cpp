// The slots of version 3 that are the provider's news and the client's
// questions.

#include "SVNCredentialStore.h"
#include "SVNInterface.h"

using namespace SourceCodeControl;

void SVNInterface::setPromptHandler(SourceCodeControlSystemPromptHandler* handler)
{
    client.setPromptHandler(handler);
}

bool SVNInterface::forgetCredentials(const QString& realm)
{
    return guarded([&] {
        QString problem;
        if (SVNCredentialStore::forget(realm, problem))
            return true;
        setLastError(QStringLiteral("forgetCredentials"), problem);
        return false;
    });
}

bool SVNInterface::isOffline()
{
    return statusPass.anyOffline();
}

void SVNInterface::setCommandLogHandler(CommandLogHandler handler, void* context)
{
    client.log().setHandler(handler, context);
}
