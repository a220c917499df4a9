#include "host/worker_pool.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "glue/thread_local.h"
#include "values/runtime.h"
#include "vm/task.h"
#include "vm/thread_job.h"

namespace trvhost {

namespace {

void work(trv_runtime& runtime) {
  trv_thread_job job;
  while (trv_thread_pool_take(runtime.thread_pool, job)) trv_thread_job_run(job);
  trv_get_thread_local().runtime_state = nullptr;
}

}  // namespace

worker_pool::worker_pool(trv_runtime& runtime, unsigned count) : runtime_(runtime) {
  trv_thread_pool_set_stopping(runtime_.thread_pool, false);
  try {
    threads_.reserve(count);
    for (unsigned i = 0; i < count; ++i) threads_.emplace_back(work, std::ref(runtime_));
  } catch (const std::exception& error) {
    // The workers already started must be joined: a joinable thread destroyed ends the process.
    stop();
    throw std::runtime_error("cannot start " + std::to_string(count) + " worker threads (" +
                             std::to_string(threads_.size()) + " started): " + error.what());
  }
}

worker_pool::~worker_pool() { stop(); }

void worker_pool::stop() {
  trv_thread_pool_set_stopping(runtime_.thread_pool, true);
  for (std::thread& thread : threads_) thread.join();
  trv_thread_pool_set_stopping(runtime_.thread_pool, false);
}

unsigned worker_pool::default_count() {
  return std::min(max_count(), std::max(2u, std::thread::hardware_concurrency()));
}

unsigned worker_pool::max_count() { return trv_thread_pool::capacity; }

size_t consume_completions(trv_runtime& runtime) {
  size_t consumed = 0;
  trv_completion done;
  while (trv_completion_ring_pop(runtime.completions, done)) {
    // What the job captured goes before its task wakes: letting go of it may finish the job's
    // work on this thread (an in-place edit of a string).
    done.callback = nullptr;
    if (trv_task* task = done.task.get()) trv_task_wake(*task);
    done = trv_completion{};
    ++consumed;
  }
  return consumed;
}

bool jobs_outstanding(const trv_runtime& runtime) {
  return runtime.thread_pool.jobs_out.load(std::memory_order_acquire) != 0 ||
         !trv_completion_ring_empty(runtime.completions);
}

}  // namespace trvhost
