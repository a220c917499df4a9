#include "values/convert.h"

#include <charconv>
#include <cstdio>

#include "objects/object.h"
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
