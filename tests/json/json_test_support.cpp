#include "tests/json/json_test_support.h"

#include "stdlib/json/json_parse.h"
#include "stdlib/json/json_print.h"

std::string json_value::text() const { return trv_json_to_text(*c, true); }

json_value parsed(std::string_view text) {
  json_value j;
  trv_json_from_string(*j.c, text, true);
  return j;
}

json_value nested(size_t depth) {
  return parsed(std::string(depth, '[') + std::string(depth, ']'));
}

size_t nested_depth(trv_std_json* at) {
  size_t depth = 1;
  for (; !at->entries.empty() && trv_json_of(*at->entries[0].value); ++depth) {
    at = trv_json_of(*at->entries[0].value);
  }
  return depth;
}

std::string trv_json_to_text_for_test(const trvvar& v) {
  return trv_json_to_text(*trv_json_of(v), true);
}
