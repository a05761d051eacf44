// The provider object: options, credentials, the svn command runner and the
// small fixed-answer operations.

#include "SVNInterface.h"

#include "QTxProcess.h"

#include <QFileInfo>

namespace {

const QString OptionExecutable = QStringLiteral("Environment/Source Code Control/SVNExecutable");
const QString OptionRepositoryURL = QStringLiteral("Environment/Source Code Control/SVNRepositoryURL");
const QString OptionLockSupported = QStringLiteral("Environment/Source Code Control/SVNLockSupported");

} // namespace

SVNInterface::SVNInterface() = default;

SVNInterface::~SVNInterface()
{
    for (auto& entry : statusCache)
        delete entry.second;
}

bool SVNInterface::setOption(const QString& key, const QString& value)
{
    if (key == OptionExecutable)
        svnExecutable = value;
    else if (key == OptionRepositoryURL)
        repositoryURL = value;
    else if (key == OptionLockSupported)
        lockSupported = value == QLatin1String("Yes");
    else
        return false;
    return true;
}

bool SVNInterface::login(const QString& newUserName, const QString& newPassword,
                         const QString& newRepositoryURL)
{
    userName = newUserName;
    password = newPassword;
    repositoryURL = newRepositoryURL;
    QStringList output;
    return executeSVNCommand(QStringLiteral("info"), {}, QString(), repositoryURL, output);
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
    for (auto& entry : statusCache)
        delete entry.second;
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

void SVNInterface::setLastError(const QString& command, const QString& message)
{
    lastErrorCommand = command;
    lastErrorMessage = message;
}

bool SVNInterface::executeSVNCommand(const QString& command, const QStringList& arguments,
                                     const QString& workingDirectory, const QString& target,
                                     QStringList& output)
{
    output.clear();
    QStringList argv;
    argv.reserve(arguments.size() + 9);
    argv << svnExecutable << command << arguments;
    // "add" never talks to the repository, so it gets no credentials.
    if (command != QLatin1String("add")) {
        argv << QStringLiteral("--no-auth-cache") << QStringLiteral("--non-interactive")
             << QStringLiteral("--username") << userName
             << QStringLiteral("--password") << password;
    }
    if (!target.isEmpty())
        argv << target;

    QStringList errors;
    const int exitCode = QTx::spawnProcess(argv, true, workingDirectory, true, &output, &errors);
    // Anything on standard error counts as failure, warnings included.
    if (exitCode == 0 && errors.isEmpty())
        return true;
    setLastError(command, errors.join(QLatin1Char('\n')));
    return false;
}

bool SVNInterface::executeSVNCommand(const QString& command, const QStringList& arguments,
                                     const QStringList& pathParts, QStringList& output)
{
    return executeSVNCommand(command, arguments, localRootPath,
                             pathParts.join(QLatin1Char('/')), output);
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
    return QFileInfo::exists(directory + QStringLiteral("/.svn/entries"));
}

void SVNInterface::removeCacheEntry(const QString& directory)
{
    auto entry = statusCache.find(directory);
    if (entry != statusCache.end()) {
        delete entry->second;
        statusCache.erase(entry);
    }
}
