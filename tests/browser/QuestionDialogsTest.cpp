// scc-browser's question dialogs on the offscreen platform: what each shows
// and what each button answers; then the window against an svnserve that
// wants a password, with nobody logged in: the password dialog opens while
// the window goes on, and its answer (or the window's Cancel) ends the question.

#include "BrowserWindow.h"
#include "QuestionDialogs.h"
#include "ScopedVariable.h"
#include "SvnServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace SourceCodeControl;

QString labelText(const QDialog& dialog, const char* name)
{
    const auto* label = dialog.findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("(no label %1)").arg(QLatin1String(name));
}

void click(QDialog& dialog, QDialogButtonBox::StandardButton which)
{
    QDialogButtonBox* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->button(which), nullptr);
    box->button(which)->click();
}

TEST(QuestionDialogs, ThePasswordDialogNamesTheRealmShowsDotsAndAnswersWithRemember)
{
    for (const bool ok : {true, false}) {
        CredentialsDialog dialog(CredentialsRequest{"<svn://127.0.0.1:3690> Company", "ann", 2});
        QSignalSpy answered(&dialog, &CredentialsDialog::answered);
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        dialog.open();
        EXPECT_TRUE(labelText(dialog, "realm").contains("<svn://127.0.0.1:3690> Company"));
        EXPECT_TRUE(labelText(dialog, "attempt").contains("2 of 3"));
        auto* user = dialog.findChild<QLineEdit*>("user");
        auto* password = dialog.findChild<QLineEdit*>("password");
        ASSERT_TRUE(user && password);
        EXPECT_EQ(user->text(), "ann");
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        QTest::keyClicks(password, "s3cret");
        dialog.findChild<QCheckBox*>("remember")->setChecked(true);
        click(dialog, ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
        ASSERT_EQ(answered.size(), ok ? 1 : 0);
        EXPECT_EQ(rejected.size(), ok ? 0 : 1);
        if (ok) {
            EXPECT_EQ(answered.first(), (QList<QVariant>{"ann", "s3cret", true}));
        }
    }
}

TEST(QuestionDialogs, TheCertificateDialogShowsTheDetailsAndEachButtonAnswers)
{
    ServerCertificate certificate;
    certificate.realm = "https://127.0.0.1:8443";
    certificate.hostname = "build.example";
    certificate.issuer = "Company CA, Company, DE";
    certificate.validFrom = "Mon, 01 Jan 2024 00:00:00 GMT";
    certificate.validUntil = "Thu, 01 Jan 2026 00:00:00 GMT";
    certificate.fingerprint = "AB:CD:EF:01";
    certificate.failures = UnknownAuthority | NameMismatch;
    const struct
    {
        const char* button;
        int answers; // -1: rejected
    } cases[] = {{"reject", -1}, {"once", int(Trust::Once)}, {"always", int(Trust::Always)}};
    for (const auto& one : cases) {
        SCOPED_TRACE(one.button);
        CertificateDialog dialog(certificate);
        QSignalSpy answered(&dialog, &CertificateDialog::answered);
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        dialog.open();
        const QString failures = labelText(dialog, "failures");
        EXPECT_TRUE(failures.contains("https://127.0.0.1:8443"));
        EXPECT_TRUE(failures.contains("not issued by an authority"));
        EXPECT_TRUE(failures.contains("another host name"));
        EXPECT_FALSE(failures.contains("expired"));
        EXPECT_EQ(labelText(dialog, "hostname"), "build.example");
        EXPECT_EQ(labelText(dialog, "issuer"), "Company CA, Company, DE");
        EXPECT_EQ(labelText(dialog, "validity"), "from Mon, 01 Jan 2024 00:00:00 GMT until Thu, 01 Jan 2026 00:00:00 GMT");
        EXPECT_EQ(labelText(dialog, "fingerprint"), "AB:CD:EF:01");
        dialog.findChild<QPushButton*>(one.button)->click();
        EXPECT_EQ(rejected.size(), one.answers < 0 ? 1 : 0);
        ASSERT_EQ(answered.size(), one.answers < 0 ? 0 : 1);
        if (one.answers >= 0) {
            EXPECT_EQ(int(answered.first().at(0).value<Trust>()), one.answers);
        }
    }
}

TEST(QuestionDialogs, EnterInTheCertificateDialogRejects)
{
    CertificateDialog dialog(ServerCertificate{"https://127.0.0.1:8443", "127.0.0.1", "CA", "", "", "AB", UnknownAuthority});
    QSignalSpy answered(&dialog, &CertificateDialog::answered);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    EXPECT_TRUE(dialog.findChild<QPushButton*>("reject")->isDefault());
    dialog.open();
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(rejected.size(), 1);
    EXPECT_TRUE(answered.isEmpty());
}

TEST(QuestionDialogs, TheSshDialogShowsSshsWordsAndHidesASecret)
{
    for (const bool secret : {false, true}) {
        const QString prompt = secret ? "Enter passphrase for key '/home/ann/.ssh/id_ed25519': "
                                      : "Are you sure you want to continue connecting (yes/no/[fingerprint])? ";
        SshQuestionDialog dialog(SshQuestion{"127.0.0.1", prompt, secret});
        QSignalSpy answered(&dialog, &SshQuestionDialog::answered);
        dialog.open();
        EXPECT_EQ(labelText(dialog, "prompt"), prompt);
        auto* answer = dialog.findChild<QLineEdit*>("answer");
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer->echoMode(), secret ? QLineEdit::Password : QLineEdit::Normal);
        QTest::keyClicks(answer, secret ? "passphrase" : "yes");
        click(dialog, QDialogButtonBox::Ok);
        ASSERT_EQ(answered.size(), 1);
        EXPECT_EQ(answered.first().at(0).toString(), secret ? "passphrase" : "yes");
    }
}

