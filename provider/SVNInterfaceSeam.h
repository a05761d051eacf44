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

private:
    SVNInterface& m_provider;
};
