#include "host/thread_state.h"

namespace trvhost {

trv_thread_local& thread_state() {
  thread_local trv_thread_local record;
  return record;
}

void provide_thread_state(trv_global_instance& instance) {
  instance.thread_local_provider = &thread_state;
}

}  // namespace trvhost
