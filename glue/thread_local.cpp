#include "glue/thread_local.h"

#include "glue/global_instance.h"
#include "glue/platform/thread_id.h"

trv_thread_local::trv_thread_local() : thread_id(trv_current_thread_id()), object_table(8) {
  object_table.max_load_factor(1.0f);
}

// Members go in reverse order: the object table, then the logger, then the name.
trv_thread_local::~trv_thread_local() = default;

namespace {

// The record's address once built: a plain pointer needs no guard, so the common path of the
// default provider reads one thread-local word. It keeps pointing at the record after the
// record's destruction at thread exit, as the record itself would be found then.
thread_local trv_thread_local* built_record = nullptr;

[[gnu::noinline]] trv_thread_local& build_record() {
  thread_local trv_thread_local record;
  built_record = &record;
  return record;
}

}  // namespace

trv_thread_local& trv_default_thread_local() {
  trv_thread_local* record = built_record;
  return record != nullptr ? *record : build_record();
}

trv_thread_local& trv_get_thread_local() {
  return trv_get_global_instance()->thread_local_provider();
}
