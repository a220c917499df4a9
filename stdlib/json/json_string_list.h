#pragma once

// The json side of the string methods: their list results, and reading the entries of a json
// argument (a replacement map, or the pieces a key write substitutes).

#include <vector>

#include "stdlib/json/std_json.h"
#include "stdlib/string/string_parts.h"
#include "values/var.h"

// A new json variable that receives each piece as a keyless entry holding a new string, so
// that the result reads as a list of strings.
class trv_json_string_list final : public trv_string_parts {
 public:
  trv_json_string_list();
  void add(std::string_view part) override;
  void expect(size_t count) override;
  // The finished list; the collector is spent afterwards.
  trvvar_shared take() { return std::move(list_); }

 private:
  trvvar_shared list_;
  trv_std_json* container_;
  // Looked up once: no script code runs while a list is filled, so ownership cannot change.
  trv_runtime* owned_;
};

// The entries of a json value in container order, or null when the value is not json.
const trv_json_entry_vector* trv_json_entries(const trvvar& v);
