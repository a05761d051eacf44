// Operations on the local working copy: binding the roots, adding, getting,
// locking, unlocking and committing files.

#include "SVNInterface.h"

#include "EightBit.h"
#include "QTxFiles.h"
#include "SVNWorkingCopyLayout.h"

#include <QDir>
#include <QTemporaryFile>

#include <cstdio>

namespace {

const QString Slash = QStringLiteral("/");

} // namespace

bool SVNInterface::setRoots(const QStringList& newLocalRoots)
try {
    localRoots = newLocalRoots;
    localRootPath = Slash + localRoots.join(Slash);
    if (!isWorkingCopy(localRootPath))
        return false;

    QStringList output;
    if (!run(SVNCommands::info(localRootPath), output))
        return false;

    QString url;
    QString repositoryRoot;
    bool haveURL = false;
    for (const QString& line : output) {
        if (line.startsWith(QLatin1String("URL:"))) {
            url = line.mid(5);
            haveURL = true;
        } else if (line.startsWith(QLatin1String("Repository Root:"))) {
            repositoryRoot = line.mid(17);
        }
    }
    if (haveURL)
        rootURL = url; // the repository URL of the local root, what file URLs are built on
    if (url.startsWith(repositoryRoot))
        repositoryRoots = url.mid(repositoryRoot.size()).split(Slash, Qt::SkipEmptyParts);
    return true;
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::setRoots(const QStringList& newLocalRoots, const QStringList& newRepositoryRoots)
try {
    localRoots = newLocalRoots;
    repositoryRoots = newRepositoryRoots;
    localRootPath = Slash + localRoots.join(Slash);

    QString parent;
    for (qsizetype i = 0; i + 1 < localRoots.size(); ++i)
        parent += Slash + localRoots[i];
    if (parent.isEmpty())
        parent = Slash; // a root directly below "/" is checked out from "/"

    rootURL = repositoryURL;
    if (!repositoryRoots.isEmpty())
        rootURL += Slash + repositoryRoots.join(Slash);

    if (isWorkingCopy(localRootPath))
        return true;
    if (localRoots.isEmpty())
        return false; // the file-system root itself cannot be checked out
    return run(SVNCommands::checkOutRoot(rootURL, parent, localRoots.last()));
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::addFile(const QStringList& pathParts, const QString& comment)
try {
    if (pathParts.isEmpty())
        return false;

    // Bring each directory level under control, from the root downwards, so
    // that every fetch or add runs inside a parent that is a working copy.
    QString directory = localRootPath;
    QString url = rootURL;
    for (qsizetype level = 0; level + 1 < pathParts.size(); ++level) {
        const QString& name = pathParts[level];
        url += Slash + name;
        const QString levelDirectory = directory + Slash + name;
        if (!isWorkingCopy(levelDirectory)) {
            // The probe only chooses the path; its failure is not ours,
            // unless it never answered: then nothing is known of the folder.
            const SVNRunResult probe = run(SVNCommands::info(url), SVNOutput());
            if (probe.end == SVNRunResult::End::TimedOut)
                return false;
            if (probe.succeeded()) {
                // In a working copy of the central layout the folder joins it;
                // a check-out there would reset the depth of a versioned folder.
                const SVNFolderState parent = workingCopyLayout.inspect(directory);
                const bool fetched = parent.central ? fetchFolder(directory, parent.depth, name)
                                                    : run(SVNCommands::checkOutFolder(url, directory, name));
                if (!fetched)
                    return false;
            } else if (!run(SVNCommands::add(directory, name))
                       || !run(SVNCommands::commitFolder(directory, name, comment))) {
                return false;
            }
            // It may be cached as "not a working copy"; let the next query look again.
            removeCacheEntry(levelDirectory);
        }
        directory = levelDirectory;
    }

    const QString& fileName = pathParts.last();
    if (!run(SVNCommands::add(directory, fileName)) || !run(SVNCommands::commitAdded(directory, fileName, comment)))
        return false;
    return saved(pathParts);
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::updateFile(const QStringList& pathParts)
{
    return run(SVNCommands::update(localRootPath, pathParts.join(Slash)));
}

bool SVNInterface::getFile(const QStringList& pathParts, bool keepLocal)
try {
    if (pathParts.isEmpty())
        return false;
    QString directory = localRootPath;
    for (qsizetype level = 0; level + 1 < pathParts.size(); ++level) {
        const QString& name = pathParts[level];
        const QString levelDirectory = directory + Slash + name;
        if (!isWorkingCopy(levelDirectory)) {
            const SVNFolderState parent = workingCopyLayout.inspect(directory);
            const bool fetched = parent.central ? fetchFolder(directory, parent.depth, name)
                                                : run(SVNCommands::updateFolder(directory, name));
            if (!fetched)
                return false;
            removeCacheEntry(levelDirectory);
        }
        directory = levelDirectory;
    }
    if (!keepLocal)
        QTx::removeFile(localFilePath(pathParts)); // a missing file is fine
    if (!updateFile(pathParts))
        return false;
    return saved(pathParts);
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::getTo(const QStringList& pathParts, const QString& revision,
                         const QString& destination)
try {
    if (pathParts.isEmpty())
        return false;
    // The client's bytes go to a scratch file as they come, so a file of any
    // size costs no memory, and the destination is only touched once the run
    // succeeded.
    QTemporaryFile scratch;
    if (!scratch.open()) {
        setLastError(QLatin1String(SVNSubcommand::Cat), QStringLiteral("cannot create a scratch file in ")
                                                + QDir::tempPath());
        return false;
    }
    SVNOutput output;
    output.descriptor = scratch.handle();
    // A repeated run starts the scratch file afresh.
    output.restart = [&scratch] {
        if (scratch.resize(0))
            scratch.seek(0);
    };
    if (!run(SVNCommands::cat(localRootPath, pathParts.join(Slash), revision), output).succeeded())
        return false;

    FILE* file = std::fopen(toEightBit(destination).constData(), "wb");
    if (!file)
        return false;
    bool written = scratch.seek(0);
    char buffer[65536];
    for (qint64 count; written && (count = scratch.read(buffer, sizeof buffer)) != 0;)
        written = count > 0 && std::fwrite(buffer, 1, size_t(count), file) == size_t(count);
    if (std::fclose(file) != 0)
        written = false;
    return written;
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::checkout(const QStringList& pathParts, const QString& comment, bool replaceLocal)
try {
    if (pathParts.isEmpty())
        return false;
    bool timedOut = false;
    const SVNFileStatus* record = lookUpStatus(pathParts, timedOut);
    if (timedOut)
        return false;
    if (record && record->modified && replaceLocal) {
        // The repository's text replaces the local one before the lock is asked for.
        QTx::removeFile(localFilePath(pathParts));
        if (!updateFile(pathParts))
            return false;
    }
    if (!run(SVNCommands::lock(localRootPath, pathParts.join(Slash), comment)))
        return false;
    QTx::setWriteable(localFilePath(pathParts), true);
    return saved(pathParts);
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::undoCheckout(const QStringList& pathParts, bool discardChanges)
try {
    if (pathParts.isEmpty())
        return false;
    // A client of the central layout cannot unlock a file that is gone (it
    // fails half-way and leaves the working copy needing a clean-up), so there
    // the lock goes first and the file after it.
    const bool unlockFirst = discardChanges && workingCopyLayout.inspect(getLocalDirectory(pathParts)).central;
    if (discardChanges && !unlockFirst)
        QTx::removeFile(localFilePath(pathParts));
    if (!run(SVNCommands::unlock(localRootPath, pathParts.join(Slash))))
        return false;
    if (unlockFirst)
        QTx::removeFile(localFilePath(pathParts));
    if (discardChanges && !updateFile(pathParts))
        return false;
    return saved(pathParts);
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::fetchFolder(const QString& parentDirectory, const QString& parentDepth,
                               const QString& name)
{
    const QString depth = parentDepth == QLatin1String("infinity") ? QStringLiteral("infinity")
                                                                   : QStringLiteral("empty");
    return run(SVNCommands::fetchFolder(parentDirectory, name, depth));
}

bool SVNInterface::checkin(const QStringList& pathParts, const QString& comment)
try {
    if (pathParts.isEmpty())
        return false; // an empty target would commit the whole working copy
    if (!run(SVNCommands::commit(localRootPath, pathParts.join(Slash), comment)))
        return false;
    return saved(pathParts);
} catch (...) {
    return false; // out of memory: no exception may reach the host
}
