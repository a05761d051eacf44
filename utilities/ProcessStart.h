#pragma once

// The start of a QTx::runProcess() child: the descriptors it is given, the
// path of its program and its folder, looked up the way the user means
// them, and posix_spawn. Everything the child needs is made by the parent
// before it exists; the child only redirects, changes directory and
// executes.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace QTx::Spawn {

/** Owns one descriptor and closes it on every way out. */
class Descriptor
{
public:
    Descriptor() = default;
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void reset(int fd)
    {
        close();
        m_fd = fd;
    }
    void close();

private:
    int m_fd = -1;
};

/**
 * A close-on-exec pipe, so that a child started meanwhile by another thread
 * never inherits an end (a stray write end would hold our end of file back).
 * Neither end lands on descriptors 0 to 2, which the child's redirection
 * uses. False when it could not be made (errno says why).
 */
bool openPipe(Descriptor& readEnd, Descriptor& writeEnd);

/**
 * Opens `path` as the folder to start the child in. 0 when `directory` now
 * holds it; otherwise the errno value that says why it cannot be entered.
 */
int openDirectory(const QByteArray& path, Descriptor& directory);

/**
 * A pipe whose read end, `readEnd`, gives the child `input` and then its
 * end. Filled before the child starts: the write can neither block on a
 * child that does not read nor fail on one that already ended. Null when it
 * is ready; otherwise why not, in the user's terms.
 */
QString openInput(const QByteArray& input, Descriptor& readEnd);

/**
 * The path to execute: a name holding "/" as it is; otherwise the first
 * executable file of that name along PATH, as execvp() would find it (an
 * entry that is not a directory is passed over; an empty entry is the
 * current directory). A relative entry is looked up from `directory`, where
 * the child will be. Null when nothing is found, with `problem` saying why:
 * "not executable" when only files that cannot be run have the name.
 */
QByteArray resolveProgram(const QByteArray& name, const QByteArray& directory, const char*& problem);

/** What a failed start of `program` tells the user: "cannot run 'svnx': not found". */
QString startProblem(const QByteArray& program, const QString& why);

/** An errno value of a failed start in the user's terms ("not found", "not executable"). */
QString errnoText(int error);

/**
 * Starts the child in a session of its own. The descriptors become the
 * child's 0 (when `input` is open), 1 and 2 (when open); `directoryFd`
 * (when open) is entered first. Returns the child's pid, or -1 with `error`
 * set when it could not be started.
 */
pid_t startChild(const QByteArray& program, char* const* argv, char* const* envp, int input, int output,
                 int errors, int directoryFd, int& error);

} // namespace QTx::Spawn
