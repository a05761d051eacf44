#pragma once

#include "QTxProcess.h"
#include "QTxProcessEnvironment.h"
#include "SVNCommand.h"
#include "SVNCommandLog.h"

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <mutex>

namespace SourceCodeControl {
class SourceCodeControlSystemPromptHandler;
}

/** Where a run's standard output goes; only one of the three is used. */
struct SVNOutput
{
    /** Cut into lines and appended here (cleared before each attempt). */
    QStringList* lines = nullptr;
    /** Or written straight into this descriptor, byte for byte. */
    int descriptor = -1;
    /** Or handed over line by line as it arrives. */
    QTx::OutputLineObserver observer;
    /** Called before a repeated attempt, to forget what the failed one wrote. */
    std::function<void()> restart;
};

/** How one run of the client went, with its retries. */
struct SVNRunResult
{
    enum class End
    {
        Finished,   ///< the client ended on its own, or a signal not of ours ended it (`signal` says which)
        NotStarted, ///< the client could not be started (or not in its folder): startError says why
        TimedOut,   ///< the time limit ended it: the client was silent that long
        Stopped,    ///< the provider was asked to stop it
    };

    End end = End::Finished;
    /** The last attempt's exit code as the client gave it (0 to 255); -1 unless it exited with one. */
    int exitCode = -1;
    /** The signal that ended the last attempt (9 for the out-of-memory killer's SIGKILL); 0 unless one did. */
    int signal = 0;
    /** The last attempt's standard-error lines. */
    QStringList errors;
    /** The error and warning codes of those lines ("E155004", "W160042"), each once, in their order. */
    QStringList codes;
    /** Why the client could not be started ("cannot run 'svnx': not found"). */
    QString startError;
    /** The time limit (on silence) that ended the run, in seconds. */
    int timeLimitSeconds = 0;
    /** How long the run took, all attempts and waits included, in milliseconds. */
    qint64 elapsedMs = 0;
    /** How many times the client was started. */
    int attempts = 0;
    /** What the retry table did, one line per step (repeats, waits, acceptance, clean-up). */
    QStringList retries;
    /** The client failed, but what it was asked to do happened (the retry table says when). */
    bool accepted = false;
    /** Why the clean-up after a stopped run failed; null when it ran well or none was needed. */
    QString cleanUpError;

    /**
     * Exit code 0 and none of the client's own lines on standard error
     * ("svn: E...", and warnings, "svn: warning: W..."; other lines, such as
     * an ssh server's login banner, do not count), or a failure the retry
     * table accepts as done; never for a stopped run.
     */
    bool succeeded() const;
    /**
     * The repository could not be reached or refused us (the time limit,
     * or an error of s_svnUnreachableErrors), rather than the working copy
     * failing.
     */
    bool repositoryUnreachable() const;
    /**
     * The client was stopped (time limit, cancel) while it ran, so what it
     * did is not known; a stop during a wait between attempts, or before
     * anything started, is not that.
     */
    bool endNotSeen() const { return (end == End::TimedOut || end == End::Stopped) && exitCode == -1 && attempts > 0; }
    /** Whether the last attempt reported `code` ("E155004"). */
    bool hasCode(const char* code) const;
    /** The codes of a run's error lines, as `codes` holds them. */
    static QStringList codesOf(const QStringList& errors);
    /**
     * What the last error shows for a run that did not succeed or was
     * accepted: the error lines joined with "\n" and, for a client that a
     * signal ended, which one ("the client was ended by signal 9
     * (SIGKILL)"); why it could not start; or that the time limit stopped
     * it (the client was silent that long) and when; then why a clean-up
     * failed.
     */
    QString message() const;
};

