#pragma once

#include "values/var.h"

// True when the value counts as zero or empty: error and none always, zero numbers (NaN is
// not zero), empty texts, buffers and containers, objects by their own test, anything whose
// object, instance or definition is gone, members that are missing or zero.
bool trvvar_compare_zero(const trvvar& v);

// The comparisons choose their rule by the larger of the two type values: 2 integers, 3
// floats, 5 texts (a side that is not a string is converted), 7 a container against its
// element count, 8 the objects' own tests, 10 instance identity. Other pairings warn with the
// left operand's type and answer false.
bool trvvar_compare_equal(trvvar& a, trvvar& b);
bool trvvar_compare_smaller(trvvar& a, trvvar& b, bool or_equal);
bool trvvar_compare_bigger(trvvar& a, trvvar& b, bool or_equal);
