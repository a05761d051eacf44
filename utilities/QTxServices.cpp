#include "QTxServices.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QWidget>

namespace {

QPointer<QWidget> s_mainWidget;

} // namespace

namespace QTx {

void setMainWidget(QWidget* widget)
{
    s_mainWidget = widget;
}

QWidget* mainWidget()
{
    return s_mainWidget.data();
}

bool isAncestor(QWidget* widget, QWidget* candidate)
{
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (w == candidate)
            return true;
    }
    return false;
}

int wheelScrollLines()
{
    return QApplication::wheelScrollLines();
}

void soundAlert()
{
}

bool openSystemBrowser(const QString& url)
{
    Q_UNUSED(url);
    return false;
}

bool sendMail(const QString& recipient, const QString& subject, const QString& body)
{
    const QString link = QStringLiteral("mailto:") + recipient + QStringLiteral("?subject=")
                         + subject + QStringLiteral("&body=") + body;
    Q_UNUSED(link);
    return false;
}

void openInExplorer(const QString& path)
{
    Q_UNUSED(path);
}

void getVolumeInformation(const QString& path, QString& name, VolumeType& type)
{
    Q_UNUSED(QDir::toNativeSeparators(path));
    name = QString();
    type = UnknownVolume;
}

} // namespace QTx
