#pragma once

#include <cstdint>
#include <string_view>

// The numeric values are fixed: code tests types by range. Below 4 are primitives (no payload
// to release, overwritable in place); 5 to 16 own a payload; 14 to 16 stand for a member of an
// object rather than hold a value; 17 is a counted reference.
enum trvvar_type : uint8_t {
  TRVVAR_ERR = 0,
  TRVVAR_NONE = 1,
  TRVVAR_INT = 2,
  TRVVAR_FLOAT = 3,
  TRVVAR_PRIMITIVE_END = 4,
  TRVVAR_STRING = 5,
  TRVVAR_BINARY = 6,
  TRVVAR_JSON = 7,
  TRVVAR_OBJECT = 8,
  TRVVAR_OBJECTS_END = 9,
  TRVVAR_CLASS = 10,
  TRVVAR_CLASS_DEF = 11,
  TRVVAR_FUNCTION = 12,
  TRVVAR_EXT_FUNCTION = 13,
  TRVVAR_OBJECT_MEMBER_LITERAL = 14,
  TRVVAR_OBJECT_MEMBER_INDEX = 15,
  TRVVAR_OBJECT_MEMBER_VAR = 16,
  TRVVAR_REF = 17,
};

inline constexpr int trvvar_type_count = 18;

inline constexpr bool trvvar_is_primitive(uint8_t t) { return t < TRVVAR_PRIMITIVE_END; }
inline constexpr bool trvvar_is_member(uint8_t t) {
  return t >= TRVVAR_OBJECT_MEMBER_LITERAL && t <= TRVVAR_OBJECT_MEMBER_VAR;
}

// The name every message uses for a type; empty for a value outside the table.
std::string_view trvvar_type_name(uint8_t t);
