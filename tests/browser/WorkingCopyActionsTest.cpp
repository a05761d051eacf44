// scc-browser's property, changelist, history, compare and shelf actions
// against the real client: each action goes through the window as the user
// drives it, and the client's own answer says what it did.

#include "BrowserWindow.h"
#include "CompareDialog.h"
#include "FileBytes.h"
#include "PropertyEditor.h"
#include "QtPrinters.h"
#include "ScopedVariable.h"
#include "ShelvesPane.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

#include <optional>

namespace {

const int WaitMs = 40000;
const int Steps = 56; // revisions of log.txt: more than one page of the Log tab

QByteArray run(const QString& program, const QStringList& arguments, const QString& directory = QString())
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode())
        ADD_FAILURE() << program.toStdString() << " " << arguments.join(' ').toStdString() << ": "
                      << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

class WorkingCopyActions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        m_base = QDir(m_temp.path()).canonicalPath();
        QDir().mkpath(m_base + "/home");
        m_home.emplace("HOME", QFile::encodeName(m_base + "/home"));
        m_data.emplace("XDG_DATA_HOME", QFile::encodeName(m_base + "/data"));
        const QString repository = m_base + "/repository";
        m_url = QUrl::fromLocalFile(repository).toString(QUrl::FullyEncoded);
        run("svnadmin", {"create", repository});
        const QString setup = m_base + "/setup";
        svn({"mkdir", "-m", "trunk", m_url + "/trunk"});
        svn({"checkout", m_url + "/trunk", setup});
        writeBytes(setup + "/a.txt", "alpha\n");
        writeBytes(setup + "/b.txt", "beta\n");
        svn({"add", setup + "/a.txt", setup + "/b.txt"});
        svn({"commit", "-m", "two files", setup});
        // Many small revisions, one of them findable.
        for (int step = 1; step <= Steps; ++step) {
            writeBytes(setup + "/log.txt", QByteArray::number(step) + "\n");
            if (step == 1)
                svn({"add", setup + "/log.txt"});
            svn({"commit", "-m", step == Steps - 3 ? "the needle step" : "step " + QString::number(step), setup});
        }
        m_root = m_base + "/work";
        svn({"checkout", m_url + "/trunk", m_root});
        writeBytes(m_root + "/junk.tmp", "junk\n");
    }

    /** Runs the client in the working copy (in the base folder before it exists). */
    QByteArray svn(QStringList arguments)
    {
        return run("svn", arguments << "--non-interactive", QFileInfo::exists(m_root) ? m_root : m_base);
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

    /** The revisions the client's log of the working copy lists (messages searched with --search). */
    QStringList clientRevisions(const QString& search = QString())
    {
        QStringList arguments{"log", m_root};
        if (!search.isEmpty())
            arguments << "--search" << search;
        QStringList revisions;
        static const QRegularExpression line("^r(\\d+) \\|");
        for (const QString& text : QString::fromUtf8(svn(arguments)).split('\n'))
            if (const QRegularExpressionMatch match = line.match(text); match.hasMatch())
                revisions << match.captured(1);
        return revisions;
    }

    QTemporaryDir m_temp;
    QString m_base;
    QString m_url;
    QString m_root;
    std::optional<ScopedVariable> m_home;
    std::optional<ScopedVariable> m_data;
};

QAction* actionNamed(const BrowserWindow& window, const QString& text)
{
    for (QAction* action : window.findChildren<QAction*>())
        if (action->text() == text)
            return action;
    ADD_FAILURE() << "no action " << text.toStdString();
    return nullptr;
}

// The revisions the Log tab shows, in its order.
QStringList logRevisions(const BrowserWindow& window)
{
    QStringList revisions;
    static const QRegularExpression row("^r(\\d+)\\t");
    for (const QString& line : window.detailsText(DetailsPane::LogTab).split('\n'))
        if (const QRegularExpressionMatch match = row.match(line); match.hasMatch())
            revisions << match.captured(1);
    return revisions;
}

void select(BrowserWindow& window, const QStringList& paths)
{
    for (QTreeWidgetItem* item : window.findChild<ProjectPane*>()->selectedItems())
        item->setSelected(false);
    for (const QString& path : paths)
        window.projectItem(path.split('/'))->setSelected(true);
}

// Answers the text dialog the window opened last with @p text.
void answer(BrowserWindow& window, const QString& text)
{
    auto* dialog = window.findChild<QInputDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->setTextValue(text);
    dialog->accept();
}

