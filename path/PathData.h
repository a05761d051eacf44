#pragma once

#include <QAtomicInt>
#include <QByteArray>
#include <QMutex>
#include <QString>

class QFileInfo;

/**
 * The shared body of a Path value. It holds the normalised path and caches
 * three things derived from it: the operating-system form (kept in `path`
 * itself once converted), the canonical form and a QFileInfo for file
 * queries. The reference count is atomic, so the values sharing a body may
 * be copied, assigned and destroyed on any threads at once; `mutex` guards
 * the rest (the path and the caches that queries fill), so they may be
 * queried at once too. Path takes it for each query; a body that no other
 * value shares is changed without it.
 *
 * Invariant: after any change of the path both flags are false, `canonical`
 * equals `path`, and `info` is null.
 */
class PathData
{
public:
    /** A body with count 1 holding @p path, normalised as setPath() does. */
    explicit PathData(const QString& path);
    /**
     * A private copy for writing: count 1, copies of both strings and both
     * flags, and no file information (a QFileInfo is never shared). Hold
     * the mutex of @p other while it is shared.
     */
    PathData(const PathData& other);
    /** Deletes the file information, if any. */
    ~PathData();

    PathData& operator=(const PathData&) = delete;

    /**
     * Stores @p path normalised by Path::removeRelativePaths() and resets the
     * caches: both flags cleared, `canonical` a copy of `path`, `info` deleted.
     */
    void setPath(const QString& path);
    /** The operating-system form; converts `path` in place on first use. */
    QString osPath();
    /** The canonical form; fills `canonical` on first use. */
    QString canonicalPath();
    /**
     * The 8-bit form of osPath(). The pointer stays valid until the path
     * changes or the body is destroyed.
     */
    const char* osPathBytes();
    /** The 8-bit form of canonicalPath(), valid as osPathBytes() is. */
    const char* canonicalPathBytes();
    /** The file information on the operating-system form, made on first use. */
    QFileInfo* fileInfo();
    /** Deletes the file information and sets it to null. */
    void deleteFileInfo();
    /** True when the path has length 0. */
    bool isEmpty() const;
    /** Adjusts the operating-system form in place; nothing to do on this platform. */
    void polishOsPath();

    QAtomicInt refCount;
    /** Held while the fields below are read or the caches filled. */
    QMutex mutex;
    QString path;
    QString canonical;
    bool osPathDone;
    bool canonicalDone;
    QFileInfo* info;

private:
    // 8-bit forms handed out as const char*; made on first request and
    // dropped whenever the string they were made from changes.
    QByteArray m_osBytes;
    QByteArray m_canonicalBytes;
    bool m_osBytesDone;
    bool m_canonicalBytesDone;
};
