#pragma once

// The part of a host's namespace that populate callbacks fill: the name-to-variable table
// script code sees, and the definitions the namespace owns.

#include <cstdint>
#include <string_view>
#include <vector>

#include "glue/hashing.h"
#include "objects/function_def.h"
#include "values/var.h"

class trv_namespace {
 public:
  trv_namespace() : functions(trv_make_table<trv_name_map<trvvar_shared>>()) {}
  ~trv_namespace();
  trv_namespace(const trv_namespace&) = delete;
  trv_namespace& operator=(const trv_namespace&) = delete;

  trv_name_map<trvvar_shared> functions;
  std::vector<trv_function_def*> function_definitions;  // owned, in the order added
};

// Adds a native function under `name` (static storage). A name already present now shows the
// new function; the earlier definition stays in the list. Returns the new definition.
trv_function_def* add_function(trv_namespace& ns, std::string_view name,
                               trv_native_callback callback, uint32_t unused_count,
                               uint32_t max_params, std::string_view documentation);
