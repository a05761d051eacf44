#include "SvnServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>

namespace {

const char s_modules[] = "/usr/lib/apache2/modules/";

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
    for (QString folder = QFileInfo(path).absolutePath(); folder.size() > 1;
         folder = QFileInfo(folder).absolutePath()) {
        struct stat st;
        const QByteArray bytes = QFile::encodeName(folder);
        if (::stat(bytes.constData(), &st) == 0 && !(st.st_mode & S_IXOTH))
            ::chmod(bytes.constData(), st.st_mode | S_IXOTH);
    }
}

} // namespace

ApacheServer::~ApacheServer()
{
    stop();
}

bool ApacheServer::run(const QString& program, const QStringList& arguments,
                       const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0)
        return true;
    m_error = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) + QStringLiteral(" failed: ")
        + process.errorString() + QLatin1Char(' ') + QString::fromLocal8Bit(process.readAllStandardError());
    return false;
}

bool ApacheServer::start(const QString& repositoryPath, const QProcessEnvironment& environment)
{
    const QString dir = QFileInfo(repositoryPath).absolutePath() + QStringLiteral("/apache");
    if (!QDir().mkpath(dir) || !run(QStringLiteral("svnadmin"), {QStringLiteral("create"), repositoryPath}, environment)
        || !run(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("www-data:www-data"), repositoryPath},
                environment))
        return false;
    openTheWay(repositoryPath);
    const QString passwords = dir + QStringLiteral("/passwd");
    if (!run(QStringLiteral("htpasswd"), {QStringLiteral("-b"), QStringLiteral("-c"), QStringLiteral("-m"), passwords,
                                          QStringLiteral("ann"), QStringLiteral("ann-secret")}, environment)
        || !run(QStringLiteral("htpasswd"), {QStringLiteral("-b"), QStringLiteral("-m"), passwords,
                                             QStringLiteral("bob"), QStringLiteral("bob-secret")}, environment)
        || !QFile::setPermissions(passwords, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther)
        || !writeText(dir + QStringLiteral("/authz"), "[/]\nann = rw\nbob = rw\n\n[/readonly]\nann = r\nbob = rw\n")) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("cannot write the access files");
        return false;
    }

    QByteArray tls;
    if (m_https) {
        // A throwaway authority and a server certificate signed by it. The
        // client compares the common name, so the name is the address.
        const QString key = dir + QStringLiteral("/server.key");
        const QString request = dir + QStringLiteral("/server.csr");
        const QString certificate = dir + QStringLiteral("/server.pem");
        const QString extensions = dir + QStringLiteral("/extensions.cnf");
        m_authority = dir + QStringLiteral("/authority.pem");
        const QStringList curve{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                                QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
        if (!writeText(extensions, "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n")
            || !run(QStringLiteral("openssl"),
                    QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + curve
                        + QStringList{QStringLiteral("-keyout"), dir + QStringLiteral("/authority.key"),
                                      QStringLiteral("-out"), m_authority, QStringLiteral("-days"), QStringLiteral("2"),
                                      QStringLiteral("-subj"), QStringLiteral("/CN=scc-e2e test authority")},
                    environment)
            || !run(QStringLiteral("openssl"),
                    QStringList{QStringLiteral("req")} + curve
                        + QStringList{QStringLiteral("-keyout"), key, QStringLiteral("-out"), request,
                                      QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")},
                    environment)
            || !run(QStringLiteral("openssl"),
                    {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                     QStringLiteral("-CA"), m_authority, QStringLiteral("-CAkey"), dir + QStringLiteral("/authority.key"),
                     QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), certificate, QStringLiteral("-days"),
                     QStringLiteral("2"), QStringLiteral("-extfile"), extensions},
                    environment))
            return false;
        tls = "LoadModule ssl_module " + QByteArray(s_modules) + "mod_ssl.so\n"
              "SSLEngine on\n"
              "SSLCertificateFile " + QFile::encodeName(certificate) + "\n"
              "SSLCertificateKeyFile " + QFile::encodeName(key) + "\n";
    }

    // The port is free when probed but could be taken before Apache binds
    // it; an Apache that ends at once is retried on another port.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int port = SvnServer::freeLoopbackPort();
        QByteArray config = "ServerRoot " + QFile::encodeName(dir) + "\n"
            "PidFile " + QFile::encodeName(dir) + "/httpd.pid\n"
            "ErrorLog " + QFile::encodeName(dir) + "/error.log\n"
            "LogLevel warn\n"
            "Listen 127.0.0.1:" + QByteArray::number(port) + "\n"
            "ServerName 127.0.0.1\n"
            "User www-data\n"
            "Group www-data\n";
        for (const char* module : {"mpm_event", "authn_core", "authn_file", "authz_core", "authz_user",
                                   "auth_basic", "dav", "dav_svn", "authz_svn"})
            config += "LoadModule " + QByteArray(module) + "_module " + s_modules + "mod_" + module + ".so\n";
        config += tls;
        config += "<Location /svn>\n"
                  "  DAV svn\n"
                  "  SVNPath " + QFile::encodeName(repositoryPath) + "\n"
                  "  AuthType Basic\n"
                  "  AuthName scc-e2e\n"
                  "  AuthUserFile " + QFile::encodeName(passwords) + "\n"
                  "  Require valid-user\n"
                  "  AuthzSVNAccessFile " + QFile::encodeName(dir) + "/authz\n"
                  "</Location>\n";
        const QString configFile = dir + QStringLiteral("/httpd.conf");
        if (!writeText(configFile, config)) {
            m_error = QStringLiteral("cannot write the Apache configuration");
            return false;
        }
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Even a test that crashes leaves no server behind.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(QStringLiteral("apache2"), {QStringLiteral("-f"), configFile, QStringLiteral("-k"),
                                                    QStringLiteral("start"), QStringLiteral("-DFOREGROUND")});
        if (!m_process.waitForStarted(10000)) {
            m_error = QStringLiteral("apache2 did not start: ") + m_process.errorString();
            return false;
        }
        QElapsedTimer timer;
        timer.start();
        while (m_process.state() == QProcess::Running && timer.elapsed() < 10000) {
            if (SvnServer::acceptsConnections(port)) {
                m_url = QStringLiteral("%1://127.0.0.1:%2/svn").arg(m_https ? QStringLiteral("https")
                                                                            : QStringLiteral("http"))
                            .arg(port);
                return true;
            }
            QThread::msleep(20);
            m_process.waitForFinished(0);
        }
        stop();
    }
    m_error = QStringLiteral("Apache never accepted connections on 127.0.0.1");
    return false;
}

void ApacheServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    // SIGTERM: Apache stops its workers and ends. SIGKILL only if it will
    // not, and then to its workers too, which would outlive it otherwise.
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(m_process.processId()));
        for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile children(tasks.filePath(task) + QStringLiteral("/children"));
            if (children.open(QIODevice::ReadOnly))
                for (const QByteArray& pid : children.readAll().split(' '))
                    if (pid.trimmed().toInt() > 0)
                        ::kill(pid.trimmed().toInt(), SIGKILL);
        }
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}
