#include "stdlib/string/string_args.h"

#include "stdlib/string/std_string.h"
#include "values/convert.h"

trv_text_arg::trv_text_arg(const trvvar& v, const trv_std_string* receiver) {
  const trv_std_string* object =
      v.type == TRVVAR_STRING ? trv_object_cast<trv_std_string>(trvvar_payload_object(v)) : nullptr;
  if (object != nullptr && object != receiver) {
    view_ = object->text;
  } else {
    owned_ = trvvar_string_value(v);
    view_ = owned_;
  }
}

std::optional<int64_t> trv_optional_int_arg(const std::vector<trvvar_shared>& args, size_t i) {
  if (i >= args.size()) return std::nullopt;
  return trvvar_int_value(*args[i]);
}

trvvar_shared trv_string_result(std::string&& text) {
  trvvar_shared result = trvvar_new();
  trvvar_get_or_make_string(*result) = std::move(text);
  return result;
}

trvvar_shared trv_string_result(std::string_view text) {
  trvvar_shared result = trvvar_new();
  trvvar_set_string(*result, text);
  return result;
}
