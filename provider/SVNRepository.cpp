// Repository browsing: listings and directory creation, straight against
// repositoryURL. Nothing here is cached.

#include "SVNInterface.h"

#include "SVNUrl.h"

namespace {

const QString Slash = QStringLiteral("/");

} // namespace

bool SVNInterface::getRepositoryList(QStringList& list)
{
    return guarded([&] {
        list.append(repositoryURL);
        return true;
    });
}

bool SVNInterface::refreshDirectoriesList(const QStringList&)
{
    return true;
}

bool SVNInterface::listRepositoryDirectory(const QStringList& pathParts, QStringList& output)
{
    return run(SVNCommands::list(SVNUrl::join(repositoryURL, pathParts)), output);
}

bool SVNInterface::getFilesList(const QStringList& pathParts, QStringList& names)
{
    return guarded([&] {
        QStringList output;
        if (!listRepositoryDirectory(pathParts, output))
            return false;
        for (const QString& line : output)
            if (!line.contains(Slash))
                names.append(line);
        return true;
    });
}

bool SVNInterface::getDirectoriesList(const QStringList& pathParts, QStringList& names)
{
    return guarded([&] {
        QStringList output;
        if (!listRepositoryDirectory(pathParts, output))
            return false;
        // Subdirectories are listed with a "/" at their end.
        for (const QString& line : output) {
            const qsizetype slash = line.lastIndexOf(Slash);
            if (slash >= 0)
                names.append(line.left(slash));
        }
        return true;
    });
}

bool SVNInterface::createDirectory(const QStringList& parentParts, const QString& name)
{
    return guarded([&] {
        return run(SVNCommands::mkdir(SVNUrl::join(repositoryURL, parentParts) + Slash + SVNUrl::encode(name)));
    });
}
