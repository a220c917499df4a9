#pragma once

// Runtime warnings and errors as the value layer raises them. While a script runs on the
// calling thread they are printed with the script's layout; otherwise a warning goes to the
// logger's warning category and an error, framed by star lines, to its error category.

#include <string>

#include "glue/message.h"
#include "values/var.h"

// What a runtime error does to the script that raised it. With the abort flag (the rule for
// every error unless its raiser says otherwise) the failing frame stops, unless a no-except
// block encloses it; without it the error is printed and becomes the pending error value, but
// the operation goes on with its result.
enum trv_error_flow : uint8_t { TRV_ERROR_ABORT, TRV_ERROR_CONTINUE };

void trv_runtime_warning_text(const std::string& message);
// Returns a new none variable for the caller to put where its result would have gone.
trvvar_shared trv_runtime_error_text(const std::string& message,
                                     trv_error_flow flow = TRV_ERROR_ABORT);

template <class... Pieces>
void trv_runtime_warning(const Pieces&... pieces) {
  trv_runtime_warning_text(trv_message(pieces...));
}

template <class... Pieces>
trvvar_shared trv_runtime_error(const Pieces&... pieces) {
  return trv_runtime_error_text(trv_message(pieces...));
}

// A runtime error without the abort flag.
template <class... Pieces>
trvvar_shared trv_runtime_error_continuing(const Pieces&... pieces) {
  return trv_runtime_error_text(trv_message(pieces...), TRV_ERROR_CONTINUE);
}

// A member variable whose object is gone.
template <class Member>
trvvar_shared trv_invalid_object_error(const Member& member) {
  return trv_runtime_error("Tried to access index '", member, "' on an invalid object.");
}
