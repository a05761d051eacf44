// The provider object: options, credentials, running the client and the
// small fixed-answer operations.

#include "SVNInterface.h"

#include "SVNWorkingCopyLayout.h"

namespace {

const QLatin1String s_optionExecutable(SourceCodeControlOption::Executable);
const QLatin1String s_optionRepositoryURL(SourceCodeControlOption::RepositoryURL);
const QLatin1String s_optionLockSupported(SourceCodeControlOption::LockSupported);
const QLatin1String s_optionPasswordFromStdin(SourceCodeControlOption::PasswordFromStdin);
const QLatin1String s_optionTimeout(SourceCodeControlOption::Timeout);
const QLatin1String s_optionStatusScope(SourceCodeControlOption::StatusScope);

} // namespace

SVNInterface::SVNInterface() = default;

SVNInterface::~SVNInterface() = default;

bool SVNInterface::setOption(const QString& key, const QString& value)
{
    if (key == s_optionExecutable)
        client.setExecutable(value);
    else if (key == s_optionRepositoryURL)
        repositoryURL = value;
    else if (key == s_optionLockSupported)
        lockSupported = value == QLatin1String("Yes");
    else if (key == s_optionPasswordFromStdin)
        client.setPasswordFromStdin(value == QLatin1String("Yes"));
    else if (key == s_optionTimeout)
        client.setTimeoutSeconds(value.toInt());
    else if (key == s_optionStatusScope)
        treeScope = value == QLatin1String("WorkingCopy");
    else
        return false;
    return true;
}

bool SVNInterface::login(const QString& newUserName, const QString& newPassword,
                         const QString& newRepositoryURL)
try {
    const SVNClient::Operation operation(client);
    client.setCredentials(newUserName, newPassword);
    repositoryURL = newRepositoryURL;
    statusCache.setOffline(false); // the repository is asked again from now on
    return run(SVNCommands::info(repositoryURL));
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::logout()
{
    // Through the interface, so that a subclass's refresh is the one used.
    SourceCodeControlSystemProviderInterface* self = this;
    self->refresh();
    return true;
}

bool SVNInterface::refresh()
{
    statusCache.clear();
    return true;
}

bool SVNInterface::getRoots(QStringList& localOut, QStringList& repositoryOut)
{
    localOut = localRoots;
    repositoryOut = repositoryRoots;
    return true;
}

bool SVNInterface::checkOutSupported()
{
    return lockSupported;
}

bool SVNInterface::merged(const QStringList&, const QString&)
{
    return false;
}

bool SVNInterface::getRoot(QString&)
{
    return true;
}

QString SVNInterface::getLastError(QString& command)
{
    command = lastErrorCommand;
    return lastErrorMessage;
}

void SVNInterface::cancelOperation()
{
    client.cancel();
}

void SVNInterface::setLastError(const QString& command, const QString& message)
{
    lastErrorCommand = command;
    lastErrorMessage = message;
}

bool SVNInterface::executeSVNCommand(const QString& command, const QStringList& arguments,
                                     const QString& workingDirectory, const QString& target,
                                     QStringList& output)
{
    const SVNClient::Operation operation(client);
    return run(SVNCommands::custom(command, arguments, workingDirectory, target), output);
}

bool SVNInterface::executeSVNCommand(const QString& command, const QStringList& arguments,
                                     const QStringList& pathParts, QStringList& output)
{
    return executeSVNCommand(command, arguments, localRootPath,
                             pathParts.join(QLatin1Char('/')), output);
}

SVNRunResult SVNInterface::run(const SVNCommand& command, const SVNOutput& output)
{
    SVNRunResult result = client.run(command, output);
    // A run accepted as done keeps its message too (a hook that failed after it).
    if (!result.succeeded() || result.accepted)
        setLastError(command.subcommand, result.message());
    return result;
}

bool SVNInterface::run(const SVNCommand& command, QStringList& lines)
{
    lines.clear();
    SVNOutput output;
    output.lines = &lines;
    return run(command, output).succeeded();
}

bool SVNInterface::run(const SVNCommand& command)
{
    QStringList discarded;
    return run(command, discarded);
}

QString SVNInterface::getLocalDirectory(const QStringList& pathParts)
{
    QString directory = localRootPath;
    for (qsizetype i = 0; i + 1 < pathParts.size(); ++i)
        directory += QLatin1Char('/') + pathParts[i];
    return directory;
}

QString SVNInterface::localFilePath(const QStringList& pathParts) const
{
    return localRootPath + QLatin1Char('/') + pathParts.join(QLatin1Char('/'));
}

bool SVNInterface::isWorkingCopy(const QString& directory)
{
    if (hasEntriesFile(directory))
        return true;
    // A folder below the top of a working copy made by a client of 1.7 or later.
    return workingCopyLayout.inspect(directory).versioned;
}

void SVNInterface::removeCacheEntry(const QString& directory)
{
    statusCache.remove(directory);
}
