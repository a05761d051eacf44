// The relay's thread: one ppoll loop over the listening socket, a wake-up
// eventfd and both sockets of every connection.

#include "DelayRelay.h"

#include "Loopback.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void closeQuietly(int& fd)
{
    if (fd >= 0)
        ::close(fd); // never retried: the descriptor is gone whatever close says
    fd = -1;
}

// Small messages go out at once: the delay is the relay's, not Nagle's.
void noDelay(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Bytes read from one side, held until `due`; `end` passes on the end of the stream instead.
struct Chunk
{
    Clock::time_point due;
    std::string bytes;
    size_t sent = 0;
    bool end = false;
};

// One direction of a connection: what `from` sends waits in `queue`, then goes to `to`.
struct Flow
{
    int* from = nullptr;
    int* to = nullptr;
    std::deque<Chunk> queue;
    bool readOpen = true;  // `from` has not ended its stream yet
    bool blocked = false;  // `to` took only part of the front chunk: wait until it is writable

    bool done() const { return !readOpen && queue.empty(); }
};

struct Connection
{
    int client = -1;
    int server = -1; // -1: a silent connection, read and never answered
    Flow up;         // client to server
    Flow down;       // server to client
    bool broken = false;

    Connection()
    {
        up.from = down.to = &client;
        up.to = down.from = &server;
    }
    ~Connection()
    {
        closeQuietly(client);
        closeQuietly(server);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool finished() const { return broken || (server < 0 ? !up.readOpen : up.done() && down.done()); }
};

} // namespace

struct DelayRelay::Loop
{
    int targetPort = 0;
    std::atomic<Clock::rep> delay{0}; // in Clock ticks; set from any thread
    int port = 0;
    int listener = -1;
    int wake = -1;
    std::vector<std::unique_ptr<Connection>> connections;
    Mode current = Mode::Forwarding;

    // What setMode() and the destructor ask of the thread, under `mutex`.
    std::mutex mutex;
    std::condition_variable answered;
    Mode wanted = Mode::Forwarding;
    unsigned requests = 0;
    unsigned done = 0;
    bool stop = false;
    bool ended = false;
    std::string error;

    ~Loop()
    {
        connections.clear();
        closeQuietly(listener);
        closeQuietly(wake);
    }

    // Listens on `port` (0: any free one). SO_REUSEADDR lets the same port be
    // taken again after Refusing while old connections linger in TIME_WAIT.
    bool listen()
    {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const int on = 1;
        sockaddr_in address = loopback(port);
        socklen_t length = sizeof address;
        if (listener < 0 || ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
            || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(listener, 64) != 0
            || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            closeQuietly(listener);
            return false;
        }
        port = ntohs(address.sin_port);
        return true;
    }

    void wakeUp()
    {
        const uint64_t one = 1;
        while (::write(wake, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    void accept()
    {
        for (;;) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0)
                return; // EAGAIN: no more waiting; anything else: the client gave up
            auto connection = std::make_unique<Connection>();
            connection->client = fd;
            noDelay(fd);
            if (current == Mode::Forwarding) {
                // Loopback completes the connect at once; only then is the socket made non-blocking.
                connection->server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                const sockaddr_in address = loopback(targetPort);
                if (connection->server < 0
                    || ::connect(connection->server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
                    || ::fcntl(connection->server, F_SETFL, O_NONBLOCK) != 0)
                    continue; // the client sees its connection closed
                noDelay(connection->server);
            }
            connections.push_back(std::move(connection));
        }
    }

    // Reads what `flow.from` has; a silent connection's bytes are dropped.
    void read(Connection& connection, Flow& flow, bool silent)
    {
        const Clock::duration held(delay.load());
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(*flow.from, buffer, sizeof buffer, 0);
            if (n > 0) {
                if (!silent)
                    flow.queue.push_back({Clock::now() + held, std::string(buffer, size_t(n))});
                continue;
            }
            if (n == 0) {
                flow.readOpen = false;
                if (!silent)
                    flow.queue.push_back({Clock::now() + held, std::string(), 0, true});
            } else if (errno == EINTR) {
                continue;
            } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
                connection.broken = true;
            }
            return;
        }
    }

    // Passes on every chunk of `flow` that is due.
    void flush(Connection& connection, Flow& flow, Clock::time_point now)
    {
        flow.blocked = false;
        while (!flow.queue.empty() && flow.queue.front().due <= now) {
            Chunk& chunk = flow.queue.front();
            if (chunk.end) {
                ::shutdown(*flow.to, SHUT_WR);
                flow.queue.pop_front();
                continue;
            }
            const ssize_t n = ::send(*flow.to, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent,
                                     MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                flow.blocked = true;
                return;
            }
            if (n < 0) {
                connection.broken = true;
                return;
            }
            chunk.sent += size_t(n);
            if (chunk.sent < chunk.bytes.size()) {
                flow.blocked = true;
                return;
            }
            flow.queue.pop_front();
        }
    }

    // Applies what setMode() or the destructor asked for; false to end the loop.
    bool answer()
    {
        uint64_t count;
        while (::read(wake, &count, sizeof count) < 0 && errno == EINTR) {
        }
        std::lock_guard<std::mutex> lock(mutex);
        if (stop)
            return false;
        if (wanted != current) {
            connections.clear();
            if (wanted == Mode::Refusing)
                closeQuietly(listener);
            else if (listener < 0 && !listen())
                error = "cannot listen on 127.0.0.1:" + std::to_string(port) + " again: " + std::strerror(errno);
            current = error.empty() ? wanted : Mode::Refusing;
        }
        done = requests;
        answered.notify_all();
        return true;
    }

    void run()
    {
        std::vector<pollfd> polled;
        std::vector<std::pair<Connection*, bool>> owners; // the connection of polled[i + first], client side or not
        for (;;) {
            const Clock::time_point now = Clock::now();
            Clock::time_point next = Clock::time_point::max();
            for (auto& connection : connections) {
                for (Flow* flow : {&connection->up, &connection->down}) {
                    if (connection->server < 0)
                        break;
                    flush(*connection, *flow, now);
                    if (!flow->blocked && !flow->queue.empty() && flow->queue.front().due < next)
                        next = flow->queue.front().due;
                }
            }
            connections.erase(std::remove_if(connections.begin(), connections.end(),
                                             [](const std::unique_ptr<Connection>& c) { return c->finished(); }),
                              connections.end());

            polled.clear();
            owners.clear();
            polled.push_back({wake, POLLIN, 0});
            if (listener >= 0)
                polled.push_back({listener, POLLIN, 0});
            const size_t first = polled.size();
            for (auto& connection : connections) {
                const Connection& c = *connection;
                polled.push_back({c.client, short((c.up.readOpen ? POLLIN : 0) | (c.down.blocked ? POLLOUT : 0)), 0});
                owners.emplace_back(connection.get(), true);
                if (c.server >= 0) {
                    polled.push_back(
                        {c.server, short((c.down.readOpen ? POLLIN : 0) | (c.up.blocked ? POLLOUT : 0)), 0});
                    owners.emplace_back(connection.get(), false);
                }
            }
            timespec wait{};
            if (next != Clock::time_point::max()) {
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(next - now).count();
                wait.tv_sec = ns > 0 ? ns / 1000000000 : 0;
                wait.tv_nsec = ns > 0 ? ns % 1000000000 : 0;
            }
            const int ready = ::ppoll(polled.data(), polled.size(),
                                      next == Clock::time_point::max() ? nullptr : &wait, nullptr);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0) {
                std::lock_guard<std::mutex> lock(mutex);
                error = std::string("the relay's poll failed: ") + std::strerror(errno);
                return;
            }
            for (size_t i = first; i < polled.size(); ++i) {
                const short events = polled[i].revents;
                if (!events)
                    continue;
                Connection& connection = *owners[i - first].first;
                const bool clientSide = owners[i - first].second;
                Flow& incoming = clientSide ? connection.up : connection.down;
                if (incoming.readOpen && (events & (POLLIN | POLLHUP | POLLERR)))
                    read(connection, incoming, connection.server < 0);
                // An error, or a hang-up on a socket no longer read: the peer is gone.
                else if (events & (POLLERR | POLLHUP))
                    connection.broken = true;
            }
            // Looked at before answer(), which may close or reopen the listener.
            const bool pending = first > 1 && polled[1].revents;
            if (polled[0].revents && !answer())
                return;
            if (pending && listener >= 0)
                accept();
        }
    }
};

