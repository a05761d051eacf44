#include "SVNClient.h"

#include "EightBit.h"
#include "SVNRetryPolicy.h"
#include "SVNSshQuestions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

Q_LOGGING_CATEGORY(lcClient, "svnscc.client", QtInfoMsg)

namespace {

// How long a client that changes a working copy gets to finish its current
// step after SIGTERM: when the time limit (on silence) ends it, and when it
// is cancelled.
const int s_writerGraceMs = 2000;
const int s_cancelGraceMs = 1000;
// The limit of a run that follows a stop when no time limit is set: it may
// not wait for ever on the server that was just given up on. After a cancel
// the user waits for the operation to end, so it gets a moment only: a
// server that answers at all answers a question that small within it.
const int s_afterStopLimitMs = 10000;
const int s_afterCancelLimitMs = 300;
const QLatin1String s_masked("******");

// One argument as a person reads it in a log: quoted when it holds blanks,
// quotes or nothing at all.
QString quoted(const QString& argument)
{
    if (!argument.isEmpty() && !argument.contains(QLatin1Char(' ')) && !argument.contains(QLatin1Char('"'))
        && !argument.contains(QLatin1Char('\'')) && !argument.contains(QLatin1Char('\n')))
        return argument;
    QString text = argument;
    text.replace(QLatin1Char('"'), QLatin1String("\\\""));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The argument vector as the log shows it: the password masked, whether it
// is an argument or goes on standard input.
QString shown(const QStringList& argv, bool passwordOnInput)
{
    QStringList words;
    for (qsizetype i = 0; i < argv.size(); ++i) {
        const bool secret = i > 0 && argv.at(i - 1) == QLatin1String("--password");
        words << (secret ? QString(s_masked) : quoted(argv.at(i)));
        if (argv.at(i) == QLatin1String("--password-from-stdin") && passwordOnInput)
            words << QStringLiteral("(standard input: %1)").arg(s_masked);
    }
    return words.join(QLatin1Char(' '));
}

// A message's file in a private temporary folder (readable by its owner
// alone), removed with the folder on every way out. Removing may allocate:
// nothing that throws there leaves the destructor.
class MessageFile
{
public:
    MessageFile() { m_folder.setAutoRemove(false); }
    ~MessageFile()
    {
        try {
            if (m_folder.isValid())
                m_folder.remove();
        } catch (...) {
        }
    }
    MessageFile(const MessageFile&) = delete;
    MessageFile& operator=(const MessageFile&) = delete;

    QString path() const { return m_folder.filePath(QStringLiteral("message")); }

    // Writes `message` as UTF-8; null when it was written, otherwise why not.
    QString write(const QString& message)
    {
        if (!m_folder.isValid())
            return QStringLiteral("cannot write the message for the client into %1: %2")
                .arg(QDir::tempPath(), m_folder.errorString());
        QFile file(path());
        const QByteArray bytes = toEightBit(message);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
            return QStringLiteral("cannot write the message for the client into %1: %2").arg(path(), file.errorString());
        return QString();
    }

private:
    QTemporaryDir m_folder;
};

// The message a run passes through its file, for the log: its start, quoted.
QString shownMessage(const SVNCommand& command)
{
    if (!command.hasMessage)
        return QString();
    const int shownLength = 120;
    const QString start = command.message.left(shownLength);
    return QStringLiteral(" (message: %1%2)")
        .arg(quoted(start.isEmpty() ? QString() : start), command.message.size() > shownLength ? QStringLiteral("...")
                                                                                              : QString());
}

// Whether a line of standard error is the client's own error or warning
// ("svn: E170013: ...", "svn: warning: W160042: ..."), not something a
// program it started printed there (an ssh server's login banner).
bool clientsOwn(const QString& line)
{
    return line.startsWith(QLatin1String("svn: E")) || line.startsWith(QLatin1String("svn: warning: W"));
}

// That a signal ended the client: "the client was ended by signal 9 (SIGKILL)".
QString signalEnding(int signal)
{
    const char* name = ::sigabbrev_np(signal);
    return name ? QStringLiteral("the client was ended by signal %1 (SIG%2)").arg(signal).arg(QLatin1String(name))
                : QStringLiteral("the client was ended by signal %1").arg(signal);
}

// How a run ended, for the log.
QString ending(const SVNRunResult& result, qint64 ms)
{
    QString text;
    switch (result.end) {
    case SVNRunResult::End::Finished:
        text = result.signal != 0 ? QStringLiteral("%1, %2 ms").arg(signalEnding(result.signal)).arg(ms)
                                  : QStringLiteral("exit %1, %2 ms").arg(result.exitCode).arg(ms);
        break;
    case SVNRunResult::End::NotStarted:
        return QStringLiteral("could not start: ") + result.startError;
    case SVNRunResult::End::TimedOut:
        text = QStringLiteral("stopped after %1 seconds of silence (SVNTimeout), %2 ms")
                   .arg(result.timeLimitSeconds)
                   .arg(ms);
        break;
    case SVNRunResult::End::Stopped:
        text = QStringLiteral("cancelled, %1 ms").arg(ms);
        break;
    }
    if (!result.errors.isEmpty())
        text += (result.succeeded() ? QStringLiteral("; ignored on standard error (not the client's): ")
                                    : QStringLiteral("; errors: "))
            + result.errors.join(QStringLiteral(" | "));
    return text;
}

} // namespace

bool SVNRunResult::succeeded() const
{
    return end == End::Finished
        && ((exitCode == 0 && std::none_of(errors.cbegin(), errors.cend(), clientsOwn)) || accepted);
}

bool SVNRunResult::hasCode(const char* code) const
{
    return codes.contains(QLatin1String(code));
}

bool SVNRunResult::repositoryUnreachable() const
{
    if (end == End::TimedOut)
        return true;
    if (end != End::Finished)
        return false;
    for (const char* error : s_svnUnreachableErrors)
        if (hasCode(error))
            return true;
    return false;
}

QStringList SVNRunResult::codesOf(const QStringList& errors)
{
    // "svn: E155004: ..." and "svn: warning: W160042: ..."; a message may
    // go on over lines of its own, which hold no code.
    static const QRegularExpression s_code(QStringLiteral("^svn: (?:warning: )?([EW]\\d{6}):"));
    QStringList codes;
    for (const QString& line : errors) {
        const QRegularExpressionMatch match = s_code.match(line);
        if (match.hasMatch() && !codes.contains(match.captured(1)))
            codes << match.captured(1);
    }
    return codes;
}

QString SVNRunResult::message() const
{
    QString text;
    switch (end) {
    case End::NotStarted:
        text = startError;
        break;
    case End::TimedOut:
        text = QStringLiteral("the client was silent for %1 seconds, the time limit (SVNTimeout), "
                              "and was stopped after %2 seconds")
                   .arg(timeLimitSeconds)
                   .arg(double(elapsedMs) / 1000.0, 0, 'f', 1);
        break;
    case End::Stopped:
        text = QStringLiteral("cancelled");
        break;
    case End::Finished:
        text = errors.join(QLatin1Char('\n'));
        if (signal != 0)
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + signalEnding(signal);
        break;
    }
    if (!cleanUpError.isNull())
        text += QStringLiteral("\nthe clean-up of the working copy afterwards failed: ") + cleanUpError;
    return text;
}

SVNClient::Operation::Operation(SVNClient& client) : m_client(client)
{
    const std::lock_guard<std::mutex> lock(m_client.m_cancelMutex);
    if (m_client.m_operations++ == 0) {
        m_client.m_credentialQuestions = 0; // each operation has its own attempts
        m_client.m_declined = false;
    }
}

SVNClient::Operation::~Operation()
{
    const std::lock_guard<std::mutex> lock(m_client.m_cancelMutex);
    if (--m_client.m_operations == 0)
        m_client.m_stopper.reset(); // a cancel ends the operation it was meant for, no later one
}

void SVNClient::cancel()
{
    const std::lock_guard<std::mutex> lock(m_cancelMutex);
    if (m_operations > 0)
        m_stopper.stop();
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
    m_passwordFromHandler = false; // login()'s password travels as the host set it up
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

bool SVNClient::passesCredentials(const SVNCommand& command) const
{
    // Without a user name the client's own credentials serve (its cache, the
    // OS login name): an empty "--username" would replace them.
    return command.carriesCredentials() && !userName.isEmpty();
}

QStringList SVNClient::argumentVector(const SVNCommand& command, const QString& messageFile) const
{
    QStringList argv;
    argv.reserve(command.arguments.size() + 14);
    argv << svnExecutable << command.subcommand << command.arguments;
    if (command.hasMessage)
        argv << QStringLiteral("--file") << messageFile << QStringLiteral("--encoding") << QStringLiteral("UTF-8");
    if (command.interactive) {
        argv << QStringLiteral("--force-interactive");
        if (!userName.isEmpty())
            argv << QStringLiteral("--username") << userName;
        return argv << command.operands();
    }
    if (command.carriesCredentials()) {
        if (!m_rememberNext)
            argv << QStringLiteral("--no-auth-cache");
        argv << QStringLiteral("--non-interactive");
    }
    if (passesCredentials(command)) {
        argv << QStringLiteral("--username") << userName;
        // From standard input the secret never shows in the process list.
        if (passwordFromStdin || m_passwordFromHandler)
            argv << QStringLiteral("--password-from-stdin");
        else
            argv << QStringLiteral("--password") << password;
    }
    if (command.carriesCredentials() && !m_trusted.empty())
        argv << trustArgument(m_trusted);
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
        askingEnvironment = childEnvironment;
        SVNSshQuestions::forbidQuestions(childEnvironment);
        environmentReady = true;
    }
    return &childEnvironment;
}

SVNRunResult SVNClient::run(const SVNCommand& command, const SVNOutput& output)
{
    for (;;) {
        SVNRunResult result = runAttempts(command, output);
        if (command.carriesCredentials() && !command.interactive)
            m_rememberNext = false; // the answer was used, stored or not
        if (!m_prompts || result.succeeded() || result.end != SVNRunResult::End::Finished || command.interactive
            || !answerQuestion(command, result))
            return result;
        if (output.lines)
            output.lines->clear();
        if (output.restart)
            output.restart();
    }
}

SVNRunResult SVNClient::runAttempts(const SVNCommand& command, const SVNOutput& output)
{
    SVNRunResult result;
    // A log message or lock comment reaches the client through a file: any
    // size (an argument holds 128 KiB at most) and any first character.
    std::unique_ptr<MessageFile> message;
    if (command.hasMessage) {
        message = std::make_unique<MessageFile>();
        const QString problem = message->write(command.message);
        if (!problem.isNull()) {
            result.end = SVNRunResult::End::NotStarted;
            result.startError = problem;
            return result;
        }
    }
    const QString messageFile = message ? message->path() : QString();
    SVNRetries retries;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // A cancelled operation starts nothing more (and has nothing to clean up).
        if (!command.afterStop && m_stopper.stopRequested()) {
            result.end = SVNRunResult::End::Stopped;
            return result;
        }
        runOnce(command, messageFile, output, result, true);
        result.elapsedMs = clock.elapsed();
        if (result.succeeded() || result.end == SVNRunResult::End::NotStarted)
            return result;
        const bool stopped = result.end != SVNRunResult::End::Finished;
        const SVNRetries::Step step = retries.next(result, stopped && !command.workingCopy.isEmpty());
        // A run that follows a stop gets one attempt: nothing may keep the
        // cancelled operation waiting.
        if (!step.rule || (command.afterStop && step.rule->action == SVNRetryAction::WaitAndRepeat))
            return result;
        const QString match = QLatin1String(step.rule->code ? step.rule->code : "a stopped run");
        QString decision;
        switch (step.rule->action) {
        case SVNRetryAction::AcceptAsDone:
            decision = QStringLiteral("accepted as done after %1").arg(match);
            break;
        case SVNRetryAction::CleanUp:
            decision = QStringLiteral("cleaning up %1 after %2").arg(command.workingCopy, match);
            break;
        case SVNRetryAction::WaitAndRepeat:
            decision = QStringLiteral("waiting %1 ms, then repeated, after %2").arg(step.pauseMs).arg(match);
            break;
        }
        result.retries << decision;
        if (m_log.enabled())
            m_log.write(QStringLiteral("%1 %2 (%3)").arg(command.subcommand, decision, QLatin1String(step.rule->reason)));
        if (step.rule->action == SVNRetryAction::AcceptAsDone) {
            result.accepted = true;
            return result;
        }
        if (step.rule->action == SVNRetryAction::CleanUp) {
            cleanUp(command.workingCopy, result);
            return result;
        }
        // A wait for another client's lock ends at once when the operation is cancelled.
        if (step.pauseMs > 0 && m_stopper.wait(step.pauseMs)) {
            result.end = SVNRunResult::End::Stopped;
            return result;
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
    // Not stoppable: the cancel that asked for it is what it repairs.
    SVNRunResult cleanup;
    runOnce(SVNCommands::cleanup(folder), {}, SVNOutput(), cleanup, false);
    if (!cleanup.succeeded() && !cleanup.hasCode("E155007"))
        result.cleanUpError = cleanup.message();
}

void SVNClient::runOnce(const SVNCommand& command, const QString& messageFile, const SVNOutput& output,
                        SVNRunResult& result, bool stoppable)
{
    // Output nobody wants is still captured, never left on the host's own streams.
    QStringList discarded;
    QStringList* lines = output.lines;
    if (!lines && output.descriptor < 0 && !output.observer)
        lines = &discarded;
    QTx::ProcessOptions options;
    options.environment = environment();
    options.output = lines;
    options.outputDescriptor = output.descriptor;
    options.outputObserver = output.observer;
    options.errors = &result.errors;
    QByteArray secret;
    if (command.interactive) {
        secret = command.answers;
        options.input = &secret;
    } else if ((passwordFromStdin || m_passwordFromHandler) && passesCredentials(command)) {
        secret = toEightBit(password) + '\n';
        options.input = &secret;
    }
    int limitMs = timeLimitSeconds * 1000;
    if (command.afterStop && limitMs == 0)
        limitMs = s_afterStopLimitMs;
    options.silenceLimitMs = limitMs;
    if (command.afterStop && m_stopper.stopRequested())
        options.timeoutMs = s_afterCancelLimitMs; // on its whole time: the user is waiting
    // A reader is ended at once; a writer gets time to leave its working copy consistent.
    const bool reads = command.workingCopy.isEmpty();
    options.killGraceMs = reads ? 0 : s_writerGraceMs;
    options.stopper = stoppable && !command.afterStop ? &m_stopper : nullptr;
    options.stopGraceMs = reads ? 0 : s_cancelGraceMs;
    options.requireWorkingDirectory = true;
    // With a prompt handler ssh's questions reach it while the client runs.
    std::optional<SVNSshQuestions> ssh;
    if (m_prompts) {
        ssh.emplace(*m_prompts, SVNSshQuestions::hostOf(command, m_repositoryURL), m_stopper, m_log, m_declined);
        ssh->attach(options, askingEnvironment);
    }

    const QStringList argv = argumentVector(command, messageFile);
    options.arguments = argv;
    options.workingDirectory = command.workingDirectory;
    const int number = ++m_runs;
    if (m_log.enabled())
        m_log.write(QStringLiteral("run %1 in %2: %3")
                                           .arg(number)
                                           .arg(command.workingDirectory.isNull() ? QStringLiteral("the host's folder")
                                                                                 : command.workingDirectory,
                                                shown(argv, !secret.isNull() && !command.interactive)
                                                    + shownMessage(command)));
    QElapsedTimer clock;
    clock.start();
    result.errors.clear();
    ++result.attempts;
    const QTx::ProcessResult ran = QTx::runProcess(options);
    result.codes = SVNRunResult::codesOf(result.errors);
    result.exitCode = ran.exitCode;
    result.signal = ran.signal;
    result.startError = ran.startError;
    switch (ran.end) {
    case QTx::ProcessResult::End::TimedOut:
        result.end = SVNRunResult::End::TimedOut;
        result.timeLimitSeconds = ((options.timeoutMs > 0 ? options.timeoutMs : limitMs) + 999) / 1000;
        break;
    case QTx::ProcessResult::End::Stopped:
        result.end = SVNRunResult::End::Stopped;
        break;
    case QTx::ProcessResult::End::NotStarted:
        result.end = SVNRunResult::End::NotStarted;
        break;
    case QTx::ProcessResult::End::Exited:
    case QTx::ProcessResult::End::Signalled:
    case QTx::ProcessResult::End::Lost:
        result.end = SVNRunResult::End::Finished;
        break;
    }
    if (m_log.enabled())
        m_log.write(QStringLiteral("run %1 ended: %2").arg(number).arg(ending(result, clock.elapsed())));
}
