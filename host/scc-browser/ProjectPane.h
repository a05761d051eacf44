#pragma once

#include "SessionTypes.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <functional>

/**
 * The project pane of scc-browser: the working copy's folders and files as
 * a tree, each with the session's status in the columns, and the counts of
 * the status pass that fills them.
 *
 * Rows appear as statuses arrive: each folder before what it holds, so a
 * pass fills the tree as it goes, and statusChanged() of the session keeps
 * the rows right. The pane runs nothing itself. Rows are named by paths
 * relative to the local root, '/'-separated.
 */
class ProjectPane : public QTreeWidget
{
    Q_OBJECT

public:
    /** The columns of the tree. */
    enum Column {
        NameColumn,        ///< folder or file name
        StatusColumn,      ///< the client's status columns, or "not controlled"
        RevisionColumn,    ///< working revision
        LastChangedColumn, ///< last changed revision
        CheckedOutColumn,  ///< "yes"/"no": locked in this working copy
        ModifiedColumn,    ///< "yes"/"no"
        OutOfDateColumn,   ///< "yes"/"no": the repository has a newer text
        ChangelistColumn,  ///< the changelist of a file, as setChangelists() gave it
        ColumnCount
    };

    /** What the pane knows of one file or folder. */
    struct FileState
    {
        bool read = false;   ///< a status arrived
        bool folder = false; ///< a folder on disk when its row was made
        SvnScc::Status status;
    };
    using StatePredicate = std::function<bool(const FileState&)>;

    /** An empty tree for the working copy at @p localRoot; the context menu shows the actions added to it. */
    explicit ProjectPane(const QString& localRoot, QWidget* parent = nullptr);

    /** A status pass begins: its counts start at zero; the rows stay. */
    void startStatusPass();
    /**
     * Shows one status in its row, made (with the rows of its folders) when
     * it has none; a running pass counts it. A file that is gone from disk
     * and no longer versioned loses its row.
     */
    void showStatus(const SvnScc::Status& status);
    /** The pass ended, complete or @p cancelled: emits note() when cancelled, and with the items that have no status. */
    void finishStatusPass(bool cancelled);
    bool isStatusPassRunning() const { return m_passRunning; }
    int statusPassDone() const { return m_passDone; }

    /** The row of a file or folder, or null. */
    QTreeWidgetItem* item(const QString& path) const;
    /** What is known of a file or folder; a default FileState for anything else. */
    FileState fileState(const QString& path) const;
    /** The selected rows whose status was read and satisfies @p predicate, folders too when @p folders. */
    QStringList selectedPaths(const StatePredicate& predicate, bool folders = false) const;
    /**
     * The changelist of each versioned file (absent or "": none), read for
     * the files the tree shows; every other row's changelist column is cleared.
     */
    void setChangelists(const QHash<QString, QString>& changelists);
    /** Every versioned file the tree shows. */
    QStringList controlledFiles() const;
    /** "N files, N modified, N checked out, N out of date, N not controlled". */
    QString summary() const;

signals:
    /** A line for the message log; @p color is a CSS colour, or empty. */
    void note(const QString& text, const QString& color);

private:
    QTreeWidgetItem* makeRow(const QString& path);
    void showState(QTreeWidgetItem* item, const FileState& state);

    QString m_root;
    QHash<QString, QTreeWidgetItem*> m_items; // by path
    QHash<QString, FileState> m_states;
    QHash<QString, QString> m_changelists; // by path, as last read
    bool m_passRunning = false;
    int m_passDone = 0;
    int m_passUnknown = 0;
    QString m_passFirstUnknown;
};
