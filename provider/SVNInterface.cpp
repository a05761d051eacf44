// The provider object: options, credentials, running the client and the
// small fixed-answer operations.

#include "SVNInterface.h"

#include "EightBit.h"

#include <svnscc/StatusColumns.h>
#include "SVNItemLine.h"
#include "SVNWorkingCopyLayout.h"

namespace {

// The runs whose item lines are progress: what a long update, commit,
// add, revert, delete or check-out prints as it works.
bool makesProgress(const QString& subcommand)
{
    for (const char* name : {SVNSubcommand::Add, SVNSubcommand::Checkout, SVNSubcommand::Commit,
                             SVNSubcommand::Delete, SVNSubcommand::Revert, SVNSubcommand::Update})
        if (subcommand == QLatin1String(name))
            return true;
    return false;
}

const QByteArrayView s_postCommitHookFailed("Warning: post-commit hook failed");

const QLatin1String s_optionExecutable(SourceCodeControlOption::Executable);
const QLatin1String s_optionRepositoryURL(SourceCodeControlOption::RepositoryURL);
const QLatin1String s_optionLockSupported(SourceCodeControlOption::LockSupported);
const QLatin1String s_optionPasswordFromStdin(SourceCodeControlOption::PasswordFromStdin);
const QLatin1String s_optionTimeout(SourceCodeControlOption::Timeout);
const QLatin1String s_optionStatusScope(SourceCodeControlOption::StatusScope);

// What status() answers for a path with a record; the path is the caller's
// to set. An unversioned item ("?") has a record too, of its columns alone.
SourceCodeControl::StatusEntry entryOf(const SVNFileStatus& record)
{
    SourceCodeControl::StatusEntry entry;
    entry.controlled = SourceCodeControl::StatusColumns::isVersioned(record.statusColumns);
    entry.checkedOut = record.locked;
    entry.modified = record.modified;
    entry.outOfDate = record.outOfDate;
    entry.columns = record.statusColumns;
    entry.revision = record.workingRevision;
    entry.lastChangedRevision = record.lastChangedRevision;
    return entry;
}

} // namespace

SVNInterface::SVNInterface(int version)
    : statusPass([this](const SVNCommand& command, const SVNOutput& output) { return run(command, output); },
                 workingCopyLayout),
      offeredVersion(version)
{
    workingCopyLayout.setStopper(&client.stopper());
    workingCopyLayout.setLog(&client.log());
}

SVNInterface::~SVNInterface() = default;

bool SVNInterface::setOption(const QString& key, const QString& value)
{
    if (key == s_optionExecutable)
        client.setExecutable(value);
    else if (key == s_optionRepositoryURL)
        client.setRepositoryURL(repositoryURL = value);
    else if (key == s_optionLockSupported)
        lockSupported = value == QLatin1String("Yes");
    else if (key == s_optionPasswordFromStdin)
        client.setPasswordFromStdin(value == QLatin1String("Yes"));
    else if (key == s_optionTimeout)
        client.setTimeoutSeconds(value.toInt());
    else if (key == s_optionStatusScope)
        statusPass.setTreeScope(value == QLatin1String("WorkingCopy"));
    else
        return false;
    return true;
}

bool SVNInterface::login(const QString& newUserName, const QString& newPassword,
                         const QString& newRepositoryURL)
{
    return guarded([&] {
        client.setCredentials(newUserName, newPassword);
        repositoryURL = newRepositoryURL;
        client.setRepositoryURL(newRepositoryURL);
        statusPass.online(); // every repository is asked again from now on
        return run(SVNCommands::info(repositoryURL));
    });
}

bool SVNInterface::logout()
{
    refresh();
    return true;
}

