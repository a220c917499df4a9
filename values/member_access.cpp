#include "values/member_access.h"

#include <string>

#include "glue/log.h"
#include "values/class_hooks.h"
#include "values/object.h"
#include "values/payloads.h"

namespace {

// The object whose members a string, binary or object value exposes; null for other types
// and for an object value whose object is gone.
trvobject_base* member_owner(const trvvar& v) {
  switch (v.type) {
    case TRVVAR_STRING:
    case TRVVAR_BINARY:
      return v.payload.object.get();
    case TRVVAR_OBJECT:
      return v.payload.object_payload->object.get();
    default:
      return nullptr;
  }
}

// The json container a value is, or becomes (a dead object value passes through none).
trvobject_base& container_of(trvvar& v) {
  if (v.type != TRVVAR_JSON) {
    if (v.type == TRVVAR_OBJECT) trvvar_set_type(v, TRVVAR_NONE);
    trvvar_set_type(v, TRVVAR_JSON);
  }
  return *v.payload.object;
}

}  // namespace

trvvar_shared trvvar_member_by_name(trvvar& v, std::string_view name) {
  if (trvobject_base* owner = member_owner(v)) {
    trvvar_shared member = trvvar_new();
    trvvar_set_type(*member, TRVVAR_OBJECT_MEMBER_LITERAL);
    trvvar_member_literal_payload* p = member->payload.member_literal_payload;
    p->object = trvptr_strong<trvobject_base>::from(owner);
    p->name.assign(name);
    return member;
  }
  if (v.type == TRVVAR_CLASS) {
    auto named_member = trv_class_hooks_installed.named_member;
    if (named_member == nullptr || !trvvar_class_live(v)) return trvvar_new();
    return named_member(v, name);
  }
  if (v.type != TRVVAR_JSON) {
    // Making the value a container releases what it held, which can run code (a destructor)
    // that changes the text `name` views.
    const std::string kept(name);
    return container_of(v).get_named_member(kept);
  }
  return v.payload.object->get_named_member(name);
}

trvvar_shared trvvar_member_by_index(trvvar& v, int64_t index) {
  if (trvobject_base* owner = member_owner(v)) {
    trvvar_shared member = trvvar_new();
    trvvar_set_type(*member, TRVVAR_OBJECT_MEMBER_INDEX);
    trvvar_member_index_payload* p = member->payload.member_index_payload;
    p->object = trvptr_strong<trvobject_base>::from(owner);
    p->index = index;
    return member;
  }
  return container_of(v).get_index_member(index);
}

bool trvvar_has_member(trvvar& v, std::string_view name) {
  if (trvobject_base* owner = member_owner(v)) return owner->has_named_member(name);
  if (v.type == TRVVAR_JSON) return v.payload.object->has_named_member(name);
  if (v.type == TRVVAR_OBJECT) trvvar_set_type(v, TRVVAR_NONE);
  return false;
}

bool trvvar_class_check(trvvar& v) {
  if (v.type != TRVVAR_CLASS) return false;
  if (trvvar_class_live(v)) return true;
  trv_log(TRV_LOG_ERROR, "Cannot get class ref.");
  trvvar_set_type(v, TRVVAR_NONE);
  return false;
}
