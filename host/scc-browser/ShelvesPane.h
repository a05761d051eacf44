#pragma once

#include "SessionTypes.h"

#include <QList>
#include <QString>
#include <QWidget>

class QPushButton;
class QTreeWidget;

/**
 * The Shelves tab of scc-browser: every shelf of the working copy, newest
 * first (name, date, paths), with Unshelve and Drop for the selected one.
 * The pane runs nothing itself: it asks through its signals, and its owner
 * shows the list again with showShelves().
 */
class ShelvesPane : public QWidget
{
    Q_OBJECT

public:
    explicit ShelvesPane(QWidget* parent = nullptr);

    void showShelves(const QList<SvnScc::Shelf>& shelves);
    /** The list as plain text, one shelf a line ("NAME\tDATE\tPATHS"), for the tests. */
    QString text() const;
    /** Whether the buttons may ask (false while the window runs a call). */
    void setReady(bool ready);

signals:
    void unshelveRequested(const QString& name);
    void dropRequested(const QString& name);

private:
    void updateButtons();

    QTreeWidget* m_list = nullptr;
    QPushButton* m_unshelve = nullptr;
    QPushButton* m_drop = nullptr;
    bool m_ready = false;
};
