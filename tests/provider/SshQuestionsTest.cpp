// ssh's questions: the tunnel command of runs without a prompt handler (ssh
// in batch mode, whichever way the user names the tunnel), and the askpass
// program that passes a question to the provider.

#include "FileBytes.h"
#include "QTxProcess.h"
#include "QTxProcessEnvironment.h"
#include "SVNAskpassSocket.h"
#include "SVNSshQuestions.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(SshTunnel, WithoutAHandlerSshRunsInBatchMode)
{
    // SVN_SSH as the host has it (null: unset), the user's ~/.subversion/config
    // (null: none), and SVN_SSH as the client then gets it (null: unset).
    struct Case { const char* label; QByteArray tunnel, config, expected; };
    const Case cases[] = {
        {"ssh with options", "ssh -p 2222", QByteArray(), "ssh -o BatchMode=yes -p 2222"},
        {"a quoted path", "'/opt/my ssh/ssh' -q --", QByteArray(), "'/opt/my ssh/ssh' -o BatchMode=yes -q --"},
        {"leading blanks, nothing else", "  /usr/bin/ssh", QByteArray(), "  /usr/bin/ssh -o BatchMode=yes"},
        {"not ssh", "plink -batch", QByteArray(), "plink -batch"},
        {"a program whose name ends in ssh", "myssh -x", QByteArray(), "myssh -x"},
        {"unset: the client's own tunnel", QByteArray(), QByteArray(),
         "ssh -o BatchMode=yes -q -o ControlMaster=no --"},
        {"unset: the configuration's fallback", QByteArray(), "[auth]\nssh = x\n[tunnels]\nssh = $SVN_SSH ssh -p 2200\n",
         "ssh -o BatchMode=yes -p 2200"},
        {"unset: a configured tunnel of its own stays", QByteArray(), "[tunnels]\nssh = ssh -p 2200\n", QByteArray()},
        {"unset: a commented entry is none", QByteArray(), "[tunnels]\n# ssh = ssh -p 2200\n",
         "ssh -o BatchMode=yes -q -o ControlMaster=no --"},
        {"set: the configuration does not matter", "ssh", "[tunnels]\nssh = ssh -p 2200\n", "ssh -o BatchMode=yes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QTemporaryDir home;
        if (!c.config.isNull()) {
            QDir(home.path()).mkpath(".subversion");
            writeBytes(home.path() + "/.subversion/config", c.config);
        }
        QTx::ProcessEnvironment environment;
        environment.set("HOME", QFile::encodeName(home.path()));
        if (!c.tunnel.isNull())
            environment.set("SVN_SSH", c.tunnel);
        SVNSshQuestions::forbidQuestions(environment);
        EXPECT_EQ(environment.value("SVN_SSH"), c.expected);
        EXPECT_EQ(environment.value("SVN_SSH").isNull(), c.expected.isNull());
    }
}

TEST(SshAskpass, HandsThePromptToTheProviderAndPrintsTheAnswer)
{
    // The program beside the plug-in, run as ssh runs it, with the
    // provider's side of the socket watched by the run.
    const QString program = QFileInfo(QStringLiteral(PLUGIN_PATH)).absolutePath() + "/svnscc-askpass";
    const QString prompt = QString::fromUtf8("Enter passphrase for key '/home/\xc3\xa5sa/.ssh/id_ed25519': ");
    struct Case { const char* label; bool named; QString answer; int exitCode; QStringList out; };
    const Case cases[] = {
        {"answered", true, QStringLiteral("pass phrase"), 0, {"pass phrase"}},
        {"answered empty", true, QStringLiteral(""), 0, {QString()}},
        {"declined", true, QString(), 1, {}},
        {"no provider named", false, QString(), 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SVNAskpassSocket socket;
        ASSERT_TRUE(socket.isOpen()) << socket.problem().toStdString();
        QTx::ProcessEnvironment environment = QTx::ProcessEnvironment::inherited();
        environment.unset("SVNSCC_ASKPASS_SOCKET");
        if (c.named)
            environment.set("SVNSCC_ASKPASS_SOCKET", socket.path());
        QStringList out, err;
        QString asked;
        QTx::ProcessOptions options;
        options.arguments = QStringList{program, prompt};
        options.environment = &environment;
        options.output = &out;
        options.errors = &err;
        options.watchDescriptor = socket.descriptor();
        options.watchHandler = [&] {
            if (socket.takeQuestion(asked))
                socket.reply(c.answer);
            return true;
        };
        const QTx::ProcessResult result = QTx::runProcess(options);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(err, QStringList());
        EXPECT_EQ(asked, c.named ? prompt : QString());
    }
}