bool SVNInterface::refresh()
{
    statusPass.clear();
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

SVNRunResult SVNInterface::run(const SVNCommand& command, const SVNOutput& output)
{
    SVNRunResult result;
    const bool reports = progressHandler && makesProgress(command.subcommand);
    // A failed post-commit hook is no failure of the commit, and the client
    // gives it no code: it prints "Warning: post-commit hook failed (exit
    // code N) with output:" and the hook's output on standard output, after
    // "Committed revision N.", and exits 0.
    const bool commits = command.subcommand == QLatin1String(SVNSubcommand::Commit) && output.descriptor < 0;
    QStringList hookFailure;
    if (reports || commits) {
        SVNOutput observed = output;
        observed.observer = [&](QByteArrayView line) {
            if (output.observer)
                output.observer(line);
            if (commits && (!hookFailure.isEmpty() || line.startsWith(s_postCommitHookFailed)))
                hookFailure << fromEightBit(line.data(), line.size());
            // Each item the client names while it works, as it comes.
            if (reports && SVNItemLine::readAction(line, command.subcommand).namesItem)
                progressHandler(progressContext, fromEightBit(line.data(), line.size()), ++progressItems);
        };
        observed.restart = [&] {
            hookFailure.clear();
            if (output.restart)
                output.restart();
        };
        result = client.run(command, observed);
    } else {
        result = client.run(command, output);
    }
    // A run accepted as done keeps its message too (a hook that failed after it).
    if (!result.succeeded() || result.accepted) {
        setLastError(command.subcommand, result.message());
    } else if (!hookFailure.isEmpty()) {
        while (hookFailure.last().isEmpty())
            hookFailure.removeLast();
        setLastError(command.subcommand, hookFailure.join(QLatin1Char('\n')));
    }
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
    return workingCopyLayout.isWorkingCopy(directory);
}

bool SVNInterface::saved(const QStringList& pathParts)
{
    return guarded([&] {
        if (pathParts.isEmpty())
            return false;
        statusPass.reread(pathParts, SVNStatusPass::Edited);
        return true;
    });
}

bool SVNInterface::status(const QStringList& pathParts, bool& controlled, bool& checkedOut,
                          bool& modified, bool& outOfDate, QString& statusText,
                          QString& revisionText, QString& lastChangedText)
{
    return guarded([&] {
        controlled = false;
        const SVNStatusPass::Answer answer = statusPass.ask(pathParts);
        switch (answer.kind) {
        case SVNStatusPass::Answer::Kind::Record: {
            SourceCodeControl::StatusEntry entry = entryOf(*answer.record);
            controlled = entry.controlled;
            checkedOut = entry.checkedOut;
            modified = entry.modified;
            outOfDate = entry.outOfDate;
            statusText = std::move(entry.columns);
            revisionText = std::move(entry.revision);
            lastChangedText = std::move(entry.lastChangedRevision);
            return true;
        }
        case SVNStatusPass::Answer::Kind::NotVersioned:
            checkedOut = modified = outOfDate = false;
            statusText = revisionText = lastChangedText = QString();
            return true;
        case SVNStatusPass::Answer::Kind::InRepository:
            controlled = true;
            checkedOut = false;
            modified = true;
            outOfDate = true;
            statusText = QStringLiteral("missing");
            revisionText = QStringLiteral("fixme");
            return true;
        case SVNStatusPass::Answer::Kind::NotFound:
            return false;
        case SVNStatusPass::Answer::Kind::Failed:
            if (!answer.failedCommand.isNull())
                setLastError(answer.failedCommand, answer.failedMessage);
            return false;
        }
        return false;
    });
}

int SVNInterface::interfaceVersion()
{
    return offeredVersion;
}

bool SVNInterface::listStatus(SourceCodeControl::StatusReceiver& receiver, bool& listed)
{
    listed = false;
    return guarded([&] {
        return statusPass.listTree(
            [&receiver](QByteArrayView path, const SVNFileStatus& record) {
                SourceCodeControl::StatusEntry entry = entryOf(record);
                entry.path = fromEightBit(path.data(), path.size());
                receiver.receive(entry);
            },
            listed);
    });
}

void SVNInterface::setProgressHandler(ProgressHandler handler, void* context)
{
    progressHandler = handler;
    progressContext = context;
}
