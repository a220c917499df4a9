#pragma once

#include "values/var.h"

// Assignment: the destination takes the source's value. A member-typed source is replaced by
// its current value in the caller's handle first; a member-typed destination writes through
// to its object. Strings and bytes are copied, json containers shared, objects shared or
// copied as their self_pointer says.
void trvvar_set(trvvar& destination, trvvar_shared& source);

// The assignment of a none, integer or float into a record without a payload of its own, done
// here: a copy of type and payload. False, with nothing changed, for any other pair.
inline bool trvvar_set_plain(trvvar& destination, const trvvar& source) {
  if (source.type < TRVVAR_NONE || source.type > TRVVAR_FLOAT ||
      destination.type >= TRVVAR_STRING) {
    return false;
  }
  destination.type = source.type;
  destination.flags2 = 0;
  destination.payload.raw = source.payload.raw;
  return true;
}

// Copies the text of string `source` into string `destination` when nothing else holds the
// destination's object, which keeps the object and its storage: nothing can tell it from a new
// one. False, with nothing changed, otherwise.
bool trvvar_set_string_in_place(trvvar& destination, const trvvar& source);
