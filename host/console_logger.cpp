#include "host/console_logger.h"

#include <iostream>

namespace trvhost {

// Flushed per message so that log lines keep their place among the program's other output.
void console_logger::write(std::ostream& stream, std::string_view prefix, std::string_view text) {
  std::lock_guard lock(mutex_);
  stream << prefix << text << std::endl;
}

trvptr_strong<trv_log_base> make_console_logger() {
  return trvptr_strong<trv_log_base>::from_new(new console_logger(std::cout, std::cerr));
}

}  // namespace trvhost
