#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>
#include <vector>

/**
 * A throwaway repository behind a server on a free port of 127.0.0.1 only,
 * with password authentication for two users:
 *   ann (password "ann-secret"): read and write everywhere except /readonly,
 *                                where she may only read;
 *   bob (password "bob-secret"): read and write everywhere.
 * Anonymous access is refused. The server is stopped, and waited for, by
 * stop() or the destructor.
 */
class RepositoryServer
{
public:
    virtual ~RepositoryServer() = default;
    /**
     * Creates the repository at `repositoryPath` with "svnadmin create",
     * configures and starts the server with `environment` and waits until it
     * accepts connections. False, with errorString() set, when any of that
     * fails (a server already started is stopped again).
     */
    virtual bool start(const QString& repositoryPath, const QProcessEnvironment& environment) = 0;
    /** Stops the server and waits for it; no effect when it is not running. */
    virtual void stop() = 0;
    /** The URL of the repository root, without a trailing "/". */
    virtual QString url() const = 0;
    /** Why start() failed. */
    virtual QString errorString() const = 0;
};

/**
 * A throwaway Subversion repository served by svnserve on 127.0.0.1, with
 * password authentication for two users:
 *   ann (password "ann-secret"): read and write everywhere except /readonly,
 *                                where she may only read;
 *   bob (password "bob-secret"): read and write everywhere.
 * Anonymous access is refused. The server listens on a free port of
 * 127.0.0.1 only and is killed by stop() or the destructor.
 */
class SvnServer : public RepositoryServer
{
public:
    SvnServer() = default;
    SvnServer(const SvnServer&) = delete;
    SvnServer& operator=(const SvnServer&) = delete;
    /** Kills the server if it still runs. */
    ~SvnServer() override;

    /**
     * Creates the repository at `repositoryPath` with "svnadmin create",
     * writes its configuration, starts svnserve with `environment` and waits
     * until it accepts connections. Returns false, with errorString() set,
     * when any of that fails (a server already started is killed again).
     */
    bool start(const QString& repositoryPath, const QProcessEnvironment& environment) override;

    /** Kills the server and waits for it; no effect when it is not running. */
    void stop() override;

    /** The svn:// URL of the repository root, e.g. svn://127.0.0.1:40123 (no trailing "/"). */
    QString url() const override { return m_url; }
    /** Why start() failed. */
    QString errorString() const override { return m_error; }

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
 * The repository behind a private Apache httpd with mod_dav_svn, over http
 * or https: Basic authentication against an htpasswd file, path-based rules
 * through mod_authz_svn, its own ServerRoot, pid file and logs in the
 * repository's parent folder, listening on 127.0.0.1 only. Apache runs in
 * the foreground as a child of the test (its workers as www-data); stop()
 * ends it and waits for it. For https a throwaway certificate authority and
 * a server certificate for CN=127.0.0.1 are made with openssl;
 * authorityFile() names the authority's certificate, which a client must be
 * told to trust.
 */
class ApacheServer : public RepositoryServer
{
public:
    explicit ApacheServer(bool https) : m_https(https) {}
    ApacheServer(const ApacheServer&) = delete;
    ApacheServer& operator=(const ApacheServer&) = delete;
    ~ApacheServer() override;

    bool start(const QString& repositoryPath, const QProcessEnvironment& environment) override;
    void stop() override;
    /** http(s)://127.0.0.1:PORT/svn */
    QString url() const override { return m_url; }
    QString errorString() const override { return m_error; }
    /** The certificate of the authority that signed the server's; empty over http. */
    QString authorityFile() const { return m_authority; }

private:
    bool run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment);

    bool m_https;
    QProcess m_process;
    QString m_url;
    QString m_error;
    QString m_authority;
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
