#include "host/runtime_driver.h"

#include <cassert>
#include <utility>

#include "glue/thread_local.h"

namespace trvhost {

runtime_driver::runtime_driver(std::string name, trvptr_strong<trv_log_base> log)
    : runtime_(std::make_unique<trv_runtime>()) {
  runtime_->name = std::move(name);
  runtime_->log = std::move(log);
  attach_current_thread();
}

// The runtime's destructor makes this thread its owner for the last time, services it and
// destroys the pooled objects; it also leaves this thread without a runtime.
runtime_driver::~runtime_driver() {
  ownership_.reset();
  runtime_.reset();
}

void runtime_driver::attach_current_thread() {
  trv_get_thread_local().runtime_state = runtime_.get();
}

void runtime_driver::detach_current_thread() { trv_get_thread_local().runtime_state = nullptr; }

void runtime_driver::take_ownership() { ownership_.emplace(*runtime_); }

void runtime_driver::give_up_ownership() { ownership_.reset(); }

size_t runtime_driver::service() {
  assert(trv_owned_runtime(trv_get_thread_local()) == runtime_.get());
  const size_t returned = trv_runtime_drain_returns(*runtime_);
  trv_runtime_process_deferred(*runtime_);
  return returned;
}

}  // namespace trvhost
