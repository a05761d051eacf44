#pragma once

/**
 * Makes SIGINT and SIGTERM to scc-host end its children too. The provider
 * starts each svn client in a process group of its own (scc-host always sets
 * a time limit), so a signal meant for scc-host would not reach it. A thread
 * of scc-host's own takes both signals: it sends the signal to every child
 * and its process group, SIGKILL to what is left two seconds later, and then
 * ends scc-host with the signal. Call first thing in main(), before any other
 * thread exists, so that every thread blocks the two signals.
 */
void stopChildrenWithHost();

/**
 * Returns at once, unless SIGINT or SIGTERM has arrived: then waits for the
 * thread that handles it to end scc-host, so that scc-host never ends on its
 * own meanwhile (its operation fails when the child is stopped) with another
 * status than the signal's.
 */
void waitIfStopping();
