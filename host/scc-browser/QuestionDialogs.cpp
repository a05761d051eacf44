#include "QuestionDialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SourceCodeControl;

namespace {

QLabel* wrappedLabel(const QString& text, const QString& name)
{
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

CredentialsDialog::CredentialsDialog(const CredentialsRequest& request, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Log in"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wrappedLabel(QStringLiteral("The server asks who you are for %1.").arg(request.realm),
                                   QStringLiteral("realm")));
    if (request.attempt > 1)
        layout->addWidget(wrappedLabel(QStringLiteral("It refused the last answer (attempt %1 of 3).").arg(request.attempt),
                                       QStringLiteral("attempt")));
    auto* form = new QFormLayout;
    m_user = new QLineEdit(request.user);
    m_user->setObjectName(QStringLiteral("user"));
    m_password = new QLineEdit;
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("User:"), m_user);
    form->addRow(QStringLiteral("Password:"), m_password);
    layout->addLayout(form);
    m_remember = new QCheckBox(QStringLiteral("Remember (as your Subversion set-up allows)"));
    m_remember->setObjectName(QStringLiteral("remember"));
    layout->addWidget(m_remember);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Log in"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        emit answered(m_user->text(), m_password->text(), m_remember->isChecked());
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    (request.user.isEmpty() ? m_user : m_password)->setFocus();
}

QStringList CertificateDialog::failureTexts(unsigned failures)
{
    static const struct
    {
        unsigned bit;
        const char* text;
    } s_texts[] = {{UnknownAuthority, "It is not issued by an authority the client trusts."},
                   {NameMismatch, "It is issued for another host name."},
                   {Expired, "It has expired."},
                   {NotYetValid, "It is not valid yet."},
                   {OtherFailure, "The client found another fault in it."}};
    QStringList texts;
    for (const auto& text : s_texts)
        if (failures & text.bit)
            texts << QLatin1String(text.text);
    return texts;
}

CertificateDialog::CertificateDialog(const ServerCertificate& certificate, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Server certificate"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wrappedLabel(QStringLiteral("The client does not trust the certificate of %1:\n%2")
                                       .arg(certificate.realm, failureTexts(certificate.failures).join(QLatin1Char('\n'))),
                                   QStringLiteral("failures")));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Host name:"), wrappedLabel(certificate.hostname, QStringLiteral("hostname")));
    form->addRow(QStringLiteral("Issuer:"), wrappedLabel(certificate.issuer, QStringLiteral("issuer")));
    form->addRow(QStringLiteral("Valid:"),
                 wrappedLabel(QStringLiteral("from %1 until %2").arg(certificate.validFrom, certificate.validUntil),
                              QStringLiteral("validity")));
    form->addRow(QStringLiteral("Fingerprint (SHA-1):"),
                 wrappedLabel(certificate.fingerprint, QStringLiteral("fingerprint")));
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox;
    QPushButton* reject = buttons->addButton(QStringLiteral("Reject"), QDialogButtonBox::RejectRole);
    QPushButton* once = buttons->addButton(QStringLiteral("Accept once"), QDialogButtonBox::AcceptRole);
    QPushButton* always = buttons->addButton(QStringLiteral("Accept always"), QDialogButtonBox::AcceptRole);
    reject->setObjectName(QStringLiteral("reject"));
    once->setObjectName(QStringLiteral("once"));
    always->setObjectName(QStringLiteral("always"));
    // Reject is the default: Enter must never trust a server.
    reject->setDefault(true);
    layout->addWidget(buttons);
    connect(reject, &QPushButton::clicked, this, &QDialog::reject);
    connect(once, &QPushButton::clicked, this, [this] {
        emit answered(Trust::Once);
        accept();
    });
    connect(always, &QPushButton::clicked, this, [this] {
        emit answered(Trust::Always);
        accept();
    });
}

SshQuestionDialog::SshQuestionDialog(const SshQuestion& question, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("ssh asks (%1)").arg(question.host));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wrappedLabel(question.prompt, QStringLiteral("prompt")));
    m_answer = new QLineEdit;
    m_answer->setObjectName(QStringLiteral("answer"));
    m_answer->setEchoMode(question.secret ? QLineEdit::Password : QLineEdit::Normal);
    layout->addWidget(m_answer);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        emit answered(m_answer->text());
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_answer->setFocus();
}
