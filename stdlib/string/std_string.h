#pragma once

#include <string>

#include "objects/object_binding.h"

// std.string: a byte string with value semantics. Asking a string for a pointer to itself
// yields a copy.
class trv_std_string : public trvobject<trv_std_string, "std.string">,
                       public trvptr_type_tag<trv_std_string> {
 public:
  std::string text;

  static void script_register();

  std::string to_string() override { return text; }
  trvptr_strong<trvobject_base> self_pointer() override;
};

// Turns the record into a string if it is none and replaces its text.
void trvvar_set_string(trvvar& v, std::string_view text);
// The record's text for editing; a record of another type becomes an empty string first.
std::string& trvvar_get_or_make_string(trvvar& v);
