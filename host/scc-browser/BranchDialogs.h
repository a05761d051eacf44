#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QDialog>
#include <QList>
#include <QStringList>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

/**
 * The branch dialogs of scc-browser, each opened with open() (the window
 * goes on meanwhile). Repository paths are relative to the repository root
 * ("trunk", "branches/1.0"). Each emits its request when the user confirms
 * it, and QDialog::rejected() when the user cancels.
 */

/** "Branch or tag…": a server-side copy of a repository path (the branch shown) to a new one, with a log message. */
class BranchDialog : public QDialog
{
    Q_OBJECT

public:
    BranchDialog(const QString& from, QWidget* parent = nullptr);

signals:
    /** @p revision "" is the newest. */
    void copyRequested(const QString& from, const QString& revision, const QString& to, const QString& message);

private:
    QLineEdit* m_from = nullptr;
    QLineEdit* m_revision = nullptr;
    QLineEdit* m_to = nullptr;
    QLineEdit* m_message = nullptr;
};

/** "Switch…": the repository path (and revision) the working copy or the selected folder switches to. */
class SwitchDialog : public QDialog
{
    Q_OBJECT

public:
    SwitchDialog(const QString& target, const QString& current, QWidget* parent = nullptr);

signals:
    void switchRequested(const QString& repositoryPath, const QString& revision);

private:
    QLineEdit* m_path = nullptr;
    QLineEdit* m_revision = nullptr;
};

/**
 * "Merge…": the source, its eligible revisions to pick from (none picked:
 * all of them), a preview of what the merge would change, and Merge, which
 * is offered only once a preview of exactly that choice is shown: nothing
 * changes before the user has seen what will. The dialog asks, its owner
 * answers: eligibleRequested() is emitted when it opens and whenever the
 * source is edited (showEligible() answers), previewRequested() by Preview
 * (showPreview() answers); showFailure() tells a failed answer.
 */
class MergeDialog : public QDialog
{
    Q_OBJECT

public:
    MergeDialog(const QString& target, const QString& source, QWidget* parent = nullptr);

    /** The eligible revisions of the source (numbers, oldest first), each offered to pick. */
    void showEligible(const QString& source, const QStringList& revisions);
    /** What a merge of @p source with @p revisions would change; Merge follows when that is still the choice. */
    void showPreview(const QString& source, const QStringList& revisions,
                     const QList<SourceCodeControl::ItemChange>& changes);
    /** A failed answer, shown in the dialog. */
    void showFailure(const QString& text);

    QString source() const;
    /** The revisions picked; empty: every eligible one. */
    QStringList chosenRevisions() const;

    /** The opening request; emitted by open(), after the owner connected. */
    void open() override;

signals:
    void eligibleRequested(const QString& source);
    void previewRequested(const QString& source, const QStringList& revisions);
    void mergeRequested(const QString& source, const QStringList& revisions);

private:
    void choiceChanged();

    QLineEdit* m_source = nullptr;
    QListWidget* m_eligible = nullptr;
    QListWidget* m_preview = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_previewButton = nullptr;
    QPushButton* m_mergeButton = nullptr;
    QString m_previewedSource;
    QStringList m_previewedRevisions;
    bool m_previewed = false;
};
