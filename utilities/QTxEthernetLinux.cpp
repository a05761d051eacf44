// The hardware address from the Linux interface list: getifaddrs reports each
// interface's IPv4 addresses as AF_INET entries and its link-layer address as
// an AF_PACKET entry of the same name.

#include "QTxEthernet.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

const int hardwareAddressSize = 6;

struct InterfaceListFree
{
    void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

// An all-zero address (tunnels, dummies) identifies nothing.
bool isHardwareAddress(const sockaddr_ll* link)
{
    if (link->sll_halen != hardwareAddressSize)
        return false;
    return std::any_of(link->sll_addr, link->sll_addr + hardwareAddressSize,
                       [](unsigned char b) { return b != 0; });
}

} // namespace

namespace QTx {

bool getEthernetAddress(unsigned char* destination)
{
    ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0)
        return false;
    std::unique_ptr<ifaddrs, InterfaceListFree> list(raw);
    // As the lookup through IPv4 interfaces does: the first interface that
    // has an IPv4 address, then its hardware address.
    for (const ifaddrs* inet = raw; inet; inet = inet->ifa_next) {
        if (!inet->ifa_addr || inet->ifa_addr->sa_family != AF_INET || (inet->ifa_flags & IFF_LOOPBACK))
            continue;
        for (const ifaddrs* entry = raw; entry; entry = entry->ifa_next) {
            if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET
                || std::strcmp(entry->ifa_name, inet->ifa_name) != 0)
                continue;
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            if (!isHardwareAddress(link))
                continue;
            std::memcpy(destination, link->sll_addr, hardwareAddressSize);
            return true;
        }
    }
    return false;
}

void getEthernetAddresses(std::list<unsigned char*>& addresses)
{
    std::unique_ptr<unsigned char[]> address(new unsigned char[hardwareAddressSize]);
    if (getEthernetAddress(address.get()))
        addresses.push_back(address.release());
}

} // namespace QTx
