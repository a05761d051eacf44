#pragma once

#include "FileStatus.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <functional>

struct LocalEntry;

/**
 * The project pane of scc-browser: the local root's folders and files as a
 * tree, each file with the provider's status in the columns, and the counts
 * of the status pass that fills them.
 *
 * The pane shows what the window hands it from the worker (the local scan,
 * the status pass, single statuses) and runs nothing itself. Rows are named
 * by path parts relative to the local root.
 */
class ProjectPane : public QTreeWidget
{
    Q_OBJECT

public:
    /** The columns of the tree. */
    enum Column {
        NameColumn,        ///< folder or file name
        StatusColumn,      ///< the provider's status characters, or "not controlled"
        RevisionColumn,    ///< working revision
        LastChangedColumn, ///< last changed revision
        CheckedOutColumn,  ///< "yes"/"no": locked in this working copy
        ModifiedColumn,    ///< "yes"/"no"
        OutOfDateColumn,   ///< "yes"/"no": the repository has a newer text
        ColumnCount
    };

    /** What the pane knows of one file. */
    struct FileState
    {
        bool read = false;  ///< a status answer arrived
        bool known = false; ///< the provider answered it
        FileStatus status;
        QString error;      ///< "command: text" of the provider's error when not known
    };
    using StatePredicate = std::function<bool(const FileState&)>;

    /** An empty tree with its columns; the context menu shows the actions added to it. */
    explicit ProjectPane(QWidget* parent = nullptr);

    /**
     * Replaces the rows by the local scan `entries` (in display order, each
     * folder before its contents), every file unread. Rows that were
     * expanded, selected or current stay so; after the first scan every
     * folder is expanded.
     */
    void showLocalTree(const QList<LocalEntry>& entries);

    /** A status pass over `fileCount` files begins: its counts start at zero. */
    void startStatusPass(int fileCount);
    /** Shows one status answer (see ProviderWorker::statusRead) in its row; a running pass counts it. */
    void showStatus(const QStringList& parts, bool known, const FileStatus& status,
                    const QString& errorCommand, const QString& errorText);
    /**
     * The pass ended, complete or `cancelled`. Emits note() when it was
     * cancelled, and with the count of files that have no status and the first of them.
     */
    void finishStatusPass(bool cancelled);
    bool isStatusPassRunning() const { return m_passRunning; }
    int statusPassTotal() const { return m_passTotal; }
    int statusPassDone() const { return m_passDone; }

    /** The row of a file or folder, or null. */
    QTreeWidgetItem* item(const QStringList& parts) const;
    /** What is known of a file; a default FileState for anything else. */
    FileState fileState(const QStringList& parts) const;
    /** The selected files whose status was read and satisfies `predicate`; folders are left out. */
    QList<QStringList> selectedFiles(const StatePredicate& predicate) const;
    /** "N files, N modified, N checked out, N out of date, N not controlled[, N not read]". */
    QString summary() const;

signals:
    /** A line for the message log; `color` is a CSS colour, or empty. */
    void note(const QString& text, const QString& color);

private:
    void showState(QTreeWidgetItem* item, const FileState& state);

    QHash<QString, QTreeWidgetItem*> m_items; // by joined path parts
    QHash<QString, FileState> m_states;       // files only
    bool m_treeShown = false;
    bool m_passRunning = false;
    int m_passTotal = 0;
    int m_passDone = 0;
    int m_passUnknown = 0;
    QString m_passFirstUnknown;
};
