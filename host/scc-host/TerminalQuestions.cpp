#include "TerminalQuestions.h"

#include <QByteArray>
#include <QStringList>

#include <termios.h>
#include <unistd.h>

#include <cerrno>

using namespace SourceCodeControl;

bool TerminalQuestions::ask(const QString& prompt, QString& line, bool secret)
{
    // The echo goes off before the prompt shows, so that nothing typed
    // after the prompt is flushed or shown.
    termios saved{};
    const bool hidden = secret && ::tcgetattr(m_input, &saved) == 0;
    if (hidden) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(m_input, TCSAFLUSH, &quiet);
    }
    const QByteArray text = prompt.toLocal8Bit();
    std::fwrite(text.constData(), 1, size_t(text.size()), m_out);
    std::fflush(m_out);
    // One byte at a time, so that nothing after the line is taken from the terminal.
    QByteArray bytes;
    bool ended = false;
    for (;;) {
        char byte = 0;
        const ssize_t got = ::read(m_input, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ended = true;
            break;
        }
        if (byte == '\n')
            break;
        bytes += byte;
    }
    if (hidden)
        ::tcsetattr(m_input, TCSAFLUSH, &saved);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    line = QString::fromLocal8Bit(bytes);
    return !ended || !bytes.isEmpty();
}

Credentials TerminalQuestions::credentials(const CredentialsRequest& request)
{
    Credentials answer;
    QString line;
    const QString again = request.attempt > 1 ? QStringLiteral(" (the last answer was refused)") : QString();
    const QString known = request.user.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(request.user);
    if (!ask(QStringLiteral("The server asks who you are for %1%2.\nUser%3: ").arg(request.realm, again, known), line, false))
        return answer;
    answer.user = line.isEmpty() ? request.user : line;
    if (answer.user.isEmpty() || !ask(QStringLiteral("Password for '%1': ").arg(answer.user), answer.password, true))
        return Credentials();
    if (!ask(QStringLiteral("Remember it as your Subversion set-up allows (yes/no)? [no] "), line, false))
        return Credentials();
    answer.remember = line.trimmed().compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
    answer.given = true;
    return answer;
}

Trust TerminalQuestions::trustServer(const ServerCertificate& certificate)
{
    QStringList failures;
    if (certificate.failures & UnknownAuthority)
        failures << QStringLiteral("it is not issued by an authority the client trusts");
    if (certificate.failures & NameMismatch)
        failures << QStringLiteral("it is issued for another host name");
    if (certificate.failures & Expired)
        failures << QStringLiteral("it has expired");
    if (certificate.failures & NotYetValid)
        failures << QStringLiteral("it is not valid yet");
    if (certificate.failures & OtherFailure)
        failures << QStringLiteral("the client found another fault in it");
    const QString prompt = QStringLiteral("The client does not trust the certificate of %1: %2.\n"
                                          "  Host name:   %3\n  Issuer:      %4\n  Valid:       from %5 until %6\n"
                                          "  Fingerprint: %7\n")
                               .arg(certificate.realm, failures.join(QStringLiteral(", ")), certificate.hostname,
                                    certificate.issuer, certificate.validFrom, certificate.validUntil,
                                    certificate.fingerprint);
    QString line;
    for (QString question = prompt + QStringLiteral("Reject, accept once or accept always (r/o/a)? [r] ");;
         question = QStringLiteral("Answer r, o or a: ")) {
        if (!ask(question, line, false))
            return Trust::Reject;
        line = line.trimmed().toLower();
        if (line.isEmpty() || line == QLatin1String("r"))
            return Trust::Reject;
        if (line == QLatin1String("o"))
            return Trust::Once;
        if (line == QLatin1String("a"))
            return Trust::Always;
    }
}

bool TerminalQuestions::answerSsh(const SshQuestion& question, QString& answer)
{
    QString prompt = question.prompt;
    if (!prompt.endsWith(QLatin1Char(' ')) && !prompt.endsWith(QLatin1Char('\n')))
        prompt += QLatin1Char(' ');
    return ask(QStringLiteral("ssh (%1): %2").arg(question.host, prompt), answer, question.secret);
}
