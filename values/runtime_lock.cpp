#include "values/runtime_lock.h"

#include "glue/thread_local.h"
#include "values/runtime.h"

trv_runtime_lock_guard::trv_runtime_lock_guard(trv_runtime& runtime)
    : trv_runtime_lock_guard(runtime, trv_get_thread_local()) {}

trv_runtime_lock_guard::trv_runtime_lock_guard(trv_runtime& runtime, trv_thread_local& thread)
    : runtime_(runtime),
      thread_(thread),
      took_lock_(runtime.owner_thread_id.load(std::memory_order_relaxed) != thread.thread_id) {
  if (took_lock_) {
    runtime_.lock.lock();
    runtime_.owner_thread_id.store(thread_.thread_id, std::memory_order_relaxed);
  }
  ++thread_.pool_lock_depth;
}

trv_runtime_lock_guard::~trv_runtime_lock_guard() {
  --thread_.pool_lock_depth;
  if (took_lock_) {
    runtime_.owner_thread_id.store(0, std::memory_order_relaxed);
    runtime_.lock.unlock();
  }
}

trv_runtime_unlock_scope::trv_runtime_unlock_scope(trv_runtime& runtime, trv_thread_local& thread)
    : runtime_(runtime),
      thread_(thread),
      gave_up_(runtime.owner_thread_id.load(std::memory_order_relaxed) == thread.thread_id) {
  if (gave_up_) {
    runtime_.owner_thread_id.store(0, std::memory_order_relaxed);
    runtime_.lock.unlock();
  }
}

trv_runtime_unlock_scope::~trv_runtime_unlock_scope() {
  if (gave_up_) {
    runtime_.lock.lock();
    runtime_.owner_thread_id.store(thread_.thread_id, std::memory_order_relaxed);
  }
}
