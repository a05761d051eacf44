// Relative forms of paths and directory-chain creation: the static Path
// functions that work on plain strings rather than Path values.

#include "Path.h"

#include <QDir>
#include <QFileInfo>

namespace {

QDir listingDir(const QString& path)
{
    return QDir(path, QString(), QDir::IgnoreCase, QDir::Dirs | QDir::Files | QDir::Drives);
}

// Makes the outermost missing directory first, then each one inwards.
void recursiveMkdir(const QDir& dir)
{
    if (dir.isRoot())
        return;
    if (dir.exists())
        return;
    recursiveMkdir(listingDir(QDir::cleanPath(dir.absolutePath() + QLatin1String("/.."))));
    dir.mkdir(dir.absolutePath());
}

} // namespace

bool Path::relativeDirPath(const QString& base, const QString& target, QString& result)
{
    result = QString();
    if (target == QLatin1String("."))
        return true;

    const QStringList baseParts =
            QFileInfo(base).absoluteFilePath().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList targetParts =
            QFileInfo(target).absoluteFilePath().split(QLatin1Char('/'), Qt::SkipEmptyParts);

    const qsizetype shorter = qMin(baseParts.size(), targetParts.size());
    qsizetype common = 0;
    while (common < shorter && baseParts.at(common) == targetParts.at(common))
        ++common;
    if (common == 0)
        return false;

    QString relative;
    for (qsizetype i = common; i < baseParts.size(); ++i)
        relative += QLatin1String("../");
    for (qsizetype i = common; i < targetParts.size(); ++i)
        relative += targetParts.at(i) + QLatin1Char('/');
    if (!relative.isEmpty())
        result = relative.left(relative.size() - 1);
    return true;
}

bool Path::relativeFilePath(const QString& base, const QString& file, QString& result)
{
    const QFileInfo info(file);
    QString relativeDir;
    if (!relativeDirPath(base, info.path(), relativeDir))
        return false;
    result = relativeDir.isEmpty() ? info.fileName()
                                   : relativeDir + QLatin1Char('/') + info.fileName();
    return true;
}

QString Path::relativeFilePath(const QString& base, const QString& file)
{
    QString result;
    if (relativeFilePath(base, file, result))
        return result;
    return QFileInfo(file).absoluteFilePath();
}

bool Path::equal(const QString& first, const QString& second)
{
    return toCanonicalPath(first) == toCanonicalPath(second);
}

void Path::ensureDirExists(const QString& filePath)
{
    recursiveMkdir(listingDir(QFileInfo(filePath).absolutePath()));
}
