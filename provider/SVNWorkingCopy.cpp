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

QString nonNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// A local directory name as the client's operand: one starting with "-"
// would be read as options.
QString localOperand(const QString& name)
{
    return name.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + name : name;
}

} // namespace

bool SVNInterface::setRoots(const QStringList& newLocalRoots)
try {
    localRoots = newLocalRoots;
    localRootPath = Slash + localRoots.join(Slash);
    if (!isWorkingCopy(localRootPath))
        return false;

    QStringList output;
    if (!executeSVNCommand(QStringLiteral("info"), {}, QString(), localRootPath, output))
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
    QStringList output;
    return executeSVNCommand(QStringLiteral("checkout"),
                             {QStringLiteral("-N"), pegSafe(rootURL), localOperand(localRoots.last())},
                             parent, QString(), output);
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::addFile(const QStringList& pathParts, const QString& comment)
try {
    if (pathParts.isEmpty())
        return false;
    const QString message = nonNull(comment);
    const QStringList addArguments{QStringLiteral("--non-recursive"), QStringLiteral("--quiet")};
    QStringList output;

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
            const bool inRepository = executeSVNCommand(QStringLiteral("info"), {}, QString(), url, output);
            if (lastRunTimedOut)
                return false;
            if (inRepository) {
                // In a working copy of the central layout the folder joins it;
                // a check-out there would reset the depth of a versioned folder.
                const SVNFolderState parent = workingCopyLayout.inspect(directory);
                const bool fetched = parent.central
                    ? fetchFolder(directory, parent.depth, name)
                    : executeSVNCommand(QStringLiteral("checkout"),
                                        {QStringLiteral("--non-recursive"), pegSafe(url)},
                                        directory, name, output);
                if (!fetched)
                    return false;
            } else {
                if (!executeSVNCommand(QStringLiteral("add"), addArguments, directory, name, output))
                    return false;
                if (!executeSVNCommand(QStringLiteral("commit"),
                                       {QStringLiteral("--non-recursive"),
                                        QStringLiteral("--message"), message},
                                       directory, name, output))
                    return false;
            }
            // It may be cached as "not a working copy"; let the next query look again.
            removeCacheEntry(levelDirectory);
        }
        directory = levelDirectory;
    }

    const QString& fileName = pathParts.last();
    if (!executeSVNCommand(QStringLiteral("add"), addArguments, directory, fileName, output))
        return false;
    if (!executeSVNCommand(QStringLiteral("commit"), {QStringLiteral("--message"), message},
                           directory, fileName, output))
        return false;
    return saved(pathParts);
} catch (...) {
    return false; // out of memory: no exception may reach the host
}

bool SVNInterface::updateFile(const QStringList& pathParts)
{
    QStringList output;
    return executeSVNCommand(QStringLiteral("update"), {}, pathParts, output);
}

bool SVNInterface::getFile(const QStringList& pathParts, bool keepLocal)
try {
    if (pathParts.isEmpty())
        return false;
    QStringList output;
    QString directory = localRootPath;
    for (qsizetype level = 0; level + 1 < pathParts.size(); ++level) {
        const QString& name = pathParts[level];
        const QString levelDirectory = directory + Slash + name;
        if (!isWorkingCopy(levelDirectory)) {
            const SVNFolderState parent = workingCopyLayout.inspect(directory);
            const bool fetched = parent.central
                ? fetchFolder(directory, parent.depth, name)
                : executeSVNCommand(QStringLiteral("update"), {QStringLiteral("--non-recursive")},
                                    directory, name, output);
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
        setLastError(QStringLiteral("cat"), QStringLiteral("cannot create a scratch file in ")
                                                + QDir::tempPath());
        return false;
    }
    if (!execute(QStringLiteral("cat"), {QStringLiteral("--revision"), revision}, localRootPath,
                 pathParts.join(Slash), nullptr, scratch.handle()))
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
    lastRunTimedOut = false;
    const SVNFileStatus* record = getFileStatus(pathParts);
    if (lastRunTimedOut)
        return false;
    if (record && record->modified && replaceLocal) {
        // The repository's text replaces the local one before the lock is asked for.
        QTx::removeFile(localFilePath(pathParts));
        if (!updateFile(pathParts))
            return false;
    }
    QStringList output;
    if (!executeSVNCommand(QStringLiteral("lock"), {QStringLiteral("-m"), nonNull(comment)},
                           pathParts, output))
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
    QStringList output;
    if (!executeSVNCommand(QStringLiteral("unlock"), {}, pathParts, output))
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
    // --force takes a local folder of the same name in as it is, instead of
    // a tree conflict; local files in it are kept.
    const QString depth = parentDepth == QLatin1String("infinity") ? QStringLiteral("infinity")
                                                                   : QStringLiteral("empty");
    QStringList output;
    return executeSVNCommand(QStringLiteral("update"),
                             {QStringLiteral("--force"), QStringLiteral("--set-depth"), depth},
                             parentDirectory, name, output);
}

bool SVNInterface::checkin(const QStringList& pathParts, const QString& comment)
try {
    if (pathParts.isEmpty())
        return false; // an empty target would commit the whole working copy
    QStringList output;
    if (!executeSVNCommand(QStringLiteral("commit"), {QStringLiteral("-m"), nonNull(comment)},
                           pathParts, output))
        return false;
    return saved(pathParts);
} catch (...) {
    return false; // out of memory: no exception may reach the host
}
