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
  // Empties the text and goes back to the pool.
  void release() override;
  // Empties the text, keeping up to 1024 bytes of its storage for the object's next use.
  void empty_for_reuse();

  // Object operations (string_object.cpp).
  trvvar_shared get_index_member(int64_t index) override;
  void set_index_member(int64_t index, trvvar_shared& value) override;
  void set_named_member(std::string_view name, trvvar_shared& value) override;
  bool is_empty() override { return text.empty(); }
  // The byte length, as the unsigned 32-bit count the interface reports.
  int64_t element_count() override { return static_cast<uint32_t>(text.size()); }
};

// A new string variable holding `text`, made from the pools of `owned` (the calling thread's
// owned runtime, looked up once by a caller that makes many) or from the heap when it is null.
trvvar_shared trv_new_string_var(std::string_view text, trv_runtime* owned);

// When `value` is the only holder of a string (count 1, no flags, its object held by it alone,
// all three from pools), gives the three straight back to the pools of `owned`, the calling
// thread's owned runtime, empties the handle and returns true; otherwise does nothing and
// returns false. Releasing a container's strings this way skips the general release path:
// three lookups of the thread's state and two virtual calls per string.
bool trv_release_unshared_string(trvvar_shared& value, trv_runtime& owned);

// Turns the record into a string if it is none and replaces its text.
void trvvar_set_string(trvvar& v, std::string_view text);
// The record's text for editing; a record of another type becomes an empty string first.
std::string& trvvar_get_or_make_string(trvvar& v);