/**
 * The svn client as the provider runs it: the executable, the credentials,
 * how the password travels, the time limit and the child's environment, and
 * the run itself with the retry table applied.
 *
 * Every run: the argument vector of argumentVector(), started only in the
 * folder the command names (a folder that cannot be entered is a start
 * failure; a null one is the host's current folder); the host's
 * environment with the client's messages untranslated (LC_MESSAGES=C, no
 * LC_ALL or LANGUAGE) and names in UTF-8 (LC_CTYPE=C.UTF-8); the child in
 * a session of its own with no terminal (so ssh cannot ask there: with a
 * prompt handler it asks the handler, without one it fails with its reason
 * and sends no password, see SVNSshQuestions); with a time limit, ended
 * with all it started once neither it nor they have printed or moved a
 * byte for that long: at once when the run only reads, otherwise with
 * SIGTERM and SIGKILL two seconds later, after which "svn cleanup" runs on
 * the working copy it changed. The environment is taken from the host at the first run
 * after a setting changed, not at every run.
 *
 * cancel() may be called from any thread while another one is inside an
 * operation: the client running then is ended (at once when it only reads;
 * with SIGTERM, and SIGKILL a second later, when it changes a working copy,
 * which is then cleaned up), a wait for another client's lock ends, and no
 * further run of that operation starts, until the operation ends.
 *
 * Every run is logged in the Qt logging category "svnscc.client" at debug
 * level, which is off unless the host or the user enables it
 * (QT_LOGGING_RULES="svnscc.client.debug=true"): where and what runs, the
 * password shown as "******" (argument or standard input), how it ended
 * (exit code or the signal that ended it, and milliseconds; error lines or
 * the standard-error lines that were not the client's and were ignored;
 * time limit, cancel, start failure), and every decision of the retry
 * table.
 */
class SVNClient
{
public:
    /**
     * The span of one provider operation, from any thread's point of view
     * the time in which cancel() acts. Nested spans count as one.
     */
    class Operation
    {
    public:
        explicit Operation(SVNClient& client);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        SVNClient& m_client;
    };

    /**
     * Ends the operation that runs now (see above); does nothing while none
     * runs. Thread-safe; never blocks longer than it takes to send a signal.
     */
    void cancel();
    /** The stop request of the operations: a wait of their own ends on it too. */
    const QTx::ProcessStopper& stopper() const { return m_stopper; }
    /** Whether the operation that runs now was cancelled. */
    bool cancelled() const { return m_stopper.stopRequested(); }

    /** Sets the client to run: a path, or a name looked up along PATH. */
    void setExecutable(const QString& svnExecutable);
    const QString& executable() const { return svnExecutable; }
    /**
     * Sets the user name and password that runs carrying credentials pass;
     * with an empty (or null) user name they pass neither, and the password
     * is ignored.
     */
    void setCredentials(const QString& userName, const QString& password);
    /** The user name runs carry (null before setCredentials()). */
    const QString& user() const { return userName; }
    /**
     * True: the password reaches the client on its standard input
     * ("--password-from-stdin") instead of as an argument.
     */
    void setPasswordFromStdin(bool fromStdin);
    /** Whole seconds one attempt may stay silent (print nothing, move no data); 0: no limit. */
    void setTimeoutSeconds(int seconds);
    /**
     * Who answers the questions of servers and ssh; null (the default):
     * nobody, and every run fails fast with the client's error, as its
     * argument vector never changes for a question.
     */
    void setPromptHandler(SourceCodeControl::SourceCodeControlSystemPromptHandler* handler) { m_prompts = handler; }
    SourceCodeControl::SourceCodeControlSystemPromptHandler* promptHandler() const { return m_prompts; }
    /**
     * The repository the provider is bound to: the host it names is the
     * one ssh's questions name for a run whose own targets hold no URL.
     */
    void setRepositoryURL(const QString& url) { m_repositoryURL = url; }
    /** The command log every run is written to. */
    SVNCommandLog& log() { return m_log; }
    const SVNCommandLog& log() const { return m_log; }

