#include "SvnServer.h"

#include "Loopback.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray s_rules = "[/]\nann = rw\nbob = rw\n\n[/readonly]\nann = r\nbob = rw\n";
const char s_modules[] = "/usr/lib/apache2/modules/";

QByteArray readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size()
        && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

// Apache's workers run as www-data: every folder above the repository must
// let them through (a test's temporary folder is private to root).
void openTheWay(const QString& path)
{
    for (QString folder = QFileInfo(path).path(); folder.size() > 1; folder = QFileInfo(folder).path()) {
        struct stat st;
        const QByteArray bytes = QFile::encodeName(folder);
        if (::stat(bytes.constData(), &st) == 0)
            ::chmod(bytes.constData(), st.st_mode | S_IXOTH);
    }
}

} // namespace

bool RepositoryServer::run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    m_error = program + ' ' + arguments.join(' ') + " failed: " + QString::fromUtf8(process.readAllStandardError());
    return false;
}

bool RepositoryServer::serve(const QString& program, const std::function<QStringList(int)>& arguments,
                             const std::function<QString(int)>& url, const QProcessEnvironment& environment)
{
    // The port is free when probed but could be taken before the server binds
    // it; a server that ends at once is retried on another port.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int port = freeLoopbackPort();
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Even a test that crashes leaves no server behind.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(program, arguments(port));
        QElapsedTimer timer;
        timer.start();
        while (m_process.waitForStarted(10000) && m_process.state() == QProcess::Running && timer.elapsed() < 10000) {
            if (acceptsConnections(port)) {
                m_url = url(port);
                return true;
            }
            QThread::msleep(20);
            m_process.waitForFinished(0);
        }
        stop();
    }
    m_error = program + " never accepted connections on 127.0.0.1";
    return false;
}

void RepositoryServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    // SIGTERM: Apache stops its workers and ends. SIGKILL only if a server
    // will not, and then to its workers too, which would outlive it otherwise.
    m_process.terminate();
    if (m_process.waitForFinished(10000))
        return;
    const QDir tasks(QString("/proc/%1/task").arg(m_process.processId()));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task) + "/children");
        if (children.open(QIODevice::ReadOnly))
            for (const QByteArray& pid : children.readAll().split(' '))
                if (pid.trimmed().toInt() > 0)
                    ::kill(pid.trimmed().toInt(), SIGKILL);
    }
    m_process.kill();
    m_process.waitForFinished(10000);
}

bool SvnServer::start(const QString& repositoryPath, const QProcessEnvironment& environment)
{
    const QString conf = repositoryPath + "/conf/";
    if (!run("svnadmin", {"create", repositoryPath}, environment))
        return false;
    if (!writeText(conf + "svnserve.conf", "[general]\nanon-access = none\nauth-access = write\npassword-db = passwd\n"
                                           "authz-db = authz\nrealm = scc-e2e\n")
        || !writeText(conf + "passwd", "[users]\nann = ann-secret\nbob = bob-secret\n")
        || !writeText(conf + "authz", s_rules)) {
        m_error = "cannot write the server configuration";
        return false;
    }
    // One process serves every connection on a thread of its own: a forked
    // child per connection would cost each client run a process start more.
    // SIGSTOP still pauses the whole server, as a hung one.
    return serve("svnserve", [&](int port) {
            return QStringList{"-d", "--foreground", "--threads", "--listen-host", "127.0.0.1", "--listen-port",
                               QString::number(port), "-r", repositoryPath};
        },
        [](int port) { return QStringLiteral("svn://127.0.0.1:%1").arg(port); }, environment);
}

