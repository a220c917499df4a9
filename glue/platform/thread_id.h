#pragma once

#include <cstdint>

// The operating system's 32-bit id of the calling thread. Never 0: the runtime uses 0 for
// "no owner".
uint32_t trv_current_thread_id() noexcept;
