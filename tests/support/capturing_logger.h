#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vm/log_base.h"

// A logger that records every message with its category, so tests can assert exact texts.
class capturing_logger : public trv_log_base {
 public:
  void info(std::string_view text) override { record(TRV_LOG_INFO, text); }
  void warning(std::string_view text) override { record(TRV_LOG_WARNING, text); }
  void error(std::string_view text) override { record(TRV_LOG_ERROR, text); }
  void debug(std::string_view text) override { record(TRV_LOG_DEBUG, text); }
  void category_16(std::string_view text) override { record(TRV_LOG_CATEGORY_16, text); }
  void category_32(std::string_view text) override { record(TRV_LOG_CATEGORY_32, text); }

  // The texts written to one category, in order.
  std::vector<std::string> texts(uint32_t category) const;
  // Every message, in order.
  std::vector<std::pair<uint32_t, std::string>> all() const;
  void clear();

 private:
  void record(uint32_t category, std::string_view text);

  mutable std::mutex mutex_;
  std::vector<std::pair<uint32_t, std::string>> messages_;
};

// Installs a capturing logger as the calling thread's own logger for the scope of a test,
// with every category enabled unless a mask is given, and restores the previous one.
class log_capture {
 public:
  explicit log_capture(uint32_t mask = 0xFFFFFFFFu);
  ~log_capture();
  log_capture(const log_capture&) = delete;
  log_capture& operator=(const log_capture&) = delete;

  capturing_logger& logger() { return *logger_; }
  std::vector<std::string> warnings() const { return logger_->texts(TRV_LOG_WARNING); }
  std::vector<std::string> errors() const { return logger_->texts(TRV_LOG_ERROR); }
  std::vector<std::string> texts(uint32_t category) const { return logger_->texts(category); }

 private:
  capturing_logger* logger_;
  trvptr_strong<trv_log_base> held_;
  trvptr_strong<trv_log_base> previous_;
};
