#include "glue/thread_local.h"

#include "glue/global_instance.h"
#include "glue/platform/thread_id.h"

trv_thread_local::trv_thread_local() : thread_id(trv_current_thread_id()), object_table(8) {
  object_table.max_load_factor(1.0f);
}

// Members go in reverse order: the object table, then the logger, then the name.
trv_thread_local::~trv_thread_local() = default;

trv_thread_local& trv_default_thread_local() {
  thread_local trv_thread_local record;
  return record;
}

trv_thread_local& trv_get_thread_local() {
  return trv_get_global_instance()->thread_local_provider();
}
