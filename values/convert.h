#pragma once

#include <string>

#include "values/var.h"

// The text of a value: "ERROR" for error, "" for none, decimal integers, floats as "%f", a
// string's own text, an object's string form, a member's or reference target's text.
std::string trvvar_string_value(const trvvar& v);
