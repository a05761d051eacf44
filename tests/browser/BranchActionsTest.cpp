// scc-browser's branch actions against the real client: the branch in the
// title and status bar, the merge dialog's eligible revisions and its
// preview before anything changes, and the merge tool started on the three
// files of the conflict the merge left.

#include "BranchDialogs.h"
#include "BrowserWindow.h"
#include "FileBytes.h"
#include "MergeTool.h"
#include "QtPrinters.h"
#include "ScopedVariable.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <optional>

namespace {

const int WaitMs = 40000;

QByteArray run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode())
        ADD_FAILURE() << program.toStdString() << " " << arguments.join(' ').toStdString() << ": "
                      << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

QByteArray svn(QStringList arguments)
{
    return run("svn", arguments << "--non-interactive");
}

QStringList texts(const QListWidget& list)
{
    QStringList lines;
    for (int i = 0; i < list.count(); ++i)
        lines << list.item(i)->text();
    return lines;
}

class BranchActions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        m_base = QDir(m_temp.path()).canonicalPath();
        QDir().mkpath(m_base + "/home");
        m_home.emplace("HOME", QFile::encodeName(m_base + "/home"));
        const QString repository = m_base + "/repository";
        m_url = QUrl::fromLocalFile(repository).toString(QUrl::FullyEncoded);
        run("svnadmin", {"create", repository});
        QDir().mkpath(m_base + "/import");
        writeBytes(m_base + "/import/a.txt", "one\ntwo\nthree\n");
        svn({"import", "-m", "import", m_base + "/import", m_url + "/trunk"});
        svn({"copy", "--parents", "-m", "branch", m_url + "/trunk", m_url + "/branches/b"});
        const QString trunk = m_base + "/trunk";
        svn({"checkout", m_url + "/trunk", trunk});
        writeBytes(trunk + "/a.txt", "ONE\ntwo\nthree\n");
        svn({"commit", "-m", "first", trunk});
        writeBytes(trunk + "/a.txt", "ONE\ntwo\nTHREE\n");
        svn({"commit", "-m", "second", trunk});
        m_root = m_base + "/work";
        svn({"checkout", m_url + "/branches/b", m_root});
        writeBytes(m_root + "/a.txt", "MINE\ntwo\nthree\n");
    }

    HostOptions options() const
    {
        HostOptions options;
        options.plugin = QStringLiteral(PLUGIN_PATH);
        options.svnExecutable = "svn";
        options.repositoryURL = m_url;
        options.localRoot = m_root;
        options.timeoutSeconds = 30;
        return options;
    }

    QTemporaryDir m_temp;
    QString m_base;
    QString m_url;
    QString m_root;
    std::optional<ScopedVariable> m_home;
};

