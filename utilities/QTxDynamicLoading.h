#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QString>

/**
 * Shared libraries loaded at run time: thin wrappers over dlopen, dlsym,
 * dlclose and dlerror that pass the system's results through unchanged.
 * Names reach the system in their 8-bit form (toEightBit()).
 */
namespace QTx {

/**
 * Loads the library at @p path (dlopen with RTLD_LAZY).
 * @return its handle; null on failure, the reason then being available once
 *         from getloadDLLerror().
 */
SVNSCC_UTILITIES_EXPORT void* loadDLL(const QString& path);

/**
 * The text of the last dynamic-loading error (dlerror). Reading it clears it.
 * @return the message, or null when no error is pending.
 */
SVNSCC_UTILITIES_EXPORT const char* getloadDLLerror();

/**
 * @return the address of @p symbol in the library @p handle (dlsym); null
 *         when the library does not define it.
 */
SVNSCC_UTILITIES_EXPORT void* getDLLAddress(void* handle, const QString& symbol);

/** Releases a handle from loadDLL (dlclose). @return 0 on success. */
SVNSCC_UTILITIES_EXPORT int unloadDLL(void* handle);

} // namespace QTx
