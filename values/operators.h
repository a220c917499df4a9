#pragma once

// The operators of the script language over values.
//
// Each binary operator takes its operands already dereferenced and the result slot: the
// operand-stack slot of the left operand, whose variable the result replaces. The rule is
// chosen by t, the larger of the two type values. Integer and float results follow the
// in-place rule (the slot's variable is overwritten when it is unshared and primitive, else a
// new variable takes its place); string, json and object results always get a new variable.
// Failures are runtime errors (or the "Division by zero!" warning) that leave a value in the
// slot, so the operand stack keeps its shape.
//
// Script class instances answer through their operator methods (trv_operator_names). Such a
// call runs as script code: when a method is found the slot is left as it is, and the
// interpreter stores the method's result there when the call returns.

#include <array>
#include <cstdint>
#include <string_view>

#include "values/var.h"

// Two's-complement arithmetic without signed overflow.
inline int64_t trv_wrap_add(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t trv_wrap_sub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
inline int64_t trv_wrap_mul(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

// One row per operator a script class can define: the method's name, the symbol messages use,
// and whether it takes an argument.
struct trv_operator_name {
  std::string_view method;
  std::string_view symbol;
  uint8_t binary;
};

enum trv_operator_index : int {
  TRV_OP_ADD = 0,
  TRV_OP_SUB = 1,
  TRV_OP_MUL = 2,
  TRV_OP_DIV = 3,
  TRV_OP_AND = 4,
  TRV_OP_OR = 5,
  TRV_OP_XOR = 6,
  TRV_OP_REFLECTED = 7,  // arithmetic row i is reflected by row i + 7
  TRV_OP_EQ = 14,
  TRV_OP_NE = 15,
  TRV_OP_LT = 16,
  TRV_OP_LE = 17,
  TRV_OP_GT = 18,
  TRV_OP_GE = 19,
  TRV_OP_NEG = 20,
};

inline constexpr std::array<trv_operator_name, 21> trv_operator_names = {{
    {"__add__", "+", 1},  {"__sub__", "-", 1},  {"__mul__", "*", 1},  {"__div__", "/", 1},
    {"__and__", "&", 1},  {"__or__", "|", 1},   {"__xor__", "^", 1},  {"__radd__", "+", 1},
    {"__rsub__", "-", 1}, {"__rmul__", "*", 1}, {"__rdiv__", "/", 1}, {"__rand__", "&", 1},
    {"__ror__", "|", 1},  {"__rxor__", "^", 1}, {"__eq__", "==", 1},  {"__ne__", "!=", 1},
    {"__lt__", "<", 1},   {"__le__", "<=", 1},  {"__gt__", ">", 1},   {"__ge__", ">=", 1},
    {"__neg__", "-", 0},
}};

// The comparison a right operand answers for: < and > swap, <= and >= swap, == and != stay.
constexpr int trv_reflected_comparison(int index) {
  switch (index) {
    case TRV_OP_LT:
      return TRV_OP_GT;
    case TRV_OP_GT:
      return TRV_OP_LT;
    case TRV_OP_LE:
      return TRV_OP_GE;
    case TRV_OP_GE:
      return TRV_OP_LE;
    default:
      return index;
  }
}

void trvvar_op_add(trvvar_shared& result, trvvar& left, trvvar& right);
void trvvar_op_sub(trvvar_shared& result, trvvar& left, trvvar& right);
void trvvar_op_mul(trvvar_shared& result, trvvar& left, trvvar& right);
void trvvar_op_div(trvvar_shared& result, trvvar& left, trvvar& right);
void trvvar_op_and(trvvar_shared& result, trvvar& left, trvvar& right);
void trvvar_op_or(trvvar_shared& result, trvvar& left, trvvar& right);
void trvvar_op_xor(trvvar_shared& result, trvvar& left, trvvar& right);
// Integer 1 or 0: equality (inverted when `negate`), or the ordering with `or_equal`.
void trvvar_op_equal(trvvar_shared& result, trvvar& left, trvvar& right, bool negate);
void trvvar_op_greater(trvvar_shared& result, trvvar& left, trvvar& right, bool or_equal);
void trvvar_op_less(trvvar_shared& result, trvvar& left, trvvar& right, bool or_equal);
// Unary minus; `result` is the operand's slot.
void trvvar_op_negate(trvvar_shared& result, trvvar& operand);

// None becomes 1 (decrement: -1), integers step with two's-complement wrap, floats by 1.0.
// Other types warn and answer false.
bool trvvar_increment_value(trvvar& v);
bool trvvar_decrement_value(trvvar& v);
