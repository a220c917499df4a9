#pragma once

#include <memory>
#include <string>
#include <vector>

#include "objects/object_binding.h"

// One entry of a container: an optional key and a value variable of its own.
struct trv_json_entry {
  std::unique_ptr<std::string> key;  // null for a keyless entry
  trvvar_shared value;
};

// std.json: an ordered sequence of entries, each with an optional key. Nested containers are
// values of type json, shared rather than copied, so containers can hold themselves.
class trv_std_json : public trvobject<trv_std_json, "std.json">,
                     public trvptr_type_tag<trv_std_json> {
 public:
  std::vector<trv_json_entry> entries;

  static void script_register();

  bool is_empty() override { return entries.empty(); }
  int64_t element_count() override { return static_cast<int64_t>(entries.size()); }

  // Empties this container and every container nested in it, marking the other values for
  // teardown, so that cycles among containers are broken. Skips what the shared path guard
  // refuses (a cycle, or deeper than 1024).
  void clear_and_free();
};
