// The entry points of process spawning: runProcess() and the two
// spawnProcess() forms, one run behind all three (ProcessRunUnix.cpp).

#include "QTxProcess.h"

#include "ProcessRun.h"

#include <new>

namespace {

// The run, with an allocation failure told as a start failure. Every
// descriptor and the child were released on the way out.
QTx::ProcessResult guardedRun(const QTx::ProcessOptions& options, bool wait, bool& running)
{
    try {
        return QTx::Spawn::runChild(options, wait, running);
    } catch (const std::bad_alloc&) {
        running = false;
        QTx::ProcessResult result;
        try {
            result.startError = QStringLiteral("cannot run '%1': out of memory").arg(options.arguments.value(0));
        } catch (const std::bad_alloc&) {
        }
        return result;
    }
}

} // namespace

namespace QTx {

ProcessResult runProcess(const ProcessOptions& options)
{
    bool running = false;
    return guardedRun(options, true, running);
}

int spawnProcess(const QStringList& arguments, bool wait, const QString& workingDirectory,
                 bool /*unused*/, QStringList* output, QStringList* errors)
{
    return spawnProcess(arguments, wait, workingDirectory, SpawnOptions(), output, errors);
}

int spawnProcess(const QStringList& arguments, bool wait, const QString& workingDirectory,
                 const SpawnOptions& options, QStringList* output, QStringList* errors)
{
    ProcessOptions run;
    run.arguments = arguments;
    run.workingDirectory = workingDirectory;
    run.requireWorkingDirectory = options.requireWorkingDirectory;
    run.environment = options.environment;
    run.input = options.input;
    // Both streams are captured, or neither.
    if (errors && (output || options.outputDescriptor >= 0 || options.outputObserver)) {
        run.output = output;
        run.outputDescriptor = options.outputDescriptor;
        run.outputObserver = options.outputObserver;
        run.errors = errors;
    }
    run.timeoutMs = options.timeoutMs;
    run.silenceLimitMs = options.silenceLimitMs;
    run.killGraceMs = options.killGraceMs;
    run.stopper = options.stopper;
    run.stopGraceMs = options.stopGraceMs;

    bool running = false;
    const ProcessResult result = guardedRun(run, wait, running);
    if (options.timedOut)
        *options.timedOut = result.end == ProcessResult::End::TimedOut;
    if (options.stopped)
        *options.stopped = result.end == ProcessResult::End::Stopped;
    if (options.startError)
        *options.startError = result.startError;
    if (running)
        return 0;
    // The exit status as a signed 8-bit value: 255 gives -1.
    return result.end == ProcessResult::End::Exited ? static_cast<signed char>(result.exitCode) : -1;
}

} // namespace QTx
