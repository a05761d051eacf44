#pragma once

#include <QString>

namespace SvnScc {

class SessionWorker;

/**
 * The plug-in's command log as sessions see it: the process-wide category
 * filter and message handler (see Session) and the routing of each line to
 * the session whose worker thread logged it.
 */
namespace SessionLog {

/**
 * Turns the command log on and routes it, once per process (later calls
 * do nothing): a category filter that runs the one installed before it,
 * then turns "svnscc.client" debug on, and a message handler that hands
 * each line of that category to the worker routed from the logging thread
 * and passes every other message (and those lines too, when the host's
 * rules turn them on) to the handler installed before it. Thread-safe.
 */
void install();

/** Called in a worker's thread: the lines logged in this thread go to @p worker (null: to no one). */
void route(SessionWorker* worker);

/** Whether @p line is the plug-in's note that a repository cannot be reached and status comes from the working copy alone. */
bool saysOffline(const QString& line);

} // namespace SessionLog

} // namespace SvnScc
