#pragma once

// A logger that prints every message prefixed by its category and ended by a newline
// ("[info] testfn called!"). Information, debug and the two further categories go to the
// output stream, warnings and errors to the error stream. Several threads may log at once.

#include <iosfwd>
#include <mutex>
#include <string_view>

#include "vm/log_base.h"

namespace trvhost {

class console_logger : public trv_log_base {
 public:
  console_logger(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  void info(std::string_view text) override { write(out_, "[info] ", text); }
  void warning(std::string_view text) override { write(err_, "[warning] ", text); }
  void error(std::string_view text) override { write(err_, "[error] ", text); }
  void debug(std::string_view text) override { write(out_, "[debug] ", text); }
  void category_16(std::string_view text) override { write(out_, "[category 16] ", text); }
  void category_32(std::string_view text) override { write(out_, "[category 32] ", text); }

 private:
  void write(std::ostream& stream, std::string_view prefix, std::string_view text);

  std::mutex mutex_;
  std::ostream& out_;
  std::ostream& err_;
};

// A console logger on the process's standard output and error, ready to be a thread's logger.
trvptr_strong<trv_log_base> make_console_logger();

}  // namespace trvhost
