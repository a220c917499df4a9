#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "values/var.h"

// The text of a value: "ERROR" for error, "" for none, decimal integers, floats as "%f", a
// string's own text, an object's string form, a member's or reference target's text.
std::string trvvar_string_value(const trvvar& v);

// The text viewed without copying when the value is a string; other values are converted into
// a scratch string of the calling thread, valid until its next string view.
std::string_view trvvar_string_view(const trvvar& v);

// 0 for none; floats truncated toward zero (out of range and NaN give the most negative
// integer); strings as atoll reads them; a reference's target.
int64_t trvvar_int_value(const trvvar& v);

// Integers converted; strings as atof reads them; a reference's target. None is not a number.
double trvvar_float_value(const trvvar& v);

// Truth: non-zero numbers (NaN is true), non-empty texts and containers, a reference with a
// target, a function whose definition exists.
bool trvvar_get_bool(const trvvar& v);

// The value a reference stands for: its target, or the end of a chain of references; empty
// when it leads nowhere or to itself. A cycle gives deref's warning and a none.
trvvar_shared trvvar_ref_value(const trvvar& v);
