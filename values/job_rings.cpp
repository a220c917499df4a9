#include "values/job_rings.h"

#include <algorithm>

#include "glue/brief_spin.h"
#include "glue/platform/cpu_pause.h"

namespace {

constexpr uint8_t slot_free = 0;
constexpr uint8_t slot_writing = 1;
constexpr uint8_t slot_filled = 2;

// Takes a slot's state from `from` to `to`, spinning while another thread holds it.
void claim_state(std::atomic<uint8_t>& state, uint8_t from, uint8_t to) {
  uint8_t expected = from;
  while (!state.compare_exchange_weak(expected, to, std::memory_order_acquire,
                                      std::memory_order_relaxed)) {
    expected = from;
    trv_cpu_pause();
  }
}

}  // namespace

bool trv_thread_pool_submit(trv_thread_pool& pool, trv_thread_job& job) {
  uint64_t position = pool.write.load(std::memory_order_relaxed);
  do {
    // Signed: another submitter may have moved both counters past a stale `position`.
    const auto queued = static_cast<int64_t>(position - pool.read.load(std::memory_order_acquire));
    if (queued >= static_cast<int64_t>(trv_thread_pool::capacity)) return false;
  } while (!pool.write.compare_exchange_weak(position, position + 1, std::memory_order_acq_rel,
                                             std::memory_order_relaxed));
  trv_thread_pool::slot& slot = pool.slots[position % trv_thread_pool::capacity];
  // The worker that claimed this slot's previous job may not have moved it out yet.
  claim_state(slot.state, slot_free, slot_writing);
  slot.job = std::move(job);
  pool.jobs_out.fetch_add(1, std::memory_order_acq_rel);
  slot.state.store(slot_filled, std::memory_order_release);
  const uint32_t pending = pool.pending.fetch_add(1, std::memory_order_acq_rel) + 1;
  uint32_t wake = 0;
  {
    // Taken even when nobody sleeps: a worker that found nothing pending is either asleep
    // before this lock is ours, or sees the new count when it checks again under it.
    std::lock_guard lock(pool.mutex);
    wake = std::min(pending, pool.sleeping);
  }
  for (uint32_t i = 0; i < wake; ++i) pool.work_available.notify_one();
  return true;
}

bool trv_thread_pool_take(trv_thread_pool& pool, trv_thread_job& job) {
  for (;;) {
    uint32_t pending = pool.pending.load(std::memory_order_acquire);
    while (pending != 0) {
      if (!pool.pending.compare_exchange_weak(pending, pending - 1, std::memory_order_acq_rel,
                                              std::memory_order_acquire)) {
        continue;
      }
      // One filled slot is ours; take the next position in ring order. Its submitter may still
      // be writing it, and when a later lap's job lands in the same slot first, the two
      // claimers take each other's job: every filled slot is still taken exactly once.
      const uint64_t position = pool.read.fetch_add(1, std::memory_order_acq_rel);
      trv_thread_pool::slot& slot = pool.slots[position % trv_thread_pool::capacity];
      claim_state(slot.state, slot_filled, slot_writing);
      job = std::move(slot.job);
      slot.state.store(slot_free, std::memory_order_release);
      return true;
    }
    if (trv_brief_spin([&pool] { return pool.pending.load(std::memory_order_acquire) != 0; })) {
      continue;
    }
    std::unique_lock lock(pool.mutex);
    if (pool.pending.load(std::memory_order_acquire) != 0) continue;
    if (pool.stopping) return false;
    ++pool.sleeping;
    pool.work_available.wait(lock, [&pool] {
      return pool.stopping || pool.pending.load(std::memory_order_acquire) != 0;
    });
    --pool.sleeping;
  }
}

void trv_thread_pool_set_stopping(trv_thread_pool& pool, bool stopping) {
  {
    std::lock_guard lock(pool.mutex);
    pool.stopping = stopping;
  }
  pool.work_available.notify_all();
}

uint32_t trv_thread_pool_queued(const trv_thread_pool& pool) {
  return pool.pending.load(std::memory_order_acquire);
}

void trv_completion_ring_push(trv_completion_ring& ring, trv_completion&& record) {
  const uint64_t position = ring.write.fetch_add(1, std::memory_order_acq_rel);
  trv_completion_ring::slot& slot = ring.slots[position % trv_completion_ring::capacity];
  claim_state(slot.state, slot_free, slot_writing);
  slot.record = std::move(record);
  slot.state.store(slot_filled, std::memory_order_release);
}

bool trv_completion_ring_pop(trv_completion_ring& ring, trv_completion& record) {
  trv_completion_ring::slot& slot = ring.slots[ring.read % trv_completion_ring::capacity];
  if (slot.state.load(std::memory_order_acquire) != slot_filled) return false;
  record = std::move(slot.record);
  slot.record = trv_completion{};
  slot.state.store(slot_free, std::memory_order_release);
  ++ring.read;
  return true;
}

bool trv_completion_ring_full(const trv_completion_ring& ring) {
  return ring.write.load(std::memory_order_acquire) - ring.read >= trv_completion_ring::capacity;
}

bool trv_completion_ring_empty(const trv_completion_ring& ring) {
  return ring.write.load(std::memory_order_acquire) == ring.read;
}

void trv_job_rings_clear(trv_thread_pool& pool, trv_completion_ring& ring) {
  for (trv_thread_pool::slot& slot : pool.slots) {
    slot.job = trv_thread_job{};
    slot.state.store(slot_free, std::memory_order_relaxed);
  }
  pool.pending.store(0, std::memory_order_relaxed);
  pool.jobs_out.store(0, std::memory_order_relaxed);
  pool.read.store(pool.write.load(std::memory_order_relaxed), std::memory_order_relaxed);
  for (trv_completion_ring::slot& slot : ring.slots) {
    slot.record = trv_completion{};
    slot.state.store(slot_free, std::memory_order_relaxed);
  }
  ring.read = ring.write.load(std::memory_order_relaxed);
}
