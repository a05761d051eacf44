#include "SvnServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <poll.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

sockaddr_in loopback(int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

SvnServer::~SvnServer()
{
    stop();
}

int SvnServer::freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool SvnServer::acceptsConnections(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address = loopback(port);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

bool SvnServer::start(const QString& repositoryPath, const QProcessEnvironment& environment)
{
    QProcess create;
    create.setProcessEnvironment(environment);
    create.start(QStringLiteral("svnadmin"), {QStringLiteral("create"), repositoryPath});
    if (!create.waitForFinished(30000) || create.exitCode() != 0) {
        m_error = QStringLiteral("svnadmin create failed: ") + create.errorString()
            + QString::fromLocal8Bit(create.readAllStandardError());
        return false;
    }
    const QString conf = repositoryPath + QStringLiteral("/conf/");
    if (!writeText(conf + QStringLiteral("svnserve.conf"),
                   "[general]\n"
                   "anon-access = none\n"
                   "auth-access = write\n"
                   "password-db = passwd\n"
                   "authz-db = authz\n"
                   "realm = scc-e2e\n")
        || !writeText(conf + QStringLiteral("passwd"),
                      "[users]\n"
                      "ann = ann-secret\n"
                      "bob = bob-secret\n")
        || !writeText(conf + QStringLiteral("authz"),
                      "[/]\n"
                      "ann = rw\n"
                      "bob = rw\n"
                      "\n"
                      "[/readonly]\n"
                      "ann = r\n"
                      "bob = rw\n")) {
        m_error = QStringLiteral("cannot write the server configuration");
        return false;
    }

    // The port is free when probed but could be taken before svnserve binds
    // it; a server that exits at once is retried on another port.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int port = freeLoopbackPort();
        if (port == 0) {
            m_error = QStringLiteral("no free port on 127.0.0.1");
            return false;
        }
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Even a test that crashes leaves no server behind.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(QStringLiteral("svnserve"),
                        {QStringLiteral("-d"), QStringLiteral("--foreground"),
                         QStringLiteral("--listen-host"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("--listen-port"), QString::number(port),
                         QStringLiteral("-r"), repositoryPath});
        if (!m_process.waitForStarted(10000)) {
            m_error = QStringLiteral("svnserve did not start: ") + m_process.errorString();
            return false;
        }
        QElapsedTimer timer;
        timer.start();
        while (m_process.state() == QProcess::Running && timer.elapsed() < 10000) {
            if (acceptsConnections(port)) {
                m_url = QStringLiteral("svn://127.0.0.1:%1").arg(port);
                return true;
            }
            QThread::msleep(20);
            m_process.waitForFinished(0);
        }
        stop();
    }
    m_error = QStringLiteral("svnserve never accepted connections on 127.0.0.1");
    return false;
}

void SvnServer::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

SilentServer::~SilentServer()
{
    stop();
}

bool SilentServer::start()
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listener, 16) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        stop();
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] {
        while (!m_stopping) {
            pollfd ready{m_listener, POLLIN, 0};
            if (::poll(&ready, 1, 50) == 1) {
                const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (connection >= 0)
                    m_connections.push_back(connection); // held open, never answered
            }
        }
    });
    return true;
}

void SilentServer::stop()
{
    m_stopping = true;
    if (m_thread.joinable())
        m_thread.join();
    for (int connection : m_connections)
        ::close(connection);
    m_connections.clear();
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}
