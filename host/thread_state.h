#pragma once

// The host's per-thread state. The host's own copy of the runtime core and every module it
// loads must see the same record on a thread (its logger, its runtime, its current task), so
// the host points each global instance's thread_local_provider here.

#include "glue/global_instance.h"
#include "glue/thread_local.h"

namespace trvhost {

// The calling thread's record: built on first use, destroyed when the thread ends.
trv_thread_local& thread_state();

// Makes `instance` hand out the host's records from now on.
void provide_thread_state(trv_global_instance& instance);

}  // namespace trvhost
