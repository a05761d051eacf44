#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QDialog>

class QCheckBox;
class QLineEdit;

/**
 * The questions of servers and ssh as scc-browser asks them: one dialog per
 * question, opened with open() (the window goes on meanwhile). Each emits
 * answered() when the user answers and QDialog::rejected() when the user
 * declines (Cancel, Reject, Escape or closing it).
 */

/** A server wants a user name and password: the realm named, the user, the password as dots, "Remember". */
class CredentialsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CredentialsDialog(const SourceCodeControl::CredentialsRequest& request, QWidget* parent = nullptr);

signals:
    void answered(const QString& user, const QString& password, bool remember);

private:
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_remember = nullptr;
};

/** The client does not trust a server's certificate: its details and why, then Reject, Accept once or Accept always. */
class CertificateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CertificateDialog(const SourceCodeControl::ServerCertificate& certificate, QWidget* parent = nullptr);

    /** The failures of @p failures (CertificateFailure bits) in words, one a line. */
    static QStringList failureTexts(unsigned failures);

signals:
    /** Once or Always; Reject is rejected(). */
    void answered(SourceCodeControl::Trust trust);
};

/** ssh asks something: its own words, and the answer, shown as dots when it is a secret. */
class SshQuestionDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SshQuestionDialog(const SourceCodeControl::SshQuestion& question, QWidget* parent = nullptr);

signals:
    void answered(const QString& text);

private:
    QLineEdit* m_answer = nullptr;
};
