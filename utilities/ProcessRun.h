#pragma once

// The one run behind QTx::runProcess() and both QTx::spawnProcess() forms.

#include "QTxProcess.h"

namespace QTx::Spawn {

/**
 * Runs the child as `options` say. With `wait` it is waited for under the
 * limits and the stop request, as runProcess() says. Without, once its
 * output is read, it is asked up to ten times, 1 ms apart, whether it has
 * ended; when it has not, `running` is set and it is left to run (no limit,
 * no stop), never reaped. May throw std::bad_alloc, after the child (when
 * there was one) was ended and reaped.
 */
ProcessResult runChild(const ProcessOptions& options, bool wait, bool& running);

} // namespace QTx::Spawn