TEST_F(WorkingCopyActions, EachActionDoesWhatTheClientThenReports)
{
    BrowserWindow window(options());
    window.setErrorDialogsEnabled(false);
    window.resize(1400, 900);
    window.show();
    QSignalSpy changelists(&window, &BrowserWindow::changelistsShown);
    QSignalSpy shelves(&window, &BrowserWindow::shelvesShown);
    window.start();
    const auto idle = [&] { return QTest::qWaitFor([&] { return !window.isBusy(); }, WaitMs); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return changelists.size() == 1 && shelves.size() == 1 && !window.isBusy(); },
                                WaitMs))
        << window.messageLog().toStdString();
    QAction* undoRevert = actionNamed(window, "Undo Last Revert");
    EXPECT_FALSE(undoRevert->isEnabled());

    // Ignore: offered for the unversioned file only; svn:ignore then holds its name.
    QAction* ignore = actionNamed(window, "Ignore");
    select(window, {"a.txt"});
    EXPECT_FALSE(ignore->isEnabled());
    select(window, {"junk.tmp"});
    ASSERT_TRUE(ignore->isEnabled());
    ignore->trigger();
    ASSERT_TRUE(idle());
    EXPECT_EQ(svn({"propget", "svn:ignore", m_root}), "junk.tmp\n\n");
    EXPECT_EQ(window.projectItem({"junk.tmp"})->text(ProjectPane::StatusColumn), "not controlled");
    EXPECT_FALSE(svn({"status", m_root}).contains("junk.tmp"));

    // The property editor: a value set byte for byte; a binary value shown as such, not offered to edit.
    const QByteArray binary("\x01\x02\xfe", 3);
    writeBytes(m_base + "/binary.value", binary);
    svn({"propset", "my:blob", "-F", m_base + "/binary.value", m_root + "/b.txt"});
    window.showPropertyEditor("b.txt");
    auto* editor = window.findChild<PropertyEditor*>();
    ASSERT_NE(editor, nullptr);
    auto* table = editor->findChild<QTableWidget*>("properties");
    auto* name = editor->findChild<QComboBox*>("name");
    auto* value = editor->findChild<QPlainTextEdit*>("value");
    auto* set = editor->findChild<QPushButton*>("set");
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == 1 && !window.isBusy(); }, WaitMs));
    EXPECT_EQ(table->item(0, 1)->text(), "(binary, 3 bytes)");
    for (const QString& common : PropertyEditor::commonNames())
        EXPECT_GE(name->findText(common), 0) << common.toStdString();
    EXPECT_GE(name->findText("svn:needs-lock"), 0);
    name->setCurrentText("my:blob");
    EXPECT_FALSE(set->isEnabled());
    EXPECT_TRUE(value->isReadOnly());
    name->setCurrentText("my:note");
    value->setPlainText("two words\nand a line\n");
    ASSERT_TRUE(set->isEnabled());
    set->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == 2 && !window.isBusy(); }, WaitMs));
    EXPECT_EQ(svn({"propget", "--no-newline", "my:note", m_root + "/b.txt"}), "two words\nand a line\n");
    EXPECT_EQ(svn({"propget", "--no-newline", "my:blob", m_root + "/b.txt"}), binary);
    editor->reject();

    // Move to changelist: the column and svn status show it; an empty name takes it out.
    select(window, {"a.txt"});
    actionNamed(window, "Move to Changelist...")->trigger();
    answer(window, "fix 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return changelists.size() == 2 && !window.isBusy(); }, WaitMs))
        << window.messageLog().toStdString();
    EXPECT_EQ(window.projectItem({"a.txt"})->text(ProjectPane::ChangelistColumn), "fix 1");
    EXPECT_TRUE(svn({"status"}).contains("--- Changelist 'fix 1':\n        a.txt\n")) << svn({"status"}).toStdString();
    EXPECT_EQ(window.projectItem({"b.txt"})->text(ProjectPane::ChangelistColumn), "");

    // The Log tab: one page first; a search starts from the newest revision.
    const QStringList all = clientRevisions();
    ASSERT_EQ(all.size(), Steps + 2);
    window.showLog("");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !logRevisions(window).isEmpty() && !window.isBusy(); }, WaitMs));
    EXPECT_EQ(logRevisions(window), all.mid(0, 50));
    auto* search = window.findChild<QLineEdit*>("logSearch");
    search->setText("NEEDLE");
    QTest::keyClick(search, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logRevisions(window).size() < 50 && !window.isBusy(); }, WaitMs));
    EXPECT_EQ(logRevisions(window), clientRevisions("NEEDLE"));
    EXPECT_EQ(logRevisions(window).size(), 1);
    // Scrolled to its end, the whole history comes page by page, no entry twice.
    search->clear();
    QTest::keyClick(search, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logRevisions(window).size() == 50 && !window.isBusy(); }, WaitMs));
    auto* log = window.findChild<QTreeWidget*>("log");
    ASSERT_TRUE(QTest::qWaitFor([&] { return log->verticalScrollBar()->maximum() > 0; }, WaitMs));
    log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
    ASSERT_TRUE(QTest::qWaitFor([&] { return logRevisions(window).size() > 50 && !window.isBusy(); }, WaitMs));
    EXPECT_EQ(logRevisions(window), all);
    // A first page that fits with no scroll bar: the next one follows by itself, no entry twice.
    const QSize size = window.size();
    window.resize(1400, 6000);
    window.showLog("");
    ASSERT_TRUE(QTest::qWaitFor([&] { return logRevisions(window).size() > 50 && !window.isBusy(); }, WaitMs))
        << logRevisions(window).size() << " rows, scroll bar up to " << log->verticalScrollBar()->maximum();
    EXPECT_EQ(log->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(logRevisions(window), all);
    window.resize(size);

    // Compare with revision: what `svn diff --summarize` lists between the two.
    const QString newest = all.first();
    const QString older = QString::number(newest.toInt() - 5);
    window.showCompareDialog("");
    auto* compare = window.findChild<CompareDialog*>();
    ASSERT_NE(compare, nullptr);
    compare->findChild<QLineEdit*>("from")->setText(older);
    compare->findChild<QPushButton*>("compare")->click();
    auto* changed = compare->findChild<QTreeWidget*>("changes");
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed->topLevelItemCount() > 0 && !window.isBusy(); }, WaitMs));
    QStringList listed, summarized;
    for (int i = 0; i < changed->topLevelItemCount(); ++i)
        listed << changed->topLevelItem(i)->text(0) + ' ' + changed->topLevelItem(i)->text(1);
    for (const QString& line :
         QString::fromUtf8(svn({"diff", "--summarize", "-r", older + ":" + newest, m_url + "/trunk"})).split('\n'))
        if (!line.isEmpty())
            summarized << line.left(7).trimmed() + ' ' + line.mid(8).remove(m_url + "/trunk/");
    EXPECT_EQ(listed, summarized);
    EXPECT_EQ(listed, QStringList{"M log.txt"});
    compare->reject();

    // Shelve, then Unshelve from the Shelves tab: the text comes back byte for byte.
    const QByteArray edited("beta\r\nedited \x01\n", 15);
    writeBytes(m_root + "/b.txt", edited);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.projectItem({"b.txt"})->text(ProjectPane::ModifiedColumn) == "yes"; },
                                WaitMs));
    select(window, {"b.txt"});
    const qsizetype shelvesBefore = shelves.size();
    actionNamed(window, "Shelve...")->trigger();
    answer(window, "my work");
    ASSERT_TRUE(QTest::qWaitFor([&] { return shelves.size() > shelvesBefore && !window.isBusy(); }, WaitMs))
        << window.messageLog().toStdString();
    EXPECT_EQ(readBytes(m_root + "/b.txt"), "beta\n");
    EXPECT_TRUE(window.detailsText(DetailsPane::ShelvesTab).contains("\nmy work\t"));
    auto* list = window.findChild<ShelvesPane*>()->findChild<QTreeWidget*>("shelves");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(2), "b.txt");
    list->setCurrentItem(list->topLevelItem(0));
    window.findChild<ShelvesPane*>()->findChild<QPushButton*>("unshelve")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() == 0 && !window.isBusy(); }, WaitMs))
        << window.messageLog().toStdString();
    EXPECT_EQ(readBytes(m_root + "/b.txt"), edited);

    // Revert, then Undo Last Revert: the same bytes again.
    window.revert({"b.txt"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return undoRevert->isEnabled(); }, WaitMs)) << window.messageLog().toStdString();
    EXPECT_EQ(readBytes(m_root + "/b.txt"), "beta\n");
    undoRevert->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !undoRevert->isEnabled() && !window.isBusy(); }, WaitMs));
    EXPECT_EQ(readBytes(m_root + "/b.txt"), edited);
    EXPECT_EQ(list->topLevelItemCount(), 0);
}

} // namespace
