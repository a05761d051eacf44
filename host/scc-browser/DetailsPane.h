#pragma once

#include "SessionTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTabWidget>

class QPlainTextEdit;
class QTreeWidget;
class RepositoryPane;

/**
 * The right-hand pane of scc-browser: tabs with the repository's folders
 * and what the version-2 operations give of the working copy: the history
 * of an item (Log), who last changed each line of a file (Annotate), a file's
 * local changes (Diff, the client's unified diff as it printed it), and every
 * item that is not unchanged (Changes). Each show...() fills its tab and
 * brings it to the front; the pane runs nothing itself.
 */
class DetailsPane : public QTabWidget
{
    Q_OBJECT

public:
    /** The tabs, in order. */
    enum Tab { RepositoryTab, LogTab, AnnotateTab, DiffTab, ChangesTab };

    /** The pane with @p repository as its first tab (it takes the pane as its parent). */
    explicit DetailsPane(RepositoryPane* repository, QWidget* parent = nullptr);

    /** The history of @p path, newest first: one row per revision, its changed paths below it. */
    void showLog(const QString& path, const QList<SvnScc::LogEntry>& entries);
    /** Each line of @p path with the revision, author and date that last changed it. */
    void showAnnotation(const QString& path, const QList<SvnScc::AnnotatedLine>& lines);
    /** The unified diff of @p path: added lines green, removed red, hunk headers blue. */
    void showDiff(const QString& path, const QByteArray& unifiedDiff);
    /** Every changed item of the working copy with its status columns. */
    void showChanges(const QList<SvnScc::Change>& changes);

    /** What tab @p tab shows, as plain text (its caption line first), for the tests. */
    QString text(Tab tab) const;

private:
    QTreeWidget* m_log = nullptr;
    QTreeWidget* m_annotation = nullptr;
    QPlainTextEdit* m_diff = nullptr;
    QTreeWidget* m_changes = nullptr;
    QString m_logPath;
    QString m_annotationPath;
    QString m_diffPath;
};
