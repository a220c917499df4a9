// return_thread jobs between a script thread and the host's workers: the rings under load, the
// overload path, a task dropped while its job runs, and callbacks that throw.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/worker_pool.h"
#include "tests/support/capturing_logger.h"
#include "tests/support/owned_runtime.h"
#include "values/convert.h"
#include "values/runtime_lock.h"
#include "vm/task.h"
#include "vm/thread_job.h"
#include "vm/vm_context.h"

namespace {

using namespace std::chrono_literals;

// A runtime whose reports (the workers' included) go to a capturing logger, with workers.
class jobs : public ::testing::Test {
 protected:
  jobs() : log_(new capturing_logger) { runtime().log = trvptr_strong<trv_log_base>::from(log_); }

  trv_runtime& runtime() { return owned_.runtime(); }

  // An active task that can wait for a job; waking it puts it on the schedule heap.
  trvptr_strong<trv_task> new_task() {
    trvptr_strong<trv_task> task = trvptr_strong<trv_task>::from(new trv_task);
    task->active = 1;
    return task;
  }

  // Submits `callback` from a frame of `task` and returns the result variable.
  trvvar_shared submit(trv_task& task, std::function<trvvar_shared()> callback) {
    trv_vm_context frame;
    frame.task = &task;
    frame.scope = &task;
    trvvar_shared result = frame.return_thread(std::move(callback));
    EXPECT_EQ(frame.status, 32u);
    return result;
  }

  // Consumes completions until `count` tasks were woken; every woken task leaves the heap.
  void consume(size_t count) {
    size_t woken = 0;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (woken < count && std::chrono::steady_clock::now() < deadline) {
      if (trvhost::consume_completions(runtime()) == 0) std::this_thread::yield();
      while (trvptr_strong<trv_task> task = trv_runtime_take_due(runtime(), trv_no_eta - 1)) {
        ++woken;
      }
    }
    EXPECT_EQ(woken, count);
  }

  static trvvar_shared int_var(int64_t value) {
    trvvar_shared v = trvvar_new();
    trvvar_set_int(*v, value);
    return v;
  }