class BrowserQuestions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        const QString base = QDir(m_temp.path()).canonicalPath();
        ASSERT_TRUE(QDir().mkpath(base + "/home"));
        m_home.emplace("HOME", QFile::encodeName(base + "/home"));
        ASSERT_TRUE(m_server.start(base + "/repository", QProcessEnvironment::systemEnvironment()))
            << m_server.errorString().toStdString();
        m_root = base + "/work";
        const QStringList ann{"--non-interactive", "--no-auth-cache", "--username", "ann", "--password", "ann-secret"};
        ASSERT_EQ(QProcess::execute("svn", QStringList{"mkdir", "-q", "-m", "project", m_server.url() + "/project"} + ann), 0);
        ASSERT_EQ(QProcess::execute("svn", QStringList{"checkout", "-q", m_server.url() + "/project", m_root} + ann), 0);
    }

    HostOptions options() const
    {
        HostOptions options;
        options.plugin = QStringLiteral(PLUGIN_PATH);
        options.svnExecutable = "svn";
        options.repositoryURL = m_server.url();
        options.localRoot = m_root;
        options.timeoutSeconds = 30;
        return options; // nobody logged in
    }

    QTemporaryDir m_temp;
    std::optional<ScopedVariable> m_home;
    SvnServer m_server;
    QString m_root;
};

TEST_F(BrowserQuestions, ThePasswordDialogOpensWhileTheWindowGoesOnAndItsAnswerOrCancelEndsTheQuestion)
{
    for (const bool answer : {true, false}) {
        SCOPED_TRACE(answer ? "answered" : "cancelled");
        BrowserWindow window(options());
        window.setErrorDialogsEnabled(false);
        window.show();
        window.start();
        QPointer<CredentialsDialog> dialog;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (dialog = window.findChild<CredentialsDialog*>()) != nullptr; }, 20000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog && dialog->isVisible(); }, 5000));
        EXPECT_TRUE(window.isBusy());
        EXPECT_TRUE(labelText(*dialog, "realm").contains(QRegularExpression("<svn://127\\.0\\.0\\.1:\\d+> scc-e2e")))
            << labelText(*dialog, "realm").toStdString();
        if (answer) {
            dialog->findChild<QLineEdit*>("user")->setText("ann");
            dialog->findChild<QLineEdit*>("password")->setText("ann-secret");
            click(*dialog, QDialogButtonBox::Ok);
        } else {
            window.cancel();
        }
        // The dialog goes either way; an answer needs no second one.
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }, 5000));
        if (answer) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isBusy(); }, 20000));
            EXPECT_EQ(window.findChild<CredentialsDialog*>(), nullptr);
            EXPECT_TRUE(window.commandLog().contains(QRegularExpression("run \\d+ ended: exit 0")))
                << window.commandLog().toStdString();
            EXPECT_FALSE(window.messageLog().contains("E170001")) << window.messageLog().toStdString();
        }
    }
}

} // namespace
