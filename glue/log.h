#pragma once

// Logging as every layer sees it. A report goes to the calling thread's own logger, else to
// its runtime's logger, else to the process-wide default logger; it is produced only when
// the chosen logger's category mask has the report's bit. The logger itself lives with the
// runtime reports.

#include <cstdint>
#include <string_view>

#include "glue/message.h"

class trv_log_base;

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
bool trv_log_enabled(const trv_log_base& logger, uint32_t category);
// Writes a finished text to the category's output, and warnings and errors to the listeners.
void trv_log_write(trv_log_base& logger, uint32_t category, std::string_view text);

// Builds the text only when the category is enabled.
template <class... Pieces>
void trv_log(uint32_t category, const Pieces&... pieces) {
  trv_log_base& logger = trv_current_logger();
  if (trv_log_enabled(logger, category)) trv_log_write(logger, category, trv_message(pieces...));
}
