#pragma once

#include "values/var.h"

// Assignment: the destination takes the source's value. A member-typed source is replaced by
// its current value in the caller's handle first; a member-typed destination writes through
// to its object. Strings and bytes are copied, json containers shared, objects shared or
// copied as their self_pointer says.
void trvvar_set(trvvar& destination, trvvar_shared& source);
