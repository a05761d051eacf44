#include "QTxCheckedFile.h"
#include "QTxServices.h"

#include "QtPrinters.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace {

enum class Reply { Yes, No, Ok, Escape, Return };

struct SeenBox
{
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
    QWidget* parent = nullptr;
};

// Answers the message boxes that appear while it lives, in order, by polling
// for the active modal widget. A box beyond the planned replies gets Escape,
// so that a wrong expectation fails instead of hanging.
class BoxAnswerer
{
public:
    explicit BoxAnswerer(std::deque<Reply> replies)
        : replies(std::move(replies))
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(10);
    }

    std::vector<SeenBox> seen;

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        // A later box may sit at the address of an earlier one: mark, not compare.
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        SeenBox s;
        s.caption = box->windowTitle();
        s.text = box->text();
        s.icon = box->icon();
        s.buttons = box->standardButtons();
        s.defaultButton = box->standardButton(box->defaultButton());
        s.escapeButton = box->escapeButton() ? box->standardButton(box->escapeButton())
                                             : QMessageBox::NoButton;
        s.parent = box->parentWidget();
        seen.push_back(s);

        Reply reply = Reply::Escape;
        if (!replies.empty()) {
            reply = replies.front();
            replies.pop_front();
        }
        switch (reply) {
        case Reply::Yes: box->button(QMessageBox::Yes)->click(); break;
        case Reply::No: box->button(QMessageBox::No)->click(); break;
        case Reply::Ok: box->button(QMessageBox::Ok)->click(); break;
        case Reply::Escape:
        case Reply::Return: {
            QKeyEvent press(QEvent::KeyPress, reply == Reply::Escape ? Qt::Key_Escape : Qt::Key_Return,
                            Qt::NoModifier);
            QApplication::sendEvent(box, &press);
            break;
        }
        }
    }

    std::deque<Reply> replies;
    QTimer timer;
};

class QTxCheckedFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QTx::setMainWidget(nullptr);
    }

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QByteArray read(const QString& name)
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    QTemporaryDir dir;
};

TEST_F(QTxCheckedFileTest, OverwriteQuestionRefusedLeavesTheFileAlone)
{
    const QString name = path(QStringLiteral("existing.txt"));
    write(name, "keep me");

    for (Reply reply : { Reply::No, Reply::Escape, Reply::Return }) {
        BoxAnswerer answerer({ reply });
        QTx::QCheckedFile file(name);
        EXPECT_FALSE(file.open(QIODevice::WriteOnly));
        EXPECT_FALSE(file.isOpen());
        ASSERT_EQ(answerer.seen.size(), 1u);
        const SeenBox& box = answerer.seen[0];
        EXPECT_EQ(box.caption, QStringLiteral("Warning"));
        EXPECT_EQ(box.text, QStringLiteral("The file \"") + name
                                + QStringLiteral("\" already exists.\nDo you want to overwrite \"")
                                + name + QStringLiteral("\"?"));
        EXPECT_EQ(box.icon, QMessageBox::Warning);
        EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.defaultButton, QMessageBox::No);
        EXPECT_EQ(box.escapeButton, QMessageBox::No);
        EXPECT_EQ(box.parent, nullptr);
    }
    EXPECT_EQ(read(name), QByteArray("keep me"));
}

TEST_F(QTxCheckedFileTest, OverwriteAcceptedTruncatesAndAppendStillAsks)
{
    const QString name = path(QStringLiteral("existing.txt"));
    write(name, "old contents");
    {
        BoxAnswerer answerer({ Reply::Yes, Reply::Yes });
        QTx::QCheckedFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("new");
        file.close();
        EXPECT_EQ(read(name), QByteArray("new"));

        QTx::QCheckedFile appending(name);
        ASSERT_TRUE(appending.open(QIODevice::WriteOnly | QIODevice::Append));
        appending.write("er");
        appending.close();
        EXPECT_EQ(read(name), QByteArray("newer"));
        EXPECT_EQ(answerer.seen.size(), 2u);
    }
    {
        BoxAnswerer answerer({ Reply::No });
        EXPECT_FALSE(QTx::QCheckedFile::openCheck(name, QIODevice::ReadWrite));
        EXPECT_EQ(answerer.seen.size(), 1u);
    }
}

