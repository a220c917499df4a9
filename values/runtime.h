#pragma once

// The runtime shared by the threads of one script runtime. The host creates it and points the
// runtime_state of each thread that runs script code at it. One thread owns it at a time.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "objects/object_ptr.h"

class trv_log_base;
class trvobject_base;
struct trv_thread_local;

struct trv_runtime {
  uint32_t owner_thread_id = 0;  // 0 while nobody owns the runtime
  std::mutex lock;
  trvptr_strong<trv_log_base> log;
  std::string name;
  // Objects whose immediate teardown had to wait because a native call on them was still
  // running elsewhere; the owner destroys them later.
  std::vector<trvptr_strong<trvobject_base>> deferred_destroy;
};

// The calling thread's runtime when the thread owns it, else null.
trv_runtime* trv_owned_runtime(const trv_thread_local& tl);
