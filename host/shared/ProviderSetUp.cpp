#include "ProviderSetUp.h"

#include "HostOptions.h"
#include <svnscc/SourceCodeControlSystemProviderInterface.h>

#include <QDir>
#include <QFileInfo>

namespace {

ProviderSetUp failure(ProviderSetUp::Step step, SourceCodeControlSystemProviderInterface& provider)
{
    ProviderSetUp setUp;
    setUp.failedStep = step;
    setUp.message = provider.getLastError(setUp.command);
    return setUp;
}

} // namespace

ProviderSetUp setUpProvider(SourceCodeControlSystemProviderInterface& provider, const HostOptions& options)
{
    setProviderOptions(provider, options);
    if (!options.userName.isNull()
        && !provider.login(options.userName, options.password, options.repositoryURL))
        return failure(ProviderSetUp::Login, provider);
    if (options.localRoot.isNull())
        return ProviderSetUp();

    const bool twoLists = !options.repositoryRoot.isNull();
    if (twoLists)
        QDir().mkpath(QFileInfo(options.localRoot).path());
    const QStringList localRoots = splitPathParts(options.localRoot);
    QString commandBefore;
    const QString messageBefore = provider.getLastError(commandBefore);
    const bool bound = twoLists ? provider.setRoots(localRoots, splitPathParts(options.repositoryRoot))
                                : provider.setRoots(localRoots);
    if (bound)
        return ProviderSetUp();
    ProviderSetUp setUp = failure(ProviderSetUp::Binding, provider);
    // The one-list form runs nothing for a folder that is no working copy: the
    // plug-in says so, or (an older one) leaves the last error as it was.
    const bool unchanged = setUp.command == commandBefore && setUp.message == messageBefore;
    if (!twoLists && (unchanged || setUp.message.endsWith(QLatin1String(" is not a working copy")))) {
        setUp.failedStep = ProviderSetUp::NotAWorkingCopy;
        setUp.command.clear();
        setUp.message = QStringLiteral("%1 is not a working copy").arg(options.localRoot);
    }
    return setUp;
}
