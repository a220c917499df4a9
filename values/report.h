#pragma once

// Runtime warnings and errors as the value layer raises them. While a script runs on the
// calling thread they are printed with the script's layout; otherwise a warning goes to the
// logger's warning category and an error, framed by star lines, to its error category.

#include <string>

#include "glue/message.h"
#include "values/var.h"

void trv_runtime_warning_text(const std::string& message);
// Returns a new none variable for the caller to put where its result would have gone.
trvvar_shared trv_runtime_error_text(const std::string& message);

template <class... Pieces>
void trv_runtime_warning(const Pieces&... pieces) {
  trv_runtime_warning_text(trv_message(pieces...));
}

template <class... Pieces>
trvvar_shared trv_runtime_error(const Pieces&... pieces) {
  return trv_runtime_error_text(trv_message(pieces...));
}

// A member variable whose object is gone.
template <class Member>
trvvar_shared trv_invalid_object_error(const Member& member) {
  return trv_runtime_error("Tried to access index '", member, "' on an invalid object.");
}
