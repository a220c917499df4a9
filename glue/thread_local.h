#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "glue/object_ptr.h"

class trv_log_base;
class trvobject_base;
struct trv_runtime;
struct trv_task;

// Per-thread state. Module code reaches it only through the global instance's
// thread_local_provider, so a host can hand out its own records instead.
struct trv_thread_local {
  uint32_t thread_id = 0;
  std::string name;                      // name of the task running on this thread
  trv_runtime* runtime_state = nullptr;  // not owning
  trvptr_strong<trv_log_base> logger;    // empty: use the runtime's, else the default logger
  trv_task* current_task = nullptr;      // not owning; set while a task runs here
  uint32_t pool_lock_depth = 0;          // nested holds of the runtime lock by this thread
  std::unordered_map<uint64_t, trvptr_strong<trvobject_base>> object_table;

  trv_thread_local();
  ~trv_thread_local();
  trv_thread_local(const trv_thread_local&) = delete;
  trv_thread_local& operator=(const trv_thread_local&) = delete;
};

// The module's own provider: one record per thread, built on first use, destroyed at exit.
trv_thread_local& trv_default_thread_local();

// The calling thread's record through the (replaceable) provider. Throws
// std::bad_function_call when the provider is empty.
trv_thread_local& trv_get_thread_local();
