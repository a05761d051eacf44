// The askpass program's socket: a listening Unix socket in a private folder.

#include "SVNAskpassSocket.h"

#include "AskpassProtocol.h"
#include "EightBit.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// How long the program may take to send its prompt once it has connected:
// it sends at once, so only something else connecting takes longer.
constexpr int PromptWaitMs = 3000;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

SVNAskpassSocket::SVNAskpassSocket()
{
    // A socket's path must fit into sockaddr_un: a long temporary folder
    // gives way to /tmp. mkdtemp() makes the folder readable by its owner alone.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    for (const QString& base : {QDir::tempPath(), QStringLiteral("/tmp")}) {
        QByteArray folder = toEightBit(base) + "/svnscc-askpass-XXXXXX";
        if (folder.size() + 3 >= qsizetype(sizeof address.sun_path))
            continue;
        if (!::mkdtemp(folder.data())) {
            m_problem = QStringLiteral("cannot make a private folder in %1: %2").arg(base, errnoText(errno));
            continue;
        }
        m_folder = folder;
        break;
    }
    if (m_folder.isEmpty()) {
        if (m_problem.isNull())
            m_problem = QStringLiteral("the temporary folder's path is too long for a socket");
        return;
    }
    m_path = m_folder + "/q";
    std::memcpy(address.sun_path, m_path.constData(), size_t(m_path.size()));
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listener, 4) != 0) {
        m_problem = QStringLiteral("cannot listen on %1: %2").arg(fromEightBit(m_path), errnoText(errno));
        if (m_listener >= 0)
            ::close(m_listener);
        m_listener = -1;
    }
}

SVNAskpassSocket::~SVNAskpassSocket()
{
    dropQuestion();
    if (m_listener >= 0)
        ::close(m_listener);
    if (!m_path.isEmpty())
        ::unlink(m_path.constData());
    if (!m_folder.isEmpty())
        ::rmdir(m_folder.constData());
}

void SVNAskpassSocket::dropQuestion()
{
    if (m_question >= 0)
        ::close(m_question);
    m_question = -1;
}

bool SVNAskpassSocket::takeQuestion(QString& prompt)
{
    dropQuestion();
    int fd;
    do {
        fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    m_question = fd;
    // Only the user's own programs can enter the folder; a socket says who
    // connected all the same.
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
        dropQuestion();
        return false;
    }
    QByteArray bytes;
    char buffer[4096];
    const QDeadlineTimer deadline(PromptWaitMs);
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            dropQuestion();
            return false;
        }
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (count < 0 || bytes.size() + count > SVNAskpass::MaxBytes) {
            dropQuestion();
            return false;
        }
        if (count == 0)
            break;
        bytes.append(buffer, count);
    }
    prompt = QString::fromUtf8(bytes);
    return true;
}

void SVNAskpassSocket::reply(const QString& answer)
{
    if (m_question < 0)
        return;
    QByteArray bytes(1, answer.isNull() ? SVNAskpass::Declined : SVNAskpass::Answered);
    if (!answer.isNull())
        bytes += toEightBit(answer).left(SVNAskpass::MaxBytes);
    // MSG_NOSIGNAL: a program that went away is no SIGPIPE in the host.
    for (qsizetype sent = 0; sent < bytes.size();) {
        const ssize_t count = ::send(m_question, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        sent += count;
    }
    bytes.fill('\0'); // the answer may be a passphrase
    dropQuestion();
}

QString SVNAskpassSocket::program()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&SVNAskpassSocket::program), &info) == 0 || !info.dli_fname)
        return QString();
    const QString path = QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath() + QLatin1Char('/')
        + QLatin1String(SVNAskpass::ProgramName);
    return QFileInfo(path).isExecutable() ? path : QString();
}