  capturing_logger* log_;  // made before the runtime, so its control block is not pooled
  owned_runtime owned_;
};

TEST_F(jobs, ManyJobsFromSeveralTasksAllArriveWithTheirValues) {
  trvhost::worker_pool workers(runtime(), 4);
  constexpr int task_count = 8;
  constexpr int rounds = 300;
  std::vector<trvptr_strong<trv_task>> tasks;
  for (int i = 0; i < task_count; ++i) tasks.push_back(new_task());
  for (int round = 0; round < rounds; ++round) {
    std::vector<trvvar_shared> results;
    for (int i = 0; i < task_count; ++i) {
      const int64_t expected = round * task_count + i;
      results.push_back(submit(*tasks[i], [expected] { return int_var(expected); }));
    }
    consume(task_count);
    // A worker lowers its task's job count just after its completion is in the ring.
    while (trvhost::jobs_outstanding(runtime())) std::this_thread::yield();
    for (int i = 0; i < task_count; ++i) {
      ASSERT_EQ(trvvar_int_value(*results[i]), round * task_count + i);
      EXPECT_EQ(results[i]->flags & TRVVAR_FLAG_SHARE_ON_ASSIGN, TRVVAR_FLAG_SHARE_ON_ASSIGN);
      EXPECT_EQ(tasks[i]->thread_job.load(), 0);
    }
  }
  EXPECT_FALSE(trvhost::jobs_outstanding(runtime()));
}

// With every worker held, the ring fills; the next submission logs the overload once and waits
// with the runtime lock given up, so another thread can take it meanwhile. Nothing is lost.
TEST_F(jobs, AFullPoolWaitsWithTheLockGivenUpAndLosesNothing) {
  trvhost::worker_pool workers(runtime(), 2);
  std::atomic<bool> open{false};
  std::atomic<bool> lock_taken{false};
  std::thread opener([&] {
    while (log_->texts(TRV_LOG_WARNING).empty()) std::this_thread::sleep_for(1ms);
    {
      trv_thread_local& tl = trv_get_thread_local();
      trv_runtime_lock_guard guard(runtime(), tl);
      lock_taken = true;
    }
    open = true;
  });
  constexpr int total = 1024 + 2 + 50;
  std::vector<trvptr_strong<trv_task>> tasks;
  std::vector<trvvar_shared> results;
  for (int i = 0; i < total; ++i) {
    tasks.push_back(new_task());
    results.push_back(submit(*tasks.back(), [i, &open] {
      while (!open) std::this_thread::sleep_for(100us);
      return int_var(i);
    }));
  }
  opener.join();
  EXPECT_TRUE(lock_taken);
  const std::vector<std::string> warnings = log_->texts(TRV_LOG_WARNING);
  ASSERT_FALSE(warnings.empty());
  EXPECT_EQ(warnings.front(), "Thread pool overload, waiting for free worker threads...");
  EXPECT_LE(warnings.size(), 50u);  // once per waiting submission, not per attempt
  consume(total);
  for (int i = 0; i < total; ++i) ASSERT_EQ(trvvar_int_value(*results[i]), i);
}

// Nobody consumes while 1500 jobs finish: the workers wait for free completion records and go
// on once the owner consumes.
TEST_F(jobs, AFullCompletionRingHoldsTheWorkersUntilConsumed) {
  trvhost::worker_pool workers(runtime(), 3);
  constexpr int total = 1500;
  std::vector<trvptr_strong<trv_task>> tasks;
  std::vector<trvvar_shared> results;
  for (int i = 0; i < total; ++i) {
    tasks.push_back(new_task());
    results.push_back(submit(*tasks.back(), [i] { return int_var(i); }));
  }
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (runtime().completions.write.load() - runtime().completions.read < 1024 + 3 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(trvhost::jobs_outstanding(runtime()));
  consume(total);
  for (int i = 0; i < total; ++i) ASSERT_EQ(trvvar_int_value(*results[i]), i);
  EXPECT_EQ(log_->texts(TRV_LOG_ERROR).size(), 0u);
}

// The waiting list and the job keep the task they resume: dropping the creator's pointer while
// the job runs leaves the task alive until the completion is consumed.
TEST_F(jobs, ATaskDroppedWhileItsJobRunsLivesUntilTheCompletion) {
  trvhost::worker_pool workers(runtime(), 2);
  std::atomic<bool> open{false};
  trvptr_strong<trv_task> task = new_task();
  trvptr_weak<trv_task> watch = task;
  trvvar_shared result = submit(*task, [&open] {
    while (!open) std::this_thread::sleep_for(100us);
    return int_var(7);
  });
  task->active = 0;
  task.reset();
  EXPECT_FALSE(watch.expired());
  open = true;
  while (trvhost::jobs_outstanding(runtime())) trvhost::consume_completions(runtime());
  runtime().schedule_heap.clear();
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(trvvar_int_value(*result), 7);
}

// Destroying a task whose job count is not zero waits for it before its exit line.
TEST_F(jobs, DestroyWaitsForARunningJob) {
  log_capture capture;
  trvptr_strong<trv_task> task = new_task();
  task->active = 0;
  task->thread_job = 1;
  std::atomic<bool> cleared{false};
  trv_task* raw = task.get();
  std::thread job([raw, &cleared] {
    std::this_thread::sleep_for(30ms);
    cleared = true;
    raw->thread_job.fetch_sub(1);
  });
  task.reset();
  EXPECT_TRUE(cleared);
  job.join();
  const std::vector<std::string> debug = capture.texts(TRV_LOG_DEBUG);
  const auto waiting = std::find_if(debug.begin(), debug.end(), [](const std::string& line) {
    return line.ends_with(" waiting for thread...");
  });
  ASSERT_NE(waiting, debug.end());
  EXPECT_NE(
      std::find_if(waiting, debug.end(),
                   [](const std::string& line) { return line.find(" exited (") != line.npos; }),
      debug.end());
}

// A task woken by its first job's completion can submit a second job before the first job's
// worker has finished with it; that worker must not clear what the second job set, or the task
// could be destroyed under the second worker.
TEST_F(jobs, AFinishingJobLeavesTheNextJobOfItsTaskCounted) {
  trvptr_strong<trv_task> task = new_task();
  trvvar_shared first = submit(*task, [] { return int_var(1); });
  trv_thread_job running;
  ASSERT_TRUE(trv_thread_pool_take(runtime().thread_pool, running));
  trv_task_wake(*task);
  trvvar_shared second = submit(*task, [] { return int_var(2); });
  trv_thread_job_run(running);
  EXPECT_EQ(task->thread_job.load(), 1);
  ASSERT_TRUE(trv_thread_pool_take(runtime().thread_pool, running));
  trv_thread_job_run(running);
  EXPECT_EQ(task->thread_job.load(), 0);
  EXPECT_EQ(trvhost::consume_completions(runtime()), 2u);
  runtime().schedule_heap.clear();
  EXPECT_EQ(trvvar_int_value(*first), 1);
  EXPECT_EQ(trvvar_int_value(*second), 2);
}

TEST_F(jobs, ACallbackThatThrowsLeavesNoneAndIsLogged) {
  trvhost::worker_pool workers(runtime(), 2);
  trvptr_strong<trv_task> first = new_task();
  trvptr_strong<trv_task> second = new_task();
  trvvar_shared standard =
      submit(*first, []() -> trvvar_shared { throw std::runtime_error("no luck"); });
  trvvar_shared other = submit(*second, []() -> trvvar_shared { throw 42; });
  consume(2);
  EXPECT_EQ(standard->type, TRVVAR_NONE);
  EXPECT_EQ(other->type, TRVVAR_NONE);
  std::vector<std::string> errors = log_->texts(TRV_LOG_ERROR);
  std::sort(errors.begin(), errors.end());
  EXPECT_EQ(errors,
            (std::vector<std::string>{"return_thread callback threw an exception: no luck",
                                      "return_thread callback threw an unknown exception"}));
}

}  // namespace
