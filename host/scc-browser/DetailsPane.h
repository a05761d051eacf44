#pragma once

#include "SessionTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTabWidget>

class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;
class RepositoryPane;
class ShelvesPane;

/**
 * The right-hand pane of scc-browser: tabs with the repository's folders
 * and what the version-2 operations give of the working copy: the history
 * of an item (Log), who last changed each line of a file (Annotate), a file's
 * local changes (Diff, the client's unified diff as it printed it), and every
 * item that is not unchanged (Changes), and the shelves (Shelves). Each
 * show...() fills its tab and brings it to the front; the pane runs nothing
 * itself.
 *
 * The Log tab shows the history a page at a time: scrolled to its end, it
 * asks for the page that follows the last entry (logPageRequested() from the
 * revision below it), and so does a full page that fits with no scrolling,
 * as soon as it is shown; its search box asks for the first page of the
 * revisions that match (a glob over author, date, message and paths).
 */
class DetailsPane : public QTabWidget
{
    Q_OBJECT

public:
    /** The tabs, in order. */
    enum Tab { RepositoryTab, LogTab, AnnotateTab, DiffTab, ChangesTab, ShelvesTab };

    /** The pane with @p repository as its first tab and @p shelves as its last (they take the pane as their parent). */
    DetailsPane(RepositoryPane* repository, ShelvesPane* shelves, QWidget* parent = nullptr);

    /**
     * One page of the history of @p path (of the revisions matching
     * @p search, when not empty), newest first: one row per revision, its
     * changed paths below it. A page from @p startRevision "" starts the
     * list afresh; a later one is added below when it is the page the list
     * asked for last, and dropped otherwise (an answer to an older
     * question). @p more: a further page may follow.
     */
    void showLogPage(const QString& path, const QString& search, const QString& startRevision,
                     const QList<SvnScc::LogEntry>& entries, bool more);
    /** The page asked for last could not be read: scrolling (or Enter) asks again. */
    void logPageFailed();
    /** Each line of @p path with the revision, author and date that last changed it. */
    void showAnnotation(const QString& path, const QList<SvnScc::AnnotatedLine>& lines);
    /** The unified diff of @p path: added lines green, removed red, hunk headers blue. */
    void showDiff(const QString& path, const QByteArray& unifiedDiff);
    /** Every changed item of the working copy with its status columns. */
    void showChanges(const QList<SvnScc::Change>& changes);

    /** What tab @p tab shows, as plain text (its caption line first), for the tests. */
    QString text(Tab tab) const;

signals:
    /** The Log tab wants the page of @p path's history from @p startRevision ("" the newest) matching @p search. */
    void logPageRequested(const QString& path, const QString& startRevision, const QString& search);

private:
    void requestMoreLog();

    QTreeWidget* m_log = nullptr;
    QLineEdit* m_logSearch = nullptr;
    ShelvesPane* m_shelves = nullptr;
    QTreeWidget* m_annotation = nullptr;
    QPlainTextEdit* m_diff = nullptr;
    QTreeWidget* m_changes = nullptr;
    QString m_logPath;
    QString m_logSearchShown; // the search of the list shown
    QString m_logNext;        // where the next page starts; "" when none follows
    bool m_logAsked = false;  // that page was asked for and has not come
    QString m_annotationPath;
    QString m_diffPath;
};
