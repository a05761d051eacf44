#include "Path.h"

#include "EightBit.h"
#include "PathData.h"

#include <QFileInfo>
#include <QMutexLocker>

Path::Path()
{
    init(QStringLiteral(""));
}

Path::Path(const char* path)
{
    init(fromEightBit(path));
}

Path::Path(const QString& path)
{
    init(path);
}

Path::Path(const std::string& path)
{
    init(fromEightBit(path.c_str()));
}

Path::Path(const Path& other)
    : d(other.d)
{
    d->refCount.ref();
}

Path::~Path()
{
    if (!d->refCount.deref())
        delete d;
}

Path& Path::operator=(const Path& other)
{
    other.d->refCount.ref();
    if (!d->refCount.deref())
        delete d;
    d = other.d;
    return *this;
}

void Path::init(const QString& path)
{
    d = new PathData(path);
}

void Path::setPath(const QString& path)
{
    detach();
    d->setPath(path);
}

void Path::setPath(const char* path)
{
    setPath(fromEightBit(path));
}

void Path::setPath(const std::string& path)
{
    setPath(fromEightBit(path.c_str()));
}

Path& Path::operator+=(const QString& text)
{
    const QString joined = osPathQString() + text;
    detach();
    d->setPath(joined);
    return *this;
}

Path Path::operator+(const QString& text) const
{
    return Path(osPathQString() + text);
}

void Path::detach()
{
    if (d->refCount.loadAcquire() > 1) {
        PathData* copy;
        {
            const QMutexLocker lock(&d->mutex);
            copy = new PathData(*d);
        }
        // Another value may have let go meanwhile and left this one the last.
        if (!d->refCount.deref())
            delete d;
        d = copy;
    }
}

bool Path::isEmpty() const
{
    const QMutexLocker lock(&d->mutex);
    return d->isEmpty();
}

QString Path::osPathQString() const
{
    const QMutexLocker lock(&d->mutex);
    return d->osPath();
}

const char* Path::osPath() const
{
    const QMutexLocker lock(&d->mutex);
    return d->osPathBytes();
}

QString Path::canonicalPathQString() const
{
    const QMutexLocker lock(&d->mutex);
    return d->canonicalPath();
}

const char* Path::canonicalPath() const
{
    const QMutexLocker lock(&d->mutex);
    return d->canonicalPathBytes();
}

QString Path::filePath() const
{
    const QMutexLocker lock(&d->mutex);
    return d->fileInfo()->filePath();
}

QString Path::fileName() const
{
    const QMutexLocker lock(&d->mutex);
    return d->fileInfo()->fileName();
}

QString Path::baseName() const
{
    const QMutexLocker lock(&d->mutex);
    return d->fileInfo()->baseName();
}

QString Path::extension(bool complete) const
{
    const QMutexLocker lock(&d->mutex);
    return complete ? d->fileInfo()->completeSuffix() : d->fileInfo()->suffix();
}

QString Path::dirPath(bool absolute) const
{
    const QMutexLocker lock(&d->mutex);
    return absolute ? d->fileInfo()->absolutePath() : d->fileInfo()->path();
}

QDir Path::dir(bool absolute) const
{
    const QMutexLocker lock(&d->mutex);
    return absolute ? d->fileInfo()->absoluteDir() : d->fileInfo()->dir();
}

bool Path::exists() const
{
    const QMutexLocker lock(&d->mutex);
    return d->fileInfo()->exists();
}

bool Path::writable() const
{
    const QMutexLocker lock(&d->mutex);
    return d->fileInfo()->isWritable();
}

bool Path::readable() const
{
    const QMutexLocker lock(&d->mutex);
    return d->fileInfo()->isReadable();
}

QDateTime Path::created() const
{
    const QMutexLocker lock(&d->mutex);
    QFileInfo* info = d->fileInfo();
    info->refresh();
    // Not every file system records a birth time; the status change time is
    // the nearest thing it has then.
    const QDateTime birth = info->birthTime();
    return birth.isValid() ? birth : info->metadataChangeTime();
}

QDateTime Path::lastModified() const
{
    const QMutexLocker lock(&d->mutex);
    QFileInfo* info = d->fileInfo();
    info->refresh();
    return info->lastModified();
}

QDateTime Path::lastRead() const
{
    const QMutexLocker lock(&d->mutex);
    QFileInfo* info = d->fileInfo();
    info->refresh();
    return info->lastRead();
}

qint64 Path::size() const
{
    const QMutexLocker lock(&d->mutex);
    return d->fileInfo()->size();
}

QStringList Path::dirPathQStringList(bool absolute) const
{
    return dirPath(absolute).split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

QStringList Path::filePathQStringList(bool absolute) const
{
    const QMutexLocker lock(&d->mutex);
    QFileInfo* info = d->fileInfo();
    const QString text = absolute ? info->absoluteFilePath() : info->filePath();
    return text.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

bool Path::operator==(const Path& other) const
{
    if (d == other.d)
        return true;
    // One body locked at a time, so that two threads comparing a and b
    // each way round cannot wait for each other.
    const QString theirs = other.canonicalPathQString();
    return canonicalPathQString() == theirs;
}

bool Path::operator!=(const Path& other) const
{
    return !(*this == other);
}

bool Path::operator<(const Path& other) const
{
    if (d == other.d)
        return false;
    const QString theirs = other.canonicalPathQString();
    return canonicalPathQString() < theirs;
}

bool Path::isPathDelimiter(const QChar& c)
{
    return c == QLatin1Char('/');
}

void Path::removeRelativePaths(QString& path)
{
    const QChar dot = QLatin1Char('.');
    qsizetype pos = 0;
    for (;;) {
        const qsizetype i = path.indexOf(dot, pos);
        if (i < 0)
            break;
        if (i == 0 || !isPathDelimiter(path.at(i - 1))) {
            pos = i + 1;
            continue;
        }
        const qsizetype length = path.size();
        if (i + 1 < length && path.at(i + 1) == dot) {
            const bool parentStep = i + 2 == length || isPathDelimiter(path.at(i + 2));
            if (!parentStep) {
                pos = i + 1;
                continue;
            }
            // The "/" at i - 1 and the previous name's last character (i - 2)
            // are not looked at: the previous name is taken to be non-empty.
            qsizetype j = i - 3;
            while (j >= 0 && !isPathDelimiter(path.at(j)))
                --j;
            if (j >= 0) {
                path.remove(j, i + 2 - j);
                pos = j;
            } else {
                pos = i + 1;
            }
            continue;
        }
        if (i + 1 == length || isPathDelimiter(path.at(i + 1))) {
            path.remove(i - 1, 2);
            pos = i - 1;
        } else {
            pos = i + 1;
        }
    }

    qsizetype k = 0;
    while (k + 1 < path.size()) {
        if (isPathDelimiter(path.at(k)) && isPathDelimiter(path.at(k + 1)))
            path.remove(k, 1);
        else
            ++k;
    }
}

QString Path::toOsPath(const QString& path)
{
    return path;
}

QString Path::toCanonicalPath(const QString& path)
{
    return path;
}

void Path::polishOsPath(QString&)
{
}
