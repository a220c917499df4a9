#include "stdlib/string/std_string.h"

#include "values/payload_objects.h"

namespace {

const trv_pool_kind_registration<trv_std_string> string_object_pool;

}  // namespace

trvptr_strong<trvobject_base> trv_std_string::self_pointer() {
  trvptr_strong<trv_std_string> copy = trv_pooled_new_shared<trv_std_string>();
  if (!copy) return {};
  copy->text = text;
  return copy;
}

void trv_std_string::release() {
  empty_for_reuse();
  trv_pooled_release(this);
}

void trv_std_string::empty_for_reuse() {
  text.clear();
  if (text.capacity() > trv_string_kept_capacity) std::string().swap(text);
}

trvptr_strong<trvobject_base> trv_new_string_object() {
  return trv_pooled_new_shared<trv_std_string>();
}

trvvar_shared trv_new_string_var(std::string_view text, trv_runtime* owned) {
  trvptr_strong<trv_std_string> object = trv_pooled_new_shared<trv_std_string>(owned);
  if (!object) throw std::bad_alloc();
  object->text.assign(text);
  return trvvar_new_carrying(TRVVAR_STRING, std::move(object), owned);
}

bool trv_release_string_payload(trvvar& v, trv_runtime& owned) {
  if (v.type != TRVVAR_STRING) return false;
  trvptr_control_block* block = v.payload.object.control_block();
  if (block == nullptr || block->strong_count != 1 || block->weak_count != 0 ||
      block->pool_tag == trv_heap_tag) {
    return false;
  }
  auto* object = static_cast<trv_std_string*>(static_cast<trvobject_base*>(block->object));
  if (object->pool_tag == trv_heap_tag) return false;
  // What the general path does, in its order: the block dies before the object is emptied.
  block->object = nullptr;
  block->strong_count = 0;
  block->alive = 0;
  object->control_block = nullptr;
  trv_pool_free(owned.pools[TRV_POOL_CONTROL_BLOCKS].pool, block);
  object->empty_for_reuse();
  trv_pool_free(owned.pools[TRV_POOL_STRING_OBJECTS].pool, object);
  v.payload.raw = 0;
  v.type = TRVVAR_NONE;
  return true;
}

bool trv_release_unshared_string(trvvar_shared& value, trv_runtime& owned) {
  trvvar* v = value.get();
  if (v == nullptr || v->refcount != 1 || v->flags != 0 || v->pool_tag == trv_heap_tag ||
      !trv_release_string_payload(*v, owned)) {
    return false;
  }
  return trvvar_release_unshared_plain(value, owned);
}

std::string* trv_unshared_string_text(trvvar& v) {
  if (v.type != TRVVAR_STRING) return nullptr;
  const trvptr_control_block* block = v.payload.object.control_block();
  if (block == nullptr || block->strong_count != 1 || block->weak_count != 0) return nullptr;
  return &static_cast<trv_std_string&>(*v.payload.object).text;
}

std::string& trv_string_object_text(trvobject_base& object) {
  return static_cast<trv_std_string&>(object).text;
}

bool trv_empty_string_object(trvobject_base& object) {
  trv_std_string* string = trv_object_cast<trv_std_string>(&object);
  if (string != nullptr) string->text.clear();
  return string != nullptr;
}

std::string& trvvar_get_or_make_string(trvvar& v) {
  if (v.type != TRVVAR_STRING) trvvar_set_type(v, TRVVAR_STRING);
  return trv_string_object_text(*v.payload.object);
}

void trvvar_set_string(trvvar& v, std::string_view text) {
  trvvar_get_or_make_string(v).assign(text);
}
