// JSON text through from_string, salvage included, then printed and parsed again: the
// printed form of any parsed container must parse without salvage. When the library takes
// the whole text as one object or array, the printed form must also be the library's dump
// of its document, rewritten by the container's mapping rules.

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>

#include "stdlib/json/json_parse.h"
#include "stdlib/json/json_print.h"
#include "stdlib/json/path_guard.h"
#include "stdlib/json/std_json.h"

namespace {

using json = nlohmann::json;

// The document a container parsed from `doc` maps back to: an empty list is an empty
// container, which prints as {}; an object whose only key is "" has no key left and is a
// list; integers are signed 64-bit.
void as_container_prints(json& doc) {
  if (doc.is_array() && doc.empty()) doc = json::object();
  if (doc.is_object() && doc.size() == 1 && doc.begin().key().empty()) {
    doc = json::array({std::move(doc.begin().value())});
  }
  if (doc.is_number_unsigned()) doc = static_cast<int64_t>(doc.get<uint64_t>());
  if (!doc.is_structured()) return;
  for (json& element : doc) as_container_prints(element);
}

void expect_the_librarys_text(std::string_view text, trv_std_json& container) {
  // Trimming keeps the whole text, and the text is too short to nest deeper than the guard
  // allows (each level costs two bytes).
  if (text.size() > 2 * trv_json_path_guard::limit) return;
  if (text.front() != '{' && text.front() != '[') return;
  if (text.back() != '}' && text.back() != ']') return;
  json doc = json::parse(text, nullptr, false, true);
  if (doc.is_discarded()) return;
  as_container_prints(doc);
  for (int indent : {-1, 4}) {
    const std::string expected = doc.dump(indent, ' ', false, json::error_handler_t::replace);
    if (trv_json_to_text(container, indent < 0) != expected) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  trvvar_shared var = trv_new_json_var();
  trv_std_json& container = *trv_json_of(*var);
  if (!trv_json_from_string(container, text, true)) return 0;
  const std::string printed = trv_json_to_text(container, true);
  trvvar_shared again = trv_new_json_var();
  if (!trv_json_from_string(*trv_json_of(*again), printed, true)) std::abort();
  if (trv_json_to_text(*trv_json_of(*again), true) != printed) std::abort();
  expect_the_librarys_text(text, container);
  return 0;
}
