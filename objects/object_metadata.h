#pragma once

#include <string_view>
#include <vector>

#include "glue/hashing.h"

class trv_function_def;

// What a host may learn about a native class: its methods by name and the names of its member
// variables in member order.
struct trvobject_metadata {
  trv_name_map<trv_function_def*> methods = trv_make_table<trv_name_map<trv_function_def*>>();
  std::vector<std::string_view> variable_names;
};
