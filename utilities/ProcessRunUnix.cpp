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

// The argument vector as execve() takes it: each argument's 8-bit form, at
// least one (the program's name, maybe empty), ending in a null pointer.
class ArgumentVector
{
public:
    explicit ArgumentVector(const QStringList& arguments)
    {
        m_bytes.reserve(size_t(arguments.size()) + 1);
        for (const QString& argument : arguments)
            m_bytes.push_back(toEightBit(argument));
        if (m_bytes.empty())
            m_bytes.emplace_back();
        m_pointers.reserve(m_bytes.size() + 1);
        for (QByteArray& bytes : m_bytes)
            m_pointers.push_back(bytes.data());
        m_pointers.push_back(nullptr);
    }

    const QByteArray& program() const { return m_bytes.front(); }
    char* const* data() const { return m_pointers.data(); }

private:
    std::vector<QByteArray> m_bytes;
    std::vector<char*> m_pointers;
};

// Waits for the child's end (under the limits and a stop request) and tells
// how it ended; without `wait`, asks a few times and otherwise leaves it
// running.
void finish(QTx::Spawn::Child& child, QTx::Spawn::Ending& deadline, bool wait, bool& running,
            QTx::ProcessResult& result)
{
    int status = 0;
    if (!wait) {
        for (int attempt = 0; attempt < NoWaitTries; ++attempt) {
            if (child.tryReap(&status)) {
                if (child.statusLost())
                    result.end = QTx::ProcessResult::End::Lost;
                else
                    describe(status, result);
                return;
            }
            if (attempt + 1 < NoWaitTries)
                ::usleep(NoWaitPauseUs);
        }
        child.abandon(); // still running: left to run, not waited for
        running = true;
        result.end = QTx::ProcessResult::End::Lost;
        return;
    }
    bool reaped = false;
    if (deadline.isSet())
        QTx::Spawn::waitOut(child, deadline, status, reaped);
    else
        reaped = child.reap(&status);
    if (deadline.expired())
        result.end = QTx::ProcessResult::End::TimedOut;
    else if (deadline.stopped())
        result.end = QTx::ProcessResult::End::Stopped;
    else if (reaped && !child.statusLost())
        describe(status, result);
    else
        result.end = QTx::ProcessResult::End::Lost;
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
    const ArgumentVector argv(options.arguments);
    char* const* envp = options.environment ? options.environment->envp() : environ;
    const QByteArray& name = argv.program();

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

    finish(child, deadline, wait, running, result);
    return result;
}

} // namespace QTx::Spawn
