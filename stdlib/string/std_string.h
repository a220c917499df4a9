#pragma once

#include <string>

#include "objects/object_binding.h"
#include "values/pooled.h"

class trv_namespace;

// std.string: a byte string with value semantics. Asking a string for a pointer to itself
// yields a copy.
class trv_std_string : public trvobject<trv_std_string, "std.string">,
                       public trvptr_type_tag<trv_std_string>,
                       public trv_pooled_class {
 public:
  std::string text;

  static constexpr uint32_t constructor_max_params = trv_any_param_count;
  static constexpr std::string_view constructor_parameter_docs[] = {
      "value: string - Initial string values to concatenate"};

  // The method table (string_methods.cpp).
  static void script_register();
  // The populate callback of the "std" namespace that adds the constructor "string".
  static void populate_namespace(trv_namespace& ns);

  std::string to_string() override { return text; }
  trvptr_strong<trvobject_base> self_pointer() override;
  // Empties the text, keeping up to 1024 bytes of its storage, and goes back to the pool.
  void release() override;

  // Object operations (string_object.cpp).
  trvvar_shared get_index_member(int64_t index) override;
  void set_index_member(int64_t index, trvvar_shared& value) override;
  void set_named_member(std::string_view name, trvvar_shared& value) override;
  bool is_empty() override { return text.empty(); }
  // The byte length, as the unsigned 32-bit count the interface reports.
  int64_t element_count() override { return static_cast<uint32_t>(text.size()); }
};

template <>
struct trv_pool_of<trv_std_string> : std::integral_constant<trv_pool_id, TRV_POOL_STRING_OBJECTS> {
};

// Turns the record into a string if it is none and replaces its text.
void trvvar_set_string(trvvar& v, std::string_view text);
// The record's text for editing; a record of another type becomes an empty string first.
std::string& trvvar_get_or_make_string(trvvar& v);
