#pragma once

// Building values and calling std.json methods the way the interpreter does.

#include <string>
#include <string_view>
#include <vector>

#include "glue/global_instance.h"
#include "objects/object_metadata.h"
#include "stdlib/json/json_parse.h"
#include "stdlib/json/json_print.h"
#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "tests/support/test_values.h"
#include "values/convert.h"
#include "vm/call.h"
#include "vm/vm_context.h"

// A json variable and its container.
struct json_value {
  trv_std_json* c = nullptr;
  trvvar_shared var = trv_new_json_var(&c);

  trv_std_json* operator->() const { return c; }

  // Calls a registered method with the container as its object.
  trvvar_shared call(std::string_view method, std::vector<trvvar_shared> args = {}) const {
    trv_std_json::script_register();
    auto& metadata = (*trv_get_global_instance()->object_metadata)["std.json"];
    trv_vm_context context;
    context.native_object = c;
    return trv_call_native(context, *metadata->methods.at(method), context.native_object, args);
  }
  std::string text() const { return trv_json_to_text(*c, true); }  // compact JSON text
  std::vector<std::string> keys() const {
    std::vector<std::string> out;
    for (const trv_json_entry& e : c->entries) out.emplace_back(e.key ? *e.key : "-");
    return out;
  }
};

// A container filled from JSON text.
inline json_value parsed(std::string_view text) {
  json_value j;
  trv_json_from_string(*j.c, text, true);
  return j;
}

// `depth` nested empty lists, each the only entry of the one before.
inline json_value nested(size_t depth) {
  return parsed(std::string(depth, '[') + std::string(depth, ']'));
}

// How many containers deep the chain of first entries goes.
inline size_t nested_depth(trv_std_json* at) {
  size_t depth = 1;
  for (; !at->entries.empty() && trv_json_of(*at->entries[0].value); ++depth) {
    at = trv_json_of(*at->entries[0].value);
  }
  return depth;
}
