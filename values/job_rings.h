#pragma once

// The two rings between the threads that run script code and the worker threads.
//
// A native function hands long work to a worker with trv_vm_context::return_thread
// (vm/thread_job.h): the job goes into the thread pool's ring of 1024 slots, a worker of the
// host takes it in ring order and runs it, and its outcome goes into the completion ring of
// 1024 records, which the owner of the runtime consumes to resume the waiting tasks. Neither
// ring allocates: producers block only while a ring is full.
//
// Every slot carries a state byte: 0 free, 1 being written, 2 filled. Positions are 64-bit
// counters that never wrap in practice; a position's slot is the position modulo 1024.
//
// Counts of variables and object pointers are plain integers, so a job's references (its
// result variable, task, scope and whatever its callback captured) are made on the owner's
// thread, travel through both rings untouched, and are dropped again on the owner's thread when
// it consumes the completion. A worker only moves them.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "glue/object_ptr.h"
#include "values/return_ring.h"
#include "values/var.h"

struct trv_runtime;
struct trv_task;

using trv_thread_callback = std::function<trvvar_shared()>;

// Bits of a job's flags: the two flags given to return_thread, carried to the completion
// record for the host; the module gives them no meaning.
inline constexpr uint8_t trv_job_flag_first = 1;
inline constexpr uint8_t trv_job_flag_second = 2;

struct trv_thread_job {
  trv_runtime* runtime = nullptr;
  trv_thread_callback callback;
  trvvar_shared result;           // the waiting frame holds the other reference
  trvptr_strong<trv_task> task;   // the task whose frame waits; empty for a job without one
  trvptr_strong<trv_task> scope;  // the task of that frame's global scope
  uint8_t flags = 0;
};

// A finished job. The spent callback rides along so that what it captured is released by the
// consumer, on the owner's thread, before the task wakes: a job may leave work for that
// release (an in-place edit of the receiver, which only the owner's thread may touch).
struct trv_completion {
  trvptr_strong<trv_task> task;
  trvptr_strong<trv_task> scope;
  trvvar_shared result;
  trv_thread_callback callback;
  uint8_t flags = 0;
};

struct trv_thread_pool {
  static constexpr uint32_t capacity = 1024;
  struct slot {
    std::atomic<uint8_t> state{0};
    trv_thread_job job;
  };

  alignas(trv_cache_line) std::atomic<uint64_t> write{0};  // positions submitters reserved
  alignas(trv_cache_line) std::atomic<uint64_t> read{0};   // positions workers took
  std::atomic<uint32_t> pending{0};                        // filled slots no worker has claimed yet
  std::atomic<uint32_t> jobs_out{0};  // submitted jobs whose completion is not yet in the ring
  // Sleeping workers wait here for pending jobs; sleeping and stopping are under the mutex.
  std::mutex mutex;
  std::condition_variable work_available;
  uint32_t sleeping = 0;
  bool stopping = false;
  slot slots[capacity];
};

// Moves the job into the next slot; false (the job left as it was) while 1024 jobs are queued.
// Wakes as many sleeping workers as there are pending jobs.
bool trv_thread_pool_submit(trv_thread_pool& pool, trv_thread_job& job);
// A worker's wait for the next job in ring order. False once the pool is stopping and no job
// is pending.
bool trv_thread_pool_take(trv_thread_pool& pool, trv_thread_job& job);
// Makes sleeping workers (and those that come to sleep) leave trv_thread_pool_take once no job
// is pending; false undoes it.
void trv_thread_pool_set_stopping(trv_thread_pool& pool, bool stopping);
// Jobs queued and not yet taken by a worker.
uint32_t trv_thread_pool_queued(const trv_thread_pool& pool);

struct trv_completion_ring {
  static constexpr uint32_t capacity = 1024;
  struct slot {
    std::atomic<uint8_t> state{0};
    trv_completion record;
  };

  alignas(trv_cache_line) std::atomic<uint64_t> write{0};  // positions workers claimed
  alignas(trv_cache_line) uint64_t read = 0;               // the consumer's; owner only
  slot slots[capacity];
};

// Claims the next position and moves the record in, waiting while the consumer has not yet
// emptied that slot (the ring is full).
void trv_completion_ring_push(trv_completion_ring& ring, trv_completion&& record);
// The owner's: moves the oldest ready record out; false when the next one is not ready.
bool trv_completion_ring_pop(trv_completion_ring& ring, trv_completion& record);
// Whether no worker has claimed a position the consumer has not taken.
bool trv_completion_ring_empty(const trv_completion_ring& ring);
// Whether the records not yet taken fill the ring, so that a worker finishing a job waits for
// the consumer.
bool trv_completion_ring_full(const trv_completion_ring& ring);

// The owner's, with no worker running: drops every queued job and unconsumed completion.
void trv_job_rings_clear(trv_thread_pool& pool, trv_completion_ring& ring);
