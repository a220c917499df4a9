#pragma once

// The objects that carry string, binary and json values belong to their classes; the variable
// layer reaches them through these functions, defined with each class.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "glue/object_ptr.h"
#include "values/serializable.h"
#include "values/var.h"

class trvobject_base;

trvptr_strong<trvobject_base> trv_new_string_object();
trvptr_strong<trvobject_base> trv_new_buffer_object();
trvptr_strong<trvobject_base> trv_new_json_object();

// Empties a json container and, through its entries, every container it holds, so that
// cycles among containers are broken. `container` must be a json object.
void trv_json_teardown(trvobject_base& container);
// Each empties `object` in place when it is of its class (a json container as
// trv_json_teardown does) and answers whether it was.
bool trv_empty_string_object(trvobject_base& object);
bool trv_empty_buffer_object(trvobject_base& object);
bool trv_empty_json_object(trvobject_base& object);
// A new keyless entry at the end of a json container, its value a none to be set.
// `container` must be a json object.
trvvar_shared trv_json_add_keyless(trvobject_base& container);
// The compact JSON text of a json container, the text form of a json value.
std::string trv_json_compact_text(trvobject_base& container);

// A new object of the class whose own binary record starts at the reader's position (the
// record's section tag names the class), or null when no class reads records of that tag. The
// position does not move.
trvptr_strong<trvobject_base> trv_new_object_for_record(const trv_binary_reader& reader);

// When the string record `v` alone holds its object (both from pools), gives the object back
// to the pools of `owned`, the calling thread's owned runtime, and makes `v` a none; otherwise
// changes nothing and returns false. It skips the general release path: lookups of the
// thread's state and virtual calls.
bool trv_release_string_payload(trvvar& v, trv_runtime& owned);

// A string object going back to its pool keeps storage for up to this many bytes of text, and
// so does a string that a parked frame keeps in a parameter.
inline constexpr size_t trv_string_kept_capacity = 1024;

// The text of the string record `v` when nothing but `v` holds its object (no other strong or
// weak pointer), which may then be rewritten in place; null otherwise.
std::string* trv_unshared_string_text(trvvar& v);
// The same for a string record that, besides, only its one handle holds and that carries no
// flags: a record its holder may keep and rewrite as its own.
inline std::string* trv_sole_string_text(trvvar& v) {
  if (v.type != TRVVAR_STRING || v.refcount != 1 || v.flags != 0) return nullptr;
  return trv_unshared_string_text(v);
}

// The text of a string object and the bytes of a buffer object, for the variable layer.
// `object` must be of that class.
std::string& trv_string_object_text(trvobject_base& object);
std::vector<uint8_t>& trv_buffer_object_bytes(trvobject_base& object);

// A new json variable whose container holds every entry of the container `left`, then every
// entry of `right`, each assigned: a keyed one through the target's find-or-add by key (a right
// value replaces a left value of the same key), a keyless one appended. Both operands stay
// unchanged.
trvvar_shared trv_json_concat(trvobject_base& left, trvobject_base& right);
