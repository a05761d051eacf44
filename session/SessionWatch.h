#pragma once

#include "FileStamp.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace SvnScc {

/**
 * What a session watches on disk below its local root: the versioned files
 * and folders it reported, and the working copy's database. Paths are
 * relative to the local root ("" is the root itself, always watched).
 *
 * It gathers what changed for 50 ms and then emits changed() once: a file
 * whose content or metadata changed, and the names that appeared in or
 * vanished from a watched folder (for a folder that vanished, everything it
 * held, and again when it comes back). Whether a path needs reading again
 * is left to its owner: changedSinceNoted() compares the path with how it
 * looked when it was last read.
 *
 * Lives in the session's worker thread, like its owner.
 */
class SessionWatch : public QObject
{
    Q_OBJECT

public:
    /** Watches @p localRoot (absolute) and the database of its working copy, the nearest .svn/wc.db above it. */
    explicit SessionWatch(const QString& localRoot, QObject* parent = nullptr);

    /**
     * Watches each of @p paths, versioned items as a status pass reported
     * them: a folder with its entries, a file, and the folder holding
     * either. Notes how each looks now. Paths watched already are noted
     * again only.
     */
    void watch(const QStringList& paths);

    /** Notes how @p path looks on disk now, before its status is read again. */
    void note(const QString& path);

    /** Whether @p path looks otherwise than when last noted (or was never noted); notes it as it is now. */
    bool changedSinceNoted(const QString& path);

    /** Notes the database as it is now: what this session changed in it. */
    void noteDatabase();

    /** Whether the database changed since it was last noted; notes it as it is now. */
    bool databaseChanged();

signals:
    /** @p paths may have changed on disk; @p database: the working copy's database changed. */
    void changed(const QStringList& paths, bool database);

private:
    QString absolute(const QString& path) const;
    QString relative(const QString& absolutePath) const;
    QSet<QString> entries(const QString& folder) const;
    void watchFolder(const QString& folder, QStringList& toAdd);
    void lose(const QString& folder);
    void regain(const QString& folder);
    void gather(const QString& path);
    void onFileChanged(const QString& absolutePath);
    void onDirectoryChanged(const QString& absolutePath);

    QString m_root;
    QString m_database;
    QFileSystemWatcher m_watcher;
    QHash<QString, QSet<QString>> m_folders; // watched folder: its entries when last looked at
    QHash<QString, QSet<QString>> m_lost;    // folder that vanished: the entries it had
    QSet<QString> m_files;                   // watched files
    QHash<QString, FileStamp> m_noted;
    FileStamp m_databaseNoted;
    QSet<QString> m_pending;
    bool m_databasePending = false;
    QTimer m_gathering;
};

} // namespace SvnScc
