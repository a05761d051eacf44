#include "PropertyEditor.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString shownValue(const QByteArray& value)
{
    return PropertyEditor::isBinary(value) ? QStringLiteral("(binary, %1 bytes)").arg(value.size())
                                           : QString::fromUtf8(value);
}

} // namespace

PropertyEditor::PropertyEditor(const QString& path, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Properties of %1").arg(path.isEmpty() ? QStringLiteral(".") : path));
    auto* layout = new QVBoxLayout(this);
    m_table = new QTableWidget(0, 2);
    m_table->setObjectName(QStringLiteral("properties"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_table, 1);

    auto* form = new QFormLayout;
    m_name = new QComboBox;
    m_name->setObjectName(QStringLiteral("name"));
    m_name->setEditable(true);
    m_name->addItems(commonNames());
    m_name->setCurrentText(QString());
    m_value = new QPlainTextEdit;
    m_value->setObjectName(QStringLiteral("value"));
    m_value->setMaximumHeight(100);
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("Value:"), m_value);
    layout->addLayout(form);
    m_note = new QLabel;
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setWordWrap(true);
    layout->addWidget(m_note);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    m_set = buttons->addButton(QStringLiteral("Set"), QDialogButtonBox::ActionRole);
    m_set->setObjectName(QStringLiteral("set"));
    m_delete = buttons->addButton(QStringLiteral("Delete"), QDialogButtonBox::ActionRole);
    m_delete->setObjectName(QStringLiteral("delete"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_name, &QComboBox::currentTextChanged, this, &PropertyEditor::nameChanged);
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0 && row < m_properties.size())
            m_name->setCurrentText(m_properties.at(row).name);
    });
    connect(m_set, &QPushButton::clicked, this, [this] {
        m_note->clear();
        emit setRequested(m_name->currentText().trimmed(), m_value->toPlainText().toUtf8());
    });
    connect(m_delete, &QPushButton::clicked, this, [this] {
        m_note->clear();
        emit deleteRequested(m_name->currentText().trimmed());
    });
    resize(520, 380);
    nameChanged();
}

QStringList PropertyEditor::commonNames()
{
    return {QStringLiteral("svn:ignore"),    QStringLiteral("svn:externals"), QStringLiteral("svn:eol-style"),
            QStringLiteral("svn:mime-type"), QStringLiteral("svn:keywords"),  QStringLiteral("svn:needs-lock"),
            QStringLiteral("svn:executable")};
}

bool PropertyEditor::isBinary(const QByteArray& value)
{
    for (const char byte : value)
        if (static_cast<unsigned char>(byte) < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
            return true;
    // Bytes that are not UTF-8 do not survive the way through text.
    return QString::fromUtf8(value).toUtf8() != value;
}

void PropertyEditor::showProperties(const QList<SvnScc::Property>& properties)
{
    m_properties = properties;
    m_table->setRowCount(int(properties.size()));
    for (int row = 0; row < properties.size(); ++row) {
        const SvnScc::Property& property = properties.at(row);
        m_table->setItem(row, 0, new QTableWidgetItem(property.name));
        auto* value = new QTableWidgetItem(shownValue(property.value));
        if (isBinary(property.value))
            value->setToolTip(QString::fromLatin1(property.value.left(64).toHex(' ')));
        m_table->setItem(row, 1, value);
    }
    m_table->resizeColumnToContents(0);
    nameChanged();
}

void PropertyEditor::showFailure(const QString& text)
{
    m_note->setText(text);
}

void PropertyEditor::nameChanged()
{
    const QString name = m_name->currentText().trimmed();
    const SvnScc::Property* current = nullptr;
    for (const SvnScc::Property& property : std::as_const(m_properties))
        if (property.name == name)
            current = &property;
    const bool binary = current && isBinary(current->value);
    // A binary value is never edited as text: what the box holds would not be it.
    m_value->setReadOnly(binary);
    m_value->setPlainText(current ? shownValue(current->value) : QString());
    m_set->setEnabled(!name.isEmpty() && !binary);
    m_delete->setEnabled(current != nullptr);
}