DelayRelay::DelayRelay(int targetPort, int delayMs) : m_loop(std::make_unique<Loop>())
{
    m_loop->targetPort = targetPort;
    setDelay(delayMs);
    m_loop->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_loop->wake < 0 || !m_loop->listen())
        throw std::runtime_error(std::string("cannot set up the relay: ") + std::strerror(errno));
    m_port = m_loop->port;
    Loop* loop = m_loop.get();
    m_thread = std::thread([loop] {
        try {
            loop->run();
        } catch (const std::exception& e) {
            std::lock_guard<std::mutex> lock(loop->mutex);
            loop->error = std::string("the relay stopped: ") + e.what();
        }
        std::lock_guard<std::mutex> lock(loop->mutex);
        loop->ended = true;
        loop->answered.notify_all();
    });
}

DelayRelay::~DelayRelay()
{
    {
        std::lock_guard<std::mutex> lock(m_loop->mutex);
        m_loop->stop = true;
    }
    m_loop->wakeUp();
    m_thread.join();
}

void DelayRelay::setDelay(int delayMs)
{
    m_loop->delay = std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(delayMs)).count();
}

void DelayRelay::setMode(Mode mode)
{
    std::unique_lock<std::mutex> lock(m_loop->mutex);
    m_loop->wanted = mode;
    const unsigned request = ++m_loop->requests;
    lock.unlock();
    m_loop->wakeUp();
    lock.lock();
    m_loop->answered.wait(lock, [&] { return m_loop->done >= request || m_loop->ended; });
    if (!m_loop->error.empty())
        throw std::runtime_error(m_loop->error);
}
