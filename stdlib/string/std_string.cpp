#include "stdlib/string/std_string.h"

#include "values/payload_objects.h"

namespace {

const trv_pool_kind_registration<trv_std_string> string_object_pool;

// Storage up to this capacity stays with a recycled object for its next use.
constexpr size_t kept_capacity = 1024;

}  // namespace

trvptr_strong<trvobject_base> trv_std_string::self_pointer() {
  trv_std_string* copy = trv_pooled_new<trv_std_string>();
  if (copy == nullptr) return {};
  copy->text = text;
  return trvptr_strong<trvobject_base>::from(copy);
}

void trv_std_string::release() {
  text.clear();
  if (text.capacity() > kept_capacity) std::string().swap(text);
  trv_pooled_release(this);
}

trvptr_strong<trvobject_base> trv_new_string_object() {
  return trv_pooled_new_shared<trv_std_string>();
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
