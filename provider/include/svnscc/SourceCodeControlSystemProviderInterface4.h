#pragma once

/**
 * @file
 * Version 4 of the contract between an IDE and the Subversion provider
 * plug-in: the status of a whole working copy handed to the IDE while the
 * client still lists it, so that a view fills from the client's first line
 * rather than after its last.
 *
 * A host gets a version-4 provider from the optional entry point
 * AllocateSourceCodeControlSystemInterface4() (look it up with dlsym(); a
 * plug-in without it offers version 3 at most) and hands it back to the same
 * ReleaseSourceCodeControlSystemInterface(). The object is also a provider
 * of versions 3, 2 and 1: their slots come first, and everything said there
 * holds here too. Only an object from this entry point answers 4 to
 * interfaceVersion(); the older entry points' objects answer as before.
 */

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QString>

namespace SourceCodeControl {

/** One item of a status listing: what status() answers for its path. */
struct StatusEntry {
    /**
     * Relative to the local root, components joined by "/", as the client
     * prints it; "." is the local root itself.
     */
    QString path;
    bool controlled = false; ///< under version control (an unversioned item "?" is not)
    bool checkedOut = false; ///< locked in this working copy ("K" in column 6)
    bool modified = false;   ///< "M" or "!" in column 1
    bool outOfDate = false;  ///< the repository holds a newer revision (never while offline)
    QString columns;         ///< the client's seven status columns
    QString revision;        ///< the working revision; null when the client prints none
    QString lastChangedRevision; ///< null when the client prints none
};

/**
 * Receives a status listing one item at a time, on the thread of the call
 * that lists. It must not call into the provider.
 */
class StatusReceiver
{
public:
    virtual void receive(const StatusEntry& entry) = 0;

protected:
    ~StatusReceiver() = default;
};

} // namespace SourceCodeControl

/**
 * Version 4 of the provider interface. Paths follow version 2's rules.
 */
class SourceCodeControlSystemProviderInterface4 : public SourceCodeControlSystemProviderInterface3
{
public:
    /**
     * The status of the whole working copy at the local root, handed to
     * @p receiver item by item as the client prints its lines: the run a
     * first status() question makes when the whole working copy is read at
     * once (SVNStatusScope "WorkingCopy"), the same one run, filling the
     * same cache, so that status() then answers every path it listed
     * without a run. Each item the client lists, in the client's order
     * ("svn status --show-updates" gives a folder after what it holds, the
     * local root last; offline, the working copy's own order), with what
     * status() answers for it; ignored items and what lies inside an
     * unversioned folder are not listed (status() answers them as not
     * controlled), nor what an external holds (status() reads an external
     * with a run of its own when first asked about); an external folder's
     * line ("X" in column 1) is the client's line of this working copy,
     * where status() answers that folder from the run of its own. When the client's run
     * had to be repeated (a retry, or the working copy answering after the
     * server could not be reached), a path may be received again: the later
     * item holds.
     * @param listed true when the client ran for this call; false when
     *        nothing had to run (the status is cached already, the scope
     *        is one run per folder, or the local root is no working copy):
     *        nothing was received, and status() answers as before.
     * @return false, with getLastError() set, when the run failed or was
     *         cancelled; what was received before stays received.
     */
    virtual bool listStatus(SourceCodeControl::StatusReceiver& receiver, bool& listed) = 0;

protected:
    ~SourceCodeControlSystemProviderInterface4() = default;
};

extern "C" {
/** Optional: a new version-4 provider, or null. Release it with ReleaseSourceCodeControlSystemInterface(). */
SourceCodeControlSystemProviderInterface4* AllocateSourceCodeControlSystemInterface4();
}

/** The function type of AllocateSourceCodeControlSystemInterface4, for dlsym(). */
using AllocateSourceCodeControlSystemInterface4Fn = SourceCodeControlSystemProviderInterface4* (*)();
