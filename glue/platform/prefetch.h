#pragma once

// Asking the processor to start loading the cache line at an address that will be read soon.
// Only a hint: it never faults, whatever the address. Compilers take a prefetch for an
// operation without effects: a function that does nothing but prefetch, left as a call, may
// be dropped, so such helpers must be small enough to be inlined.

#if defined(_MSC_VER) && !defined(__clang__)
#include <xmmintrin.h>

inline void trv_prefetch(const void* p) noexcept {
  _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
}
#else
inline void trv_prefetch(const void* p) noexcept { __builtin_prefetch(p); }
#endif
