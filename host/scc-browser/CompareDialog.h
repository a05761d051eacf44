#pragma once

#include "SessionTypes.h"

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;
class QLineEdit;
class QTreeWidget;

/**
 * "Compare with revision…" of scc-browser, opened with open(): two
 * revisions of an item (the second empty for the newest) and a table of
 * what changed in the repository between them, one row per item with the
 * client's action letters. The dialog asks, its owner answers:
 * compareRequested() by Compare, showChanges() or showFailure().
 */
class CompareDialog : public QDialog
{
    Q_OBJECT

public:
    CompareDialog(const QString& path, const QString& from, QWidget* parent = nullptr);

    /** What changed between @p from and @p to, paths relative to the compared item. */
    void showChanges(const QString& from, const QString& to, const QList<SvnScc::ItemChange>& changes);
    void showFailure(const QString& text);

signals:
    void compareRequested(const QString& from, const QString& to);

private:
    QLineEdit* m_from = nullptr;
    QLineEdit* m_to = nullptr;
    QTreeWidget* m_changes = nullptr;
    QLabel* m_note = nullptr;
};
