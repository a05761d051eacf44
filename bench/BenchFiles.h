#pragma once

#include "QTxProcess.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <stdexcept>

/** What the benchmarks' fixtures do to files and tools; each throws std::runtime_error when it fails. */
namespace BenchFiles {

/** Writes `data` to a new file at `path` (an existing one is replaced). */
inline void writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

/** Runs a tool (svnadmin, svn) in `directory` and waits for it; it must exit with 0. */
inline void runOrThrow(const QStringList& arguments, const QString& directory = QString())
{
    QStringList output;
    QStringList errors;
    if (QTx::spawnProcess(arguments, true, directory, true, &output, &errors) != 0)
        throw std::runtime_error("failed: " + arguments.join(QLatin1Char(' ')).toStdString() + ": "
                                 + errors.join(QLatin1Char('\n')).toStdString());
}

/**
 * Imports the folder `stage` into a repository as `url` with the client
 * `client`, removes it, and checks `url` out into `workingCopy`.
 */
inline void importAndCheckOut(const QString& client, const QString& stage, const QString& url,
                              const QString& workingCopy)
{
    runOrThrow({client, QStringLiteral("import"), QStringLiteral("--quiet"), QStringLiteral("-m"),
                QStringLiteral("import"), stage, url});
    QDir(stage).removeRecursively();
    runOrThrow({client, QStringLiteral("checkout"), QStringLiteral("--quiet"), url, workingCopy});
}

/**
 * A scratch folder where writes cost no disk flush when the machine has one
 * (the repositories: a commit syncs every file it writes, which makes a
 * 20,000-file import take minutes on an ordinary disk instead of seconds).
 * The working copies stay in the ordinary temporary folder.
 */
inline QString fastScratchTemplate()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    return base + QStringLiteral("/svnscc-bench-XXXXXX");
}

} // namespace BenchFiles
