#pragma once

#include "values/var.h"

// The destination becomes a reference to the source, holding one count of it. A value-only
// source is copied instead, unless the destination stands for an object member. No source
// makes the destination none.
void trvvar_make_ref(trvvar& destination, trvvar* source);

// The value a record stands for: the record itself, the end of a reference chain, or the
// current value of an object member. A cycle of references gives the warning "Circular
// reference detected in deref()." and a new none.
trvvar_shared trvvar_deref(trvvar* v);

// The first record of a chain of references that is not a reference (the record itself when
// it is none); null for a chain that loops or ends in an empty link.
trvvar* trvvar_chain_end(trvvar* v);

// Whether a record stands for another value (a member or a reference: types 14 and above).
inline bool trvvar_stands_for_other(const trvvar& v) {
  return v.type >= TRVVAR_OBJECT_MEMBER_LITERAL;
}

// deref only for types 14 and above; otherwise the record itself.
inline trvvar_shared trvvar_deref_cheap(trvvar* v) {
  if (v != nullptr && trvvar_stands_for_other(*v)) return trvvar_deref(v);
  return trvvar_shared::share(v);
}
