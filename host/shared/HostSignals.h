#pragma once

#include <functional>

/**
 * Makes SIGINT and SIGTERM to scc-host end its children too. The provider
 * starts each svn client in a session (and process group) of its own, so a
 * signal meant for scc-host would not reach it. A thread
 * of scc-host's own takes both signals. When a stop handler is set (see
 * setStopHandler()), it calls that first, so that the provider ends its
 * running operation itself (a client that changes a working copy is then
 * cleaned up after), and ends scc-host with the signal as soon as the host
 * has finished (waitIfStopping()). Without a handler, or when the host has
 * not finished five seconds later, or at a second signal meanwhile, it
 * sends the signal to every child and its process group, SIGKILL to what
 * is left two seconds later, and then ends scc-host with the signal. Call
 * first thing in main(), before any other thread exists, so that every
 * thread blocks the two signals.
 */
void stopChildrenWithHost();

/**
 * Sets what the signal thread of stopChildrenWithHost() calls when SIGINT or
 * SIGTERM arrives: scc-host passes its provider's cancel. It runs on that
 * thread, at once and then every 20 ms until the host has finished, so that
 * an operation begun after the first call ends too, and must return at once.
 * An empty handler clears it; clearing waits for a call in progress and no
 * call follows, so clear it before what the handler uses goes away.
 * Thread-safe.
 */
void setStopHandler(std::function<void()> handler);

/**
 * Returns at once, unless SIGINT or SIGTERM has arrived: then tells the
 * thread that handles it that the host has finished, and waits for that
 * thread to end scc-host, so that scc-host never ends on its own meanwhile
 * (its operation fails when it is cancelled or the child is stopped) with
 * another status than the signal's.
 */
void waitIfStopping();
