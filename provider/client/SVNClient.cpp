#include "SVNClient.h"

#include "EightBit.h"
#include "SVNRetryPolicy.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

namespace {

// How long a client stopped while it changes a working copy gets to finish
// its current step after SIGTERM.
const int s_writerGraceMs = 2000;

} // namespace

bool SVNRunResult::succeeded() const
{
    return end == End::Finished && ((exitCode == 0 && errors.isEmpty()) || accepted);
}

bool SVNRunResult::repositoryUnreachable() const
{
    if (end == End::TimedOut)
        return true;
    if (end != End::Finished)
        return false;
    const QString message = errors.join(QLatin1Char('\n'));
    for (const char* error : s_svnUnreachableErrors)
        if (message.contains(QLatin1String(error)))
            return true;
    return false;
}

QString SVNRunResult::message() const
{
    QString text;
    switch (end) {
    case End::NotStarted:
        text = startError;
        break;
    case End::TimedOut:
        text = QStringLiteral("the client did not finish within the time limit of %1 seconds "
                              "(SVNTimeout) and was stopped after %2 seconds")
                   .arg(timeLimitSeconds)
                   .arg(double(elapsedMs) / 1000.0, 0, 'f', 1);
        break;
    case End::Stopped:
        text = QStringLiteral("cancelled");
        break;
    case End::Finished:
        text = errors.join(QLatin1Char('\n'));
        break;
    }
    if (!cleanUpError.isNull())
        text += QStringLiteral("\nthe clean-up of the working copy afterwards failed: ") + cleanUpError;
    return text;
}

void SVNClient::setExecutable(const QString& executable)
{
    svnExecutable = executable;
    environmentReady = false;
}

void SVNClient::setCredentials(const QString& user, const QString& secret)
{
    userName = user;
    password = secret;
}

void SVNClient::setPasswordFromStdin(bool fromStdin)
{
    passwordFromStdin = fromStdin;
    environmentReady = false;
}

void SVNClient::setTimeoutSeconds(int seconds)
{
    timeLimitSeconds = qMax(0, seconds);
    environmentReady = false;
}

QStringList SVNClient::argumentVector(const SVNCommand& command, const QStringList& extraArguments) const
{
    QStringList argv;
    argv.reserve(command.arguments.size() + extraArguments.size() + 10);
    argv << svnExecutable << command.subcommand << command.arguments << extraArguments;
    if (command.carriesCredentials()) {
        argv << QStringLiteral("--no-auth-cache") << QStringLiteral("--non-interactive")
             << QStringLiteral("--username") << userName;
        // From standard input the secret never shows in the process list.
        if (passwordFromStdin)
            argv << QStringLiteral("--password-from-stdin");
        else
            argv << QStringLiteral("--password") << password;
    }
    argv << command.operands();
    return argv;
}

QTx::ProcessEnvironment* SVNClient::environment()
{
    if (!environmentReady) {
        // The provider reads the client's labels and status layout, so its
        // messages must be untranslated; names reach it and come back as
        // UTF-8 whatever the host's own locale is.
        childEnvironment = QTx::ProcessEnvironment::inherited();
        childEnvironment.unset("LC_ALL");
        childEnvironment.unset("LANGUAGE");
        childEnvironment.set("LC_MESSAGES", "C");
        childEnvironment.set("LC_CTYPE", "C.UTF-8");
        environmentReady = true;
    }
    return &childEnvironment;
}

SVNRunResult SVNClient::run(const SVNCommand& command, const SVNOutput& output)
{
    SVNRunResult result;
    SVNRetries retries;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        runOnce(command, retries.extraArguments(), output, result);
        result.elapsedMs = clock.elapsed();
        if (result.succeeded() || result.end == SVNRunResult::End::NotStarted)
            return result;
        const bool stopped = result.end != SVNRunResult::End::Finished;
        const SVNRetries::Step step = retries.next(result.message(), stopped && !command.workingCopy.isEmpty());
        if (!step.rule)
            return result;
        const QString match = QLatin1String(step.rule->match ? step.rule->match : "a stopped run");
        switch (step.rule->action) {
        case SVNRetryAction::AcceptAsDone:
            result.accepted = true;
            result.retries << QStringLiteral("accepted as done after %1").arg(match);
            return result;
        case SVNRetryAction::CleanUp:
            cleanUp(command.workingCopy, result);
            return result;
        case SVNRetryAction::RepeatWithForceLog:
            result.retries << QStringLiteral("repeated with --force-log after %1").arg(match);
            break;
        case SVNRetryAction::WaitAndRepeat:
            result.retries << QStringLiteral("waited %1 ms after %2").arg(step.pauseMs).arg(match);
            QThread::msleep(ulong(step.pauseMs));
            break;
        }
        if (output.lines)
            output.lines->clear();
        if (output.restart)
            output.restart();
    }
}

void SVNClient::cleanUp(const QString& folder, SVNRunResult& result)
{
    // A check-out stopped before it made its folder left nothing to clean.
    if (!QDir(folder).exists())
        return;
    SVNRunResult cleanup;
    runOnce(SVNCommands::cleanup(folder), {}, SVNOutput(), cleanup);
    result.retries << QStringLiteral("cleaned up %1").arg(folder);
    if (!cleanup.succeeded() && !cleanup.message().contains(QLatin1String("E155007:")))
        result.cleanUpError = cleanup.message();
}

void SVNClient::runOnce(const SVNCommand& command, const QStringList& extraArguments,
                        const SVNOutput& output, SVNRunResult& result)
{
    // Output nobody wants is still captured, never left on the host's own streams.
    QStringList discarded;
    QStringList* lines = output.lines;
    if (!lines && output.descriptor < 0 && !output.observer)
        lines = &discarded;
    QTx::SpawnOptions options;
    options.environment = environment();
    options.outputDescriptor = output.descriptor;
    options.outputObserver = output.observer;
    QByteArray secret;
    if (passwordFromStdin && command.carriesCredentials()) {
        secret = toEightBit(password) + '\n';
        options.input = &secret;
    }
    options.timeoutMs = timeLimitSeconds * 1000;
    // A reader is ended at once; a writer gets time to leave its working copy consistent.
    options.killGraceMs = command.workingCopy.isEmpty() ? 0 : s_writerGraceMs;
    options.requireWorkingDirectory = true;
    bool timedOut = false;
    options.timedOut = &timedOut;
    options.startError = &result.startError;

    result.errors.clear();
    ++result.attempts;
    result.exitCode = QTx::spawnProcess(argumentVector(command, extraArguments), true,
                                        command.workingDirectory, options, lines, &result.errors);
    if (timedOut) {
        result.end = SVNRunResult::End::TimedOut;
        result.timeLimitSeconds = timeLimitSeconds;
    } else if (!result.startError.isNull()) {
        result.end = SVNRunResult::End::NotStarted;
    }
}
