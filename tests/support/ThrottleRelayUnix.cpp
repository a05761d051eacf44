// Blocking sockets, one thread per direction: each reads a slice of what
// the rate allows, passes it on and waits until the rate allows more.

#include "ThrottleRelay.h"

#include "Loopback.h"

#include <netinet/tcp.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Receive buffers this small make a sender's bytes wait in its send queue
// (the kernel doubles the figure for its own accounting).
constexpr int ReceiveBufferBytes = 32 * 1024;
// A rate is kept in slices of this many per second.
constexpr int SlicesPerSecond = 50;

// A socket of the relay: small receive buffer, small writes sent at once.
int relaySocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int size = ReceiveBufferBytes, on = 1;
    if (fd >= 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}

bool sendAll(int fd, const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

struct ThrottleRelay::State
{
    int targetPort = 0;
    int rate = 0;
    int port = 0;
    int listener = -1;
    std::mutex mutex;
    std::condition_variable stopping;
    bool stop = false;
    std::vector<int> sockets;
    std::vector<std::thread> passers;
    std::thread acceptor;

    void accept()
    {
        for (;;) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0 && errno == EINTR)
                continue;
            if (client < 0)
                return; // the listener was shut down
            const int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            const int server = relaySocket();
            const sockaddr_in address = loopback(targetPort);
            std::lock_guard<std::mutex> lock(mutex);
            sockets.push_back(client);
            sockets.push_back(server);
            if (stop || server < 0
                || ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
                ::shutdown(client, SHUT_RDWR); // the client sees its connection closed
                continue;
            }
            passers.emplace_back([this, client, server] { pass(client, server); });
            passers.emplace_back([this, client, server] { pass(server, client); });
        }
    }

    // Passes what `from` sends on to `to` at the rate, then passes on its end.
    void pass(int from, int to)
    {
        std::vector<char> slice(size_t(std::max(1024, rate / SlicesPerSecond)));
        const Clock::time_point start = Clock::now();
        double passed = 0;
        for (;;) {
            const ssize_t n = ::recv(from, slice.data(), slice.size(), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || !sendAll(to, slice.data(), size_t(n)))
                break;
            passed += double(n);
            const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(passed / rate));
            std::unique_lock<std::mutex> lock(mutex);
            if (stopping.wait_until(lock, due, [this] { return stop; }))
                break;
        }
        ::shutdown(to, SHUT_WR);
    }
};

ThrottleRelay::ThrottleRelay(int targetPort, int bytesPerSecond) : m_state(std::make_unique<State>())
{
    m_state->targetPort = targetPort;
    m_state->rate = std::max(1, bytesPerSecond);
    // Accepted sockets inherit the listener's receive buffer.
    m_state->listener = relaySocket();
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_state->listener < 0
        || ::bind(m_state->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_state->listener, 16) != 0
        || ::getsockname(m_state->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const std::string why = std::strerror(errno);
        if (m_state->listener >= 0)
            ::close(m_state->listener);
        throw std::runtime_error("cannot set up the relay: " + why);
    }
    m_state->port = ntohs(address.sin_port);
    State* state = m_state.get();
    m_state->acceptor = std::thread([state] { state->accept(); });
}

ThrottleRelay::~ThrottleRelay()
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->stop = true;
        // Wakes the blocked accept and every blocked recv.
        ::shutdown(m_state->listener, SHUT_RDWR);
        for (int fd : m_state->sockets)
            ::shutdown(fd, SHUT_RDWR);
    }
    m_state->stopping.notify_all();
    m_state->acceptor.join();
    for (std::thread& passer : m_state->passers)
        passer.join();
    for (int fd : m_state->sockets)
        if (fd >= 0)
            ::close(fd);
    ::close(m_state->listener);
}

int ThrottleRelay::port() const
{
    return m_state->port;
}
