#pragma once

// Telling the processor that the calling thread is spinning on a memory location, so that a
// sibling hardware thread gets the core's resources meanwhile. Elsewhere the thread yields.

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>

inline void trv_cpu_pause() noexcept { _mm_pause(); }
#else
#include <thread>

inline void trv_cpu_pause() noexcept { std::this_thread::yield(); }
#endif
