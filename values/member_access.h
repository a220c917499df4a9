#pragma once

#include <cstdint>
#include <string_view>

#include "values/var.h"

// Members of a value. A json value answers from its container (reading a missing key creates
// it). A string, binary or live object value answers with a member variable (type 14 or 15)
// that holds the object, so later reads and writes reach the object's members. Any other
// value is first turned into an empty json container: reading a member of a plain value
// makes it a json object.
trvvar_shared trvvar_member_by_name(trvvar& v, std::string_view name);
trvvar_shared trvvar_member_by_index(trvvar& v, int64_t index);

// Whether the value has the named member. An object value whose object is gone becomes none.
bool trvvar_has_member(trvvar& v, std::string_view name);

// True for a live script class instance. An instance that is gone is logged as an error and
// the variable becomes none.
bool trvvar_class_check(trvvar& v);
