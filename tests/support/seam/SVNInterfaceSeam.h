#pragma once

#include "SVNInterface.h"

/**
 * The test seam: the one way tests and benchmarks reach a provider's private
 * state, to set what login() and setRoots() would set without running the
 * client, and to look into the status cache. It lives with the tests
 * (SvnScc::ProviderSeam); the provider's classes only name it a friend.
 * Hosts never use it; they know SourceCodeControlSystemProviderInterface
 * alone.
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
    SVNStatusCache& statusCache() { return m_provider.statusPass.m_cache; }

    /**
     * The cached record of a file, filling its folder's cache entry first
     * when there is none (SVNStatusPass::record()). Null when there is no
     * record. The pointer stays valid until saved() drops the record, the
     * folder's entry is removed or the cache is cleared.
     */
    SVNFileStatus* record(const QStringList& pathParts) { return m_provider.statusPass.record(pathParts); }

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

private:
    SVNInterface& m_provider;
};
