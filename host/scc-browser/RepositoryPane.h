#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

/**
 * The repository pane of scc-browser: the repository's folders and files as
 * a tree below the URL, each folder listed when it is first opened or
 * selected.
 *
 * The pane lists nothing itself: it emits listingRequested() and shows the
 * answer given to showListing(). Folders are named by path parts relative to
 * the repository URL. A folder that was open opens again when it is listed
 * anew, so a refresh keeps the tree as it was.
 */
class RepositoryPane : public QTreeWidget
{
    Q_OBJECT

public:
    /** An empty pane for `repositoryURL` (when empty, reset() says that none was given). */
    explicit RepositoryPane(const QString& repositoryURL, QWidget* parent = nullptr);

    /**
     * The working copy's place in the repository (getRoots()'s repository
     * parts): the folders down to it open as their listings arrive.
     */
    void setWorkingCopyPlace(const QStringList& parts);
    /** Drops every listing and asks for the top folder's again. */
    void reset();
    /**
     * Shows the listing of the folder `parts` (the session's
     * listDirectories() and listFiles()); a folder whose listing failed is
     * closed, so that opening it asks again.
     */
    void showListing(const QStringList& parts, bool ok, const QStringList& directories,
                     const QStringList& files);
    /** A file was added (path parts relative to the local root): its folder is listed again if it was listed. */
    void fileAdded(const QStringList& localParts);

signals:
    /** The folder `parts` needs its listing; answer with showListing(). */
    void listingRequested(const QStringList& parts);

private:
    void requestListing(QTreeWidgetItem* item);
    void clearChildren(QTreeWidgetItem* item);

    QString m_url;
    QHash<QString, QTreeWidgetItem*> m_folders; // by joined path parts
    QSet<QString> m_expanded;                   // folders to open again after a re-listing
    QStringList m_workingCopyPlace;
};
