#pragma once

/**
 * @file
 * The shelves of one working copy on disk: each a folder below the user's
 * data folder holding a patch, a copy of each unversioned file it keeps and
 * a small manifest. A shelf is written whole under a temporary name and
 * then renamed, so that a writer killed half way leaves no shelf.
 */

#include "SessionTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <utility>

namespace SvnScc {

/** Everything one shelf holds. */
struct ShelfContent
{
    Shelf about;               ///< name, date (UTC) and the paths shelved
    bool beforeRevert = false; ///< kept by a revert: dropped by age and count (ShelfStore::prune())
    QByteArray patch;          ///< the changes of the paths, as the plug-in's createPatch() made them
    QList<std::pair<QString, QByteArray>> files; ///< each unversioned file kept: its path, its bytes
};

/** The shelves of one working copy, in one folder. Not thread-safe: one worker uses it. */
class ShelfStore
{
public:
    /** Shelves of revert older than this are dropped by prune(). */
    static constexpr int RevertShelfDays = 14;
    /** prune() keeps at most this many shelves of revert, the newest. */
    static constexpr int RevertShelvesKept = 50;

    /** The shelves kept in @p folder. */
    explicit ShelfStore(QString folder) : m_folder(std::move(folder)) {}

    /**
     * The folder of the shelves of the working copy at @p canonicalRoot:
     * GenericDataLocation/svnscc/shelves/ and a hash of that path.
     */
    static QString folderFor(const QString& canonicalRoot);

    QString folder() const { return m_folder; }

    /** Writes @p content as a new shelf: whole under a temporary name, then renamed. */
    bool write(const ShelfContent& content, QString& error) const;
    /**
     * Every shelf, newest first. Removes what writers that are gone left
     * under a temporary name.
     */
    QList<Shelf> list() const;
    /** Whether a shelf is named @p name. */
    bool contains(const QString& name) const;
    /** The newest shelf named @p name, whole. */
    bool read(const QString& name, ShelfContent& content, QString& error) const;
    /** Removes the newest shelf named @p name. */
    bool drop(const QString& name, QString& error) const;
    /**
     * Drops the shelves of revert made before @p now less RevertShelfDays,
     * and those beyond the RevertShelvesKept newest.
     */
    void prune(const QDateTime& now) const;

private:
    struct Entry
    {
        QString folder; // the shelf's own folder, absolute
        ShelfContent content; // without the patch and the files' bytes
    };
    QList<Entry> entries() const;
    bool find(const QString& name, Entry& entry) const;

    const QString m_folder;
};

} // namespace SvnScc
