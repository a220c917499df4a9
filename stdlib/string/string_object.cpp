// The object operations of std.string and its constructor function "std"."string".

#include <optional>

#include "objects/namespace.h"
#include "stdlib/json/json_string_list.h"
#include "stdlib/string/std_string.h"
#include "stdlib/string/string_args.h"
#include "stdlib/string/string_edit.h"
#include "stdlib/string/string_replace.h"
#include "values/convert.h"

namespace {

// Concatenates the texts of all arguments into a new string value.
trvvar_shared construct(trv_vm_context& /*context*/, std::vector<trvvar_shared>& args) {
  std::string text;
  for (const trvvar_shared& arg : args) text.append(trv_text_arg(*arg).view());
  return trv_string_result(std::move(text));
}

}  // namespace

void trv_std_string::populate_namespace(trv_namespace& ns) {
  add_class_constructor(
      ns, construct, 0, 0,
      "Create a new string, optionally initialized with given values that are concatenated");
}

// Never an error: an index outside the text reads as the empty string.
trvvar_shared trv_std_string::get_index_member(int64_t index) {
  if (index < 0) index += static_cast<int64_t>(text.size());
  if (index < 0 || static_cast<uint64_t>(index) >= text.size()) {
    return trv_string_result(std::string_view());
  }
  return trv_string_result(std::string_view(text).substr(static_cast<size_t>(index), 1));
}

void trv_std_string::set_index_member(int64_t index, trvvar_shared& value) {
  const trvvar_shared held = std::move(value);
  if (!held) return;
  trv_write_at(text, index, trv_text_arg(*held, this).view());
}

// Substitution: s[key] = value replaces every occurrence of key by the text of value. With a
// json value the n-th occurrence (from 0) is replaced by the text of element n while there is
// one, and later occurrences stay. An empty key occurs before every byte and at the end (see
// trv_substitute).
void trv_std_string::set_named_member(std::string_view name, trvvar_shared& value) {
  const trvvar_shared held = std::move(value);
  if (!held) return;
  const trv_json_entry_vector* elements = trv_json_entries(*held);
  if (elements == nullptr) {
    trv_replace_all(text, name, trv_text_arg(*held).view());
    return;
  }
  std::string element_text;
  trv_substitute(text, name, [&](size_t n) -> std::optional<std::string_view> {
    if (n >= elements->size()) return std::nullopt;
    element_text = trvvar_string_value(*(*elements)[n].value);
    return element_text;
  });
}
