#include "values/assign.h"

#include <new>
#include <string>
#include <vector>

#include "values/object.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/report.h"

namespace {

// Writes through a member-typed destination to its object.
void set_member_destination(trvvar& destination, trvvar_shared& source) {
  switch (destination.type) {
    case TRVVAR_OBJECT_MEMBER_LITERAL: {
      trvvar_member_literal_payload* p = destination.payload.member_literal_payload;
      trvptr_strong<trvobject_base> object = p->object;
      if (!object) break;
      const trvobject_use in_use(object.get());
      trvvar_shared value = source;
      object->set_named_member(p->name, value);
      return;
    }
    case TRVVAR_OBJECT_MEMBER_INDEX: {
      trvvar_member_index_payload* p = destination.payload.member_index_payload;
      trvptr_strong<trvobject_base> object = p->object;
      if (!object) break;
      const trvobject_use in_use(object.get());
      if (p->direct_access) {
        object->set_member_value(p->index, source);
      } else {
        trvvar_shared value = source;
        object->set_index_member(p->index, value);
      }
      return;
    }
    default: {
      trvvar_member_var_payload* p = destination.payload.member_var_payload;
      trvptr_strong<trvobject_base> object = p->object.lock();
      if (!object) break;
      const trvobject_use in_use(object.get());
      trvvar_shared key = p->key;
      trvvar_shared value = source;
      object->set_member(key, value);
      return;
    }
  }
  trv_runtime_warning("Cannot set object member, doesnt exist anymore!");
}

// What an object value's assignment stores: the same object when the source shares on
// assignment, else the object's own answer (a copy for classes with value semantics).
trvptr_strong<trvobject_base> assigned_object(const trvvar& source) {
  const trvvar_object_payload* from = source.payload.object_payload;
  trvobject_base* object = from->object.get();
  if (object == nullptr) return {};
  if ((source.flags & TRVVAR_FLAG_SHARE_ON_ASSIGN) != 0) return from->object;
  return object->self_pointer();
}

// Everything an assignment stores, taken from the source before the destination's old value
// is released: releasing it can run code (a destructor) that changes or frees the source.
struct taken_value {
  trvvar_type type = TRVVAR_NONE;
  uint64_t raw = 0;
  std::string text;
  std::vector<uint8_t> bytes;
  trvptr_strong<trvobject_base> object;
  trvptr_strong<trv_class> instance;
  trvptr_weak<trv_class_def> class_definition;
  trvptr_weak<trv_program_block> function;
  trvptr_weak<trv_task> scope;
  trvptr_weak<trvobject_base> bound_object;
  trvptr_strong<trvvar_ptr_function_lambda> captures;
  trvptr_weak<trv_function_def> ext_function;
  trvvar_shared target;
};

taken_value take(const trvvar& from) {
  taken_value v;
  v.type = from.type;
  switch (from.type) {
    case TRVVAR_STRING:
      v.text = trv_string_object_text(*from.payload.object);
      break;
    case TRVVAR_BINARY:
      v.bytes = trv_buffer_object_bytes(*from.payload.object);
      break;
    case TRVVAR_OBJECT:
      v.object = assigned_object(from);
      break;
    case TRVVAR_CLASS:
      v.instance = from.payload.class_payload->instance;
      break;
    case TRVVAR_CLASS_DEF:
      v.class_definition = from.payload.class_def_payload->definition;
      break;
    case TRVVAR_FUNCTION: {
      const trvvar_function_payload* p = from.payload.function_payload;
      v.function = p->definition;
      v.bound_object = p->bound_object;
      v.captures = p->captures;
      // A function whose scope is gone keeps none.
      if (!p->scope.expired()) v.scope = p->scope;
      break;
    }
    case TRVVAR_EXT_FUNCTION:
      v.ext_function = from.payload.ext_function_payload->definition;
      break;
    case TRVVAR_REF:
      v.target = trvvar_shared::share(from.payload.ref);
      break;
    default:
      v.raw = from.payload.raw;
      break;
  }
  return v;
}

void store(trvvar& destination, taken_value& v) {
  switch (v.type) {
    case TRVVAR_STRING:
      trv_string_object_text(*destination.payload.object) = std::move(v.text);
      break;
    case TRVVAR_BINARY:
      trv_buffer_object_bytes(*destination.payload.object) = std::move(v.bytes);
      break;
    case TRVVAR_OBJECT:
      destination.payload.object_payload->object = std::move(v.object);
      break;
    case TRVVAR_CLASS:
      destination.payload.class_payload->instance = std::move(v.instance);
      break;
    case TRVVAR_CLASS_DEF:
      destination.payload.class_def_payload->definition = std::move(v.class_definition);
      break;
    case TRVVAR_FUNCTION: {
      trvvar_function_payload* p = destination.payload.function_payload;
      p->definition = std::move(v.function);
      p->bound_object = std::move(v.bound_object);
      p->captures = std::move(v.captures);
      p->scope = std::move(v.scope);
      break;
    }
    case TRVVAR_EXT_FUNCTION:
      destination.payload.ext_function_payload->definition = std::move(v.ext_function);
      break;
    case TRVVAR_REF:
      destination.payload.ref = v.target.detach();
      break;
    default:
      destination.payload.raw = v.raw;
      break;
  }
}

}  // namespace

bool trvvar_set_string_in_place(trvvar& destination, const trvvar& source) {
  if (source.type != TRVVAR_STRING || destination.type != TRVVAR_STRING) return false;
  std::string* text = trv_unshared_string_text(destination);
  if (text == nullptr) return false;
  text->assign(trv_string_object_text(*source.payload.object));
  destination.flags2 = 0;  // as a change of type clears it
  return true;
}

void trvvar_set(trvvar& destination, trvvar_shared& source) {
  if (!source || source.get() == &destination || trvvar_set_plain(destination, *source)) return;
  if (trvvar_is_member(source->type)) {
    source = trvvar_deref(source.get());
    if (!source) return;
  }
  if (trvvar_is_member(destination.type)) {
    set_member_destination(destination, source);
    return;
  }

  const trvvar& from = *source;
  if (from.type == TRVVAR_PRIMITIVE_END || from.type == TRVVAR_OBJECTS_END ||
      from.type > TRVVAR_REF) {
    trv_runtime_warning("set() not implemented for var type: ", static_cast<int>(from.type));
    return;
  }
  if (from.type == TRVVAR_JSON) {
    // Assigning a json value shares its container; taking the pointer first keeps it alive
    // even when the destination held the last other hold on it.
    trvptr_strong<trvobject_base> container = from.payload.object;
    trvvar_set_type(destination, TRVVAR_NONE);
    new (&destination.payload.object) trvptr_strong<trvobject_base>(std::move(container));
    destination.type = TRVVAR_JSON;
    return;
  }
  if (trvvar_set_string_in_place(destination, from)) return;
  if (from.type <= TRVVAR_FLOAT) {  // nothing to take but the payload word
    const uint64_t raw = from.payload.raw;
    const trvvar_type type = from.type;
    trvvar_set_type(destination, type);
    destination.payload.raw = raw;
    return;
  }
  taken_value value = take(from);
  trvvar_set_type(destination, value.type);
  store(destination, value);
}
