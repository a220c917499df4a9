#include "glue/platform/thread_id.h"

#if defined(_WIN32)
#include <windows.h>

uint32_t trv_current_thread_id() noexcept { return static_cast<uint32_t>(GetCurrentThreadId()); }
#else
#include <sys/syscall.h>
#include <unistd.h>

uint32_t trv_current_thread_id() noexcept {
  // gettid() is a system call; the id never changes for a thread, so ask once.
  thread_local const uint32_t id = static_cast<uint32_t>(syscall(SYS_gettid));
  return id;
}
#endif
