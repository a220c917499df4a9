#include "stdlib/string/std_string.h"

#include "values/payload_objects.h"

void trv_std_string::script_register() {
  if (registered) return;
  registered = true;
  script_register_internal();
}

trvptr_strong<trvobject_base> trv_std_string::self_pointer() {
  auto* copy = new trv_std_string();
  copy->text = text;
  return trvptr_strong<trvobject_base>::from(copy);
}

trvptr_strong<trvobject_base> trv_new_string_object() {
  return trvptr_strong<trvobject_base>::from(new trv_std_string());
}

std::string& trv_string_object_text(trvobject_base& object) {
  return static_cast<trv_std_string&>(object).text;
}

std::string& trvvar_get_or_make_string(trvvar& v) {
  if (v.type != TRVVAR_STRING) trvvar_set_type(v, TRVVAR_STRING);
  return trv_string_object_text(*v.payload.object);
}

void trvvar_set_string(trvvar& v, std::string_view text) {
  trvvar_get_or_make_string(v).assign(text);
}
