#pragma once

// The logger. A report is produced only when its category bit is in the mask: 1 information,
// 2 warning, 4 error, 8 debug, 16 and 32 two further categories. The base class writes
// nowhere; an embedding application derives from it to print or store messages. Warnings and
// errors also go to every registered listener, after the logger's own output.

#include <cstdint>
#include <string_view>
#include <vector>

#include "glue/log.h"
#include "glue/object_ptr.h"

class trv_log_listener : public trvptr_base<trv_log_listener> {
 public:
  virtual void warning(std::string_view /*text*/) {}
  virtual void error(std::string_view /*text*/) {}
};

inline constexpr uint32_t trv_default_log_mask = 39;

class trv_log_base : public trvptr_base<trv_log_base> {
 public:
  // One output per category, each taking the finished text.
  virtual void info(std::string_view /*text*/) {}
  virtual void warning(std::string_view /*text*/) {}
  virtual void error(std::string_view /*text*/) {}
  virtual void debug(std::string_view /*text*/) {}
  virtual void category_16(std::string_view /*text*/) {}
  virtual void category_32(std::string_view /*text*/) {}

  uint32_t mask = trv_default_log_mask;
  std::vector<trvptr_strong<trv_log_listener>> listeners;
  int32_t reserved_setting_a = 2;
  int64_t reserved_setting_b = -1;
};

// The process-wide logger used when neither the thread nor its runtime has one. It writes
// nowhere until replaced; created on first use, destroyed at exit.
trv_log_base& trv_default_logger();
