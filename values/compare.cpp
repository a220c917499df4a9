#include "values/compare.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "glue/log.h"
#include "values/class_hooks.h"
#include "values/convert.h"
#include "values/object.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/report.h"

namespace {

bool zero_member(const trvvar_shared& member) {
  trvvar_shared value = trvvar_deref(member.get());
  return !value || trvvar_compare_zero(*value);
}

bool zero_member_literal(const trvvar& v) {
  const trvvar_member_literal_payload* p = v.payload.member_literal_payload;
  trvptr_strong<trvobject_base> object = p->object;
  if (!object || !object->has_named_member(p->name)) return true;
  return zero_member(object->get_named_member(p->name));
}

bool zero_member_index(const trvvar& v) {
  const trvvar_member_index_payload* p = v.payload.member_index_payload;
  trvptr_strong<trvobject_base> object = p->object;
  if (!object) return true;
  if (p->direct_access) {
    trvvar_shared value;
    object->get_member_value(value, p->index);
    return zero_member(value);
  }
  if (!object->has_index_member(p->index)) return true;
  return zero_member(object->get_index_member(p->index));
}

bool zero_member_var(const trvvar& v) {
  const trvvar_member_var_payload* p = v.payload.member_var_payload;
  trvptr_strong<trvobject_base> object = p->object.lock();
  if (!object) return true;
  trvvar_shared key = p->key;
  if (!object->has_member(key)) return true;
  key = p->key;
  return zero_member(object->get_member(key));
}

}  // namespace

bool trvvar_compare_zero(const trvvar& v) {
  switch (v.type) {
    case TRVVAR_ERR:
    case TRVVAR_NONE:
      return true;
    case TRVVAR_INT:
    case TRVVAR_REF:
      return v.payload.raw == 0;
    case TRVVAR_FLOAT:
      return v.payload.float_value == 0.0;
    case TRVVAR_STRING:
    case TRVVAR_BINARY:
    case TRVVAR_JSON:
      return !v.payload.object || v.payload.object->is_empty();
    case TRVVAR_OBJECT: {
      trvobject_base* object = v.payload.object_payload->object.get();
      return object == nullptr || object->is_empty();
    }
    case TRVVAR_CLASS:
      trv_log(TRV_LOG_DEBUG, "Implement proper class compare_zero check!");
      return !trvvar_class_live(v);
    case TRVVAR_FUNCTION:
      return v.payload.function_payload->definition.expired();
    case TRVVAR_EXT_FUNCTION:
      return false;
    case TRVVAR_OBJECT_MEMBER_LITERAL:
      return zero_member_literal(v);
    case TRVVAR_OBJECT_MEMBER_INDEX:
      return zero_member_index(v);
    case TRVVAR_OBJECT_MEMBER_VAR:
      return zero_member_var(v);
    default:
      trv_runtime_warning("compare_zero not implemented for type: ", static_cast<int>(v.type));
      return true;
  }
}

namespace {

uint8_t larger_type(const trvvar& a, const trvvar& b) { return std::max(a.type, b.type); }

bool not_implemented(const char* message, const trvvar& left) {
  trv_runtime_warning(message, static_cast<int>(left.type));
  return false;
}

// A side's text: a string's own text in place, anything else converted into `scratch`.
std::string_view text_of(const trvvar& v, std::string& scratch) {
  if (v.type == TRVVAR_STRING) return trv_string_object_text(*v.payload.object);
  scratch = trvvar_string_value(v);
  return scratch;
}

int compare_texts(const trvvar& a, const trvvar& b) {
  std::string scratch_a;
  std::string scratch_b;
  const int c = text_of(a, scratch_a).compare(text_of(b, scratch_b));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

trvobject_base* object_of(const trvvar& v) {
  return v.type == TRVVAR_OBJECT ? v.payload.object_payload->object.get() : nullptr;
}

// Two objects are the same by their control blocks: an object that is gone reads as null, and
// two different ones that are both gone are still two. A value that holds no object at all (a
// copy made of one already gone) is the same only as itself.
bool objects_equal(trvvar& a, trvvar& b) {
  trvobject_base* left = object_of(a);
  trvobject_base* right = object_of(b);
  if (left != nullptr && right != nullptr && left != right) {
    return left->op_equal(b) || right->op_equal(a);
  }
  if (a.type != TRVVAR_OBJECT || b.type != TRVVAR_OBJECT) return false;
  const trvptr_control_block* block = a.payload.object_payload->object.control_block();
  if (block == &trv_null_control_block) return &a == &b;
  return block == b.payload.object_payload->object.control_block();
}

// a < b (or a > b when `bigger`): the left object's own test, then the right object's mirror.
bool objects_ordered(trvvar& a, trvvar& b, bool or_equal, bool bigger) {
  if (trvobject_base* left = object_of(a)) {
    if (bigger ? left->op_greater(b, or_equal) : left->op_less(b, or_equal)) return true;
  }
  if (trvobject_base* right = object_of(b)) {
    return bigger ? right->op_less(a, or_equal) : right->op_greater(a, or_equal);
  }
  return false;
}

bool same_instance(const trvvar& a, const trvvar& b) {
  return trvvar_class_live(a) && trvvar_class_live(b) &&
         a.payload.class_payload->instance.control_block() ==
             b.payload.class_payload->instance.control_block();
}

// The ordering of a and b for t 2, 3 and 5: smaller when `bigger` is false, else bigger.
bool ordered(trvvar& a, trvvar& b, bool or_equal, bool bigger, const char* message) {
  switch (larger_type(a, b)) {
    case TRVVAR_INT: {
      const int64_t x = trvvar_int_value(a);
      const int64_t y = trvvar_int_value(b);
      return (bigger ? x > y : x < y) || (or_equal && x == y);
    }
    case TRVVAR_FLOAT: {
      const double x = trvvar_float_value(a);
      const double y = trvvar_float_value(b);
      return (bigger ? x > y : x < y) || (or_equal && x == y);
    }
    case TRVVAR_STRING: {
      const int c = compare_texts(a, b);
      return c == (bigger ? 1 : -1) || (or_equal && c == 0);
    }
    case TRVVAR_OBJECT:
      return objects_ordered(a, b, or_equal, bigger);
    default:
      return not_implemented(message, a);
  }
}

}  // namespace

bool trvvar_compare_equal(trvvar& a, trvvar& b) {
  switch (larger_type(a, b)) {
    case TRVVAR_NONE:
      return true;
    case TRVVAR_INT:
      return trvvar_int_value(a) == trvvar_int_value(b);
    case TRVVAR_FLOAT:
      return trvvar_float_value(a) == trvvar_float_value(b);
    case TRVVAR_STRING:
      return compare_texts(a, b) == 0;
    case TRVVAR_JSON:
      // Only the container on the left against an integer on the right: its element count.
      return a.type == TRVVAR_JSON && b.type == TRVVAR_INT && a.payload.object &&
             a.payload.object->element_count() == b.payload.int_value;
    case TRVVAR_OBJECT:
      return objects_equal(a, b);
    case TRVVAR_CLASS:
      return same_instance(a, b);
    default:
      return not_implemented("Compare_equal not implemented for type: ", a);
  }
}

bool trvvar_compare_smaller(trvvar& a, trvvar& b, bool or_equal) {
  return ordered(a, b, or_equal, false, "Compare_smaller not implemented for type: ");
}

bool trvvar_compare_bigger(trvvar& a, trvvar& b, bool or_equal) {
  return ordered(a, b, or_equal, true, "Compare_bigger not implemented for type: ");
}
