#pragma once

#include "ClientStatus.h"
#include "FileBytes.h"
#include "PluginLoader.h"
#include "QtPrinters.h"
#include "ScopedVariable.h"
#include "SvnServer.h"

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>
#include <optional>

/**
 * The plug-in's command log ("svnscc.client", debug level) as a host's
 * message handler receives it, from construction to destruction: the
 * handler and the rule are put back as they were.
 */
class CommandLogCapture
{
public:
    CommandLogCapture()
    {
        lines().clear();
        m_previous = qInstallMessageHandler(&CommandLogCapture::handle);
        QLoggingCategory::setFilterRules(QStringLiteral("svnscc.client.debug=true"));
    }
    ~CommandLogCapture()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("svnscc.client.debug=false"));
        qInstallMessageHandler(m_previous);
    }
    CommandLogCapture(const CommandLogCapture&) = delete;
    CommandLogCapture& operator=(const CommandLogCapture&) = delete;

    /** The lines logged so far. */
    QStringList logged() const
    {
        const QMutexLocker lock(&mutex());
        return lines();
    }

private:
    static QMutex& mutex()
    {
        static QMutex s_mutex;
        return s_mutex;
    }
    static QStringList& lines()
    {
        static QStringList s_lines;
        return s_lines;
    }
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message)
    {
        if (qstrcmp(context.category, "svnscc.client") == 0) {
            const QMutexLocker lock(&mutex());
            lines() << message;
        }
    }

    QtMessageHandler m_previous = nullptr;
};

/** How the tests reach their repository. */
enum class Transport
{
    Svn,   ///< svnserve, svn://
    Http,  ///< Apache with mod_dav_svn, http://
    Https, ///< the same over https://, with a throwaway certificate
    SvnSsh, ///< sshd with svnserve as its forced command, svn+ssh://, a login banner and a tunnel without -q
};

inline const char* transportName(Transport transport)
{
    switch (transport) {
    case Transport::Svn:
        return "svn";
    case Transport::Http:
        return "http";
    case Transport::Https:
        return "https";
    case Transport::SvnSsh:
        return "ssh";
    }
    return "";
}

/** What one run of a real Subversion tool gave. */
struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

/**
 * Each test gets a fresh repository behind a server of its own on
 * 127.0.0.1 (svnserve, Apache over http or https, or sshd, as transport()
 * says; over ssh every svn run, the plug-in's and the test's, finds the
 * tunnel in SVN_SSH), a
 * HOME of its own (so the machine's ~/.subversion is neither read nor
 * written, by the plug-in's client runs or by the checks), and a provider
 * from the dlopen-loaded plug-in with the three options set (locking on).
 * Over https the client trusts the server's throwaway certificate through
 * that HOME's ~/.subversion/servers. The server is stopped in TearDown and
 * again, should TearDown not run, by its destructor.
 */
