// Operations on the local working copy: binding the roots, adding, getting,
// locking, unlocking and committing files.

#include "SVNInterface.h"

#include "QTxFiles.h"

#include <cstdio>

namespace {

const QString Slash = QStringLiteral("/");

QString nonNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

} // namespace

bool SVNInterface::setRoots(const QStringList& newLocalRoots)
{
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
}

bool SVNInterface::setRoots(const QStringList& newLocalRoots, const QStringList& newRepositoryRoots)
{
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
                             {QStringLiteral("-N"), rootURL, localRoots.last()}, parent,
                             QString(), output);
}

bool SVNInterface::addFile(const QStringList& pathParts, const QString& comment)
{
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
            // The probe only chooses the path; its failure is not ours.
            if (executeSVNCommand(QStringLiteral("info"), {}, QString(), url, output)) {
                if (!executeSVNCommand(QStringLiteral("checkout"),
                                       {QStringLiteral("--non-recursive"), url}, directory, name,
                                       output))
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
}

bool SVNInterface::updateFile(const QStringList& pathParts)
{
    QStringList output;
    return executeSVNCommand(QStringLiteral("update"), {}, pathParts, output);
}

bool SVNInterface::getFile(const QStringList& pathParts, bool keepLocal)
{
    if (pathParts.isEmpty())
        return false;
    QStringList output;
    QString directory = localRootPath;
    for (qsizetype level = 0; level + 1 < pathParts.size(); ++level) {
        const QString& name = pathParts[level];
        const QString levelDirectory = directory + Slash + name;
        if (!isWorkingCopy(levelDirectory)) {
            if (!executeSVNCommand(QStringLiteral("update"), {QStringLiteral("--non-recursive")},
                                   directory, name, output))
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
}

bool SVNInterface::getTo(const QStringList& pathParts, const QString& revision,
                         const QString& destination)
{
    if (pathParts.isEmpty())
        return false;
    QStringList output;
    if (!executeSVNCommand(QStringLiteral("cat"), {QStringLiteral("--revision"), revision},
                           pathParts, output))
        return false;

    FILE* file = std::fopen(destination.toLatin1().constData(), "wt");
    if (!file)
        return false;
    bool written = true;
    for (const QString& line : output) {
        const QByteArray bytes = line.toLatin1();
        if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file) != size_t(bytes.size())
            || std::fputc('\n', file) == EOF)
            written = false;
    }
    if (std::fclose(file) != 0)
        written = false;
    return written;
}

bool SVNInterface::checkout(const QStringList& pathParts, const QString& comment, bool replaceLocal)
{
    if (pathParts.isEmpty())
        return false;
    const SVNFileStatus* record = getFileStatus(pathParts);
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
}

bool SVNInterface::undoCheckout(const QStringList& pathParts, bool discardChanges)
{
    if (pathParts.isEmpty())
        return false;
    if (discardChanges)
        QTx::removeFile(localFilePath(pathParts));
    QStringList output;
    if (!executeSVNCommand(QStringLiteral("unlock"), {}, pathParts, output))
        return false;
    if (discardChanges && !updateFile(pathParts))
        return false;
    return saved(pathParts);
}

bool SVNInterface::checkin(const QStringList& pathParts, const QString& comment)
{
    if (pathParts.isEmpty())
        return false; // an empty target would commit the whole working copy
    QStringList output;
    if (!executeSVNCommand(QStringLiteral("commit"), {QStringLiteral("-m"), nonNull(comment)},
                           pathParts, output))
        return false;
    return saved(pathParts);
}
