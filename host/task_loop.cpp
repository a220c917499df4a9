#include "host/task_loop.h"

#include <chrono>

#include "glue/brief_spin.h"
#include "glue/log.h"
#include "host/runtime_driver.h"
#include "host/worker_pool.h"
#include "vm/task.h"

namespace trvhost {

task_loop::task_loop(runtime_driver& driver) : driver_(driver) {
  driver_.runtime().wake_up = [this] { wake(); };
}

task_loop::~task_loop() { driver_.runtime().wake_up = nullptr; }

void task_loop::wake() {
  {
    std::lock_guard lock(mutex_);
    wake_pending_ = true;
  }
  woken_.notify_one();
}

void task_loop::sleep_until(uint64_t eta_ms) {
  // Only a wait for a wake-up (a worker's job out) is worth a spin; an eta is milliseconds off.
  // A wake-up found by the spin makes the wait below return at once.
  if (eta_ms == trv_no_eta) trv_brief_spin([this] { return wake_pending_.load(); });
  std::unique_lock lock(mutex_);
  if (eta_ms == trv_no_eta) {
    woken_.wait(lock, [this] { return wake_pending_.load(); });
  } else {
    const uint64_t now = trv_now_ms();
    if (eta_ms > now) {
      woken_.wait_for(lock, std::chrono::milliseconds(eta_ms - now),
                      [this] { return wake_pending_.load(); });
    }
  }
  wake_pending_ = false;
}

void task_loop::abandon_stuck(trv_runtime& rt) {
  std::vector<trvptr_strong<trv_task>> stuck = rt.waiting.take_all();
  for (trvptr_strong<trv_task>& task : rt.schedule_heap) stuck.push_back(std::move(task));
  rt.schedule_heap.clear();
  // Every one stops waiting first: abandoning one releases objects that may try to wake
  // another, which would schedule it again.
  for (const trvptr_strong<trv_task>& task : stuck) task->waiting = 0;
  for (const trvptr_strong<trv_task>& task : stuck) task->abandon();
}

bool task_loop::run(const trvptr_strong<trv_task>& root) {
  bool failed = false;
  root->on_error = [&failed](trvvar_shared&) { failed = true; };
  root->run();
  trv_runtime& rt = driver_.runtime();
  for (;;) {
    driver_.service();
    consume_completions(rt);
    if (trvptr_strong<trv_task> due = trv_runtime_take_due(rt, trv_now_ms())) {
      if (due->active) due->task_continue();
      continue;
    }
    // A job still out will wake a task, or at least must be consumed here.
    if (trv_runtime_next_eta(rt) == trv_no_eta && !jobs_outstanding(rt)) {
      if (rt.schedule_heap.empty() && rt.waiting.empty()) break;
      // Only a running task or a job wakes a task: with neither left, what waits (each other,
      // or itself) would wait for ever.
      trv_log(TRV_LOG_ERROR, "Deadlock: ", rt.waiting.size() + rt.schedule_heap.size(),
              " task(s) wait, and no task is due and no job is out to wake them.");
      // Letting the stuck tasks go can run destructors that start tasks and jobs of their
      // own: the loop goes on until those are done too.
      abandon_stuck(rt);
      failed = true;
      continue;
    }
    sleep_until(trv_runtime_next_eta(rt));
  }
  return failed;
}

}  // namespace trvhost