    /**
     * The whole argument vector of `command`: the executable, the
     * subcommand, its arguments, then, when it carries a message, "--file"
     * `messageFile` "--encoding" "UTF-8", then (when the command carries
     * credentials) "--no-auth-cache" "--non-interactive" and, when a user
     * name is set, "--username" user and "--password" password (or
     * "--password-from-stdin", always for credentials the prompt handler
     * gave), then the certificate failures accepted for this client's life
     * ("--trust-server-cert-failures=..."), then the target's operands.
     * "--no-auth-cache" is left out for the one run that uses credentials
     * the handler asked to remember. A question run (SVNCommand::interactive)
     * gets "--force-interactive" and the user name alone instead. Without a user
     * name no password reaches the client at all, on standard input neither:
     * it uses the credentials it has cached, or the OS login name.
     */
    QStringList argumentVector(const SVNCommand& command, const QString& messageFile = QString()) const;

    /**
     * Runs `command` in its working directory until it succeeds or the
     * retry table has nothing more to try, and returns how it went. Standard
     * output goes where `output` says. A message the command carries is
     * written, as UTF-8, to a file in a private temporary folder that the
     * client reads ("--file"), removed when the run ends; a message that
     * cannot be written is a start failure. Blocks until every attempt has
     * ended.
     *
     * With a prompt handler set, a run the server refuses for want of
     * credentials, or because the client does not trust its certificate,
     * asks the handler (SVNClientQuestions.cpp) and runs again with the
     * answer; a cancel while the handler is asked ends the run (Stopped)
     * once it returns, its answer unused.
     */
    SVNRunResult run(const SVNCommand& command, const SVNOutput& output);

private:
    /** run() without the questions: the attempts the retry table asks for. */
    SVNRunResult runAttempts(const SVNCommand& command, const SVNOutput& output);
    /**
     * Asks the prompt handler what `result`'s failure needs (a certificate
     * trusted, credentials), once the client said what it asks (question
     * runs); true when the run is to be made again with the answer. False
     * leaves `result` the run's own failure, with a cancel during the
     * question made Stopped, and with what else the user must know added
     * (a certificate the client cannot be told to accept).
     */
    bool answerQuestion(const SVNCommand& command, SVNRunResult& result);
    bool answerCertificate(const QString& url, SVNRunResult& result);
    bool answerCredentials(const QString& url, SVNRunResult& result);
    /** A question run of "info URL" with `answers` on standard input: everything it printed, both streams. */
    QStringList askClient(const QString& url, const QByteArray& answers);
    /** "--trust-server-cert-failures=unknown-ca,..." for the failures accepted for every realm. */
    static QString trustArgument(const std::map<QString, unsigned>& trusted);
    /** Whether a run of `command` passes the user name and the password. */
    bool passesCredentials(const SVNCommand& command) const;
    void runOnce(const SVNCommand& command, const QString& messageFile, const SVNOutput& output,
                 SVNRunResult& result, bool stoppable);
    /** Runs "svn cleanup" in `folder` after `result`'s run was stopped. */
    void cleanUp(const QString& folder, SVNRunResult& result);
    QTx::ProcessEnvironment* environment();

    QString svnExecutable;
    QString userName;
    QString password;
    bool passwordFromStdin = false;
    int timeLimitSeconds = 0;
    QTx::ProcessEnvironment childEnvironment;
    /** The host's environment as it is, for runs where ssh may ask (SVNSshQuestions). */
    QTx::ProcessEnvironment askingEnvironment;
    QString m_repositoryURL;
    bool environmentReady = false;
    QTx::ProcessStopper m_stopper;
    SVNCommandLog m_log;
    SourceCodeControl::SourceCodeControlSystemPromptHandler* m_prompts = nullptr;
    /** The credentials came from the handler: the password goes on standard input. */
    bool m_passwordFromHandler = false;
    /** The next run carrying credentials lets the client store them. */
    bool m_rememberNext = false;
    /** Certificate failures accepted for this client's life, by realm ("https://host:443"). */
    std::map<QString, unsigned> m_trusted;
    /** Credentials realms the client named, by server ("svn://host:3690"). */
    std::map<QString, QString> m_realms;
    /** This operation's credentials questions so far, and whether one was declined. */
    int m_credentialQuestions = 0;
    bool m_declined = false;
    std::mutex m_cancelMutex;
    int m_operations = 0;
    int m_runs = 0;
};
