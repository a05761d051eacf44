#pragma once

#include "QTxProcess.h"
#include "QTxProcessEnvironment.h"
#include "SVNAskpassSocket.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace SourceCodeControl {
class SourceCodeControlSystemPromptHandler;
}
class SVNCommandLog;
struct SVNCommand;

/**
 * ssh's questions during one client run (svn+ssh://): an unknown host key,
 * a key's passphrase, a password.
 *
 * With a prompt handler, ssh asks through the askpass program beside the
 * plug-in (SSH_ASKPASS, SSH_ASKPASS_REQUIRE=force), which passes each
 * prompt over a private socket (SVNAskpassSocket, named to it in
 * SVNSCC_ASKPASS_SOCKET) that the run watches while the client runs. Each
 * question calls the handler's answerSsh() on the run's own thread, with
 * the host the run's URL names, ssh's prompt, and `secret` for everything
 * but a yes/no question; the answer goes back to ssh as typed. A declined
 * question fails the run (ssh gives up with its own reason) and the later
 * questions of the operation are declined without asking. A cancel while
 * the handler is asked declines the question, its answer unused, and the
 * run ends as soon as the handler returns. The answer never reaches the
 * command log or an argument vector.
 *
 * Without a handler ssh never asks and sends no password: see
 * forbidQuestions().
 */
class SVNSshQuestions
{
public:
    /**
     * `declined` is the operation's own flag: set by a declined question,
     * and while set every question is declined without asking.
     */
    SVNSshQuestions(SourceCodeControl::SourceCodeControlSystemPromptHandler& handler, const QString& host,
                    const QTx::ProcessStopper& stopper, SVNCommandLog& log, bool& declined);
    SVNSshQuestions(const SVNSshQuestions&) = delete;
    SVNSshQuestions& operator=(const SVNSshQuestions&) = delete;

    /**
     * Sets the run's environment to `asking` (the host's, where ssh may ask)
     * with the askpass variables, and watches the socket. When the program
     * is not beside the plug-in or no socket can be made, says so in the
     * log and leaves `options` alone: ssh then asks nothing.
     */
    void attach(QTx::ProcessOptions& options, QTx::ProcessEnvironment& asking);

    /**
     * Makes `environment` (the host's, for the client) one where ssh never
     * asks and never sends a password: the tunnel the client runs gets
     * "-o BatchMode=yes" (see batchTunnel()). That tunnel is SVN_SSH when it
     * is set; otherwise the fallback of the user's or the system's
     * Subversion configuration ([tunnels], "ssh = $SVN_SSH FALLBACK"), or
     * the client's own "ssh -q -o ControlMaster=no --", becomes SVN_SSH with
     * the option. A configured ssh tunnel that does not read $SVN_SSH is
     * the user's to change: it is left as it is, and so is a tunnel program
     * that is not ssh (plink, a script).
     */
    static void forbidQuestions(QTx::ProcessEnvironment& environment);
    /**
     * `tunnel` with "-o BatchMode=yes" right after its first word, when that
     * word (quoted or not) names a program called ssh; otherwise unchanged.
     * ssh takes the first value of an option, so it overrides the user's.
     */
    static QByteArray batchTunnel(const QByteArray& tunnel);
    /** The host ssh's questions name: of the run's URL target, or else of the repository URL. */
    static QString hostOf(const SVNCommand& command, const QString& repositoryURL);

private:
    bool answerQuestion();

    SourceCodeControl::SourceCodeControlSystemPromptHandler& m_handler;
    QString m_host;
    const QTx::ProcessStopper& m_stopper;
    SVNCommandLog& m_log;
    bool& m_declined;
    std::optional<SVNAskpassSocket> m_socket;
};
