#pragma once

#include "SVNFileStatus.h"

#include <QString>

#include <map>
#include <memory>
#include <vector>

/** One folder's entry in the status cache. */
struct SVNFolderStatus
{
    /**
     * The records came from the client; false for a folder that is no
     * working copy (its files are answered from the repository, or locally
     * while the provider is offline).
     */
    bool listed = false;
    /**
     * A name without a record is answered as not versioned, with no further
     * run: the folder was filled by a whole-tree pass, which lists every
     * versioned and unversioned name, or lies inside an unversioned folder.
     */
    bool complete = false;
    /** The records by name as the client printed it ("." is the folder itself). */
    SVNDirectoryStatus records;
    /** What the repository said of names without a record: whether it has them. */
    std::map<QString, bool> inRepository;
};

/**
 * The status cache: an entry per folder (keyed by its absolute path), the
 * trees that one whole-tree pass has read, and whether the provider is
 * offline (its repository could not be reached, so it answers from the
 * working copy alone). clear() forgets all of it.
 */
class SVNStatusCache
{
public:
    /** The entry of `folder`; null when there is none. */
    SVNFolderStatus* find(const QString& folder) const;
    /** The entry of `folder`, made empty (not listed, not complete) when there is none. */
    SVNFolderStatus& entry(const QString& folder);
    /** Sets the entry of `folder`, replacing one that was there. */
    void put(const QString& folder, std::unique_ptr<SVNFolderStatus> status);
    /** Drops the entry of `folder` with its records and repository answers. */
    void remove(const QString& folder);
    /** Forgets every entry, every tree read and the offline state. */
    void clear();
    size_t size() const { return m_folders.size(); }
    /**
     * Changes whenever an entry may have gone (put(), remove(), clear()): a
     * pointer to an entry found under the same generation is still valid.
     */
    quint64 generation() const { return m_generation; }

    /** Records that one whole-tree pass has read the tree at `root`. */
    void coverTree(const QString& root) { m_treeRoot = root; }
    /** Whether a whole-tree pass has read the tree holding `folder` since the last clear(). */
    bool treeCovers(const QString& folder) const;
    /** Records an unversioned folder that a whole-tree pass listed. */
    void addUnversionedFolder(const QString& folder) { m_unversioned.push_back(folder); }
    /** Whether `folder` is, or lies inside, an unversioned folder a whole-tree pass listed. */
    bool insideUnversionedFolder(const QString& folder) const;

    /** Whether `path` is `folder` or lies below it. */
    static bool within(const QString& path, const QString& folder);

    /** The repository could not be reached: answer from the working copy until clear() or setOffline(false). */
    void setOffline(bool offline) { m_offline = offline; }
    bool offline() const { return m_offline; }

private:
    std::map<QString, std::unique_ptr<SVNFolderStatus>> m_folders;
    QString m_treeRoot;
    std::vector<QString> m_unversioned;
    bool m_offline = false;
    quint64 m_generation = 0;
};
