#pragma once

// The return ring of a pool: how a thread that does not own the runtime gives a pooled element
// back without waiting. Any thread may push; only the owner of the runtime drains, freeing
// each element into its pool.
//
// head counts the positions producers have claimed and tail the positions the consumer has
// drained; each sits on a cache line of its own, so that producers and the consumer do not
// contend for one line. A producer claims a position by compare-and-swap on head, then stores
// its element into the position's slot by compare-and-swap from 0; the consumer takes slots
// from tail to head, clears them and advances tail. Counters wrap; their difference, read as
// signed 32 bits, is the fill.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "glue/platform/cpu_pause.h"

inline constexpr size_t trv_cache_line = 64;  // x86-64 and the common ARM64 cores

struct trv_return_ring {
  static constexpr uint32_t capacity = 16384;
  static constexpr uint32_t mask = capacity - 1;

  alignas(trv_cache_line) std::atomic<uint32_t> head{0};
  alignas(trv_cache_line) std::atomic<uint32_t> tail{0};
  alignas(trv_cache_line) std::atomic<void*> slots[capacity]{};
};

// The slot of a position. The position's two lowest 3-bit groups trade places, so consecutive
// positions land 8 slots (one 64-byte line) apart and pushes in a row do not share a line.
constexpr uint32_t trv_return_ring_slot(uint32_t position) {
  const uint32_t i = position & trv_return_ring::mask;
  const uint32_t j = ((i >> 3) ^ i) & 7;
  return (j * 8) ^ j ^ i;
}

// Entries pushed and not yet drained.
inline uint32_t trv_return_ring_size(const trv_return_ring& ring) {
  return ring.head.load(std::memory_order_acquire) - ring.tail.load(std::memory_order_acquire);
}

// Stores the element; false when the ring is full.
inline bool trv_return_ring_push(trv_return_ring& ring, void* element) {
  uint32_t head = ring.head.load(std::memory_order_relaxed);
  do {
    const uint32_t tail = ring.tail.load(std::memory_order_acquire);
    if (static_cast<int32_t>(head - tail) >= static_cast<int32_t>(trv_return_ring::capacity)) {
      return false;
    }
  } while (!ring.head.compare_exchange_weak(head, head + 1, std::memory_order_relaxed));
  // The slot still holds an element while the consumer of the previous lap has advanced the
  // tail but not yet cleared it.
  std::atomic<void*>& slot = ring.slots[trv_return_ring_slot(head)];
  void* expected = nullptr;
  while (!slot.compare_exchange_weak(expected, element, std::memory_order_release,
                                     std::memory_order_relaxed)) {
    while (slot.load(std::memory_order_relaxed) != nullptr) trv_cpu_pause();
    expected = nullptr;
  }
  return true;
}

// Frees every entry from tail towards head, in order, and returns how many. Stops early at a
// position whose producer has claimed it but not yet stored its element; the next drain
// continues there. Only the owner of the runtime drains.
template <class Free>
uint32_t trv_return_ring_drain(trv_return_ring& ring, Free&& free) {
  const uint32_t head = ring.head.load(std::memory_order_acquire);
  uint32_t tail = ring.tail.load(std::memory_order_relaxed);
  uint32_t drained = 0;
  for (; tail != head; ++tail, ++drained) {
    std::atomic<void*>& slot = ring.slots[trv_return_ring_slot(tail)];
    void* element = slot.load(std::memory_order_acquire);
    if (element == nullptr) break;
    free(element);
    slot.store(nullptr, std::memory_order_relaxed);
    ring.tail.store(tail + 1, std::memory_order_release);
  }
  return drained;
}
