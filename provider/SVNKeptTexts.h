#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

/**
 * Files a client run is about to take off the disk, kept while it runs and
 * put back afterwards where it left nothing.
 *
 * keep() makes a scratch copy of each file under a hidden name
 * (".svnscc-kept-PID-N-NAME") in the folder that holds the item it was
 * given, which the run leaves on disk: a hard link where the file system has
 * them, else a copy byte for byte (a symbolic link as a link to the same
 * target); never the text in memory. putBack() renames each scratch copy
 * back to its path when nothing is there (making the folders on the way)
 * and removes the others: what the run left in place is never overwritten.
 * The destructor puts back what is still kept.
 */
class SVNKeptTexts
{
public:
    SVNKeptTexts() = default;
    ~SVNKeptTexts();
    SVNKeptTexts(const SVNKeptTexts&) = delete;
    SVNKeptTexts& operator=(const SVNKeptTexts&) = delete;

    /**
     * Keeps the file `item` (absolute), or, for a folder, every file below
     * it, unversioned and ignored ones too, but nothing inside a ".svn"
     * folder. Nothing on disk at `item`: nothing to keep, true.
     * @return false, with error() naming the file and why, when a scratch
     *         copy cannot be made; what was kept before stays kept.
     */
    bool keep(const QString& item);

    /**
     * Puts every kept file back where the run left nothing, and removes the
     * scratch copies of the others; afterwards nothing is kept.
     * @return false, with error() naming each file and where its text is,
     *         when one could not be put back (it stays at its scratch path).
     */
    bool putBack();

    /** Why the last keep() or putBack() failed. */
    QString error() const { return m_error; }

private:
    /** A file's path and its scratch copy's, as the system's bytes. */
    struct Kept
    {
        QByteArray path;
        QByteArray scratch;
    };
    /** Keeps the file (or link) at `path` under a scratch name in `folder`. */
    bool keepFile(const QByteArray& path, const QByteArray& folder);

    std::vector<Kept> m_kept;
    QString m_error;
    int m_next = 0;
};
