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

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct Ink { int pixels = 0, left = 1000, right = -1; };

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
    QTx::BoldMenuItem item("&Wide", plain);

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

    // Sized for the bold text without its ampersand; a font handed over
    // later is ignored; without a font, the application's in bold.
    const QSize hint = item.sizeHint();
    EXPECT_NEAR(hint.width(), QFontMetrics(bold).horizontalAdvance("Wide"), 2);
    EXPECT_EQ(hint.height(), QFontMetrics(bold).height());
    item.setFont(QFont("Serif", 60));
    EXPECT_EQ(item.sizeHint(), hint);
    QFont applicationBold = QApplication::font();
    applicationBold.setWeight(QFont::Bold);
    EXPECT_NEAR(QTx::BoldMenuItem("Save &As").sizeHint().width(),
                QFontMetrics(applicationBold).horizontalAdvance("Save As"), 2);
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
    EXPECT_EQ(QTx::loadDLL("/nonexistent/libnothing.so"), nullptr);
    const char* error = QTx::getloadDLLerror();
    ASSERT_NE(error, nullptr);
    EXPECT_NE(std::strstr(error, "libnothing"), nullptr) << error;
    EXPECT_EQ(QTx::getloadDLLerror(), nullptr);

    void* libc = QTx::loadDLL("libc.so.6");
    ASSERT_NE(libc, nullptr) << QTx::getloadDLLerror();
    EXPECT_NE(QTx::getDLLAddress(libc, "strlen"), nullptr);
    EXPECT_EQ(QTx::getDLLAddress(libc, "no_such_symbol_here"), nullptr);
    EXPECT_NE(QTx::getloadDLLerror(), nullptr);
    EXPECT_EQ(QTx::unloadDLL(libc), 0);
}

// The interface list getifaddrs() gives the code under test: the test's own.
std::vector<ifaddrs> s_interfaces;

} // namespace

extern "C" int getifaddrs(ifaddrs** list)
{
    for (size_t i = 0; i < s_interfaces.size(); ++i)
        s_interfaces[i].ifa_next = i + 1 < s_interfaces.size() ? &s_interfaces[i + 1] : nullptr;
    *list = s_interfaces.empty() ? nullptr : s_interfaces.data();
    return 0;
}

extern "C" void freeifaddrs(ifaddrs*) {}

namespace {

TEST(QTxServicesTest, EthernetAddressIsThatOfTheFirstIPv4Interface)
{
    // An interface has an AF_INET entry per IPv4 address and an AF_PACKET
    // entry with its hardware address, in any order.
    sockaddr_in inet{};
    inet.sin_family = AF_INET;
    auto link = [](unsigned char first) {
        sockaddr_ll address{};
        address.sll_family = AF_PACKET;
        address.sll_halen = 6;
        std::fill(address.sll_addr, address.sll_addr + 6, first);
        return address;
    };
    sockaddr_ll zero = link(0), cable = link(0xc1), wireless = link(0xb2), unused = link(0xa3);
    auto entry = [](const char* name, const void* address, unsigned flags = IFF_UP) {
        ifaddrs e{};
        e.ifa_name = const_cast<char*>(name);
        e.ifa_addr = static_cast<sockaddr*>(const_cast<void*>(address));
        e.ifa_flags = flags;
        return e;
    };
    unsigned char address[6];
    std::memset(address, 0xEE, sizeof address);
    s_interfaces = {entry("lo", &zero, IFF_LOOPBACK), entry("lo", &inet, IFF_LOOPBACK), entry("spare", &unused),
                    entry("tun0", &inet), entry("tun0", &zero), entry("wlan0", &wireless), entry("eth0", &cable),
                    entry("eth0", &inet), entry("wlan0", &inet), entry("none", nullptr)};
    EXPECT_TRUE(QTx::getEthernetAddress(address));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(address), 6), QByteArray(6, '\xc1'));
    std::list<unsigned char*> addresses;
    QTx::getEthernetAddresses(addresses);
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_EQ(std::memcmp(addresses.back(), address, 6), 0);
    delete[] addresses.back();

    // No IPv4 interface but the loopback: nothing found, the buffer untouched.
    s_interfaces.resize(3);
    std::memset(address, 0xEE, sizeof address);
    EXPECT_FALSE(QTx::getEthernetAddress(address));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(address), 6), QByteArray(6, '\xEE'));
    addresses.clear();
    QTx::getEthernetAddresses(addresses);
    EXPECT_TRUE(addresses.empty());
    s_interfaces.clear();
}

} // namespace
