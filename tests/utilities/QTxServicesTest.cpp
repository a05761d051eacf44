#include "QTxBoldMenuItem.h"
#include "QTxDynamicLoading.h"
#include "QTxEthernet.h"
#include "QTxServices.h"

#include "QtPrinters.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

const int menuTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip | Qt::TextShowMnemonic;

struct Ink
{
    int pixels = 0, left = 1000, right = -1;
};

// Paints black on a white image with the given font and measures the ink.
template <typename Paint>
Ink paintInk(const QFont& font, Paint paint)
{
    QImage image(300, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.setFont(font);
    paint(painter);
    painter.end();
    Ink ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) {
                ++ink.pixels;
                ink.left = qMin(ink.left, x);
                ink.right = qMax(ink.right, x);
            }
    return ink;
}

Ink paintText(const QFont& font, const char* text)
{
    return paintInk(font, [&](QPainter& p) {
        p.drawText(10, 0, 280, 60, Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(text));
    });
}

TEST(QTxServicesTest, BoldMenuItemDrawsBoldTextWithoutTheAmpersand)
{
    QFont plain = QApplication::font();
    plain.setPixelSize(24);
    QFont bold = plain;
    bold.setWeight(QFont::Bold);
    QTx::BoldMenuItem item(QStringLiteral("&Wide"), plain);

    const Ink drawn = paintInk(plain, [&](QPainter& p) { item.paint(&p, QPalette(), true, false, 10, 0, 280, 60); });
    const Ink plainText = paintText(plain, "Wide");
    const Ink boldText = paintText(bold, "Wide");
    ASSERT_GT(plainText.pixels, 0) << "no font to draw with";
    // Bold: more ink than the plain font. No ampersand: the extent of bold
    // "Wide", short of the text with a visible ampersand; the extra ink over
    // bold "Wide" is the mnemonic underline.
    EXPECT_GT(drawn.pixels, plainText.pixels);
    EXPECT_GT(drawn.pixels, boldText.pixels);
    EXPECT_NEAR(drawn.left, boldText.left, 2);
    EXPECT_NEAR(drawn.right, boldText.right, 2);
    EXPECT_LT(drawn.right, paintText(bold, "&Wide").right - 5);

    // The bold version of the given font, other attributes kept; a font
    // handed over later is ignored.
    const QSize hint = item.sizeHint();
    EXPECT_GT(hint.width(), QFontMetrics(plain).size(menuTextFlags, QStringLiteral("&Wide")).width());
    EXPECT_EQ(hint, QFontMetrics(bold).size(menuTextFlags, QStringLiteral("&Wide")));
    plain.setItalic(true);
    bold.setItalic(true);
    EXPECT_EQ(QTx::BoldMenuItem(QStringLiteral("&Wide"), plain).sizeHint(),
              QFontMetrics(bold).size(menuTextFlags, QStringLiteral("&Wide")));
    item.setFont(QFont(QStringLiteral("Serif"), 60));
    EXPECT_EQ(item.sizeHint(), hint);
    EXPECT_FALSE(item.fullSpan());
    EXPECT_FALSE(item.isSeparator());

    QFont applicationBold = QApplication::font();
    applicationBold.setWeight(QFont::Bold);
    EXPECT_EQ(QTx::BoldMenuItem(QStringLiteral("Save &As")).sizeHint(),
              QFontMetrics(applicationBold).size(menuTextFlags, QStringLiteral("Save &As")));
}

TEST(QTxServicesTest, IsAncestorFollowsTheParentChain)
{
    QWidget window;
    auto* middle = new QWidget(&window);
    auto* child = new QWidget(middle);
    QWidget stranger;

    EXPECT_TRUE(QTx::isAncestor(&window, &window));
    EXPECT_TRUE(QTx::isAncestor(child, &window));
    EXPECT_FALSE(QTx::isAncestor(&window, child));
    EXPECT_FALSE(QTx::isAncestor(child, &stranger));
    EXPECT_FALSE(QTx::isAncestor(nullptr, &window));
    EXPECT_FALSE(QTx::isAncestor(nullptr, nullptr));
}

