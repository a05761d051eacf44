// The server's questions: a run refused for want of credentials, or for a
// certificate the client does not trust, is made again with the prompt
// handler's answer.
//
// The client is never driven through its own prompts: it runs
// non-interactively, its failure says what is missing, and a question run
// ("info --force-interactive URL" with its answers, or none, on standard
// input) shows what it would ask: the realm of the credentials, and the
// certificate's details. The answers then travel as arguments
// ("--trust-server-cert-failures"), on standard input (the password), or
// are stored by the client itself (its answer "p" for a certificate
// trusted always).

#include "EightBit.h"
#include "SVNClient.h"
#include "SVNCredentialStore.h"

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QCryptographicHash>
#include <QFileInfo>
#include <QRegularExpression>

using namespace SourceCodeControl;

namespace {

// The client's names of the certificate failures, as
// "--trust-server-cert-failures" takes them, in the order of their bits.
struct FailureName
{
    unsigned bit;
    const char* option;
    const char* interactive;    // in the question run's list
};
const FailureName s_failures[] = {
    {NotYetValid, "not-yet-valid", "The certificate is not yet valid."},
    {Expired, "expired", "The certificate has expired."},
    {NameMismatch, "cn-mismatch", "The certificate hostname does not match."},
    {UnknownAuthority, "unknown-ca", "The certificate is not issued by a trusted authority."},
    {OtherFailure, "other", "The certificate has an unknown error."},
};

// The repository a refused run wanted: the client names it ("Unable to
// connect to a repository at URL '...'"), or the run's own URL target.
QString refusedURL(const SVNCommand& command, const QStringList& errors)
{
    static const QRegularExpression s_at(QStringLiteral("repository at URL '([^']+)'"));
    for (const QString& line : errors) {
        const QRegularExpressionMatch match = s_at.match(line);
        if (match.hasMatch())
            return match.captured(1);
    }
    const QStringList targets = command.target.isEmpty() ? command.targets : QStringList{command.target};
    for (const QString& target : targets)
        if (target.contains(QLatin1String("://")))
            return target;
    return QString();
}

// "svn://host:3690" of a URL, the port always named as the client names
// it in realms: the server whose realm a question run found.
QString serverOf(const QString& url)
{
    const int scheme = url.indexOf(QLatin1String("://"));
    const int path = url.indexOf(QLatin1Char('/'), scheme < 0 ? 0 : scheme + 3);
    QString server = path < 0 ? url : url.left(path);
    const int at = server.lastIndexOf(QLatin1Char('@'));
    if (at > scheme)
        server.remove(scheme + 3, at - scheme - 2); // a user name in the URL is no part of the realm
    const QString host = server.mid(scheme + 3);
    if (!host.contains(QLatin1Char(':')) || host.endsWith(QLatin1Char(']'))) {
        const QString name = server.left(scheme);
        const char* port = name == QLatin1String("https") ? "443" : name == QLatin1String("http") ? "80" : "3690";
        server += QLatin1Char(':') + QLatin1String(port);
    }
    return server;
}

bool certificateRefused(const SVNRunResult& result)
{
    return result.hasCode("E230001");
}

// Missing or wrong credentials, over svnserve (E170001) and http(s) (E215004).
bool credentialsRefused(const SVNRunResult& result)
{
    return result.hasCode("E170001") || result.hasCode("E215004");
}

// What a question run printed of a certificate it does not trust.
bool readCertificate(const QStringList& lines, ServerCertificate& certificate)
{
    static const QRegularExpression s_for(QStringLiteral("^Error validating server certificate for '([^']+)':"));
    bool found = false;
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = s_for.match(line);
        if (match.hasMatch()) {
            certificate.realm = match.captured(1);
            found = true;
            continue;
        }
        if (!found)
            continue;
        const QString item = line.trimmed();
        if (item.startsWith(QLatin1String("- The certificate"))) {
            unsigned bit = OtherFailure;
            for (const FailureName& failure : s_failures)
                if (item.mid(2).startsWith(QLatin1String(failure.interactive).left(30)))
                    bit = failure.bit;
            certificate.failures |= bit;
        } else if (item.startsWith(QLatin1String("- Hostname: "))) {
            certificate.hostname = item.mid(12);
        } else if (item.startsWith(QLatin1String("- Valid: from "))) {
            const QString valid = item.mid(14);
            const int until = valid.indexOf(QLatin1String(" until "));
            certificate.validFrom = valid.left(until);
            certificate.validUntil = until < 0 ? QString() : valid.mid(until + 7);
        } else if (item.startsWith(QLatin1String("- Issuer: "))) {
            certificate.issuer = item.mid(10);
        } else if (item.startsWith(QLatin1String("- Fingerprint: "))) {
            certificate.fingerprint = item.mid(15);
        }
    }
    return found;
}

