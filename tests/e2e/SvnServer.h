#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

/**
 * A throwaway repository behind a server of the test's own, on a free port
 * of 127.0.0.1 only. Two password users: ann ("ann-secret") may write
 * everywhere but /readonly, bob ("bob-secret") everywhere; anonymous access
 * is refused. The server runs as a child of the test and ends with it;
 * stop() (also from the destructor) ends it and waits for it.
 */
class RepositoryServer
{
public:
    RepositoryServer() = default;
    RepositoryServer(const RepositoryServer&) = delete;
    RepositoryServer& operator=(const RepositoryServer&) = delete;
    virtual ~RepositoryServer() { stop(); }

    /** Creates the repository at `repositoryPath` and serves it; false, with errorString() set, on failure. */
    virtual bool start(const QString& repositoryPath, const QProcessEnvironment& environment) = 0;
    void stop();
    /** The server's process, to pause it (SIGSTOP) as a hung server. */
    qint64 processId() const { return m_process.processId(); }
    /** The URL of the repository root, without a trailing "/". */
    QString url() const { return m_url; }
    QString errorString() const { return m_error; }

protected:
    /** Runs a set-up tool; false, with errorString() set, when it fails. */
    bool run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment);
    /** Starts `program` on a free port and waits until it accepts connections there. */
    bool serve(const QString& program, const std::function<QStringList(int port)>& arguments,
               const std::function<QString(int port)>& url, const QProcessEnvironment& environment);

    QProcess m_process;
    QString m_url;
    QString m_error;
};

/** svnserve, svn://127.0.0.1:PORT. */
class SvnServer : public RepositoryServer
{
public:
    bool start(const QString& repositoryPath, const QProcessEnvironment& environment) override;
};

/**
 * A private Apache httpd with mod_dav_svn and mod_authz_svn (its own
 * ServerRoot, pid file and logs beside the repository; workers as www-data),
 * http(s)://127.0.0.1:PORT/svn, Basic authentication in the realm
 * "scc-e2e". For https, a throwaway certificate made with openssl, of the
 * kind `certificate` says; a client must be told to trust authorityFile()
 * (the certificate itself when self-signed, else the throwaway authority
 * that signed it).
 */
class ApacheServer : public RepositoryServer
{
public:
    enum class Certificate
    {
        SelfSigned,       ///< for 127.0.0.1, its own authority, valid for two days
        Signed,           ///< for 127.0.0.1, signed by a throwaway authority, valid for two days
        OtherName,        ///< signed, for other.example only
        Expired,          ///< signed, for 127.0.0.1, valid on 1 January 2020 only
        ExpiredOtherName, ///< both
    };
    explicit ApacheServer(bool https, Certificate certificate = Certificate::SelfSigned)
        : m_https(https), m_certificate(certificate) {}
    bool start(const QString& repositoryPath, const QProcessEnvironment& environment) override;
    QString authorityFile() const { return m_authority; }
    /** The server certificate's file (PEM). */
    QString certificateFile() const { return m_certificateFile; }

private:
    /** Makes the certificate and its key in `dir` as m_certificate says. */
    bool makeCertificate(const QString& dir, const QString& key, const QProcessEnvironment& environment);

    bool m_https;
    Certificate m_certificate;
    QString m_authority;
    QString m_certificateFile;
};

/**
 * OpenSSH's sshd on 127.0.0.1:PORT (run as the test's own user, root, with
 * a config of its own), svn+ssh://127.0.0.1/NAME for a repository folder
 * NAME. Its one user is the current one; the keys it accepts run
 * "svnserve -t" as their forced command, which takes everyone for ann
 * (--tunnel-user): over the tunnel the svn user name and password of a run
 * are not used, and ann's access rules apply. Before authentication it
 * sends a login banner, which ssh prints on standard error unless run with
 * -q. Host key, user keys and known hosts are made by the test (ssh-keygen)
 * beside the repository. Clients reach it through SVN_SSH=tunnel().
 */
class SshServer : public RepositoryServer
{
public:
    /**
     * `passwords`: the server also takes password and keyboard-interactive
     * logins (none succeeds: the user's password is never right), and logs
     * every attempt into logFile() instead of standard error.
     */
    explicit SshServer(bool passwords = false) : m_passwords(passwords) {}
    bool start(const QString& repositoryPath, const QProcessEnvironment& environment) override;
    /**
     * The tunnel command for SVN_SSH: ssh without -q and without any config
     * file or agent, to the server's port, with the user key and the server's
     * host key known. `lockedKey`: with a key that needs a passphrase
     * instead; `hostKnown` false: with no known host, so ssh must ask.
     */
    QString tunnel(bool lockedKey = false, bool hostKnown = true) const;
    /** The banner's first line. */
    static const char* bannerLine() { return "Authorised users only; every session is recorded."; }
    /** Where a server that takes passwords logs ("Failed password for ..." per password tried). */
    QString logFile() const { return m_dir + "/sshd.log"; }

private:
    bool m_passwords;
    QString m_dir;
    int m_port = 0;
};

/**
 * A hostile server: a socket on 127.0.0.1 that never accepts, so the kernel
 * completes every connection and nothing ever answers.
 */
class SilentServer
{
public:
    ~SilentServer() { stop(); }
    bool start();
    void stop();
    int port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
};
