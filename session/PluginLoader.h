#pragma once

/**
 * @file
 * SvnScc::PluginLoader: the one way this project's hosts, the session and
 * IDE code load the plug-in libsvnscc.so and make a provider from it.
 */

#include "svnscc_session_export.h"

#include <svnscc/SourceCodeControlSystemProviderInterface4.h>

#include <QString>

#include <memory>

namespace SvnScc {

/**
 * The plug-in as a host holds it: the library opened with dlopen(), its
 * entry points looked up by name, and at most one provider made from it,
 * checked for the interface version the host needs.
 *
 * The entry points AllocateSourceCodeControlSystemInterface and
 * ReleaseSourceCodeControlSystemInterface are required;
 * AllocateSourceCodeControlSystemInterface4 (version 4),
 * AllocateSourceCodeControlSystemInterface3 (version 3),
 * AllocateSourceCodeControlSystemInterface2 (version 2) and
 * CancelSourceCodeControlSystemOperation are looked up and used when the
 * plug-in has them. A provider is made through the newest allocation entry
 * point the plug-in offers, so that provider4(), provider3() and provider2() are there
 * whenever they can be.
 *
 * Threads: the object belongs to the thread that loads it and uses the
 * provider. cancel() alone may be called from any other thread, at any time,
 * also while release() or unload() runs: it never reaches a provider that
 * was handed back. The destructor hands the provider back and closes the
 * library, in that order.
 *
 * Lifetime of what the plug-in hands out: the library is opened with
 * RTLD_NODELETE (what QLibrary::PreventUnloadHint does), so closing it
 * never unmaps it; it stays in the process until the process ends, and a
 * later load() of the same file gets the same copy back. Every value that
 * came from the plug-in therefore stays valid after release(), unload()
 * and this object's end: a QString the plug-in made from a literal
 * ("cancelled") points into the plug-in's read-only data, and the texts of
 * errors, statuses, log entries and the like are read after the session
 * that asked for them is gone. The plug-in's own state (its static objects)
 * lives on with it.
 */
class SVNSCC_SESSION_EXPORT PluginLoader
{
public:
    PluginLoader();
    /** Releases the provider (if any) and closes the library (if open). */
    ~PluginLoader();
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    /**
     * The plug-in installed with this library: the folder of
     * libsvnscc-session.so, then svnscc/libsvnscc.so, where the installed
     * tree puts it from any prefix it is copied to.
     */
    static QString installedPath();

    /**
     * Opens the library at @p path (its name encoded as QFile::encodeName()
     * does) and looks up its entry points.
     * @return false, nothing kept open and errorString() saying why, when
     *         something is loaded already ("the plug-in is loaded already"),
     *         the file is missing ("no plug-in at PATH"), dlopen() refuses it
     *         ("cannot load the plug-in PATH: REASON"), or a required entry
     *         point is missing ("PATH lacks the provider entry points").
     */
    bool load(const QString& path);

    /** Whether load() succeeded and unload() has not been called since. */
    bool isLoaded() const;

    /**
     * Makes the provider and keeps it, when it answers at least
     * @p minimumVersion: 1 takes any plug-in; 2 and later need the version-2
     * entry point and a provider whose interfaceVersion() is that high.
     * @return the provider; null, with errorString() saying why, when
     *         nothing is loaded, a provider exists already, the entry point
     *         gave none (out of memory), or the plug-in is older than
     *         @p minimumVersion ("the plug-in PATH has no version-2
     *         interface (AllocateSourceCodeControlSystemInterface2): it is
     *         older than this program", the same for version 3, or
     *         "... answers interface version N,
     *         not M"; its provider is handed back at once).
     */
    SourceCodeControlSystemProviderInterface* allocate(int minimumVersion = 1);

    /** The provider made by allocate(), or null. */
    SourceCodeControlSystemProviderInterface* provider() const;

    /** The same provider as its version-2 interface; null without a provider or for a version-1 plug-in. */
    SourceCodeControlSystemProviderInterface2* provider2() const;

    /** The same provider as its version-3 interface; null without a provider or for an older plug-in. */
    SourceCodeControlSystemProviderInterface3* provider3() const;

    /** The same provider as its version-4 interface; null without a provider or for an older plug-in. */
    SourceCodeControlSystemProviderInterface4* provider4() const;

    /** The provider's interfaceVersion(): 1 for a version-1 plug-in, 0 without a provider. */
    int interfaceVersion() const;

    /**
     * Thread-safe: cancels the operation the provider runs now in the owning
     * thread, through the plug-in's CancelSourceCodeControlSystemOperation
     * (the operation returns false; getLastError() gives its subcommand and
     * "cancelled"). Returns at once. Does nothing without a provider, when
     * the plug-in lacks that entry point, or while no operation runs.
     */
    void cancel();

    /** Hands the provider back to the plug-in; waits for a cancel() in progress. No effect without one. */
    void release();

    /**
     * Releases the provider and closes the library (dlclose(); it stays
     * mapped, see above); no effect when nothing is loaded.
     */
    void unload();

    /** Why the last load() or allocate() failed; empty after a successful one. */
    QString errorString() const;

private:
    struct Private;
    const std::unique_ptr<Private> d;
};

} // namespace SvnScc
