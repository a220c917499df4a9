#pragma once

// The host's task loop: runs a program's root task, then every task that becomes due, in eta
// order, servicing the runtime between steps (returned pool elements, deferred objects). When
// nothing is due it sleeps until the next eta or until the runtime's wake-up callback fires,
// so an idle program uses no processor time. Finished worker jobs wake their tasks first. The
// loop ends when no task is scheduled or waiting and no worker job is out; when tasks still
// wait but nothing is left that could wake them, it reports the deadlock and ends as failed.

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "glue/object_ptr.h"

struct trv_runtime;
struct trv_task;

namespace trvhost {

class runtime_driver;

class task_loop {
 public:
  // Installs the wake-up callback in the driver's runtime; the calling thread must own it.
  explicit task_loop(runtime_driver& driver);
  ~task_loop();
  task_loop(const task_loop&) = delete;
  task_loop& operator=(const task_loop&) = delete;

  // Runs `root` and everything it schedules. True when a runtime error reached the root
  // task's base.
  bool run(const trvptr_strong<trv_task>& root);

 private:
  void wake();
  // Abandons every task that waits or is scheduled, after a deadlock.
  static void abandon_stuck(trv_runtime& rt);
  // Sleeps until `eta_ms` (trv_no_eta: until woken) unless a wake-up came meanwhile.
  void sleep_until(uint64_t eta_ms);

  runtime_driver& driver_;
  std::mutex mutex_;
  std::condition_variable woken_;
  std::atomic<bool> wake_pending_ = false;  // set under the mutex, read without it first
};

}  // namespace trvhost
