#pragma once

// Defines SVNSCC_UNDER_ASAN when the build runs under AddressSanitizer
// (clang reports it through __has_feature, gcc through __SANITIZE_ADDRESS__).

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SVNSCC_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(SVNSCC_UNDER_ASAN)
#define SVNSCC_UNDER_ASAN 1
#endif
