#include "SVNClient.h"

#include "EightBit.h"
#include "SVNRetryPolicy.h"

#include <QThread>

bool SVNRunResult::succeeded() const
{
    return end == End::Finished && exitCode == 0 && errors.isEmpty();
}

QString SVNRunResult::message() const
{
    switch (end) {
    case End::NotStarted:
        return startError;
    case End::TimedOut:
        return QStringLiteral("the client did not finish within the time limit of %1 seconds "
                              "(SVNTimeout) and was stopped")
            .arg(timeLimitSeconds);
    case End::Stopped:
        return QStringLiteral("cancelled");
    case End::Finished:
        break;
    }
    return errors.join(QLatin1Char('\n'));
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
    for (;;) {
        runOnce(command, retries.extraArguments(), output, result);
        if (result.succeeded() || result.end != SVNRunResult::End::Finished)
            return result;
        const SVNRetries::Step step = retries.next(result.message());
        if (!step.rule)
            return result;
        result.retries << (step.pauseMs > 0
                               ? QStringLiteral("waited %1 ms after %2").arg(step.pauseMs).arg(QLatin1String(step.rule->error))
                               : QStringLiteral("repeated with %1 after %2")
                                     .arg(retries.extraArguments().join(QLatin1Char(' ')), QLatin1String(step.rule->error)));
        if (step.pauseMs > 0)
            QThread::msleep(ulong(step.pauseMs));
        if (output.lines)
            output.lines->clear();
        if (output.restart)
            output.restart();
    }
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
