#pragma once

#include "SVNFileStatus.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>

/** One folder's entry in the status cache. */
struct SVNFolderStatus
{
    /**
     * The records came from the client; false for a folder that is no
     * working copy (its files are answered from the repository, or as not
     * versioned: see `complete`).
     */
    bool listed = false;
    /**
     * A name without a record is answered as not versioned, with no further
     * run: the working copy listed every versioned and unversioned name of
     * the folder (a successful run of a working copy of the newer layout, a
     * whole-tree pass), or the folder is on disk and holds no working copy
     * (unversioned, ignored, inside such a folder).
     */
    bool complete = false;
    /**
     * The folder's run failed for a reason of the working copy itself (it
     * needs an upgrade, it is of a newer format, its database is broken): its
     * files are answered with this failure, and nothing runs, until refresh.
     */
    bool failed = false;
    /** The failed run's subcommand and message, when `failed`. */
    QString failedCommand;
    QString failedMessage;
    /** The records by name as the client printed it ("." is the folder itself). */
    SVNDirectoryStatus records;
    /** What the repository said of names without a record: whether it has them. */
    std::map<QString, bool> inRepository;
};

/**
 * The folder entries of the status cache, keyed by each folder's absolute
 * path. Entries are owned here: a pointer to one stays valid until it is
 * replaced or removed, or the cache is cleared (generation() tells).
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
    /** Drops the entries of `folder` and of every folder below it, but those `spare` says to keep (null: none). */
    void removeWithin(const QString& folder, const std::function<bool(const QString&)>& spare = nullptr);
    /** Whether there is an entry of `folder` or of a folder below it. */
    bool anyWithin(const QString& folder) const;
    /** Forgets every entry. */
    void clear();
    size_t size() const { return m_folders.size(); }
    /**
     * Changes whenever an entry may have gone (put(), remove(), clear()): a
     * pointer to an entry found under the same generation is still valid.
     */
    quint64 generation() const { return m_generation; }

    /** Whether `path` is `folder` or lies below it (a sibling sharing a prefix, "lib2" of "lib", does not). */
    static bool within(const QString& path, const QString& folder);

private:
    std::map<QString, std::unique_ptr<SVNFolderStatus>> m_folders;
    quint64 m_generation = 0;
};
