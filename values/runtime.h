#pragma once

// The runtime shared by the threads of one script runtime. The host creates it and points the
// runtime_state of each thread that runs script code at it. One thread owns it at a time: the
// one holding its lock (runtime_lock.h), recorded as owner_thread_id. Only the owner touches
// the pools; every other thread allocates from the heap and returns pooled elements through
// the pools' return rings (pooled.h). The owner drains the rings and processes the
// deferred-destroy list at points of the host's choosing.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "glue/object_ptr.h"
#include "glue/thread_local.h"
#include "values/job_rings.h"
#include "values/pool.h"
#include "values/return_ring.h"
#include "values/waiting_list.h"

class trv_log_base;
class trvobject_base;
struct trv_task;

struct trv_runtime_pool {
  trv_pool pool;
  trv_return_ring ring;
};

struct trv_runtime {
  // 0 while nobody owns the runtime. Written only by the thread taking or giving back the lock;
  // other threads read it to learn that they are not the owner.
  std::atomic<uint32_t> owner_thread_id{0};
  std::mutex lock;
  trvptr_strong<trv_log_base> log;
  std::string name;                        // worker threads copy it into their own thread state
  trv_runtime_pool pools[trv_pool_count];  // in trv_pool_id order
  // Objects whose teardown had to wait because a native call on them was still running on
  // another thread; the owner destroys them later.
  std::vector<trvptr_strong<trvobject_base>> deferred_destroy;
  // Scheduling (vm/task.h): tasks ordered by eta as a heap, earliest first (equal etas in the
  // order they were scheduled, counted by schedule_count); tasks whose frame waits for a value
  // from another thread; and what wakes the host's loop when a task becomes due at once
  // (empty: nothing to wake).
  std::vector<trvptr_strong<trv_task>> schedule_heap;
  uint64_t schedule_count = 0;
  trv_waiting_list waiting;
  std::function<void()> wake_up;
  // Script class instances (objects/script_class.h) made on this runtime and not yet
  // destroyed. Those still here when the runtime goes are kept alive by a reference cycle (or
  // by a destructor that never finished): the runtime releases them before its pools go.
  std::unordered_set<trvptr_base_internal*> script_instances;
  // Work handed to worker threads (values/job_rings.h): the thread pool's ring of queued jobs,
  // which the host's workers take, and the ring of finished jobs, which the owner consumes.
  trv_thread_pool thread_pool;
  trv_completion_ring completions;

  trv_runtime() = default;
  // Run on a thread that may own the runtime while no other thread uses it. The calling thread
  // owns the runtime for the duration: deferred objects are destroyed, elements still in the
  // return rings go back to their pools, and every object the pools constructed is destroyed.
  // Every element must have been released by then (checked in debug builds).
  ~trv_runtime();
  trv_runtime(const trv_runtime&) = delete;
  trv_runtime& operator=(const trv_runtime&) = delete;
};

// The calling thread's runtime when the thread owns it, else null.
inline trv_runtime* trv_owned_runtime(const trv_thread_local& tl) {
  trv_runtime* rt = tl.runtime_state;
  return rt != nullptr && rt->owner_thread_id.load(std::memory_order_relaxed) == tl.thread_id
             ? rt
             : nullptr;
}

// The operations below are the owner's: the calling thread must own the runtime and have it as
// its runtime_state.

// Frees into their pools the elements other threads returned through the rings; returns how
// many.
size_t trv_runtime_drain_returns(trv_runtime& rt);
// Destroys the deferred objects that are no longer in use; the others stay queued.
void trv_runtime_process_deferred(trv_runtime& rt);
// Whether every element of every pool is back in its pool.
bool trv_runtime_pools_empty(const trv_runtime& rt);
