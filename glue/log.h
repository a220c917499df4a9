#pragma once

// Logging as every layer sees it. A report goes to the calling thread's own logger, else to
// its runtime's logger, else to the process-wide default logger; it is produced only when
// the chosen logger's category mask has the report's bit. The logger itself lives with the
// runtime reports.

#include <cstdint>
#include <string_view>

#include "glue/message.h"

class trv_log_base;
struct trv_thread_local;

enum trv_log_category : uint32_t {
  TRV_LOG_INFO = 1,
  TRV_LOG_WARNING = 2,
  TRV_LOG_ERROR = 4,
  TRV_LOG_DEBUG = 8,
  TRV_LOG_CATEGORY_16 = 16,
  TRV_LOG_CATEGORY_32 = 32,
};

// The logger a report from this thread goes to.
trv_log_base& trv_current_logger();
// The same for the thread whose record the caller has already looked up.
trv_log_base& trv_current_logger(const trv_thread_local& thread);
// The logger a report of `category` from this thread goes to when its mask has the category,
// else null: one call for the common case of a report nobody reads.
trv_log_base* trv_logger_taking(uint32_t category);
trv_log_base* trv_logger_taking(uint32_t category, const trv_thread_local& thread);
// Writes a finished text to the category's output, and warnings and errors to the listeners.
void trv_log_write(trv_log_base& logger, uint32_t category, std::string_view text);

template <class... Pieces>
[[gnu::noinline]] void trv_log_built(trv_log_base& logger, uint32_t category,
                                     const Pieces&... pieces) {
  trv_log_write(logger, category, trv_message(pieces...));
}

// Builds the text only when the category is enabled; the building stays out of the caller.
template <class... Pieces>
inline void trv_log(uint32_t category, const Pieces&... pieces) {
  if (trv_log_base* logger = trv_logger_taking(category)) [[unlikely]] {
    trv_log_built(*logger, category, pieces...);
  }
}

// The same from the thread whose record the caller holds, without looking it up again.
template <class... Pieces>
inline void trv_log_on(const trv_thread_local& thread, uint32_t category, const Pieces&... pieces) {
  if (trv_log_base* logger = trv_logger_taking(category, thread)) [[unlikely]] {
    trv_log_built(*logger, category, pieces...);
  }
}
