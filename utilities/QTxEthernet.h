#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <list>

/**
 * The machine's Ethernet (hardware) address, for identifying the machine.
 */
namespace QTx {

/**
 * Writes to @p destination the 6-byte hardware address of the first network
 * interface (in the order the system lists its IPv4 addresses) that has an
 * IPv4 address, is not the loopback and has a hardware address.
 * @return true when an address was found and written; false, with
 *         @p destination untouched, when no interface has one or the list
 *         cannot be read.
 */
SVNSCC_UTILITIES_EXPORT bool getEthernetAddress(unsigned char* destination);

/**
 * Appends at most one address to @p addresses: a new unsigned char[6] filled
 * by getEthernetAddress, which the list's owner then frees with delete[].
 * Appends nothing when getEthernetAddress fails.
 */
SVNSCC_UTILITIES_EXPORT void getEthernetAddresses(std::list<unsigned char*>& addresses);

} // namespace QTx
