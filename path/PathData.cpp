#include "PathData.h"

#include "EightBit.h"
#include "Path.h"

#include <QFileInfo>

PathData::PathData(const QString& initialPath)
    : refCount(1)
    , osPathDone(false)
    , canonicalDone(false)
    , info(nullptr)
    , m_osBytesDone(false)
    , m_canonicalBytesDone(false)
{
    setPath(initialPath);
}

PathData::PathData(const PathData& other)
    : refCount(1)
    , path(other.path)
    , canonical(other.canonical)
    , osPathDone(other.osPathDone)
    , canonicalDone(other.canonicalDone)
    , info(nullptr)
    , m_osBytesDone(false)
    , m_canonicalBytesDone(false)
{
}

PathData::~PathData()
{
    delete info;
}

void PathData::setPath(const QString& newPath)
{
    osPathDone = false;
    path = newPath;
    Path::removeRelativePaths(path);
    canonicalDone = false;
    canonical = path;
    deleteFileInfo();
    m_osBytesDone = false;
    m_canonicalBytesDone = false;
    m_osBytes.clear();
    m_canonicalBytes.clear();
}

QString PathData::osPath()
{
    if (!osPathDone) {
        path = Path::toOsPath(path);
        polishOsPath();
        osPathDone = true;
        m_osBytesDone = false;
    }
    return path;
}

QString PathData::canonicalPath()
{
    if (!canonicalDone) {
        canonical = Path::toCanonicalPath(canonical);
        canonicalDone = true;
        m_canonicalBytesDone = false;
    }
    return canonical;
}

const char* PathData::osPathBytes()
{
    osPath();
    if (!m_osBytesDone) {
        m_osBytes = toEightBit(path);
        m_osBytesDone = true;
    }
    return m_osBytes.constData();
}

const char* PathData::canonicalPathBytes()
{
    canonicalPath();
    if (!m_canonicalBytesDone) {
        m_canonicalBytes = toEightBit(canonical);
        m_canonicalBytesDone = true;
    }
    return m_canonicalBytes.constData();
}

QFileInfo* PathData::fileInfo()
{
    if (!info)
        info = new QFileInfo(osPath());
    return info;
}

void PathData::deleteFileInfo()
{
    delete info;
    info = nullptr;
}

bool PathData::isEmpty() const
{
    return path.isEmpty();
}

void PathData::polishOsPath()
{
}
