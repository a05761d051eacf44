// The provider object: options, credentials, the svn command runner and the
// small fixed-answer operations.

#include "SVNInterface.h"

#include "EightBit.h"
#include "QTxProcess.h"
#include "QTxProcessEnvironment.h"
#include "SVNWorkingCopyLayout.h"

#include <QThread>

namespace {

const QLatin1String s_optionExecutable(SourceCodeControlOption::Executable);
const QLatin1String s_optionRepositoryURL(SourceCodeControlOption::RepositoryURL);
const QLatin1String s_optionLockSupported(SourceCodeControlOption::LockSupported);
const QLatin1String s_optionPasswordFromStdin(SourceCodeControlOption::PasswordFromStdin);
const QLatin1String s_optionTimeout(SourceCodeControlOption::Timeout);
// A working copy locked by another client is waited for this long in all,
// in pauses that double from the first; one whose work queue is not empty
// (another client finishing its command, or an interrupted one that needs a
// clean-up) only until the pauses reach s_busyWaitMs.
const int s_lockWaitMs = 10000;
const int s_busyWaitMs = 2000;
const int s_firstLockPauseMs = 50;

} // namespace

SVNInterface::SVNInterface() = default;

SVNInterface::~SVNInterface()
{
    for (auto& entry : statusCache)
        delete entry.second;
}

bool SVNInterface::setOption(const QString& key, const QString& value)
{
    if (key == s_optionExecutable)
        svnExecutable = value;
    else if (key == s_optionRepositoryURL)
        repositoryURL = value;
    else if (key == s_optionLockSupported)
        lockSupported = value == QLatin1String("Yes");
    else if (key == s_optionPasswordFromStdin)
        passwordFromStdin = value == QLatin1String("Yes");
    else if (key == s_optionTimeout)
        timeoutSeconds = qMax(0, value.toInt());
    else
        return false;
    return true;
}

bool SVNInterface::login(const QString& newUserName, const QString& newPassword,
                         const QString& newRepositoryURL)
try {
    userName = newUserName;
    password = newPassword;
    repositoryURL = newRepositoryURL;
    QStringList output;
    return executeSVNCommand(QStringLiteral("info"), {}, QString(), repositoryURL, output);
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

QStringList SVNInterface::commandLine(const QString& command, const QStringList& arguments,
                                      const QString& target) const
{
    QStringList argv;
    argv.reserve(arguments.size() + 11);
    argv << svnExecutable << command << arguments;
    // "add" never talks to the repository, so it gets no credentials.
    if (command != QLatin1String("add")) {
        argv << QStringLiteral("--no-auth-cache") << QStringLiteral("--non-interactive")
             << QStringLiteral("--username") << userName;
        // From standard input the secret never shows in the process list.
        if (passwordFromStdin)
            argv << QStringLiteral("--password-from-stdin");
        else
            argv << QStringLiteral("--password") << password;
    }
    if (!target.isEmpty()) {
        // The target is always a path or URL: "--" keeps a name that starts
        // with "-" from being read as options, and an empty peg revision "@"
        // keeps an "@" in it from being read as one. A check-out's target is
        // the directory to create, where the client reads no peg revision.
        if (target.startsWith(QLatin1Char('-')))
            argv << QStringLiteral("--");
        argv << (command == QLatin1String("checkout") ? target : pegSafe(target));
    }
    return argv;
}

QString SVNInterface::pegSafe(const QString& path)
{
    return path.contains(QLatin1Char('@')) ? path + QLatin1Char('@') : path;
}

bool SVNInterface::executeSVNCommand(const QString& command, const QStringList& arguments,
                                     const QString& workingDirectory, const QString& target,
                                     QStringList& output)
{
    output.clear();
    return execute(command, arguments, workingDirectory, target, &output, -1);
}

bool SVNInterface::execute(const QString& command, const QStringList& arguments,
                           const QString& workingDirectory, const QString& target,
                           QStringList* output, int outputDescriptor,
                           const QTx::OutputLineObserver* observer)
{
    QStringList extraArguments;
    int lockWaitMs = 0;
    int pauseMs = s_firstLockPauseMs;
    for (;;) {
        QStringList errors;
        const int exitCode = runClient(command, commandLine(command, arguments + extraArguments, target),
                                       workingDirectory, output, errors, outputDescriptor, observer);
        // Anything on standard error counts as failure, warnings included.
        if (exitCode == 0 && errors.isEmpty() && !lastRunTimedOut)
            return true;
        if (lastRunTimedOut) {
            setLastError(command, QStringLiteral("the client did not finish within the time limit "
                                                 "of %1 seconds (SVNTimeout) and was stopped")
                                      .arg(timeoutSeconds));
            return false;
        }
        const QString message = errors.join(QLatin1Char('\n'));
        if (message.contains(QLatin1String("E205005:")) && extraArguments.isEmpty()) {
            // The client refuses a log or lock message that names an
            // existing file, taking it for a mistyped -F; the user meant the text.
            extraArguments << QStringLiteral("--force-log");
        } else if ((message.contains(QLatin1String("E155004:"))
                    || (message.contains(QLatin1String("E155037:")) && lockWaitMs < s_busyWaitMs))
                   && lockWaitMs < s_lockWaitMs) {
            // Another client holds the working copy's lock for the length of
            // its own command, or is still running the work it queued there
            // (reported like an interrupted operation): wait for it, a little
            // longer each time.
            const int pause = qMin(pauseMs, s_lockWaitMs - lockWaitMs);
            QThread::msleep(ulong(pause));
            lockWaitMs += pause;
            pauseMs *= 2;
        } else {
            setLastError(command, message);
            return false;
        }
        if (output)
            output->clear();
    }
}

int SVNInterface::runClient(const QString& command, const QStringList& argv,
                            const QString& workingDirectory, QStringList* output,
                            QStringList& errors, int outputDescriptor,
                            const QTx::OutputLineObserver* observer)
{
    // The provider reads the client's labels and status layout, so its
    // messages must be untranslated; names reach it and come back as UTF-8
    // whatever the host's own locale is.
    QTx::ProcessEnvironment environment = QTx::ProcessEnvironment::inherited();
    environment.unset("LC_ALL");
    environment.unset("LANGUAGE");
    environment.set("LC_MESSAGES", "C");
    environment.set("LC_CTYPE", "C.UTF-8");
    QTx::SpawnOptions options;
    options.environment = &environment;
    options.outputDescriptor = outputDescriptor;
    if (observer)
        options.outputObserver = *observer;
    QByteArray secret;
    if (passwordFromStdin && command != QLatin1String("add")) {
        secret = toEightBit(password) + '\n';
        options.input = &secret;
    }
    options.timeoutMs = timeoutSeconds * 1000;
    options.timedOut = &lastRunTimedOut;
    return QTx::spawnProcess(argv, true, workingDirectory, options, output, &errors);
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
    if (hasEntriesFile(directory))
        return true;
    // A folder below the top of a working copy made by a client of 1.7 or later.
    return workingCopyLayout.inspect(directory).versioned;
}

void SVNInterface::removeCacheEntry(const QString& directory)
{
    auto entry = statusCache.find(directory);
    if (entry != statusCache.end()) {
        delete entry->second;
        statusCache.erase(entry);
    }
}