TEST_F(QTxCheckedFileTest, MissingDirectoryIsMadeWhenTheUserAgrees)
{
    const QString directory = path(QStringLiteral("a/b/c"));
    const QString name = directory + QStringLiteral("/new.txt");

    BoxAnswerer answerer({ Reply::Return, Reply::Yes });
    QTx::QCheckedFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_TRUE(QDir(directory).exists());
    file.write("x");
    file.close();
    EXPECT_EQ(read(name), QByteArray("x"));

    ASSERT_EQ(answerer.seen.size(), 1u);
    const SeenBox& box = answerer.seen[0];
    EXPECT_EQ(box.caption, QStringLiteral("Directory does not exist"));
    EXPECT_EQ(box.text, QStringLiteral("The directory \"") + directory
                            + QStringLiteral("\" does not exist.  Do you want to create it?"));
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.defaultButton, QMessageBox::Yes);
    EXPECT_EQ(box.escapeButton, QMessageBox::No);

    // The same through openCheck alone, answering Yes with the button.
    const QString other = path(QStringLiteral("d/e/f.txt"));
    EXPECT_TRUE(QTx::QCheckedFile::openCheck(other, QIODevice::WriteOnly));
    EXPECT_TRUE(QDir(path(QStringLiteral("d/e"))).exists());
    EXPECT_FALSE(QFile::exists(other));
}

TEST_F(QTxCheckedFileTest, MissingDirectoryRefusedMakesNothing)
{
    const QString name = path(QStringLiteral("x/y/new.txt"));
    for (Reply reply : { Reply::No, Reply::Escape }) {
        BoxAnswerer answerer({ reply });
        QTx::QCheckedFile file(name);
        EXPECT_FALSE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(answerer.seen.size(), 1u);
        EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("x"))));
    }
}

TEST_F(QTxCheckedFileTest, UncreatableDirectoryShowsTheErrorBox)
{
    // Below a regular file no directory can be made, not even by root.
    const QString blocker = path(QStringLiteral("plain"));
    write(blocker, "file");
    const QString directory = blocker + QStringLiteral("/sub");

    BoxAnswerer answerer({ Reply::Yes, Reply::Ok });
    QTx::QCheckedFile file(directory + QStringLiteral("/new.txt"));
    EXPECT_FALSE(file.open(QIODevice::WriteOnly));
    EXPECT_FALSE(file.isOpen());

    ASSERT_EQ(answerer.seen.size(), 2u);
    const SeenBox& box = answerer.seen[1];
    EXPECT_EQ(box.caption, QStringLiteral("Error"));
    EXPECT_EQ(box.text, QStringLiteral("Cannot create directory \"") + directory + QStringLiteral(".\""));
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box.defaultButton, QMessageBox::Ok);
    EXPECT_EQ(read(blocker), QByteArray("file"));
}

TEST_F(QTxCheckedFileTest, ReadOnlyOpensNeverAsk)
{
    const QString existing = path(QStringLiteral("existing.txt"));
    write(existing, "data");
    BoxAnswerer answerer({});

    QTx::QCheckedFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("data"));

    QTx::QCheckedFile missing(path(QStringLiteral("no/such/file")));
    EXPECT_FALSE(missing.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QTx::QCheckedFile::openCheck(path(QStringLiteral("no/such/file")), QIODevice::ReadOnly));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("no"))));

    QCoreApplication::processEvents();
    EXPECT_TRUE(answerer.seen.empty());
}

TEST_F(QTxCheckedFileTest, BoxesBelongToTheMainWidgetsWindow)
{
    QWidget window;
    auto* inner = new QWidget(&window);
    QTx::setMainWidget(inner);
    const QString name = path(QStringLiteral("existing.txt"));
    write(name, "data");

    BoxAnswerer answerer({ Reply::No });
    EXPECT_FALSE(QTx::QCheckedFile::openCheck(name, QIODevice::WriteOnly));
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].parent, &window);
    QTx::setMainWidget(nullptr);
}

} // namespace
