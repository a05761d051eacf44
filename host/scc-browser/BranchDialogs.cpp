#include "BranchDialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* namedEdit(const QString& text, const QString& name)
{
    auto* edit = new QLineEdit(text);
    edit->setObjectName(name);
    return edit;
}

QString shown(const QString& path)
{
    return path.isEmpty() ? QStringLiteral("the working copy") : path;
}

} // namespace

BranchDialog::BranchDialog(const QString& from, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Branch or Tag"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_from = namedEdit(from, QStringLiteral("from"));
    m_revision = namedEdit(QString(), QStringLiteral("revision"));
    m_revision->setPlaceholderText(QStringLiteral("the newest"));
    m_to = namedEdit(QString(), QStringLiteral("to"));
    m_to->setPlaceholderText(QStringLiteral("branches/NAME or tags/NAME"));
    m_message = namedEdit(QString(), QStringLiteral("message"));
    form->addRow(QStringLiteral("Copy:"), m_from);
    form->addRow(QStringLiteral("At revision:"), m_revision);
    form->addRow(QStringLiteral("To:"), m_to);
    form->addRow(QStringLiteral("Log message:"), m_message);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Copy"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("copy"));
    layout->addWidget(buttons);
    const auto ready = [this, buttons] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!m_from->text().trimmed().isEmpty()
                                                          && !m_to->text().trimmed().isEmpty());
    };
    connect(m_from, &QLineEdit::textChanged, this, ready);
    connect(m_to, &QLineEdit::textChanged, this, ready);
    ready();
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        emit copyRequested(m_from->text().trimmed(), m_revision->text().trimmed(), m_to->text().trimmed(),
                           m_message->text());
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_to->setFocus();
}

SwitchDialog::SwitchDialog(const QString& target, const QString& current, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Switch"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Switch %1 to:").arg(shown(target))));
    auto* form = new QFormLayout;
    m_path = namedEdit(current, QStringLiteral("path"));
    m_revision = namedEdit(QString(), QStringLiteral("revision"));
    m_revision->setPlaceholderText(QStringLiteral("the newest"));
    form->addRow(QStringLiteral("Repository path:"), m_path);
    form->addRow(QStringLiteral("At revision:"), m_revision);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Switch"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("switch"));
    layout->addWidget(buttons);
    connect(m_path, &QLineEdit::textChanged, this, [this, buttons] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!m_path->text().trimmed().isEmpty());
    });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        emit switchRequested(m_path->text().trimmed(), m_revision->text().trimmed());
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_path->selectAll();
    m_path->setFocus();
}

MergeDialog::MergeDialog(const QString& target, const QString& source, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Merge"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Merge into %1 from:").arg(shown(target))));
    m_source = namedEdit(source, QStringLiteral("source"));
    layout->addWidget(m_source);
    layout->addWidget(new QLabel(QStringLiteral("Eligible revisions (none picked: all of them):")));
    m_eligible = new QListWidget;
    m_eligible->setObjectName(QStringLiteral("eligible"));
    layout->addWidget(m_eligible);
    m_previewButton = new QPushButton(QStringLiteral("Preview"));
    m_previewButton->setObjectName(QStringLiteral("preview"));
    layout->addWidget(m_previewButton, 0, Qt::AlignLeft);
    m_preview = new QListWidget;
    m_preview->setObjectName(QStringLiteral("changes"));
    layout->addWidget(m_preview);
    m_note = new QLabel;
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setWordWrap(true);
    layout->addWidget(m_note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_mergeButton = buttons->button(QDialogButtonBox::Ok);
    m_mergeButton->setText(QStringLiteral("Merge"));
    m_mergeButton->setObjectName(QStringLiteral("merge"));
    m_mergeButton->setEnabled(false);
    layout->addWidget(buttons);

    connect(m_source, &QLineEdit::editingFinished, this, [this] {
        if (m_source->isModified()) {
            m_source->setModified(false);
            m_eligible->clear();
            choiceChanged();
            emit eligibleRequested(this->source());
        }
    });
    connect(m_eligible, &QListWidget::itemChanged, this, &MergeDialog::choiceChanged);
    connect(m_previewButton, &QPushButton::clicked, this, [this] {
        m_note->setText(QStringLiteral("Previewing..."));
        emit previewRequested(this->source(), chosenRevisions());
    });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!m_previewed)
            return;
        emit mergeRequested(m_previewedSource, m_previewedRevisions);
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void MergeDialog::open()
{
    QDialog::open();
    emit eligibleRequested(source());
}

QString MergeDialog::source() const
{
    return m_source->text().trimmed();
}

QStringList MergeDialog::chosenRevisions() const
{
    QStringList revisions;
    for (int i = 0; i < m_eligible->count(); ++i)
        if (m_eligible->item(i)->checkState() == Qt::Checked)
            revisions << m_eligible->item(i)->data(Qt::UserRole).toString();
    return revisions;
}

void MergeDialog::showEligible(const QString& source, const QStringList& revisions)
{
    if (source != this->source())
        return; // an answer for a source edited since
    const QSignalBlocker quiet(m_eligible);
    m_eligible->clear();
    for (const QString& revision : revisions) {
        auto* item = new QListWidgetItem(QStringLiteral("r") + revision, m_eligible);
        item->setData(Qt::UserRole, revision);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    m_note->setText(revisions.isEmpty() ? QStringLiteral("Nothing of %1 is left to merge.").arg(source)
                                        : QString());
}

void MergeDialog::showPreview(const QString& source, const QStringList& revisions,
                              const QList<SourceCodeControl::ItemChange>& changes)
{
    if (source != this->source() || revisions != chosenRevisions())
        return; // previewed a choice that is no longer the one shown
    m_preview->clear();
    for (const SourceCodeControl::ItemChange& change : changes)
        m_preview->addItem(change.action + QLatin1Char(' ')
                           + (change.path.isEmpty() ? QStringLiteral(".") : change.path));
    m_previewedSource = source;
    m_previewedRevisions = revisions;
    m_previewed = true;
    m_mergeButton->setEnabled(true);
    m_note->setText(changes.isEmpty() ? QStringLiteral("The merge would change nothing but the merge information.")
                                      : QStringLiteral("The merge would change what is listed; nothing has changed yet."));
}

void MergeDialog::showFailure(const QString& text)
{
    m_note->setText(text);
}

void MergeDialog::choiceChanged()
{
    // A preview shows one choice; another must be previewed before it merges.
    m_previewed = false;
    m_preview->clear();
    m_mergeButton->setEnabled(false);
}
