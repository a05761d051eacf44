#pragma once

#include "SourceCodeControlSystemProviderInterface.h"

#include <QString>

/**
 * The plug-in as a host sees it: a shared library opened with dlopen(), its
 * two entry points looked up by name, and at most one provider made from it.
 *
 * Nothing of the provider's own classes is known here; the provider is used
 * only through SourceCodeControlSystemProviderInterface. The destructor hands
 * the provider back to the library and closes the library, in that order.
 */
class ProviderLibrary
{
public:
    ProviderLibrary() = default;
    ProviderLibrary(const ProviderLibrary&) = delete;
    ProviderLibrary& operator=(const ProviderLibrary&) = delete;
    /** Releases the provider (if any) and closes the library (if open). */
    ~ProviderLibrary();

    /**
     * Opens the library at `path` and looks up
     * AllocateSourceCodeControlSystemInterface and
     * ReleaseSourceCodeControlSystemInterface. Returns false, with
     * errorString() describing why, when the library cannot be opened or
     * either entry point is missing; the object then stays unloaded.
     * Loading twice without unload() first is refused with false.
     */
    bool load(const QString& path);

    /**
     * Creates a provider through the allocation entry point and keeps it.
     * Returns the provider, or null when no library is loaded, a provider
     * already exists (the existing one is still available from provider()),
     * or the entry point returned null. The object keeps ownership.
     */
    SourceCodeControlSystemProviderInterface* allocate();

    /** The provider made by allocate(), or null. */
    SourceCodeControlSystemProviderInterface* provider() const { return m_provider; }

    /** Hands the provider back to the library; no effect when there is none. */
    void release();

    /** Releases the provider and closes the library; no effect when nothing is loaded. */
    void unload();

    /** Why the last load() failed; empty after a successful load. */
    QString errorString() const { return m_error; }

private:
    void* m_handle = nullptr;
    AllocateSourceCodeControlSystemInterfaceFn m_allocate = nullptr;
    ReleaseSourceCodeControlSystemInterfaceFn m_release = nullptr;
    SourceCodeControlSystemProviderInterface* m_provider = nullptr;
    QString m_error;
};
