#pragma once

// Defines SVNSCC_UNDER_ASAN or SVNSCC_UNDER_TSAN when the build runs under
// AddressSanitizer or ThreadSanitizer (clang reports them through
// __has_feature, gcc through __SANITIZE_ADDRESS__ and __SANITIZE_THREAD__).

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SVNSCC_UNDER_ASAN 1
#endif
#if __has_feature(thread_sanitizer)
#define SVNSCC_UNDER_TSAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(SVNSCC_UNDER_ASAN)
#define SVNSCC_UNDER_ASAN 1
#endif
#if defined(__SANITIZE_THREAD__) && !defined(SVNSCC_UNDER_TSAN)
#define SVNSCC_UNDER_TSAN 1
#endif
