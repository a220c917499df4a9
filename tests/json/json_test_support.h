#pragma once

// Building values and calling std.json methods the way the interpreter does.

#include <string>
#include <string_view>
#include <vector>

#include "glue/global_instance.h"
#include "objects/object_metadata.h"
#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "tests/support/test_values.h"
#include "values/convert.h"
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
    return metadata->methods.at(method)->native_callback(context, args);
  }
  std::string text() const;  // compact JSON text
  std::vector<std::string> keys() const {
    std::vector<std::string> out;
    for (const trv_json_entry& e : c->entries) out.emplace_back(e.key ? *e.key : "-");
    return out;
  }
};

// The compact text of a json variable's container.
std::string trv_json_to_text_for_test(const trvvar& v);

// A container filled from JSON text.
json_value parsed(std::string_view text);

// `depth` nested empty lists, each the only entry of the one before.
json_value nested(size_t depth);
// How many containers deep the chain of first entries goes.
size_t nested_depth(trv_std_json* at);
