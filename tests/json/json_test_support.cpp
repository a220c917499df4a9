#include "tests/json/json_test_support.h"

#include "stdlib/json/json_parse.h"
#include "stdlib/json/json_print.h"

std::string json_value::text() const { return trv_json_to_text(*c, true); }

json_value parsed(std::string_view text) {
  json_value j;
  trv_json_from_string(*j.c, text, true);
  return j;
}

std::string trv_json_to_text_for_test(const trvvar& v) {
  return trv_json_to_text(*trv_json_of(v), true);
}
