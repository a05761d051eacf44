#include "CompareDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

CompareDialog::CompareDialog(const QString& path, const QString& from, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Compare %1").arg(path.isEmpty() ? QStringLiteral(".") : path));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_from = new QLineEdit(from);
    m_from->setObjectName(QStringLiteral("from"));
    m_to = new QLineEdit;
    m_to->setObjectName(QStringLiteral("to"));
    m_to->setPlaceholderText(QStringLiteral("the newest"));
    form->addRow(QStringLiteral("From revision:"), m_from);
    form->addRow(QStringLiteral("To revision:"), m_to);
    layout->addLayout(form);
    m_changes = new QTreeWidget;
    m_changes->setObjectName(QStringLiteral("changes"));
    m_changes->setHeaderLabels({QStringLiteral("Action"), QStringLiteral("Path")});
    m_changes->setRootIsDecorated(false);
    m_changes->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_changes->header()->setStretchLastSection(true);
    layout->addWidget(m_changes, 1);
    m_note = new QLabel;
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setWordWrap(true);
    layout->addWidget(m_note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* compare = buttons->addButton(QStringLiteral("Compare"), QDialogButtonBox::ActionRole);
    compare->setObjectName(QStringLiteral("compare"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_from, &QLineEdit::textChanged, this,
            [this, compare] { compare->setEnabled(!m_from->text().trimmed().isEmpty()); });
    compare->setEnabled(!from.isEmpty());
    connect(compare, &QPushButton::clicked, this, [this] {
        m_changes->clear();
        m_note->setText(QStringLiteral("Comparing..."));
        emit compareRequested(m_from->text().trimmed(), m_to->text().trimmed());
    });
    resize(480, 360);
}

void CompareDialog::showChanges(const QString& from, const QString& to, const QList<SvnScc::ItemChange>& changes)
{
    m_changes->clear();
    for (const SvnScc::ItemChange& change : changes)
        new QTreeWidgetItem(m_changes, {change.action, change.path.isEmpty() ? QStringLiteral(".") : change.path});
    m_note->setText(QStringLiteral("%1 items changed between r%2 and %3")
                        .arg(changes.size())
                        .arg(from, to.isEmpty() ? QStringLiteral("the newest") : QStringLiteral("r") + to));
}

void CompareDialog::showFailure(const QString& text)
{
    m_note->setText(text);
}
