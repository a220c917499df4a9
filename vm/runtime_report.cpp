// Runtime warnings and errors.
//
// While a script runs on the calling thread (the thread owns its runtime and a task with a
// frame is current), a warning is printed with the Runtime Warning layout of the innermost
// frame, and an error with the Runtime Error layout of every frame, innermost first, so that
// it reads as a call trace; the error is stored as the task's pending error and stops the
// failing frame, unless a no-except block encloses it. While no script runs, a warning goes to
// the warning category as it is and an error, framed by star lines, to the error category.

#include "vm/runtime_report.h"

#include <algorithm>
#include <string>

#include "glue/log.h"
#include "glue/thread_local.h"
#include "values/object.h"
#include "values/payload_objects.h"
#include "values/report.h"
#include "values/runtime.h"
#include "vm/program_block.h"
#include "vm/source_excerpt.h"
#include "vm/task.h"

namespace {

trv_task* running_task() {
  trv_thread_local& tl = trv_get_thread_local();
  if (trv_owned_runtime(tl) == nullptr) return nullptr;
  trv_task* task = tl.current_task;
  return task != nullptr && !task->frames.empty() ? task : nullptr;
}

// The code offset a frame reports: the instruction being executed when its instruction
// pointer lies inside its code, else where it resumes.
uint32_t reported_offset(const trv_vm_context& frame) {
  const trv_program_block& block = *frame.block;
  const uint8_t* ip = frame.instruction_pointer;
  if (ip >= block.code_begin() && ip < block.code_end()) {
    return static_cast<uint32_t>(ip - block.code_begin());
  }
  return frame.saved_position;
}

struct positioned {
  std::string text;
  uint32_t category;
};

// The excerpt of the frame's position in `category`, or the tokenless text, which is an error
// line whatever the report; nothing when the block has no position there.
std::optional<positioned> positioned_report(std::string_view heading, uint32_t category,
                                            const trv_vm_context& frame, std::string_view message) {
  const std::optional<trv_source_token> token = frame.block->token_at(reported_offset(frame));
  if (!token) return std::nullopt;
  if (std::optional<std::string> excerpt = trv_source_excerpt(heading, *token, message)) {
    return positioned{std::move(*excerpt), category};
  }
  return positioned{trv_tokenless_report(message), TRV_LOG_ERROR};
}

void write(uint32_t category, const std::string& text) {
  if (trv_log_base* logger = trv_logger_taking(category)) trv_log_write(*logger, category, text);
}

void print_error_trace(const trv_task& task, const std::string& message) {
  for (size_t i = task.frames.size(); i-- > 0;) {
    const bool innermost = i + 1 == task.frames.size();
    const trv_vm_context& frame = *task.frames[i];
    if (std::optional<positioned> report =
            positioned_report(trv_runtime_error_heading, TRV_LOG_ERROR, frame,
                              innermost ? std::string_view(message) : "")) {
      write(report->category, report->text);
    } else {
      write(TRV_LOG_ERROR,
            innermost ? trv_plain_report(trv_runtime_error_heading, message) : message);
    }
  }
}

// Whether a no-except block lies between the failing frame and the nearest loop block.
bool inside_no_except(const trv_task& task) {
  for (size_t i = task.frames.size(); i-- > 0;) {
    const trv_program_block& block = *task.frames[i]->block;
    if (block.no_except) return true;
    if (block.kind == TRV_BLOCK_LOOP) return false;
  }
  return false;
}

void apply_error_status(trv_task& task) {
  if (inside_no_except(task)) {
    write(TRV_LOG_WARNING, "Error thrown inside a no_except block, ignoring.");
    write(TRV_LOG_WARNING, "Internal TODO: skip invalid function calls to avoid crash.");
    if (!task.stack.empty()) task.stack.back() = trvvar_new();
    return;
  }
  task.frames.back()->status = 128;
}

}  // namespace

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
  trv_task* task = running_task();
  if (task == nullptr) {
    write(TRV_LOG_WARNING, message);
    return;
  }
  const trv_vm_context& frame = *task->frames.back();
  if (std::optional<positioned> report =
          positioned_report(trv_runtime_warning_heading, TRV_LOG_WARNING, frame, message)) {
    write(report->category, report->text);
  } else {
    write(TRV_LOG_WARNING, trv_plain_report(trv_runtime_warning_heading, message));
  }
}

trvvar_shared trv_runtime_error_text(const std::string& message, trv_error_flow flow) {
  trv_task* task = running_task();
  if (task == nullptr) {
    write(TRV_LOG_ERROR, trv_frame_error(message));
    return trvvar_new();
  }
  print_error_trace(*task, message);
  trvvar_shared error = trvvar_new();
  trvvar_set_type(*error, TRVVAR_STRING);
  trv_string_object_text(*error->payload.object) = trv_frame_error(message);
  task->pending_error = std::move(error);
  if (flow == TRV_ERROR_ABORT) apply_error_status(*task);
  return trvvar_new();
}