bool SshServer::start(const QString& repositoryPath, const QProcessEnvironment& environment)
{
    const QString parent = QFileInfo(repositoryPath).absolutePath();
    m_dir = parent + "/ssh";
    const auto newKey = [&](const QString& name, const QString& passphrase) {
        return run("ssh-keygen", {"-q", "-t", "ed25519", "-N", passphrase, "-C", name, "-f", m_dir + '/' + name},
                   environment);
    };
    if (!QDir().mkpath(m_dir) || !run("svnadmin", {"create", repositoryPath}, environment) || !newKey("host", "")
        || !newKey("user", "") || !newKey("locked", "passphrase"))
        return false;
    const QByteArray svnserve = QFile::encodeName(QStandardPaths::findExecutable("svnserve"));
    QByteArray authorized;
    for (const char* key : {"/user.pub", "/locked.pub"})
        authorized += "command=\"" + svnserve + " -t -r " + QFile::encodeName(parent)
            + " --tunnel-user=ann\",restrict " + readText(m_dir + key);
    const passwd* user = ::getpwuid(::getuid());
    if (!user || !writeText(repositoryPath + "/conf/svnserve.conf",
                            "[general]\nanon-access = none\nauth-access = write\nauthz-db = authz\n")
        || !writeText(repositoryPath + "/conf/authz", s_rules) || !writeText(m_dir + "/authorized_keys", authorized)
        || !writeText(m_dir + "/banner", QByteArray(bannerLine()) + "\n")) {
        m_error = "cannot write the server configuration";
        return false;
    }
    // sshd will not start without the folder it confines its unprivileged half to.
    ::mkdir("/run/sshd", 0755);
    const QByteArray at = QFile::encodeName(m_dir);
    return serve("/usr/sbin/sshd", [&](int port) { // by its absolute path, or it cannot run itself again
            m_port = port;
            writeText(m_dir + "/known_hosts", QStringLiteral("[127.0.0.1]:%1 ").arg(port).toLatin1()
                                                  + readText(m_dir + "/host.pub"));
            writeText(m_dir + "/sshd_config",
                      "Port " + QByteArray::number(port) + "\nListenAddress 127.0.0.1\nHostKey " + at + "/host\n"
                      "AuthorizedKeysFile " + at + "/authorized_keys\nPidFile " + at + "/sshd.pid\n"
                      "AllowUsers " + QByteArray(user->pw_name) + "\nPermitRootLogin prohibit-password\n"
                      + (m_passwords ? "PasswordAuthentication yes\nKbdInteractiveAuthentication yes\nLogLevel VERBOSE\n"
                                   : "PasswordAuthentication no\nKbdInteractiveAuthentication no\nLogLevel QUIET\n")
                      + "UsePAM no\nStrictModes no\nBanner " + at + "/banner\nPrintMotd no\n"
                      // The user's shell runs the forced command; bash, started by sshd
                      // as the outermost shell, would read the user's ~/.bashrc first.
                      "SetEnv SHLVL=1\n");
            return m_passwords ? QStringList{"-D", "-E", logFile(), "-f", m_dir + "/sshd_config"}
                               : QStringList{"-D", "-e", "-f", m_dir + "/sshd_config"};
        },
        [&](int) { return "svn+ssh://127.0.0.1/" + QFileInfo(repositoryPath).fileName(); }, environment);
}

QString SshServer::tunnel(bool lockedKey, bool hostKnown) const
{
    // The key exchange that costs least time, as every run opens a connection.
    return QStringLiteral("ssh -F /dev/null -p %1 -i %2/%3 -o IdentitiesOnly=yes -o IdentityAgent=none "
                          "-o KexAlgorithms=curve25519-sha256 -o GlobalKnownHostsFile=/dev/null "
                          "-o UserKnownHostsFile=%4 -o StrictHostKeyChecking=%5")
        .arg(m_port)
        .arg(m_dir, lockedKey ? "locked" : "user", hostKnown ? m_dir + "/known_hosts" : "/dev/null",
             hostKnown ? "yes" : "ask");
}