TEST_F(BranchActions, TheMergeIsPreviewedBeforeItChangesAnythingAndItsConflictOpensInTheMergeTool)
{
    BrowserWindow window(options());
    window.setErrorDialogsEnabled(false);
    window.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.branch() == "branches/b" && !window.isBusy(); }, WaitMs))
        << window.messageLog().toStdString();
    EXPECT_TRUE(window.windowTitle().endsWith(" [branches/b]")) << window.windowTitle().toStdString();
    EXPECT_EQ(window.findChild<QLabel*>("branch")->text(), "Branch: branches/b");

    // The eligible revisions of trunk come first, as the client lists them.
    window.showMergeDialog();
    MergeDialog* dialog = window.findChild<MergeDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->source(), "trunk");
    auto* eligible = dialog->findChild<QListWidget*>("eligible");
    auto* changes = dialog->findChild<QListWidget*>("changes");
    auto* preview = dialog->findChild<QPushButton*>("preview");
    auto* merge = dialog->findChild<QPushButton*>("merge");
    ASSERT_TRUE(QTest::qWaitFor([&] { return eligible->count() == 2; }, WaitMs)) << window.messageLog().toStdString();
    EXPECT_EQ(texts(*eligible), QStringList({"r3", "r4"}));
    EXPECT_FALSE(merge->isEnabled());

    // The first revision alone, previewed: nothing changes on disk or in the records.
    const QByteArray statusBefore = svn({"status", m_root});
    eligible->item(0)->setCheckState(Qt::Checked);
    preview->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes->count() > 0 && !window.isBusy(); }, WaitMs));
    EXPECT_EQ(texts(*changes), QStringList{"C    a.txt"});
    EXPECT_EQ(svn({"status", m_root}), statusBefore);
    EXPECT_EQ(readBytes(m_root + "/a.txt"), "MINE\ntwo\nthree\n");
    ASSERT_TRUE(merge->isEnabled());
    // Another choice wants its own preview before it merges.
    eligible->item(1)->setCheckState(Qt::Checked);
    EXPECT_FALSE(merge->isEnabled());
    EXPECT_EQ(changes->count(), 0);
    eligible->item(1)->setCheckState(Qt::Unchecked);
    preview->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return merge->isEnabled() && !window.isBusy(); }, WaitMs));
    merge->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.messageLog().contains("left in conflict") && !window.isBusy(); },
                                WaitMs))
        << window.messageLog().toStdString();
    EXPECT_TRUE(svn({"status", m_root}).contains("C       " + m_root.toUtf8() + "/a.txt\n"));
    EXPECT_EQ(svn({"mergeinfo", "--show-revs", "merged", m_url + "/trunk", m_root}), "r3\n");

    // The merge tool gets the three files and the conflicted file, each one argument.
    const QString tool = m_base + "/tool.sh";
    const QString arguments = m_base + "/arguments";
    writeBytes(tool, "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + QFile::encodeName(arguments) + ".part\nmv "
                         + QFile::encodeName(arguments) + ".part " + QFile::encodeName(arguments) + "\n");
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ScopedVariable configured("SCC_MERGE_TOOL", QFile::encodeName(tool) + " --three {base} {mine} {theirs} -o {merged}");
    window.openInMergeTool("a.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(arguments); }, WaitMs)) << window.messageLog().toStdString();
    const QList<QByteArray> given = readBytes(arguments).split('\n');
    ASSERT_EQ(given.size(), 7) << readBytes(arguments).toStdString();
    EXPECT_EQ(given.at(0), "--three");
    EXPECT_EQ(readBytes(QString::fromUtf8(given.at(1))), "one\ntwo\nthree\n");
    EXPECT_EQ(readBytes(QString::fromUtf8(given.at(2))), "MINE\ntwo\nthree\n");
    EXPECT_EQ(readBytes(QString::fromUtf8(given.at(3))), "ONE\ntwo\nthree\n");
    EXPECT_EQ(given.at(4), "-o");
    EXPECT_EQ(given.at(5), QFile::encodeName(m_root + "/a.txt"));
}

TEST(MergeTool, EachFileIsOneArgumentAndAMissingToolOrConflictSaysWhy)
{
    SourceCodeControl::ConflictInfo text;
    text.kind = "text";
    text.baseFile = "d i r/a.txt.merge-left.r3";
    text.mineFile = "d i r/a.txt.working";
    text.theirsFile = "d i r/a.txt.merge-right.r4";
    const MergeTool::Command meld = MergeTool::command(MergeTool::defaultCommandLine(), "/w c", "d i r/a.txt", text);
    EXPECT_EQ(meld.program, "meld");
    EXPECT_EQ(meld.arguments, QStringList({"/w c/d i r/a.txt.working", "/w c/d i r/a.txt.merge-left.r3",
                                           "/w c/d i r/a.txt.merge-right.r4", "--output", "/w c/d i r/a.txt"}));
    EXPECT_TRUE(MergeTool::command("", "/w c", "d i r/a.txt", text).error.startsWith("no merge tool"));
    SourceCodeControl::ConflictInfo tree;
    tree.kind = "tree";
    EXPECT_EQ(MergeTool::command("meld", "/w c", "a.txt", tree).error, "a.txt has no text conflict to merge");
}

} // namespace
