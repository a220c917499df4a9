#pragma once

// Arguments and results of the string methods.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "values/var.h"

class trv_std_string;

// The text of an argument: a string argument's own text viewed in place, any other value
// converted. When the argument is the receiver of an editing method, its text is copied, so
// that editing the receiver cannot pull the argument from under the edit.
class trv_text_arg {
 public:
  explicit trv_text_arg(const trvvar& v, const trv_std_string* receiver = nullptr);
  trv_text_arg(const trv_text_arg&) = delete;
  trv_text_arg& operator=(const trv_text_arg&) = delete;

  std::string_view view() const { return view_; }

 private:
  std::string owned_;
  std::string_view view_;
};

// The integer conversion of argument i, or nothing when fewer arguments were passed.
std::optional<int64_t> trv_optional_int_arg(const std::vector<trvvar_shared>& args, size_t i);

trvvar_shared trv_string_result(std::string&& text);
trvvar_shared trv_string_result(std::string_view text);
