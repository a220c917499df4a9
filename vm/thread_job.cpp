#include "vm/thread_job.h"

#include <chrono>
#include <exception>
#include <thread>
#include <utility>

#include "glue/log.h"
#include "glue/thread_local.h"
#include "values/assign.h"
#include "values/runtime.h"
#include "values/runtime_lock.h"
#include "vm/task.h"
#include "vm/vm_context.h"

namespace {

// Calls the callback and sets the result variable to its value. Nothing the callback throws
// leaves: it is logged and the result stays as it was (none).
void run_callback(trv_thread_callback& callback, trvvar& result) {
  try {
    trvvar_shared value = callback();
    if (value) {
      trvvar_set(result, value);
      result.flags |= TRVVAR_FLAG_SHARE_ON_ASSIGN;
    }
  } catch (const std::exception& error) {
    trv_log(TRV_LOG_ERROR, "return_thread callback threw an exception: ", error.what());
  } catch (...) {
    trv_log(TRV_LOG_ERROR, "return_thread callback threw an unknown exception");
  }
}

// Waits, with the runtime unlocked for other threads, until the pool takes the job. False when
// it cannot: the pool and the completion ring are full at once, and this thread, the ring's
// consumer, is the one waiting, so the workers cannot hand back the jobs they hold and take
// new ones. The ring is looked at before the pool: while this thread waits it only fills, so
// a ring full before a refused submission was full with the pool, whereas a pool found full
// before a long wait may have emptied since.
bool submit_when_room(trv_runtime& rt, trv_thread_local& tl, trv_thread_job& job) {
  // Logged once per job, not per attempt.
  trv_log(TRV_LOG_WARNING, "Thread pool overload, waiting for free worker threads...");
  trv_runtime_unlock_scope unlocked(rt, tl);
  for (;;) {
    const bool ring_full = trv_completion_ring_full(rt.completions);
    if (trv_thread_pool_submit(rt.thread_pool, job)) return true;
    if (ring_full) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(trv_overload_retry_microseconds));
  }
}

}  // namespace

trvvar_shared trv_vm_context::return_thread(std::function<trvvar_shared()> callback,
                                            bool first_flag, bool second_flag) {
  trv_thread_local& tl = trv_get_thread_local();
  trvvar_shared result = trvvar_new(trv_owned_runtime(tl));
  trv_runtime* const rt = task != nullptr ? task->runtime : nullptr;
  if (rt == nullptr) {
    // No task that could wait for the value (a native called outside any script): the job
    // runs here, so that the caller never reads a variable a worker is still writing.
    if (callback) run_callback(callback, *result);
    return result;
  }
  trv_thread_job job;
  job.runtime = rt;
  job.callback = std::move(callback);
  job.result = result;
  job.task = trvptr_strong<trv_task>::from(task);
  job.scope = trvptr_strong<trv_task>::from(scope);
  job.flags = static_cast<uint8_t>((first_flag ? trv_job_flag_first : 0) |
                                   (second_flag ? trv_job_flag_second : 0));
  task->thread_job.fetch_add(1, std::memory_order_acq_rel);
  if (!trv_thread_pool_submit(rt->thread_pool, job) && !submit_when_room(*rt, tl, job)) {
    // The job runs here, and the caller goes on with its value.
    task->thread_job.fetch_sub(1, std::memory_order_acq_rel);
    run_callback(job.callback, *result);
    return result;
  }
  // Marked before any completion can be consumed: that happens on this thread, later.
  trv_task_wait(*this);
  return result;
}

void trv_thread_job_run(trv_thread_job& job) {
  trv_runtime* const rt = job.runtime;
  trv_thread_local& tl = trv_get_thread_local();
  tl.runtime_state = rt;
  tl.name = rt->name;
  if (job.result && job.callback) run_callback(job.callback, *job.result);
  trv_task* const task = job.task.get();
  trv_completion done{std::move(job.task), std::move(job.scope), std::move(job.result),
                      std::move(job.callback), job.flags};
  job = trv_thread_job{};
  trv_completion_ring_push(rt->completions, std::move(done));
  // From here the task may be released by the consumer; its destruction waits for this count.
  if (task != nullptr) task->thread_job.fetch_sub(1, std::memory_order_acq_rel);
  rt->thread_pool.jobs_out.fetch_sub(1, std::memory_order_acq_rel);
  if (rt->wake_up) rt->wake_up();
}
