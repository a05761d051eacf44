#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface2.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/**
 * @file
 * The svn client's own answers to what version 2 of the interface asks
 * (its raw output, its history and its annotation, read from its XML): the
 * oracle the demo and the tests compare the provider with. Every run has
 * untranslated messages and UTF-8 names, never prompts, and takes the
 * environment of the host (HOME included).
 */

/**
 * Runs `svnExecutable` with "--non-interactive" and `arguments` in
 * `directory`. Returns true when it exits with 0; `output` then gets its
 * standard output byte for byte. On failure `error` (when given) gets its
 * standard error, or why it could not be run, and `output` is left alone.
 */
bool clientOutput(const QString& svnExecutable, const QString& directory, const QStringList& arguments,
                  QByteArray& output, QString* error = nullptr);

/**
 * The client's "log --xml --verbose" of `target` with `options` added
 * (credentials, a revision range), run in `directory`, as the interface's
 * log entries: changed paths as "M /trunk/a.c" or "A /trunk/b.c (from
 * /trunk/a.c:12)", dates in UTC. Empty, with `error` set, when the run
 * fails.
 */
QList<SourceCodeControl::LogEntry> clientLog(const QString& svnExecutable, const QString& directory,
                                             const QString& target, const QStringList& options = {},
                                             QString* error = nullptr);

/**
 * The client's "blame --xml" of `target` with `options` added, run in
 * `directory`: one entry per line with its revision, author and date (UTC),
 * the text left empty (the XML holds none). Empty, with `error` set, when
 * the run fails.
 */
QList<SourceCodeControl::AnnotatedLine> clientBlame(const QString& svnExecutable, const QString& directory,
                                                    const QString& target, const QStringList& options = {},
                                                    QString* error = nullptr);