TEST(QTxServicesTest, MainWidgetIsHeldUntilDestroyed)
{
    EXPECT_EQ(QTx::mainWidget(), nullptr);
    {
        QWidget window;
        QTx::setMainWidget(&window);
        EXPECT_EQ(QTx::mainWidget(), &window);
    }
    EXPECT_EQ(QTx::mainWidget(), nullptr);
}

TEST(QTxServicesTest, DynamicLoading)
{
    QTx::getloadDLLerror(); // drop anything pending
    EXPECT_EQ(QTx::loadDLL(QStringLiteral("/nonexistent/libnothing.so")), nullptr);
    const char* error = QTx::getloadDLLerror();
    ASSERT_NE(error, nullptr);
    EXPECT_NE(std::strstr(error, "libnothing"), nullptr) << error;
    EXPECT_EQ(QTx::getloadDLLerror(), nullptr);

    void* libc = QTx::loadDLL(QStringLiteral("libc.so.6"));
    ASSERT_NE(libc, nullptr) << QTx::getloadDLLerror();
    EXPECT_NE(QTx::getDLLAddress(libc, QStringLiteral("strlen")), nullptr);
    EXPECT_EQ(QTx::getDLLAddress(libc, QStringLiteral("no_such_symbol_here")), nullptr);
    EXPECT_NE(QTx::getloadDLLerror(), nullptr);
    EXPECT_EQ(QTx::unloadDLL(libc), 0);
}

// The hardware address of the first interface (by index) that has an IPv4
// address and is no loopback, told by the kernel's own files and a plain
// SIOCGIFADDR; empty when there is none.
QByteArray firstIPv4HardwareAddress()
{
    QList<QPair<int, QString>> interfaces;
    const QDir net(QStringLiteral("/sys/class/net"));
    for (const QString& name : net.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        QFile index(net.filePath(name) + QStringLiteral("/ifindex"));
        if (index.open(QIODevice::ReadOnly))
            interfaces.append({index.readAll().trimmed().toInt(), name});
    }
    std::sort(interfaces.begin(), interfaces.end());
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    QByteArray result;
    for (const auto& entry : interfaces) {
        QFile flags(net.filePath(entry.second) + QStringLiteral("/flags"));
        QFile address(net.filePath(entry.second) + QStringLiteral("/address"));
        if (!flags.open(QIODevice::ReadOnly) || !address.open(QIODevice::ReadOnly)
            || (flags.readAll().trimmed().toInt(nullptr, 16) & IFF_LOOPBACK))
            continue;
        ifreq request {};
        std::strncpy(request.ifr_name, entry.second.toLatin1().constData(), IFNAMSIZ - 1);
        if (::ioctl(fd, SIOCGIFADDR, &request) != 0)
            continue;
        const QByteArray hardware = QByteArray::fromHex(address.readAll().trimmed().replace(':', ""));
        if (hardware.size() == 6 && hardware != QByteArray(6, '\0')) {
            result = hardware;
            break;
        }
    }
    ::close(fd);
    return result;
}

TEST(QTxServicesTest, EthernetAddressIsThatOfTheFirstIPv4Interface)
{
    unsigned char address[6];
    std::memset(address, 0xEE, sizeof address);
    const bool found = QTx::getEthernetAddress(address);
    const QByteArray expected = firstIPv4HardwareAddress();
    ASSERT_EQ(found, !expected.isEmpty());
    // Not found: the buffer is left as it was.
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(address), 6),
              found ? expected : QByteArray(6, '\xEE'));
    std::list<unsigned char*> addresses;
    QTx::getEthernetAddresses(addresses);
    ASSERT_EQ(addresses.size(), found ? 1u : 0u);
    if (found) {
        EXPECT_EQ(std::memcmp(addresses.back(), address, 6), 0);
        delete[] addresses.back();
    }
}

} // namespace
