#pragma once

// Holding a runtime: the guard makes the calling thread the runtime's owner for its lifetime.
// A thread that owns the runtime already takes nothing more (holds nest); otherwise the guard
// locks the runtime's mutex, records the thread as owner, and on release records no owner and
// unlocks. The thread's pool_lock_depth counts the holds. Failures of the mutex itself
// surface as std::system_error.

struct trv_runtime;
struct trv_thread_local;

class trv_runtime_lock_guard {
 public:
  explicit trv_runtime_lock_guard(trv_runtime& runtime);
  trv_runtime_lock_guard(trv_runtime& runtime, trv_thread_local& thread);
  ~trv_runtime_lock_guard();
  trv_runtime_lock_guard(const trv_runtime_lock_guard&) = delete;
  trv_runtime_lock_guard& operator=(const trv_runtime_lock_guard&) = delete;

 private:
  trv_runtime& runtime_;
  trv_thread_local& thread_;
  bool took_lock_;
};

// Giving a held runtime up for a while: when the calling thread owns the runtime, the scope
// records no owner and unlocks the mutex, and on release locks it again and records the thread
// as owner, however deeply its guards nest. A thread that does not own the runtime does
// nothing.
class trv_runtime_unlock_scope {
 public:
  trv_runtime_unlock_scope(trv_runtime& runtime, trv_thread_local& thread);
  ~trv_runtime_unlock_scope();
  trv_runtime_unlock_scope(const trv_runtime_unlock_scope&) = delete;
  trv_runtime_unlock_scope& operator=(const trv_runtime_unlock_scope&) = delete;

 private:
  trv_runtime& runtime_;
  trv_thread_local& thread_;
  bool gave_up_;
};
