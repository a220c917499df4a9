#pragma once

// Builders for the value tests.

#include <string_view>

#include "stdlib/json/json_values.h"
#include "stdlib/string/std_string.h"
#include "values/payloads.h"
#include "values/var.h"

inline trvvar_shared of_type(trvvar_type t) {
  trvvar_shared v = trvvar_new();
  trvvar_set_type(*v, t);
  return v;
}

inline trvvar_shared int_of(int64_t value) {
  trvvar_shared v = trvvar_new();
  trvvar_set_int(*v, value);
  return v;
}

inline trvvar_shared float_of(double value) {
  trvvar_shared v = trvvar_new();
  trvvar_set_float(*v, value);
  return v;
}

inline trvvar_shared string_of(std::string_view text) {
  trvvar_shared v = trvvar_new();
  trvvar_set_string(*v, text);
  return v;
}

// A json value with `count` keyless integer entries 0, 1, ...
inline trvvar_shared json_of(int count) {
  trvvar_shared v = trvvar_new();
  trv_std_json& container = trvvar_get_or_make_json(*v);
  for (int i = 0; i < count; ++i) trvvar_set_int(*container.add_keyless(), i);
  return v;
}

inline trvvar_shared object_of(trvobject_base* object) {
  trvvar_shared v = trvvar_new();
  trvvar_set_type(*v, TRVVAR_OBJECT);
  v->payload.object_payload->object = trvptr_strong<trvobject_base>::from(object);
  return v;
}

// A reference to `target`, holding it.
inline trvvar_shared ref_to(const trvvar_shared& target) {
  trvvar_shared v = of_type(TRVVAR_REF);
  ++target->refcount;
  v->payload.ref = target.get();
  return v;
}
