#pragma once

#include <QString>
#include <QStringList>

namespace QTx {

/**
 * Runs a program as a child process and collects what it prints.
 *
 * @param arguments        the argument vector; the first element names the
 *                         program (looked up along PATH when it has no "/").
 *                         Each element is passed as its Latin-1 bytes; a null
 *                         element becomes an empty argument.
 * @param wait             true: block until the child ends. false: after the
 *                         output is read, ask up to ten times, 1 ms apart,
 *                         whether the child has ended; 0 if it has not.
 * @param workingDirectory directory the child changes into first (null: keep
 *                         the caller's; a directory that cannot be entered is
 *                         ignored).
 * @param unused           no effect.
 * @param output, errors   receive the child's standard output and standard
 *                         error as lines (appended, never cleared). Only when
 *                         both are given is anything captured; otherwise the
 *                         child writes to the caller's own streams. LF and
 *                         CR LF end a line, an empty line is a null QString,
 *                         and output without a final line end still gives its
 *                         last line. Reading lasts until the child closes both
 *                         streams.
 * @return the child's exit status as a signed 8-bit value (255 gives -1);
 *         -1 when the program could not be started, the child was killed by
 *         a signal or could not be forked (then no line is appended).
 *
 * Safe to call from several threads at once: the pipes are close-on-exec, so
 * no other child inherits them. Installs no signal handler.
 */
int spawnProcess(const QStringList& arguments, bool wait, const QString& workingDirectory,
                 bool unused, QStringList* output, QStringList* errors);

} // namespace QTx
