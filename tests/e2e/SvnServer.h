#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>
#include <vector>

/**
 * A throwaway Subversion repository served by svnserve on 127.0.0.1, with
 * password authentication for two users:
 *   ann (password "ann-secret"): read and write everywhere except /readonly,
 *                                where she may only read;
 *   bob (password "bob-secret"): read and write everywhere.
 * Anonymous access is refused. The server listens on a free port of
 * 127.0.0.1 only and is killed by stop() or the destructor.
 */
class SvnServer
{
public:
    SvnServer() = default;
    SvnServer(const SvnServer&) = delete;
    SvnServer& operator=(const SvnServer&) = delete;
    /** Kills the server if it still runs. */
    ~SvnServer();

    /**
     * Creates the repository at `repositoryPath` with "svnadmin create",
     * writes its configuration, starts svnserve with `environment` and waits
     * until it accepts connections. Returns false, with errorString() set,
     * when any of that fails (a server already started is killed again).
     */
    bool start(const QString& repositoryPath, const QProcessEnvironment& environment);

    /** Kills the server and waits for it; no effect when it is not running. */
    void stop();

    /** The svn:// URL of the repository root, e.g. svn://127.0.0.1:40123 (no trailing "/"). */
    QString url() const { return m_url; }
    /** Why start() failed. */
    QString errorString() const { return m_error; }

    /**
     * A free TCP port on 127.0.0.1, found by binding port 0 and reading the
     * port that the kernel chose; 0 when no socket could be bound.
     */
    static int freeLoopbackPort();
    /** Whether something accepts TCP connections on 127.0.0.1:`port`. */
    static bool acceptsConnections(int port);

private:
    QProcess m_process;
    QString m_url;
    QString m_error;
};

/**
 * A hostile server: listens on a free port of 127.0.0.1, accepts every
 * connection and never sends a byte. Closed (with the connections it holds)
 * by stop() or the destructor.
 */
class SilentServer
{
public:
    SilentServer() = default;
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    ~SilentServer();

    /** Starts listening; false when no socket could be bound. */
    bool start();
    void stop();
    int port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::vector<int> m_connections;
    std::thread m_thread;
};
