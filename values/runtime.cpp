#include "values/runtime.h"

#include "glue/thread_local.h"

trv_runtime* trv_owned_runtime(const trv_thread_local& tl) {
  trv_runtime* rt = tl.runtime_state;
  return rt != nullptr && rt->owner_thread_id == tl.thread_id ? rt : nullptr;
}
