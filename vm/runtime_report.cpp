// Runtime warnings and errors.
//
// While a script runs on the calling thread (the thread owns its runtime and a task with a
// context is current), reports are printed with the task's Runtime Warning / Runtime Error
// layout and an error also stops the failing frame; that path belongs to the interpreter's
// tasks. Here is the path for reports raised while no script runs: a warning goes to the
// warning category as it is, an error goes to the error category framed by star lines.

#include <algorithm>
#include <string>

#include "glue/log.h"
#include "values/report.h"
#include "vm/runtime_report.h"

std::string trv_frame_error(std::string_view message) {
  const size_t first_line = std::min(message.find('\n'), message.size());
  const std::string stars(first_line, '*');
  std::string framed;
  framed.reserve(message.size() + 2 * first_line + 6);
  framed.append("\n").append(stars).append("\n");
  framed.append(message).append("\n");
  framed.append(stars).append("\n\n");
  return framed;
}

void trv_runtime_warning_text(const std::string& message) {
  trv_log_base& logger = trv_current_logger();
  if (trv_log_enabled(logger, TRV_LOG_WARNING)) trv_log_write(logger, TRV_LOG_WARNING, message);
}

trvvar_shared trv_runtime_error_text(const std::string& message) {
  trv_log_base& logger = trv_current_logger();
  if (trv_log_enabled(logger, TRV_LOG_ERROR)) {
    trv_log_write(logger, TRV_LOG_ERROR, trv_frame_error(message));
  }
  return trvvar_new();
}
