#pragma once

#include "SVNInterface.h"

/**
 * The test seam: the one way tests and benchmarks reach a provider's private
 * state, to set what login() and setRoots() would set without running the
 * client, and to look into the status cache. Hosts never use it; they know
 * SourceCodeControlSystemProviderInterface alone.
 */
class SVNInterfaceSeam
{
public:
    explicit SVNInterfaceSeam(SVNInterface& provider) : m_provider(provider) {}

    /** The provider's client: executable, credentials, password route, time limit. */
    SVNClient& client() { return m_provider.client; }

    /**
     * Binds the local root `localRootPath` (absolute, no trailing "/") to
     * `rootURL` and `repositoryRoots`, as setRoots() would, without a run.
     */
    void bind(const QString& localRootPath, const QString& rootURL, const QStringList& repositoryRoots = {})
    {
        m_provider.localRoots = localRootPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        m_provider.localRootPath = localRootPath;
        m_provider.rootURL = rootURL;
        m_provider.repositoryRoots = repositoryRoots;
        m_provider.statusPass.bind(localRootPath, rootURL);
    }

    QString localRootPath() const { return m_provider.localRootPath; }
    QString rootURL() const { return m_provider.rootURL; }

    /** The status cache itself. */
    SVNStatusCache& statusCache() { return m_provider.statusPass.cache(); }

    /**
     * Runs the client once as an operation of the provider would: the
     * subcommand `command`, `arguments`, the credentials (unless `command` is
     * exactly "add") and `target` (omitted when empty), in
     * `workingDirectory` (null: the caller's current folder), with the retry
     * table and the last error. `output` gets the standard output lines.
     * True when the run succeeded.
     */
    bool execute(const QString& command, const QStringList& arguments, const QString& workingDirectory,
                 const QString& target, QStringList& output)
    {
        return m_provider.guarded([&] {
            return m_provider.run(SVNCommand(command, arguments, workingDirectory, target), output);
        });
    }
    /** As above in the local root, the path parts joined with "/" as the target. */
    bool execute(const QString& command, const QStringList& arguments, const QStringList& pathParts,
                 QStringList& output)
    {
        return execute(command, arguments, m_provider.localRootPath, pathParts.join(QLatin1Char('/')), output);
    }

    /** Turns the command log off altogether (not even the category is asked), for measuring what it costs. */
    void setCommandLog(bool on) { m_provider.client.m_logging = on; }

private:
    SVNInterface& m_provider;
};
