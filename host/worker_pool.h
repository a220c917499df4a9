#pragma once

// The host's worker threads for return_thread jobs (vm/thread_job.h). Each worker sleeps on
// the thread pool's condition variable until a job is pending, takes jobs in ring order and
// runs them; their completions go to the runtime's completion ring, which the task loop
// consumes (consume_completions).
//
// Create the pool after the task loop and destroy it before: a worker may still be inside the
// runtime's wake-up callback after its job's completion was consumed.

#include <cstddef>
#include <thread>
#include <vector>

struct trv_runtime;

namespace trvhost {

class worker_pool {
 public:
  // Throws when the threads cannot all be started, after joining those that were.
  worker_pool(trv_runtime& runtime, unsigned count);
  // Runs the jobs still queued, then stops and joins the workers.
  ~worker_pool();
  worker_pool(const worker_pool&) = delete;
  worker_pool& operator=(const worker_pool&) = delete;

  size_t size() const { return threads_.size(); }

  // The number of hardware threads, at least 2.
  static unsigned default_count();
  // The job ring's slot count: a worker beyond it could never have a job.
  static unsigned max_count();

 private:
  // Runs the jobs still queued, then stops and joins the workers.
  void stop();

  trv_runtime& runtime_;
  std::vector<std::thread> threads_;
};

// The owner's: wakes the task of every finished job in the completion ring and drops the
// job's references; returns how many it consumed.
size_t consume_completions(trv_runtime& runtime);

// Whether a job is still queued, running or finished but not consumed.
bool jobs_outstanding(const trv_runtime& runtime);

}  // namespace trvhost
