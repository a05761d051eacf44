#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface2.h>

#include <QString>

#include <mutex>

namespace SvnScc {

/**
 * The plug-in as a session holds it: the library opened with dlopen(), its
 * version-2 entry point, and the one provider made from it.
 *
 * Threads: load(), allocate() and release() belong to the session's worker
 * thread; cancel() may come from any thread at any time, also during and
 * after release(): it never reaches a provider that was handed back. The
 * destructor (any thread, once the worker is gone) releases what is left
 * and closes the library.
 */
class SessionPlugin
{
public:
    SessionPlugin() = default;
    SessionPlugin(const SessionPlugin&) = delete;
    SessionPlugin& operator=(const SessionPlugin&) = delete;
    ~SessionPlugin();

    /** <folder of the library holding this code>/svnscc/libsvnscc.so. */
    static QString installedPath();

    /**
     * Opens the library at @p path and looks up
     * AllocateSourceCodeControlSystemInterface2,
     * ReleaseSourceCodeControlSystemInterface and
     * CancelSourceCodeControlSystemOperation. False, nothing kept open and
     * errorString() saying why, when the file is missing, cannot be loaded,
     * or lacks the version-2 entry point or the release.
     */
    bool load(const QString& path);

    /** Whether load() succeeded. */
    bool isLoaded() const { return m_handle != nullptr; }

    /**
     * A new provider, kept until release(); null (errorString() says why)
     * when nothing is loaded, one exists already, or the plug-in gave none
     * or one of a version below 2.
     */
    SourceCodeControlSystemProviderInterface2* allocate();

    /** Thread-safe: cancels what the provider runs now; nothing once it was released. Never blocks for long. */
    void cancel();

    /** Hands the provider back; waits for a cancel() in progress. */
    void release();

    /** Why the last load() or allocate() failed. */
    QString errorString() const { return m_error; }

private:
    void* m_handle = nullptr;
    QString m_error;
    AllocateSourceCodeControlSystemInterface2Fn m_allocate = nullptr;
    // What cancel() reads from other threads, changed only under m_mutex.
    std::mutex m_mutex;
    ReleaseSourceCodeControlSystemInterfaceFn m_release = nullptr;
    CancelSourceCodeControlSystemOperationFn m_cancel = nullptr;
    SourceCodeControlSystemProviderInterface2* m_provider = nullptr;
};

} // namespace SvnScc
