#pragma once

#include <memory>
#include <thread>

/**
 * A TCP relay on 127.0.0.1 that makes a server on the same machine look
 * distant: every connection it accepts is joined to a connection of its own
 * to 127.0.0.1:targetPort, and each chunk of bytes, in either direction, is
 * passed on `delayMs` milliseconds after it arrived (a round trip costs twice
 * that). One thread serves every connection; the destructor stops it, joins
 * it and closes every socket.
 *
 * It also stands for a server that is gone or hung (setMode()).
 */
class DelayRelay
{
public:
    enum class Mode
    {
        Forwarding, ///< connections reach the server, delayed
        Silent,     ///< connections are accepted and never answered (a hung server)
        Refusing,   ///< nothing listens on the port, so connections are refused (a server that is gone)
    };

    /**
     * Listens on a free port of 127.0.0.1 and starts the thread, forwarding.
     * Throws std::runtime_error when it cannot.
     */
    DelayRelay(int targetPort, int delayMs);
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    /** The port it listens on (the same in every mode). */
    int port() const { return m_port; }

    /**
     * Switches to `mode`, closing every open connection, and returns once
     * the thread has done so. Throws std::runtime_error when the port cannot
     * be taken back after Refusing, or the thread has stopped on an error.
     */
    void setMode(Mode mode);

    /** Holds the chunks read from now on `delayMs` milliseconds; those already held keep their time. */
    void setDelay(int delayMs);

private:
    struct Loop;

    std::unique_ptr<Loop> m_loop;
    std::thread m_thread;
    int m_port = 0;
};
