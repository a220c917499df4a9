#pragma once

#include <memory>
#include <optional>

#include "glue/thread_local.h"
#include "values/runtime.h"
#include "values/runtime_lock.h"

// A runtime for the scope of a test, set as the calling thread's runtime and owned by it. Its
// destruction checks (in debug builds) that every pooled element came back. Loggers installed
// for the same test should be made before it, so that their control blocks are not pooled.
class owned_runtime {
 public:
  owned_runtime() : runtime_(std::make_unique<trv_runtime>()) {
    trv_get_thread_local().runtime_state = runtime_.get();
    take_ownership();
  }
  ~owned_runtime() {
    give_up_ownership();
    runtime_.reset();
  }
  owned_runtime(const owned_runtime&) = delete;
  owned_runtime& operator=(const owned_runtime&) = delete;

  trv_runtime& runtime() { return *runtime_; }
  trv_pool& pool(trv_pool_id id) { return runtime_->pools[id].pool; }
  trv_return_ring& ring(trv_pool_id id) { return runtime_->pools[id].ring; }

  void take_ownership() { guard_.emplace(*runtime_); }
  void give_up_ownership() { guard_.reset(); }

 private:
  std::unique_ptr<trv_runtime> runtime_;
  std::optional<trv_runtime_lock_guard> guard_;
};