// The realm a question run named. Prompts end with no line end, so the
// realm's line may follow a certificate question on the same line.
QString realmIn(const QStringList& lines)
{
    static const QLatin1String s_realm("Authentication realm: ");
    for (const QString& line : lines) {
        const qsizetype at = line.indexOf(s_realm);
        if (at >= 0)
            return line.mid(at + s_realm.size());
    }
    return QString();
}

} // namespace

QString SVNClient::trustArgument(const std::map<QString, unsigned>& trusted)
{
    unsigned all = 0;
    for (const auto& realm : trusted)
        all |= realm.second;
    QStringList names;
    for (const FailureName& failure : s_failures)
        if (all & failure.bit)
            names << QLatin1String(failure.option);
    return QStringLiteral("--trust-server-cert-failures=") + names.join(QLatin1Char(','));
}

QStringList SVNClient::askClient(const QString& url, const QByteArray& answers)
{
    SVNCommand question = SVNCommands::info(url);
    question.interactive = true;
    question.answers = answers;
    QStringList lines;
    SVNOutput output;
    output.lines = &lines;
    const SVNRunResult result = runAttempts(question, output);
    return lines + result.errors;
}

bool SVNClient::answerQuestion(const SVNCommand& command, SVNRunResult& result)
{
    const QString url = refusedURL(command, result.errors);
    if (url.isEmpty())
        return false;
    bool again = false;
    if (certificateRefused(result))
        again = answerCertificate(url, result);
    else if (credentialsRefused(result))
        again = answerCredentials(url, result);
    else
        return false;
    // A cancel while the handler was asked ends the run; its answer is not used.
    if (m_stopper.stopRequested()) {
        result.end = SVNRunResult::End::Stopped;
        return false;
    }
    return again;
}

bool SVNClient::answerCertificate(const QString& url, SVNRunResult& result)
{
    ServerCertificate certificate;
    if (!readCertificate(askClient(url, QByteArray()), certificate))
        return false;
    const auto accepted = m_trusted.find(certificate.realm);
    if (accepted != m_trusted.end() && (accepted->second & certificate.failures) == certificate.failures) {
        // Trusted, and refused all the same: nothing the client can be told.
        result.errors << QStringLiteral("the client cannot be told to accept the certificate of %1: it refuses it "
                                        "also with these failures accepted")
                             .arg(certificate.realm);
        return false;
    }
    const Trust trust = m_prompts->trustServer(certificate);
    if (m_log.enabled())
        m_log.write(QStringLiteral("the certificate of %1 was %2")
                        .arg(certificate.realm, trust == Trust::Reject ? QStringLiteral("rejected")
                                                    : trust == Trust::Once ? QStringLiteral("accepted once")
                                                                           : QStringLiteral("accepted always")));
    if (trust == Trust::Reject || m_stopper.stopRequested())
        return false;
    if (trust == Trust::Always) {
        // The client's own answer "p" stores it where a terminal finds it too.
        const QStringList said = askClient(url, QByteArrayLiteral("p\n"));
        const QString realm = realmIn(said);
        if (!realm.isEmpty())
            m_realms[serverOf(url)] = realm;
        if (!SVNCredentialStore::trustStored(certificate.realm)) {
            result.errors << QStringLiteral("the client did not store the trust of the certificate of %1 (its set-up "
                                            "may forbid storing it)")
                                 .arg(certificate.realm);
            return false;
        }
    }
    m_trusted[certificate.realm] |= certificate.failures;
    return true;
}

bool SVNClient::answerCredentials(const QString& url, SVNRunResult& result)
{
    Q_UNUSED(result);
    if (m_declined || m_credentialQuestions >= 3)
        return false;
    const QString server = serverOf(url);
    auto known = m_realms.find(server);
    if (known == m_realms.end()) {
        // A certificate trusted once is asked about again in a question run: "t" accepts it there, storing nothing.
        const bool trustedOnce = m_trusted.count(server) != 0 && !SVNCredentialStore::trustStored(server);
        const QString realm = realmIn(askClient(url, trustedOnce ? QByteArrayLiteral("t\n") : QByteArray()));
        known = m_realms.emplace(server, realm.isEmpty() ? server : realm).first;
    }
    CredentialsRequest request;
    request.realm = known->second;
    request.user = userName.isNull() ? QStringLiteral("") : userName;
    request.attempt = ++m_credentialQuestions;
    const Credentials answer = m_prompts->credentials(request);
    if (!answer.given) {
        m_declined = true;
        if (m_log.enabled())
            m_log.write(QStringLiteral("credentials for %1 declined").arg(request.realm));
        return false;
    }
    if (m_stopper.stopRequested())
        return false;
    if (m_log.enabled())
        m_log.write(QStringLiteral("credentials for %1 given for %2%3 (attempt %4)")
                        .arg(request.realm, answer.user, answer.remember ? QStringLiteral(", to be remembered") : QString())
                        .arg(request.attempt));
    userName = answer.user;
    password = answer.password;
    m_passwordFromHandler = true;
    m_rememberNext = answer.remember;
    return true;
}
