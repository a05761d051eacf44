// ssh's askpass program while the provider runs the client with a prompt
// handler: ssh starts it with its prompt as the one argument (SSH_ASKPASS,
// SSH_ASKPASS_REQUIRE=force); it hands the prompt to the provider over the
// socket that SVNSCC_ASKPASS_SOCKET names and prints the answer.
//
// Exit status: 0 with the answer and a line end on standard output; 1 when
// the question was declined; 2 when there is no provider to ask (no socket
// named, none listening, or the connection broke); 64 for a wrong call.
// Nothing but the answer is ever printed, so ssh never reads an error as one.

#include "AskpassProtocol.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int Declined = 1;
constexpr int NobodyToAsk = 2;
constexpr int Usage = 64;

bool sendAll(int fd, const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= size_t(sent);
    }
    return true;
}

bool writeAll(int fd, const std::string& text)
{
    const char* bytes = text.data();
    size_t size = text.size();
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= size_t(written);
    }
    return true;
}

// The provider's whole reply, up to its end or the size limit; false when
// the connection broke.
bool receiveAll(int fd, std::string& reply)
{
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            return true;
        reply.append(buffer, size_t(count));
        if (reply.size() > size_t(SVNAskpass::MaxBytes) + 1)
            return false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return Usage;
    const char* path = std::getenv(SVNAskpass::SocketVariable);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!path || !*path || std::strlen(path) >= sizeof address.sun_path)
        return NobodyToAsk;
    std::strcpy(address.sun_path, path);

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return NobodyToAsk;
    const std::string prompt(argv[1], std::min(std::strlen(argv[1]), size_t(SVNAskpass::MaxBytes)));
    std::string reply;
    if (!sendAll(fd, prompt.data(), prompt.size()) || ::shutdown(fd, SHUT_WR) != 0 || !receiveAll(fd, reply)
        || reply.empty())
        return NobodyToAsk;
    ::close(fd);
    if (reply[0] != SVNAskpass::Answered)
        return Declined;
    return writeAll(STDOUT_FILENO, reply.substr(1) + '\n') ? 0 : NobodyToAsk;
}
