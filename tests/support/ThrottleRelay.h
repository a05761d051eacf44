#pragma once

#include <memory>

/**
 * A TCP relay on 127.0.0.1 that stands for a slow link to a server on the
 * same machine: every connection it accepts is joined to a connection of its
 * own to 127.0.0.1:targetPort, and bytes pass in each direction at no more
 * than `bytesPerSecond`. Its sockets take in little at a time (small receive
 * buffers), so that what a sender has written waits in the sender's own
 * send queue, as it does before a slow link, not in the relay. One thread
 * accepts and two pass each connection's bytes; the destructor stops and
 * joins them all and closes every socket.
 */
class ThrottleRelay
{
public:
    /** Listens on a free port and starts accepting; throws std::runtime_error when it cannot. */
    ThrottleRelay(int targetPort, int bytesPerSecond);
    ~ThrottleRelay();
    ThrottleRelay(const ThrottleRelay&) = delete;
    ThrottleRelay& operator=(const ThrottleRelay&) = delete;

    /** The port it listens on. */
    int port() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