bool ApacheServer::start(const QString& repositoryPath, const QProcessEnvironment& environment)
{
    const QString dir = QFileInfo(repositoryPath).absolutePath() + "/apache";
    const QString passwords = dir + "/passwd";
    if (!QDir().mkpath(dir) || !run("svnadmin", {"create", repositoryPath}, environment)
        || !run("chown", {"-R", "www-data:www-data", repositoryPath}, environment)
        || !run("htpasswd", {"-bcm", passwords, "ann", "ann-secret"}, environment)
        || !run("htpasswd", {"-bm", passwords, "bob", "bob-secret"}, environment)
        || !QFile::setPermissions(passwords, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther)
        || !writeText(dir + "/authz", s_rules))
        return false;
    openTheWay(repositoryPath);

    QByteArray tls;
    if (m_https) {
        m_certificateFile = dir + "/server.pem";
        const QString key = dir + "/server.key";
        if (!makeCertificate(dir, key, environment))
            return false;
        tls = "LoadModule ssl_module " + QByteArray(s_modules) + "mod_ssl.so\nSSLEngine on\nSSLCertificateFile "
            + QFile::encodeName(m_certificateFile) + "\nSSLCertificateKeyFile " + QFile::encodeName(key) + "\n";
    }
    const QString configFile = dir + "/httpd.conf";
    return serve("apache2", [&](int port) {
            const QByteArray at = QFile::encodeName(dir);
            QByteArray config = "ServerRoot " + at + "\nPidFile " + at + "/httpd.pid\nErrorLog " + at
                + "/error.log\nLogLevel warn\nListen 127.0.0.1:" + QByteArray::number(port)
                + "\nServerName 127.0.0.1\nUser www-data\nGroup www-data\n";
            for (const char* module : {"mpm_event", "authn_core", "authn_file", "authz_core", "authz_user",
                                       "auth_basic", "dav", "dav_svn", "authz_svn"})
                config += "LoadModule " + QByteArray(module) + "_module " + s_modules + "mod_" + module + ".so\n";
            config += tls + "<Location /svn>\n  DAV svn\n  SVNPath " + QFile::encodeName(repositoryPath)
                + "\n  AuthType Basic\n  AuthName scc-e2e\n  AuthUserFile " + QFile::encodeName(passwords)
                + "\n  Require valid-user\n  AuthzSVNAccessFile " + at + "/authz\n</Location>\n";
            writeText(configFile, config);
            return QStringList{"-f", configFile, "-k", "start", "-DFOREGROUND"};
        },
        [this](int port) { return QStringLiteral("%1://127.0.0.1:%2/svn").arg(m_https ? "https" : "http").arg(port); },
        environment);
}

bool ApacheServer::makeCertificate(const QString& dir, const QString& key, const QProcessEnvironment& environment)
{
    const QStringList ellipticKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    if (m_certificate == Certificate::SelfSigned) {
        // Its own authority. The client compares the address with the certificate's names.
        m_authority = m_certificateFile;
        return run("openssl", QStringList{"req", "-x509"} + ellipticKey
                       + QStringList{"-keyout", key, "-out", m_certificateFile, "-days", "2", "-subj", "/CN=127.0.0.1",
                                     "-addext", "subjectAltName=IP:127.0.0.1"},
                   environment);
    }
    // A throwaway authority signs it, with the dates and names the kind asks for ("openssl ca").
    const QString ca = dir + "/ca";
    m_authority = ca + "/authority.pem";
    const bool otherName = m_certificate == Certificate::OtherName || m_certificate == Certificate::ExpiredOtherName;
    const bool expired = m_certificate == Certificate::Expired || m_certificate == Certificate::ExpiredOtherName;
    const QString name = otherName ? "other.example" : "127.0.0.1";
    QProcessEnvironment withNames = environment;
    withNames.insert("SAN", otherName ? "DNS:other.example" : "IP:127.0.0.1");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto stamp = [](const QDateTime& at) { return at.toString("yyyyMMddHHmmss") + "Z"; };
    return QDir().mkpath(ca) && writeText(ca + "/index.txt", "") && writeText(ca + "/serial", "01\n")
        && writeText(ca + "/ca.cnf", "[ca]\ndefault_ca = d\n[d]\ndatabase = " + QFile::encodeName(ca)
                                         + "/index.txt\nnew_certs_dir = " + QFile::encodeName(ca) + "\nserial = "
                                         + QFile::encodeName(ca) + "/serial\ndefault_md = sha256\npolicy = p\n"
                                         "unique_subject = no\n[p]\ncommonName = supplied\n[names]\n"
                                         "subjectAltName = $ENV::SAN\n")
        && run("openssl", QStringList{"req", "-x509"} + ellipticKey
                   + QStringList{"-keyout", ca + "/authority.key", "-out", m_authority, "-days", "2", "-subj",
                                 "/CN=Throwaway Test Authority"},
               environment)
        && run("openssl", QStringList{"req", "-new"} + ellipticKey
                   + QStringList{"-keyout", key, "-out", ca + "/server.csr", "-subj", "/CN=" + name},
               environment)
        && run("openssl", {"ca", "-batch", "-config", ca + "/ca.cnf", "-cert", m_authority, "-keyfile",
                           ca + "/authority.key", "-in", ca + "/server.csr", "-out", m_certificateFile, "-extensions",
                           "names", "-startdate", expired ? "20200101000000Z" : stamp(now.addSecs(-3600)),
                           "-enddate", expired ? "20200102000000Z" : stamp(now.addDays(2))},
               withNames);
}

bool SilentServer::start()
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listener, 64) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    m_port = ntohs(address.sin_port);
    return true;
}

void SilentServer::stop()
{
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}
