#pragma once

// The 100-nanosecond tick clock task times are measured with: monotonic, its epoch the
// system's (boot or process start), never adjusted by the wall clock.

#include <chrono>
#include <cstdint>

inline uint64_t trv_ticks() noexcept {
  using ticks = std::chrono::duration<uint64_t, std::ratio<1, 10000000>>;
  return std::chrono::duration_cast<ticks>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
