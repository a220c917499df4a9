#include "tests/support/capturing_logger.h"

#include "glue/thread_local.h"

void capturing_logger::record(uint32_t category, std::string_view text) {
  std::lock_guard lock(mutex_);
  messages_.emplace_back(category, std::string(text));
}

std::vector<std::string> capturing_logger::texts(uint32_t category) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& [c, text] : messages_) {
    if (c == category) out.push_back(text);
  }
  return out;
}

std::vector<std::pair<uint32_t, std::string>> capturing_logger::all() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

void capturing_logger::clear() {
  std::lock_guard lock(mutex_);
  messages_.clear();
}

log_capture::log_capture(uint32_t mask)
    : logger_(new capturing_logger()), held_(trvptr_strong<trv_log_base>::from(logger_)) {
  logger_->mask = mask;
  trv_thread_local& tl = trv_get_thread_local();
  previous_ = tl.logger;
  tl.logger = held_;
}

log_capture::~log_capture() { trv_get_thread_local().logger = previous_; }
