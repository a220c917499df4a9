#pragma once

// Calling std.string methods the way the interpreter does: through the definition registered
// under the method's name, with the receiver as the context's native object.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "values/convert.h"
#include "values/payload_objects.h"
#include "vm/call.h"
#include "vm/vm_context.h"

namespace string_calls {

inline trvptr_strong<trv_std_string> new_string(std::string_view text) {
  trv_std_string::script_register();
  auto s = trvptr_strong<trv_std_string>::adopt(trv_new_string_object().take_block());
  s->text = text;
  return s;
}

inline trvvar_shared var(int64_t value) {
  trvvar_shared v = trvvar_new();
  trvvar_set_int(*v, value);
  return v;
}
inline trvvar_shared var(int value) { return var(static_cast<int64_t>(value)); }
inline trvvar_shared var(std::string_view text) {
  trvvar_shared v = trvvar_new();
  trvvar_set_string(*v, text);
  return v;
}
inline trvvar_shared var(const char* text) { return var(std::string_view(text)); }
inline trvvar_shared var(trvvar_shared v) { return v; }

// A string value whose object is `s` itself, as when a string is passed to its own method.
inline trvvar_shared same_object(trv_std_string& s) {
  trvvar_shared v = trvvar_new();
  trvvar_set_type(*v, TRVVAR_STRING);
  v->payload.object = trvptr_strong<trvobject_base>::from(&s);
  return v;
}

// A json container of entries (key, text); an empty key makes the entry keyless.
inline trvvar_shared json(const std::vector<std::pair<std::string, std::string>>& entries) {
  trvvar_shared v = trvvar_new();
  trvvar_set_type(*v, TRVVAR_JSON);
  auto* container = trv_object_cast<trv_std_json>(trvvar_payload_object(*v));
  for (const auto& [key, text] : entries) {
    container->entries.push_back(
        {key.empty() ? trv_json_key() : trv_json_key(key), var(std::string_view(text))});
  }
  return v;
}

inline const trv_function_def& method(std::string_view name) {
  trv_std_string::script_register();
  const int64_t index = trv_std_string::member_table.at(name);
  return *trv_std_string::member_list[static_cast<size_t>(index)]->function_def();
}

template <class... Args>
trvvar_shared call_on(trv_std_string& receiver, std::string_view name, Args&&... args) {
  const trv_function_def& def = method(name);
  std::vector<trvvar_shared> arguments{var(std::forward<Args>(args))...};
  EXPECT_GE(arguments.size(), def.min_params) << name;
  EXPECT_LE(arguments.size(), def.max_params) << name;
  trv_vm_context context;
  context.native_object = &receiver;
  return trv_call_native(context, def, context.native_object, arguments);
}

template <class... Args>
trvvar_shared call(std::string_view text, std::string_view name, Args&&... args) {
  trvptr_strong<trv_std_string> receiver = new_string(text);
  return call_on(*receiver, name, std::forward<Args>(args)...);
}

// The text of a string result; "<type n>" for anything else, so that a wrong kind fails.
inline std::string text(const trvvar_shared& v) {
  if (v->type != TRVVAR_STRING) return "<type " + std::to_string(v->type) + ">";
  return trvvar_string_value(*v);
}

inline int64_t integer(const trvvar_shared& v) {
  EXPECT_EQ(v->type, TRVVAR_INT);
  return trvvar_int_value(*v);
}

// The elements of a json list of strings.
inline std::vector<std::string> list(const trvvar_shared& v) {
  std::vector<std::string> out;
  EXPECT_EQ(v->type, TRVVAR_JSON);
  auto* container = trv_object_cast<trv_std_json>(trvvar_payload_object(*v));
  if (container == nullptr) return out;
  for (const trv_json_entry& e : container->entries) {
    EXPECT_FALSE(e.key);
    out.push_back(text(e.value));
  }
  return out;
}

using strings = std::vector<std::string>;

}  // namespace string_calls
