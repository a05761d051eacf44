// The file operations built on QDir, QFile and QFileInfo.

#include "QTxFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

const qint64 s_compareStep = 1024;

QDir listingDir(const QString& path)
{
    return QDir(path, QString(), QDir::IgnoreCase, QDir::Dirs | QDir::Files | QDir::Drives);
}

bool isDotEntry(const QString& name)
{
    return name == QLatin1String(".") || name == QLatin1String("..");
}

} // namespace

namespace QTx {

QDir parentDir(QDir dir)
{
    const QString path = dir.absolutePath();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return listingDir(slash < 0 ? path : path.left(slash));
}

bool makeDir(QDir dir)
{
    if (dir.exists())
        return true;
    if (dir.isRoot())
        return false;
    const QDir parent = parentDir(dir);
    if (!parent.exists() && parent != dir)
        makeDir(parent);
    return dir.mkdir(dir.absolutePath());
}

bool makeDir(QString path)
{
    return makeDir(listingDir(path));
}

bool copyDir(const QString& source, const QString& destination)
{
    const QFileInfo sourceInfo(source);
    const QFileInfo destinationInfo(destination);
    if (!sourceInfo.exists() || !sourceInfo.isDir() || !destinationInfo.exists()
        || !destinationInfo.isDir())
        return false;
    // A destination inside the source (or the source itself) would be copied
    // into itself without end.
    const QString sourcePath = sourceInfo.canonicalFilePath();
    const QString destinationPath = destinationInfo.canonicalFilePath();
    if (destinationPath == sourcePath || destinationPath.startsWith(sourcePath + QLatin1Char('/'))
        || sourcePath == QLatin1String("/"))
        return false;

    const QStringList names = listingDir(source).entryList();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        if (isDotEntry(name))
            continue;
        const QFileInfo entry(source + QLatin1Char('/') + name);
        if (entry.isDir()) {
            const QString target = destination + QLatin1Char('/') + name;
            if (!QFileInfo::exists(target))
                listingDir(destination).mkdir(name);
            const QFileInfo targetInfo(target);
            if (!targetInfo.exists() || !targetInfo.isDir())
                return false;
            if (!copyDir(entry.absoluteFilePath(), targetInfo.absoluteFilePath()))
                return false;
        } else if (entry.isFile()) {
            if (!copyFile(entry.absoluteFilePath(), destination, false))
                return false;
        }
    }
    return true;
}

bool filesMatch(const QString& first, const QString& second)
{
    const QFileInfo firstInfo(first);
    const QFileInfo secondInfo(second);
    if (!firstInfo.exists() || !secondInfo.exists() || firstInfo.size() != secondInfo.size())
        return false;

    QFile a(first);
    QFile b(second);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
        return false;

    char bufferA[s_compareStep];
    char bufferB[s_compareStep];
    for (;;) {
        if (a.atEnd())
            return true;
        const qint64 countA = a.read(bufferA, s_compareStep);
        const qint64 countB = b.read(bufferB, s_compareStep);
        // A count of 0 before the end means the file shrank under us.
        if (countA <= 0 || countB <= 0 || countA != countB)
            return false;
        if (std::memcmp(bufferA, bufferB, size_t(countA)) != 0)
            return false;
    }
}

void formatPath(QString& path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
}

QString simplifyPath(const QString& path, bool makeAbsolute)
{
    QString result = makeAbsolute ? QFileInfo(path).absoluteFilePath() : path;
    formatPath(result);
    return result;
}

QString correctPathCapitalisation(const QString& path)
{
    return path;
}

void findFiles(QString directory, const QString& extension, QStringList& result)
{
    const QStringList names = listingDir(directory).entryList();
    for (const QString& name : names) {
        if (isDotEntry(name))
            continue;
        const QFileInfo entry(directory + QLatin1Char('/') + name);
        if (entry.isDir())
            findFiles(entry.absoluteFilePath(), extension, result);
        else if (entry.isFile() && entry.suffix() == extension)
            result.append(entry.absoluteFilePath());
    }
}

} // namespace QTx
