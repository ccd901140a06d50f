// TRELLIS_ASAN is defined when the build runs under AddressSanitizer (GCC or Clang), and
// then the sanitizer's interface for marking memory is included.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TRELLIS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRELLIS_ASAN 1
#endif
#endif

#ifdef TRELLIS_ASAN
#include <sanitizer/asan_interface.h>
#endif
