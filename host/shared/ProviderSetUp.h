#pragma once

#include <QString>

class SourceCodeControlSystemProviderInterface;
struct HostOptions;

/** How setUpProvider() went: the step that failed, and the provider's reason. */
struct ProviderSetUp
{
    /** What setUpProvider() attempted when it stopped. */
    enum Step {
        Done,           ///< nothing failed: the provider is ready
        Login,          ///< login() failed
        Binding,        ///< setRoots() failed in a client run
        NotAWorkingCopy ///< the one-list setRoots() refused --root: no working copy, nothing was run
    };

    Step failedStep = Done;
    QString command; ///< the svn subcommand getLastError() named; empty for NotAWorkingCopy
    QString message; ///< getLastError()'s text, or "<root> is not a working copy"

    /** True when a step failed. */
    bool failed() const { return failedStep != Done; }
};

/**
 * Makes a fresh provider ready for a host's operations, stopping at the first
 * step that fails: setProviderOptions(); login() when `options.userName` is
 * given; then, when `options.localRoot` is given, the roots. With
 * `options.repositoryRoot` the two-list setRoots() binds the root there and
 * checks it out when it is not a working copy yet (the root's parent folder
 * is created first: the check-out runs in it, and a client that cannot enter
 * its folder would run in the host's); without it the one-list setRoots()
 * binds an existing working copy.
 */
ProviderSetUp setUpProvider(SourceCodeControlSystemProviderInterface& provider, const HostOptions& options);
