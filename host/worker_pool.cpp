#include "host/worker_pool.h"

#include <algorithm>

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
  threads_.reserve(count);
  for (unsigned i = 0; i < count; ++i) threads_.emplace_back(work, std::ref(runtime_));
}

worker_pool::~worker_pool() {
  trv_thread_pool_set_stopping(runtime_.thread_pool, true);
  for (std::thread& thread : threads_) thread.join();
  trv_thread_pool_set_stopping(runtime_.thread_pool, false);
}

unsigned worker_pool::default_count() { return std::max(2u, std::thread::hardware_concurrency()); }

size_t consume_completions(trv_runtime& runtime) {
  size_t consumed = 0;
  trv_completion done;
  while (trv_completion_ring_pop(runtime.completions, done)) {
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
