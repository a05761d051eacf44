#include "QTxCheckedFile.h"

#include "QTxFiles.h"
#include "QTxServices.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

namespace {

QWidget* messageBoxParent()
{
    QWidget* main = QTx::mainWidget();
    return main ? main->window() : nullptr;
}

// A modal box built by hand so that the default and Escape buttons are
// exactly the ones asked for.
QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& caption,
                                const QString& text, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton,
                                QMessageBox::StandardButton escapeButton)
{
    QMessageBox box(icon, caption, text, buttons, messageBoxParent());
    box.setDefaultButton(defaultButton);
    if (escapeButton != QMessageBox::NoButton)
        box.setEscapeButton(escapeButton);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? box.standardButton(clicked) : escapeButton;
}

bool writes(QIODevice::OpenMode mode)
{
    return mode & (QIODevice::WriteOnly | QIODevice::Append | QIODevice::NewOnly);
}

} // namespace

namespace QTx {

QCheckedFile::QCheckedFile(const QString& name)
    : QFile(name)
{
}

QCheckedFile::~QCheckedFile() = default;

bool QCheckedFile::open(QIODevice::OpenMode mode)
{
    if (!openCheck(fileName(), mode))
        return false;
    return QFile::open(mode);
}

bool QCheckedFile::openCheck(const QString& name, QIODevice::OpenMode mode)
{
    if (writes(mode) && QFile::exists(name)) {
        const QString text = QStringLiteral("The file \"") + name
                             + QStringLiteral("\" already exists.\nDo you want to overwrite \"")
                             + name + QStringLiteral("\"?");
        if (ask(QMessageBox::Warning, QStringLiteral("Warning"), text,
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::No)
            == QMessageBox::No)
            return false;
    }

    const QDir dir(QFileInfo(name).path(), QString(), QDir::IgnoreCase,
                   QDir::Dirs | QDir::Files | QDir::Drives);
    if (!writes(mode))
        return true;
    if (dir.exists())
        return true;

    const QString text = QStringLiteral("The directory \"") + dir.path()
                         + QStringLiteral("\" does not exist.  Do you want to create it?");
    if (ask(QMessageBox::Warning, QStringLiteral("Directory does not exist"), text,
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No)
        == QMessageBox::No)
        return false;

    if (makeDir(dir))
        return true;

    ask(QMessageBox::Critical, QStringLiteral("Error"),
        QStringLiteral("Cannot create directory \"") + dir.path() + QStringLiteral(".\""),
        QMessageBox::Ok, QMessageBox::Ok, QMessageBox::NoButton);
    return false;
}

} // namespace QTx
