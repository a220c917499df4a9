#include "vm/log_base.h"

#include "glue/thread_local.h"
#include "values/runtime.h"

namespace {

// The default logger outlives every runtime, so its control block never comes from a pool.
class default_logger final : public trv_log_base {
 public:
  bool pooled_control_block_allowed() const override { return false; }
};

}  // namespace

trv_log_base& trv_default_logger() {
  static const trvptr_strong<trv_log_base> logger =
      trvptr_strong<trv_log_base>::from_new(new default_logger());
  return *logger;
}

trv_log_base& trv_current_logger() { return trv_current_logger(trv_get_thread_local()); }

trv_log_base& trv_current_logger(const trv_thread_local& tl) {
  if (trv_log_base* own = tl.logger.get()) return *own;
  if (tl.runtime_state != nullptr) {
    if (trv_log_base* shared = tl.runtime_state->log.get()) return *shared;
  }
  return trv_default_logger();
}

trv_log_base* trv_logger_taking(uint32_t category) {
  return trv_logger_taking(category, trv_get_thread_local());
}

trv_log_base* trv_logger_taking(uint32_t category, const trv_thread_local& thread) {
  trv_log_base& logger = trv_current_logger(thread);
  return (logger.mask & category) != 0 ? &logger : nullptr;
}

void trv_log_write(trv_log_base& logger, uint32_t category, std::string_view text) {
  switch (category) {
    case TRV_LOG_INFO:
      logger.info(text);
      return;
    case TRV_LOG_WARNING:
      logger.warning(text);
      for (const auto& listener : logger.listeners) {
        if (listener) listener->warning(text);
      }
      return;
    case TRV_LOG_ERROR:
      logger.error(text);
      for (const auto& listener : logger.listeners) {
        if (listener) listener->error(text);
      }
      return;
    case TRV_LOG_DEBUG:
      logger.debug(text);
      return;
    case TRV_LOG_CATEGORY_16:
      logger.category_16(text);
      return;
    default:
      logger.category_32(text);
      return;
  }
}
