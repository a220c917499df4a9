#include "stdlib/buffer/std_buffer.h"

#include "values/payload_objects.h"

void trv_std_buffer::script_register() {
  if (registered) return;
  registered = true;
  script_register_internal();
}

trvptr_strong<trvobject_base> trv_new_buffer_object() {
  return trvptr_strong<trvobject_base>::from(new trv_std_buffer());
}

std::vector<uint8_t>& trv_buffer_object_bytes(trvobject_base& object) {
  return static_cast<trv_std_buffer&>(object).bytes;
}

std::vector<uint8_t>& trvvar_get_or_make_binary(trvvar& v) {
  if (v.type != TRVVAR_BINARY) trvvar_set_type(v, TRVVAR_BINARY);
  return trv_buffer_object_bytes(*v.payload.object);
}
