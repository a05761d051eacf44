#include "QTxCheckedFile.h"
#include "QTxServices.h"

#include "FileBytes.h"
#include "QtPrinters.h"

#include <QPushButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A reply is a button to click, or Escape / Return sent as a key.
using Reply = int;
constexpr Reply Escape = Qt::Key_Escape, Return = Qt::Key_Return;
constexpr Reply Yes = QMessageBox::Yes, No = QMessageBox::No, Ok = QMessageBox::Ok;

// What a box showed, its parent included, as one comparable line.
QString describe(const QString& caption, const QString& text, QMessageBox::Icon icon,
                 QMessageBox::StandardButtons buttons, int defaultButton, int escapeButton,
                 const QWidget* parent = nullptr)
{
    return QString("%1 | %2 | icon %3 | buttons %4 | default %5 | escape %6 | parent %7")
        .arg(caption, text).arg(int(icon)).arg(int(buttons)).arg(defaultButton).arg(escapeButton)
        .arg(quintptr(parent), 0, 16);
}

// Answers the message boxes that appear while it lives, in order, by polling
// for the active modal widget. A box beyond the planned replies gets Escape,
// so that a wrong expectation fails instead of hanging.
class BoxAnswerer
{
public:
    explicit BoxAnswerer(std::vector<Reply> script) : replies(std::move(script))
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(10);
    }

    QStringList seen;

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        // A later box may sit at the address of an earlier one: mark, not compare.
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        seen << describe(box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                         box->standardButton(box->defaultButton()),
                         box->escapeButton() ? box->standardButton(box->escapeButton()) : 0,
                         box->parentWidget());
        const Reply reply = size_t(seen.size()) <= replies.size() ? replies[seen.size() - 1] : Escape;
        if (reply == Escape || reply == Return) {
            QKeyEvent press(QEvent::KeyPress, reply, Qt::NoModifier);
            QApplication::sendEvent(box, &press);
        } else {
            box->button(QMessageBox::StandardButton(reply))->click();
        }
    }

    std::vector<Reply> replies;
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

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
};

QString overwrite(const QString& name, const QWidget* parent = nullptr)
{
    return describe("Warning",
                    QStringLiteral("The file \"%1\" already exists.\nDo you want to overwrite \"%1\"?").arg(name),
                    QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, No, No, parent);
}

TEST_F(QTxCheckedFileTest, TheOverwriteQuestion)
{
    const QString name = path("existing.txt");
    writeBytes(name, "keep me");
    for (Reply reply : { No, Escape, Return }) {
        BoxAnswerer answerer({ reply });
        QTx::QCheckedFile file(name);
        EXPECT_FALSE(file.open(QIODevice::WriteOnly));
        EXPECT_FALSE(file.isOpen());
        EXPECT_EQ(answerer.seen, QStringList(overwrite(name)));
    }
    EXPECT_EQ(readBytes(name), QByteArray("keep me"));

    { // With a main widget, the box belongs to its window.
        QWidget window;
        QTx::setMainWidget(new QWidget(&window));
        BoxAnswerer answerer({ No });
        EXPECT_FALSE(QTx::QCheckedFile::openCheck(name, QIODevice::ReadWrite));
        EXPECT_EQ(answerer.seen, QStringList(overwrite(name, &window)));
        QTx::setMainWidget(nullptr);
    }

    // Accepted: truncated; appending asks as well.
    BoxAnswerer accepting({ Yes, Yes });
    QTx::QCheckedFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("new");
    file.close();
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write("er");
    file.close();
    EXPECT_EQ(readBytes(name), QByteArray("newer"));
    EXPECT_EQ(accepting.seen.size(), 2);
}

TEST_F(QTxCheckedFileTest, TheMissingDirectoryQuestion)
{
    for (Reply reply : { No, Escape }) {
        BoxAnswerer answerer({ reply });
        QTx::QCheckedFile file(path("x/y/new.txt"));
        EXPECT_FALSE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(answerer.seen.size(), 1);
        EXPECT_FALSE(QFileInfo::exists(path("x")));
    }

    {
        const QString directory = path("a/b/c");
        BoxAnswerer answerer({ Return, Yes });
        QTx::QCheckedFile file(directory + "/new.txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.close();
        EXPECT_EQ(readBytes(directory + "/new.txt"), QByteArray("x"));
        EXPECT_EQ(answerer.seen,
                  QStringList(describe("Directory does not exist",
                                       QString("The directory \"%1\" does not exist.  Do you want to create it?")
                                           .arg(directory),
                                       QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, Yes, No)));
        // openCheck alone makes the directory but not the file.
        EXPECT_TRUE(QTx::QCheckedFile::openCheck(path("d/e/f.txt"), QIODevice::WriteOnly));
        EXPECT_TRUE(QDir(path("d/e")).exists());
        EXPECT_FALSE(QFile::exists(path("d/e/f.txt")));
    }

    // Below a regular file no directory can be made, not even by root: the error box.
    writeBytes(path("plain"), "file");
    BoxAnswerer failing({ Yes, Ok });
    QTx::QCheckedFile below(path("plain/sub/new.txt"));
    EXPECT_FALSE(below.open(QIODevice::WriteOnly));
    EXPECT_FALSE(below.isOpen());
    ASSERT_EQ(failing.seen.size(), 2);
    EXPECT_EQ(failing.seen[1], describe("Error", QString("Cannot create directory \"%1.\"").arg(path("plain/sub")),
                                        QMessageBox::Critical, QMessageBox::Ok, Ok, 0));
    EXPECT_EQ(readBytes(path("plain")), QByteArray("file"));
}

TEST_F(QTxCheckedFileTest, ReadOnlyOpensNeverAsk)
{
    writeBytes(path("existing.txt"), "data");
    BoxAnswerer answerer({});
    QTx::QCheckedFile file(path("existing.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("data"));

    QTx::QCheckedFile missing(path("no/such/file"));
    EXPECT_FALSE(missing.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QTx::QCheckedFile::openCheck(path("no/such/file"), QIODevice::ReadOnly));
    EXPECT_FALSE(QFileInfo::exists(path("no")));
    QCoreApplication::processEvents();
    EXPECT_TRUE(answerer.seen.empty());
}

} // namespace
