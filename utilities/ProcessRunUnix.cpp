// One child's run: what it needs made before it exists, its start, the
// reading of its output, and its end.

#include "ProcessRun.h"

#include "EightBit.h"
#include "ProcessEnding.h"
#include "ProcessReading.h"
#include "ProcessStart.h"
#include "QTxProcessEnvironment.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

constexpr int NoWaitTries = 10;
constexpr useconds_t NoWaitPauseUs = 1000;

// The ending a wait status tells.
void describe(int status, QTx::ProcessResult& result)
{
    if (WIFEXITED(status)) {
        result.end = QTx::ProcessResult::End::Exited;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.end = QTx::ProcessResult::End::Signalled;
        result.signal = WTERMSIG(status);
    } else {
        result.end = QTx::ProcessResult::End::Lost;
    }
}

// Why a working directory cannot be entered, in the user's terms.
QString directoryProblem(int error)
{
    return error == ENOENT ? QStringLiteral("no such folder")
        : error == ENOTDIR ? QStringLiteral("not a folder")
                           : QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

namespace QTx::Spawn {

ProcessResult runChild(const ProcessOptions& options, bool wait, bool& running)
{
    running = false;
    ProcessResult result;
    const auto fail = [&result](const QString& why) {
        result.startError = why;
        return result;
    };

    // Everything the child needs is made here, before it exists.
    std::vector<QByteArray> argumentBytes;
    argumentBytes.reserve(size_t(options.arguments.size()) + 1);
    for (const QString& argument : options.arguments)
        argumentBytes.push_back(toEightBit(argument));
    if (argumentBytes.empty())
        argumentBytes.emplace_back();
    std::vector<char*> argv;
    argv.reserve(argumentBytes.size() + 1);
    for (QByteArray& bytes : argumentBytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);
    char* const* envp = options.environment ? options.environment->envp() : environ;
    const QByteArray& name = argumentBytes.front();

    // A directory that cannot be entered is ignored (the child then runs in
    // the inherited one) unless the caller requires it. Opening it here
    // tells; the child only enters it.
    Descriptor directory;
    QByteArray directoryBytes;
    if (!options.workingDirectory.isNull()) {
        directoryBytes = toEightBit(options.workingDirectory);
        const int openError = openDirectory(directoryBytes, directory);
        if (!directory.isOpen() && options.requireWorkingDirectory)
            return fail(QStringLiteral("cannot run '%1' in '%2': %3")
                            .arg(fromEightBit(name), options.workingDirectory, directoryProblem(openError)));
        if (!directory.isOpen())
            directoryBytes.clear();
    }
    const char* lookupProblem = nullptr;
    const QByteArray program = resolveProgram(name, directoryBytes, lookupProblem);
    if (program.isEmpty()) // nothing to execute: as an exec failure, no line is appended
        return fail(startProblem(name, QString::fromLatin1(lookupProblem)));

    Descriptor input;
    if (options.input) {
        const QString problem = openInput(*options.input, input);
        if (!problem.isNull())
            return fail(startProblem(name, problem));
    }
    const bool toDescriptor = options.outputDescriptor >= 0;
    Capture out(options.output, options.outputObserver ? &options.outputObserver : nullptr);
    Capture err(options.errors);
    Descriptor outWrite, errWrite;
    if ((!toDescriptor && (options.output || options.outputObserver) && !out.openPipe(outWrite, true))
        || (options.errors && !err.openPipe(errWrite, false)))
        return fail(startProblem(name, errnoText(errno)));

    // A stop asked for before the start: nothing is started.
    if (options.stopper && options.stopper->stopRequested()) {
        result.end = ProcessResult::End::Stopped;
        return result;
    }
    int spawnError = 0;
    const pid_t pid = startChild(program, argv.data(), envp, input.get(),
                                 toDescriptor ? options.outputDescriptor : outWrite.get(), errWrite.get(),
                                 directory.get(), spawnError);
    if (pid < 0)
        return fail(startProblem(name, errnoText(spawnError)));
    Child child(pid);
    Ending deadline(pid, options, wait);
    input.close();
    // Our copies of the write ends must go, or end of file never arrives.
    outWrite.close();
    errWrite.close();

    if (out.fd.isOpen() || err.fd.isOpen()) {
        out.beginReading();
        err.beginReading();
        collect(out, err, child, deadline);
        out.finish();
        err.finish();
    }

    int status = 0;
    if (!wait) {
        for (int attempt = 0; attempt < NoWaitTries; ++attempt) {
            if (child.tryReap(&status)) {
                describe(status, result);
                return result;
            }
            if (attempt + 1 < NoWaitTries)
                ::usleep(NoWaitPauseUs);
        }
        child.abandon(); // still running: left to run, not waited for
        running = true;
        result.end = ProcessResult::End::Lost;
        return result;
    }
    bool reaped = false;
    if (deadline.isSet())
        waitOut(child, deadline, status, reaped);
    else
        reaped = child.reap(&status);
    if (deadline.expired())
        result.end = ProcessResult::End::TimedOut;
    else if (deadline.stopped())
        result.end = ProcessResult::End::Stopped;
    else if (reaped)
        describe(status, result);
    else
        result.end = ProcessResult::End::Lost;
    return result;
}

} // namespace QTx::Spawn
