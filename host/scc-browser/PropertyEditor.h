#pragma once

#include "SessionTypes.h"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QString>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

/**
 * The property editor of scc-browser, opened with open() (the window goes
 * on meanwhile): a table of the properties of one item, name and value,
 * and below it a name (an editable list offering the common "svn:"
 * properties) and a value to set, or the property to delete. A binary value
 * (not UTF-8 text, or holding control characters other than tabs and line
 * ends) is shown as "(binary, N bytes)" and is never edited as text: Set
 * is then refused for it until another name is chosen. The dialog asks, its
 * owner answers: setRequested() and deleteRequested() change the item,
 * showProperties() shows what it holds afterwards, showFailure() tells a
 * failed answer.
 */
class PropertyEditor : public QDialog
{
    Q_OBJECT

public:
    PropertyEditor(const QString& path, QWidget* parent = nullptr);

    /** The properties of the item, sorted by name, values as stored. */
    void showProperties(const QList<SvnScc::Property>& properties);
    /** A failed answer, shown in the dialog. */
    void showFailure(const QString& text);

    /** The "svn:" properties the name list offers. */
    static QStringList commonNames();
    /** Whether @p value is shown as binary rather than as text. */
    static bool isBinary(const QByteArray& value);

signals:
    void setRequested(const QString& name, const QByteArray& value);
    void deleteRequested(const QString& name);

private:
    void nameChanged();

    QTableWidget* m_table = nullptr;
    QComboBox* m_name = nullptr;
    QPlainTextEdit* m_value = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_set = nullptr;
    QPushButton* m_delete = nullptr;
    QList<SvnScc::Property> m_properties;
};
