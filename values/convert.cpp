#include "values/convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "values/class_hooks.h"
#include "values/object.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/report.h"

namespace {

std::string integer_text(int64_t value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, end);
}

// "%f", with the infinities and NaNs written out here: some C libraries drop a NaN's sign.
std::string float_text(double value) {
  if (!std::isfinite(value)) {
    std::string text = std::signbit(value) ? "-" : "";
    return text + (std::isnan(value) ? "nan" : "inf");
  }
  char buf[512];  // "%f" of the largest double has 309 integer digits
  int n = std::snprintf(buf, sizeof buf, "%f", value);
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string object_text(const trvptr_strong<trvobject_base>& object) {
  return object ? object->to_string() : std::string();
}

std::string member_text(trvvar* member) {
  trvvar_shared value = trvvar_deref(member);
  return value ? trvvar_string_value(*value) : std::string();
}

// A member fetched by key: an integer key by index, a string key by its text, any other key
// by its text without the object's key-type warning.
std::string member_var_text(const trvvar& v) {
  const trvvar_member_var_payload* p = v.payload.member_var_payload;
  trvptr_strong<trvobject_base> object = p->object.lock();
  if (!object) return member_text(const_cast<trvvar*>(&v));  // the invalid-object error
  const trvvar* key = p->key.get();
  trvvar_shared member;
  if (key != nullptr && key->type == TRVVAR_INT) {
    member = object->get_index_member(key->payload.int_value);
  } else {
    member = object->get_named_member(key != nullptr ? trvvar_string_value(*key) : std::string());
  }
  return member_text(member.get());
}

std::string class_text(trvvar& v) {
  auto class_name = trv_class_hooks_installed.class_name;
  return class_name != nullptr && trvvar_class_live(v) ? class_name(v) : std::string();
}

}  // namespace

// The value a reference stands for; empty when it leads nowhere or to itself. A chain goes
// through deref, which stops at a cycle with its warning.
trvvar_shared trvvar_ref_value(const trvvar& v) {
  trvvar* target = v.payload.ref;
  if (target == nullptr || target == &v) return {};
  if (target->type != TRVVAR_REF) return trvvar_shared::share(target);
  trvvar_shared value = trvvar_deref(const_cast<trvvar*>(&v));
  if (value && value->type == TRVVAR_REF) return {};
  return value;
}

std::string trvvar_string_value(const trvvar& v) {
  switch (v.type) {
    case TRVVAR_ERR:
      return "ERROR";
    case TRVVAR_NONE:
      return {};
    case TRVVAR_INT:
      return integer_text(v.payload.int_value);
    case TRVVAR_FLOAT:
      return float_text(v.payload.float_value);
    case TRVVAR_STRING:
    case TRVVAR_BINARY:
      return object_text(v.payload.object);
    case TRVVAR_JSON:  // compact, unlike the container's own (indented) text form
      return v.payload.object ? trv_json_compact_text(*v.payload.object) : std::string();
    case TRVVAR_OBJECT:
      return object_text(v.payload.object_payload->object);
    case TRVVAR_CLASS:
      return class_text(const_cast<trvvar&>(v));
    case TRVVAR_OBJECT_MEMBER_LITERAL:
    case TRVVAR_OBJECT_MEMBER_INDEX:
      return member_text(const_cast<trvvar*>(&v));
    case TRVVAR_OBJECT_MEMBER_VAR:
      return member_var_text(v);
    case TRVVAR_REF: {
      trvvar_shared value = trvvar_ref_value(v);
      return value ? trvvar_string_value(*value) : std::string();
    }
    default:
      trv_runtime_warning("string_value() not implemented for type: ", static_cast<int>(v.type));
      return {};
  }
}

std::string_view trvvar_string_view(const trvvar& v) {
  if (v.type == TRVVAR_STRING && v.payload.object) {
    return trv_string_object_text(*v.payload.object);
  }
  thread_local std::string scratch;
  scratch = trvvar_string_value(v);
  return scratch;
}

namespace {

void not_implemented(const char* message, const trvvar& v) {
  trv_runtime_warning(message, static_cast<int>(v.type));
}

// The processor's conversion: out of range and NaN give the most negative integer.
int64_t truncate(double d) {
  if (!(d > -9223372036854775808.0 && d < 9223372036854775808.0)) return INT64_MIN;
  return static_cast<int64_t>(d);
}

}  // namespace

int64_t trvvar_int_value(const trvvar& v) {
  switch (v.type) {
    case TRVVAR_NONE:
      return 0;
    case TRVVAR_INT:
      return v.payload.int_value;
    case TRVVAR_FLOAT:
      return truncate(v.payload.float_value);
    case TRVVAR_STRING:
      return std::atoll(trv_string_object_text(*v.payload.object).c_str());
    case TRVVAR_REF: {
      trvvar_shared target = trvvar_ref_value(v);
      return target ? trvvar_int_value(*target) : 0;
    }
    default:
      not_implemented("int_value() not implemented for type: ", v);
      return 0;
  }
}

double trvvar_float_value(const trvvar& v) {
  switch (v.type) {
    case TRVVAR_INT:
      return static_cast<double>(v.payload.int_value);
    case TRVVAR_FLOAT:
      return v.payload.float_value;
    case TRVVAR_STRING:
      return std::atof(trv_string_object_text(*v.payload.object).c_str());
    case TRVVAR_REF: {
      trvvar_shared target = trvvar_ref_value(v);
      return target ? trvvar_float_value(*target) : 0.0;
    }
    default:
      not_implemented("float_value() not implemented for type: ", v);
      return 0.0;
  }
}

bool trvvar_get_bool(const trvvar& v) {
  switch (v.type) {
    case TRVVAR_NONE:
      return false;
    case TRVVAR_INT:
    case TRVVAR_REF:
      return v.payload.raw != 0;
    case TRVVAR_FLOAT:
      return v.payload.float_value != 0.0;
    case TRVVAR_STRING:
      return !trvvar_string_view(v).empty();
    case TRVVAR_JSON:
      return v.payload.object && !v.payload.object->is_empty();
    case TRVVAR_FUNCTION:
      return !v.payload.function_payload->definition.expired();
    default:
      not_implemented("get_bool() not implemented for type: ", v);
      return false;
  }
}
