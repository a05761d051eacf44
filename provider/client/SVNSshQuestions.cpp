// ssh's questions: asked through the askpass program while a run goes on,
// or forbidden by the tunnel command.

#include "SVNSshQuestions.h"

#include "AskpassProtocol.h"
#include "EightBit.h"
#include "SVNCommand.h"
#include "SVNCommandLog.h"

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QFile>
#include <QRegularExpression>
#include <QUrl>

using namespace SourceCodeControl;

namespace {

const char s_tunnelVariable[] = "SVN_SSH";
// The tunnel the client runs when neither SVN_SSH nor its configuration names one.
const char s_clientsTunnel[] = "ssh -q -o ControlMaster=no --";
const char s_batchOption[] = " -o BatchMode=yes";

// The ssh tunnel the Subversion configuration at `path` names ([tunnels],
// "ssh = ..."); null when it names none.
QByteArray configuredTunnel(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    static const QRegularExpression s_entry(QStringLiteral("^ssh\\s*[=:]\\s*(.*)$"));
    bool inTunnels = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inTunnels = line == QLatin1String("[tunnels]");
        else if (inTunnels && raw.startsWith("ssh")) { // an entry starts in the first column
            const QRegularExpressionMatch match = s_entry.match(line);
            if (match.hasMatch())
                return match.captured(1).toUtf8();
        }
    }
    return QByteArray();
}

} // namespace

SVNSshQuestions::SVNSshQuestions(SourceCodeControlSystemPromptHandler& handler, const QString& host,
                                 const QTx::ProcessStopper& stopper, SVNCommandLog& log, bool& declined)
    : m_handler(handler), m_host(host), m_stopper(stopper), m_log(log), m_declined(declined)
{
}

void SVNSshQuestions::attach(QTx::ProcessOptions& options, QTx::ProcessEnvironment& asking)
{
    const QString program = SVNAskpassSocket::program();
    QString problem;
    if (program.isNull()) {
        problem = QStringLiteral("%1 is not beside the plug-in").arg(QLatin1String(SVNAskpass::ProgramName));
    } else {
        m_socket.emplace();
        if (!m_socket->isOpen())
            problem = m_socket->problem();
    }
    if (!problem.isNull()) {
        m_socket.reset();
        if (m_log.enabled())
            m_log.write(QStringLiteral("ssh cannot ask this run's questions: ") + problem);
        return;
    }
    asking.set("SSH_ASKPASS", toEightBit(program));
    asking.set("SSH_ASKPASS_REQUIRE", "force");
    asking.set(SVNAskpass::SocketVariable, m_socket->path());
    options.environment = &asking;
    options.watchDescriptor = m_socket->descriptor();
    options.watchHandler = [this] { return answerQuestion(); };
}

bool SVNSshQuestions::answerQuestion()
{
    SshQuestion question;
    if (!m_socket->takeQuestion(question.prompt))
        return true; // nothing to answer; the socket still listens
    question.host = m_host;
    // Only the host-key question is yes/no; passphrases, passwords and
    // whatever else ssh asks are typed blind.
    question.secret = !question.prompt.contains(QLatin1String("(yes/no"));
    const QString asked = question.prompt.simplified();
    if (m_declined || m_stopper.stopRequested()) {
        m_socket->reply(QString());
        if (m_log.enabled())
            m_log.write(QStringLiteral("ssh asked \"%1\": declined without asking").arg(asked));
        return true;
    }
    QString answer;
    const bool given = m_handler.answerSsh(question, answer);
    // A cancel while the handler was asked: its answer is not used, and the
    // run ends as soon as this returns.
    const bool cancelled = m_stopper.stopRequested();
    m_declined = m_declined || !given;
    m_socket->reply(given && !cancelled ? (answer.isNull() ? QStringLiteral("") : answer) : QString());
    answer.fill(QLatin1Char(' '));
    if (m_log.enabled())
        m_log.write(QStringLiteral("ssh asked \"%1\": %2")
                        .arg(asked, cancelled ? QStringLiteral("cancelled")
                                    : given   ? QStringLiteral("answered")
                                              : QStringLiteral("declined")));
    return true;
}

QString SVNSshQuestions::hostOf(const SVNCommand& command, const QString& repositoryURL)
{
    const QStringList targets = command.target.isEmpty() ? command.targets : QStringList{command.target};
    for (const QString& target : targets)
        if (target.contains(QLatin1String("://")))
            return QUrl(target).host();
    return QUrl(repositoryURL).host();
}

QByteArray SVNSshQuestions::batchTunnel(const QByteArray& tunnel)
{
    // The first word as the client splits the command: blanks apart, or in
    // quotes.
    qsizetype start = 0;
    while (start < tunnel.size() && (tunnel[start] == ' ' || tunnel[start] == '\t'))
        ++start;
    if (start == tunnel.size())
        return tunnel;
    qsizetype end;
    QByteArray word;
    const char quote = tunnel[start];
    if (quote == '"' || quote == '\'') {
        end = tunnel.indexOf(quote, start + 1);
        if (end < 0)
            return tunnel;
        word = tunnel.mid(start + 1, end - start - 1);
        ++end;
    } else {
        end = start;
        while (end < tunnel.size() && tunnel[end] != ' ' && tunnel[end] != '\t')
            ++end;
        word = tunnel.mid(start, end - start);
    }
    if (word.mid(word.lastIndexOf('/') + 1) != "ssh")
        return tunnel;
    return tunnel.left(end) + s_batchOption + tunnel.mid(end);
}

void SVNSshQuestions::forbidQuestions(QTx::ProcessEnvironment& environment)
{
    QByteArray tunnel = environment.value(s_tunnelVariable);
    if (tunnel.isNull()) {
        // The user's configuration wins over the system's.
        const QByteArray home = environment.value("HOME");
        QByteArray configured = home.isEmpty() ? QByteArray()
                                               : configuredTunnel(QFile::decodeName(home) + QStringLiteral("/.subversion/config"));
        if (configured.isNull())
            configured = configuredTunnel(QStringLiteral("/etc/subversion/config"));
        static const QByteArray s_readsVariable = QByteArray("$") + s_tunnelVariable;
        if (configured.isNull())
            tunnel = s_clientsTunnel;
        else if (configured.startsWith(s_readsVariable + ' '))
            tunnel = configured.mid(s_readsVariable.size() + 1).trimmed();
        else
            return;
        if (batchTunnel(tunnel) == tunnel)
            return; // not ssh: the client runs what it would have run
    }
    environment.set(s_tunnelVariable, batchTunnel(tunnel));
}
