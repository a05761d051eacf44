#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface2.h>

#include <QString>

#include <mutex>

/**
 * The plug-in as a host sees it: a shared library opened with dlopen(), its
 * entry points looked up by name, and at most one provider made from it.
 *
 * Nothing of the provider's own classes is known here; the provider is used
 * only through SourceCodeControlSystemProviderInterface, and through
 * SourceCodeControlSystemProviderInterface2 when the plug-in offers version
 * 2 (provider2()). The destructor hands
 * the provider back to the library and closes the library, in that order.
 *
 * Threads: the object belongs to the thread that loads it and uses the
 * provider; cancelOperation() alone may be called from any other thread.
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
     * ReleaseSourceCodeControlSystemInterface, and
     * CancelSourceCodeControlSystemOperation and
     * AllocateSourceCodeControlSystemInterface2 when the library has them
     * (a plug-in without them loads all the same; cancelOperation() then
     * does nothing, provider2() stays null). Returns false, with errorString() describing why, when the
     * library cannot be opened or either of the first two entry points is
     * missing; the object then stays unloaded. Loading twice without
     * unload() first is refused with false.
     */
    bool load(const QString& path);

    /**
     * Creates a provider and keeps it: through
     * AllocateSourceCodeControlSystemInterface2 when the library has it (the
     * version-2 object is a base provider too), else through
     * AllocateSourceCodeControlSystemInterface. Returns the provider, or
     * null when no library is loaded, a provider already exists (the
     * existing one is still available from provider()), or the entry point
     * returned null. The object keeps ownership.
     */
    SourceCodeControlSystemProviderInterface* allocate();

    /** The provider made by allocate(), or null. */
    SourceCodeControlSystemProviderInterface* provider() const { return m_provider; }

    /**
     * The same provider as its version-2 interface; null when there is no
     * provider or the plug-in offers version 1 only.
     */
    SourceCodeControlSystemProviderInterface2* provider2() const { return m_provider2; }

    /**
     * Thread-safe: ends the operation that the provider made by allocate()
     * runs now in the owning thread, through the library's
     * CancelSourceCodeControlSystemOperation (the operation returns false;
     * getLastError() gives its subcommand and "cancelled"). Returns at once.
     * Does nothing when no provider exists, when the library lacks that entry
     * point, or while no operation runs; a later operation is not affected.
     * A release() or unload() in the owning thread waits for a call that is
     * in progress, so the provider is never cancelled after it was handed
     * back.
     */
    void cancelOperation();

    /** Hands the provider back to the library; no effect when there is none. */
    void release();

    /** Releases the provider and closes the library; no effect when nothing is loaded. */
    void unload();

    /** Why the last load() failed; empty after a successful load. */
    QString errorString() const { return m_error; }

private:
    void* m_handle = nullptr;
    AllocateSourceCodeControlSystemInterfaceFn m_allocate = nullptr;
    AllocateSourceCodeControlSystemInterface2Fn m_allocate2 = nullptr;
    ReleaseSourceCodeControlSystemInterfaceFn m_release = nullptr;
    // The two that cancelOperation() reads from another thread: the owning
    // thread changes them only with m_cancelMutex held.
    CancelSourceCodeControlSystemOperationFn m_cancel = nullptr;
    SourceCodeControlSystemProviderInterface* m_provider = nullptr;
    SourceCodeControlSystemProviderInterface2* m_provider2 = nullptr;
    std::mutex m_cancelMutex;
    QString m_error;
};
