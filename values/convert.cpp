#include "values/convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "objects/object.h"
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

std::string float_text(double value) {
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

}  // namespace

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
    case TRVVAR_JSON:
      return object_text(v.payload.object);
    case TRVVAR_OBJECT:
      return object_text(v.payload.object_payload->object);
    case TRVVAR_CLASS:
      return {};  // script class instances name their class once they exist
    case TRVVAR_OBJECT_MEMBER_LITERAL:
    case TRVVAR_OBJECT_MEMBER_INDEX:
    case TRVVAR_OBJECT_MEMBER_VAR:
      return member_text(const_cast<trvvar*>(&v));
    case TRVVAR_REF: {
      const trvvar* target = v.payload.ref;
      if (target == nullptr || target == &v) return {};
      trvvar_shared value = trvvar_deref(const_cast<trvvar*>(&v));
      return value && value.get() != &v ? trvvar_string_value(*value) : std::string();
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

const trvvar* ref_target(const trvvar& v) {
  const trvvar* target = v.payload.ref;
  return target != &v ? target : nullptr;
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
      return std::atoll(std::string(trvvar_string_view(v)).c_str());
    case TRVVAR_REF:
      if (const trvvar* target = ref_target(v)) return trvvar_int_value(*target);
      return 0;
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
      return std::atof(std::string(trvvar_string_view(v)).c_str());
    case TRVVAR_REF:
      if (const trvvar* target = ref_target(v)) return trvvar_float_value(*target);
      return 0.0;
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
