#include "values/assign.h"

#include <new>

#include "objects/object.h"
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
      trvvar_shared value = source;
      object->set_named_member(p->name, value);
      return;
    }
    case TRVVAR_OBJECT_MEMBER_INDEX: {
      trvvar_member_index_payload* p = destination.payload.member_index_payload;
      trvptr_strong<trvobject_base> object = p->object;
      if (!object) break;
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
      trvvar_shared key = p->key;
      trvvar_shared value = source;
      object->set_member(key, value);
      return;
    }
  }
  trv_runtime_warning("Cannot set object member, doesnt exist anymore!");
}

void transfer_object(trvvar& destination, const trvvar& source) {
  trvvar_object_payload* from = source.payload.object_payload;
  trvvar_object_payload* to = destination.payload.object_payload;
  trvobject_base* object = from->object.get();
  if (object == nullptr) return;
  if ((source.flags & TRVVAR_FLAG_SHARE_ON_ASSIGN) != 0) {
    if (to->object.get() != object) to->object = from->object;
    return;
  }
  to->object = object->self_pointer();
}

void transfer_function(trvvar& destination, const trvvar& source) {
  trvvar_function_payload* from = source.payload.function_payload;
  trvvar_function_payload* to = destination.payload.function_payload;
  to->definition = from->definition;
  to->bound_object = from->bound_object;
  if (from->captures) to->captures = from->captures;
  // A function whose scope is gone takes the scope of the task running on this thread; with
  // no script running it keeps none.
  if (!from->scope.expired()) to->scope = from->scope;
}

}  // namespace

void trvvar_set(trvvar& destination, trvvar_shared& source) {
  if (!source || source.get() == &destination) return;
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
  trvvar_set_type(destination, from.type);
  switch (from.type) {
    case TRVVAR_STRING:
      trv_string_object_text(*destination.payload.object) =
          trv_string_object_text(*from.payload.object);
      break;
    case TRVVAR_BINARY:
      trv_buffer_object_bytes(*destination.payload.object) =
          trv_buffer_object_bytes(*from.payload.object);
      break;
    case TRVVAR_OBJECT:
      transfer_object(destination, from);
      break;
    case TRVVAR_CLASS:
      destination.payload.class_payload->instance = from.payload.class_payload->instance;
      break;
    case TRVVAR_CLASS_DEF:
      destination.payload.class_def_payload->definition =
          from.payload.class_def_payload->definition;
      break;
    case TRVVAR_FUNCTION:
      transfer_function(destination, from);
      break;
    case TRVVAR_EXT_FUNCTION:
      destination.payload.ext_function_payload->definition =
          from.payload.ext_function_payload->definition;
      break;
    case TRVVAR_REF:
      if (trvvar* target = from.payload.ref) {
        ++target->refcount;
        destination.payload.ref = target;
      }
      break;
    default:
      destination.payload.raw = from.payload.raw;
      break;
  }
}