class E2EFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        m_base = QDir(m_temp.path()).canonicalPath();
        ASSERT_TRUE(QDir().mkpath(m_base + "/home"));
        m_home.emplace("HOME", QFile::encodeName(m_base + "/home"));
        m_environment = QProcessEnvironment::systemEnvironment();

        if (transport() == Transport::Svn)
            m_server = std::make_unique<SvnServer>();
        else if (transport() == Transport::SvnSsh)
            m_server = std::make_unique<SshServer>();
        else
            m_server = std::make_unique<ApacheServer>(transport() == Transport::Https);
        ASSERT_TRUE(m_server->start(m_base + "/repository", m_environment)) << m_server->errorString().toStdString();
        m_url = m_server->url();
        if (const auto* ssh = dynamic_cast<const SshServer*>(m_server.get()))
            useTunnel(ssh->tunnel());
        if (transport() == Transport::Https)
            trustAuthority(true);
        ASSERT_TRUE(m_library.load(pluginPath())) << m_library.errorString().toStdString();
        m_provider = m_library.allocate();
        ASSERT_NE(m_provider, nullptr);
        ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::Executable), "svn"));
        ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), m_url));
        ASSERT_TRUE(m_provider->setOption(QLatin1String(SourceCodeControlOption::LockSupported), "Yes"));
    }

    void TearDown() override
    {
        for (auto& made : m_made)
            made.second(made.first);
        m_made.clear();
        m_library.unload();
        m_provider = nullptr;
        m_server->stop();
        m_tunnel.reset();
        m_home.reset();
    }

    /** Makes every later svn run reach svn+ssh:// URLs through `tunnel` (SVN_SSH). */
    void useTunnel(const QString& tunnel)
    {
        m_tunnel.reset();
        m_tunnel.emplace("SVN_SSH", tunnel.toUtf8());
        m_environment.insert("SVN_SSH", tunnel);
    }

    /**
     * The plug-in under test: the one built here, or another one named by
     * SVNSCC_E2E_PLUGIN (to show what an earlier build did in the same states).
     */
    static QString pluginPath() { return qEnvironmentVariable("SVNSCC_E2E_PLUGIN", QStringLiteral(PLUGIN_PATH)); }

    /** The transport of the test; svn:// unless a test says otherwise. */
    virtual Transport transport() const { return Transport::Svn; }

    /**
     * Makes the clients of the test's HOME trust the https server's authority
     * (as a user trusts a company's: "ssl-authority-files" in
     * ~/.subversion/servers), or trust nothing but the system's.
     */
    void trustAuthority(bool trusted)
    {
        const QString config = m_base + "/home/.subversion";
        QDir().mkpath(config);
        const auto* apache = dynamic_cast<const ApacheServer*>(m_server.get());
        writeBytes(config + "/servers",
                  trusted && apache ? "[global]\nssl-authority-files = " + QFile::encodeName(apache->authorityFile())
                                          + "\nssl-trust-default-ca = no\n" : QByteArray("[global]\n"));
    }

    static QString passwordOf(const QString& user) { return user + "-secret"; }

    /**
     * Runs `program` with `arguments` in `directory` (null: the current one)
     * under the test's HOME, with `input` on its standard input.
     */
    ToolRun runTool(const QString& program, const QStringList& arguments,
                    const QString& directory = QString(), const QByteArray& input = QByteArray(),
                    const QProcessEnvironment* environment = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(environment ? *environment : m_environment);
        if (!directory.isNull())
            process.setWorkingDirectory(directory);
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
        ToolRun run;
        if (process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit)
            run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    /** Runs the real svn client as `user`, never prompting and caching nothing. */
    ToolRun svn(const QStringList& arguments, const QString& user = "bob", const QString& directory = QString())
    {
        return runTool("svn", arguments + QStringList{"--non-interactive", "--no-auth-cache", "--username", user,
                                                      "--password", passwordOf(user)}, directory);
    }

    /** Like svn(), but fails the test when the client does not exit with 0. */
    QByteArray svnOk(const QStringList& arguments, const QString& user = "bob", const QString& directory = QString())
    {
        const ToolRun run = svn(arguments, user, directory);
        EXPECT_EQ(run.exitCode, 0) << "svn " << arguments.join(' ').toStdString() << ": " << run.err.toStdString();
        return run.out;
    }

    /** The repository URL of a path below the repository root. */
    QString urlOf(const QString& path) const { return m_url + '/' + path; }

    /** The youngest revision, as the server's repository reports it. */
    QString youngest()
    {
        return QString::fromLatin1(runTool("svnlook", {"youngest", m_base + "/repository"}).out).trimmed();
    }

    /** The log message of revision `revision`, byte for byte. */
    QByteArray logMessage(const QString& revision)
    {
        return svnOk({"propget", "--revprop", "-r", revision, "--no-newline", "svn:log", m_url});
    }

    /** Puts `bytes` into the repository at `path` with one commit by bob. */
    void importFile(const QString& path, const QByteArray& bytes)
    {
        const QString source = m_base + "/import.tmp";
        writeBytes(source, bytes);
        svnOk({"import", "-m", "import", source, urlOf(path)});
    }

    /** Commits `text` as trunk/a.txt through bob's own working copy of trunk; the new revision. */
    QString changeTrunk(const QByteArray& text)
    {
        const QString bobs = m_base + "/bob";
        if (!QFileInfo::exists(bobs))
            svnOk({"checkout", urlOf("trunk"), bobs});
        svnOk({"update", bobs});
        writeBytes(bobs + "/a.txt", text);
        svnOk({"commit", "-m", "trunk change", bobs});
        return youngest();
    }

    /**
     * Imports each of `paths` with its own path and a newline as its text,
     * then checks project/ out as ann into <base>/ann with the client;
     * returns that folder.
     */
    QString annChecksOut(std::initializer_list<const char*> paths)
    {
        for (const char* path : paths)
            importFile(QString::fromLatin1(path), QByteArray(path) + "\n");
        const QString root = m_base + "/ann";
        svnOk({"checkout", urlOf("project"), root}, "ann");
        return root;
    }

    /** Binds `provider` (the test's own by default) to the working copy at `root` with the one-list setRoots. */
    void bindWorkingCopy(const QString& root, SourceCodeControlSystemProviderInterface* provider = nullptr)
    {
        ASSERT_TRUE((provider ? provider : m_provider)->setRoots(root.split('/', Qt::SkipEmptyParts)))
            << lastError().toStdString();
    }

    /** Logs `user` in through the provider; fails the test when that is refused. */
    void loginAs(const QString& user)
    {
        ASSERT_TRUE(m_provider->login(user, passwordOf(user), m_url)) << lastError().toStdString();
    }

    /**
     * Binds <base>/wc/<name> to the repository directory `repositoryPath`
     * with the two-list setRoots (which checks it out) and returns the local
     * root's path.
     */
    QString checkOut(const QString& repositoryPath, const QString& name = "project")
    {
        QDir().mkpath(m_base + "/wc");
        const QString root = m_base + "/wc/" + name;
        const auto parts = [](const QString& path) { return path.split('/', Qt::SkipEmptyParts); };
        EXPECT_TRUE(m_provider->setRoots(parts(root), parts(repositoryPath))) << lastError().toStdString();
        return root;
    }

    /** The provider's status of `parts` into `out`, and its result. */
    bool statusOf(const QStringList& parts, FileStatus& out)
    {
        return m_provider->status(parts, out.controlled, out.checkedOut, out.modified, out.outOfDate,
                                  out.statusText, out.revisionText, out.lastChangedText);
    }

    /**
     * How the provider's status of `path` (below the local root `root`)
     * differs from the client's own "svn status -u -v" run as `user`; empty
     * when they agree.
     */
    QString differenceWithClient(const QString& root, const QString& path, const QString& user = "ann")
    {
        const QStringList parts = path.split('/');
        FileStatus status;
        if (!statusOf(parts, status))
            return "status failed: " + lastError();
        return differenceFromClient(status, clientStatus("svn", QFileInfo(root + '/' + path).path(), parts.last(),
                                                         {"--username", user, "--password", passwordOf(user)}));
    }

    /**
     * Makes `provider` (the test's own by default) run the client through a
     * wrapper that notes each run's arguments; clientRuns() gives them.
     */
    void countClientRuns(SourceCodeControlSystemProviderInterface* provider = nullptr)
    {
        const QString counted = m_base + "/svn-counted";
        if (!QFileInfo::exists(counted)) {
            writeBytes(counted, "#!/bin/sh\n{ printf '%s ' \"$@\" | tr '\\n' ' '; echo; } >> \"$0.runs\"\n"
                                "exec svn \"$@\"\n");
            QFile::setPermissions(counted, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        ASSERT_TRUE((provider ? provider : m_provider)
                        ->setOption(QLatin1String(SourceCodeControlOption::Executable), counted));
    }

    /** The runs of the wrapper of countClientRuns() so far, each its arguments joined by blanks. */
    QStringList clientRuns() const
    {
        QStringList runs;
        QFile file(m_base + "/svn-counted.runs");
        if (!file.open(QIODevice::ReadOnly))
            return runs; // none yet
        for (const QString& run : QString::fromUtf8(file.readAll()).split('\n'))
            if (!run.isEmpty())
                runs << run.trimmed();
        return runs;
    }

    /** The plug-in's entry point `name` (loaded already by the fixture); null when it has none. */
    template <typename Function>
    static Function pluginEntry(const char* name)
    {
        void* plugin = ::dlopen(qPrintable(pluginPath()), RTLD_NOW | RTLD_NOLOAD);
        if (!plugin)
            return nullptr;
        const auto entry = reinterpret_cast<Function>(::dlsym(plugin, name));
        ::dlclose(plugin);
        return entry;
    }

    /**
     * A new version-3 provider of the loaded plug-in with the executable
     * and `url` set, released at the end of the test; null when the plug-in
     * offers no version 3.
     */
    SourceCodeControlSystemProviderInterface3* newProvider3(const QString& url)
    {
        const auto allocate =
            pluginEntry<AllocateSourceCodeControlSystemInterface3Fn>("AllocateSourceCodeControlSystemInterface3");
        const auto release =
            pluginEntry<ReleaseSourceCodeControlSystemInterfaceFn>("ReleaseSourceCodeControlSystemInterface");
        if (!allocate || !release)
            return nullptr;
        SourceCodeControlSystemProviderInterface3* provider = allocate();
        m_made.emplace_back(provider, release);
        provider->setOption(QLatin1String(SourceCodeControlOption::Executable), "svn");
        provider->setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), url);
        return provider;
    }
    /** "command: message" of the provider's last error. */
    QString lastError()
    {
        QString command;
        const QString message = m_provider->getLastError(command);
        return command + ": " + message;
    }

    QTemporaryDir m_temp;
    QString m_base;
    QString m_url;
    QProcessEnvironment m_environment;
    std::unique_ptr<RepositoryServer> m_server;
    SvnScc::PluginLoader m_library;
    SourceCodeControlSystemProviderInterface* m_provider = nullptr;
    std::optional<ScopedVariable> m_home;
    std::optional<ScopedVariable> m_tunnel;
    std::vector<std::pair<SourceCodeControlSystemProviderInterface3*, ReleaseSourceCodeControlSystemInterfaceFn>>
        m_made;
};
