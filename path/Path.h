#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QDateTime>
#include <QDir>
#include <QString>
#include <QStringList>

#include <string>

class PathData;

/**
 * A file-system path value.
 *
 * The path is kept normalised (single "/" separators, "." and ".." steps
 * resolved as far as the text allows; see removeRelativePaths()). Copies share
 * one body and a change copies it first (copy on write). The body caches the
 * operating-system form, the canonical form and a QFileInfo; the const queries
 * fill these caches without copying the body, so every value sharing it sees
 * them. Like Qt's implicitly shared values, copies may go to other threads:
 * values sharing a body may be copied, queried and destroyed on different
 * threads at once (the count is atomic, the caches are filled under a lock),
 * and one value may be copied and queried by several threads at once; only
 * a change of a value (assignment, setPath(), +=, detach()) needs that no
 * other thread uses that same value meanwhile.
 *
 * On this platform the operating-system and canonical forms are the path
 * itself; the caching runs all the same.
 */
class SVNSCC_UTILITIES_EXPORT Path
{
public:
    /** The empty path (an empty, not a null, string). */
    Path();
    /** A path from 8-bit text (fromEightBit()); a null pointer gives a null (empty) path. */
    Path(const char* path);
    /** A path from @p path, normalised. */
    Path(const QString& path);
    /** A path from @p path up to its first NUL, as the const char* form. */
    Path(const std::string& path);
    /** Shares the body of @p other. */
    Path(const Path& other);
    /** Releases the body; the last value sharing it destroys it. */
    ~Path();

    /** Takes the body of @p other; safe for self-assignment. */
    Path& operator=(const Path& other);

    /** Replaces the path with @p path, normalised; other sharers keep the old one. */
    void setPath(const QString& path);
    /** As setPath(const QString&) with 8-bit text. */
    void setPath(const char* path);
    /** As setPath(const QString&) with the text up to the first NUL. */
    void setPath(const std::string& path);

    /**
     * Appends @p text to the operating-system form as it stands (no separator
     * is inserted) and normalises the result. Returns this path.
     */
    Path& operator+=(const QString& text);
    /**
     * A new path made from the operating-system form of this path with
     * @p text appended (no separator inserted). This path is unchanged apart
     * from its filled cache.
     */
    Path operator+(const QString& text) const;

    /** Takes a private copy of the body when it is shared; else does nothing. */
    void detach();

    /** True when the path has length 0. */
    bool isEmpty() const;
    /** The operating-system form, cached in the body on first use. */
    QString osPathQString() const;
    /**
     * The 8-bit form (toEightBit()) of osPathQString(). The pointer stays valid while the
     * body's path is unchanged and the body lives.
     */
    const char* osPath() const;
    /** The canonical form, cached in the body on first use. */
    QString canonicalPathQString() const;
    /** The 8-bit form of canonicalPathQString(), valid as osPath() is. */
    const char* canonicalPath() const;

    /** The path as QFileInfo gives it. */
    QString filePath() const;
    /** The last component. */
    QString fileName() const;
    /** The last component up to its first ".". */
    QString baseName() const;
    /**
     * The extension of the last component: everything after its first "."
     * when @p complete is true, after its last "." otherwise; empty when
     * there is no ".".
     */
    QString extension(bool complete) const;
    /** The directory part as written, or made absolute when @p absolute is true. */
    QString dirPath(bool absolute) const;
    /** The directory as a QDir, absolute when @p absolute is true. */
    QDir dir(bool absolute) const;
    /** True when the file exists (as last looked at; see the date queries). */
    bool exists() const;
    /** True when the file is writable by this process. */
    bool writable() const;
    /** True when the file is readable by this process. */
    bool readable() const;
    /**
     * The creation time: the birth time where the file system records one,
     * otherwise the last status change. Re-reads the file information first,
     * as lastModified() and lastRead() do; the other queries use what was
     * read before. Invalid when the file does not exist.
     */
    QDateTime created() const;
    /** The last modification time, after re-reading the file information. */
    QDateTime lastModified() const;
    /** The last access time, after re-reading the file information. */
    QDateTime lastRead() const;
    /** The size in bytes; 0 when the file does not exist. */
    qint64 size() const;
    /** dirPath(@p absolute) split at "/", empty pieces dropped. */
    QStringList dirPathQStringList(bool absolute) const;
    /** The absolute (@p absolute true) or written file path split at "/", empty pieces dropped. */
    QStringList filePathQStringList(bool absolute) const;

    /**
     * True when both share one body, or their canonical forms are equal code
     * unit by code unit (case-sensitive; "/a/" and "/a" differ).
     */
    bool operator==(const Path& other) const;
    /** The negation of operator==. */
    bool operator!=(const Path& other) const;
    /** Orders by canonical form (code-unit values); false when sharing a body. */
    bool operator<(const Path& other) const;

    /** True only for "/"; a backslash is an ordinary character. */
    static bool isPathDelimiter(const QChar& c);
    /**
     * Normalises @p path in place: removes "/." steps, resolves "name/.."
     * steps where a previous name is there to remove (a ".." right after the
     * first name of a relative path, or at the start, stays), keeps names that
     * merely begin with dots, and collapses runs of "/" into one. A trailing
     * "/" is kept. "/a/.." and "/." become the empty string.
     */
    static void removeRelativePaths(QString& path);
    /** The operating-system form of @p path: on this platform @p path itself. */
    static QString toOsPath(const QString& path);
    /** The canonical form of @p path: on this platform @p path itself. */
    static QString toCanonicalPath(const QString& path);
    /** Adjusts an operating-system path in place; nothing to do on this platform. */
    static void polishOsPath(QString& path);

    /**
     * Expresses the directory @p target relative to the directory @p base,
     * both made absolute against the working directory and compared component
     * by component, case-sensitively.
     * @p result is set to the null string first; then:
     * - target "." returns true, result null;
     * - no common leading component (including either being "/") returns false, result null;
     * - otherwise returns true with one ".." per base component past the
     *   common ones, then the target's remaining components, joined by "/";
     *   the result is null when the two are the same directory.
     */
    static bool relativeDirPath(const QString& base, const QString& target, QString& result);
    /**
     * Expresses @p file relative to the directory @p base: its directory as
     * written goes through relativeDirPath(), then the file name is added
     * ("c/f.txt", or just "f.txt" for a file in @p base or a bare name).
     * Returns false, leaving @p result untouched, when relativeDirPath() does.
     */
    static bool relativeFilePath(const QString& base, const QString& file, QString& result);
    /**
     * As the three-argument form, but returns the relative path, or the
     * absolute path of @p file when there is none.
     */
    static QString relativeFilePath(const QString& base, const QString& file);
    /** True when the canonical forms of the two are equal, case-sensitively. */
    static bool equal(const QString& first, const QString& second);
    /**
     * Makes the absolute directory of @p filePath and any missing parents,
     * outermost first. Silent: a directory that cannot be made stays missing.
     */
    static void ensureDirExists(const QString& filePath);

private:
    void init(const QString& path);

    PathData* d;
};
