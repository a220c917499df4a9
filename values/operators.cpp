#include "values/operators.h"

#include <string>

#include "values/class_hooks.h"
#include "values/compare.h"
#include "values/convert.h"
#include "values/object.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/report.h"

namespace {

uint8_t larger_type(const trvvar& a, const trvvar& b) { return a.type > b.type ? a.type : b.type; }

int64_t wrap_neg(int64_t a) { return trv_wrap_sub(0, a); }

// The native object behind a string, binary, json or object value; null for other values.
trvobject_base* native_object(const trvvar& v) {
  if (v.type == TRVVAR_OBJECT) return v.payload.object_payload->object.get();
  return trvvar_payload_object(v);
}

std::string_view text_of(const trvvar& v, std::string& scratch) {
  if (v.type == TRVVAR_STRING) return trv_string_object_text(*v.payload.object);
  scratch = trvvar_string_value(v);
  return scratch;
}

// A new string variable holding the left text followed by the right text.
void concatenate(trvvar_shared& result, const trvvar& left, const trvvar& right) {
  std::string scratch_left;
  std::string scratch_right;
  const std::string_view a = text_of(left, scratch_left);
  const std::string_view b = text_of(right, scratch_right);
  trvvar_shared sum = trvvar_new();
  trvvar_set_type(*sum, TRVVAR_STRING);
  std::string& text = trv_string_object_text(*sum->payload.object);
  text.reserve(a.size() + b.size());
  text.append(a).append(b);
  result = std::move(sum);
}

// "<verb> '<left>' and '<right>'" as a runtime error; the slot gets its none.
void cannot(trvvar_shared& result, const char* verb, const trvvar& left, const trvvar& right) {
  result = trv_runtime_error(verb, trvvar_string_value(left), "' and '", trvvar_string_value(right),
                             "'");
}

void invalid_type(trvvar_shared& result, const char* message, uint8_t t) {
  result = trv_runtime_error(message, static_cast<int>(t));
}

// Arithmetic operator i on script class instances: the left operand's method, else the right
// operand's reflected method, else an error naming both.
void class_arithmetic(trvvar_shared& result, int i, trvvar& left, trvvar& right) {
  if (trv_class_call_operator(left, i, &right, TRV_OPERATOR_RESULT)) return;
  if (trv_class_call_operator(right, i + TRV_OP_REFLECTED, &left, TRV_OPERATOR_RESULT)) return;
  result = trv_runtime_error("Operator '", trv_operator_names[i].symbol, "' is not defined for '",
                             trvvar_string_value(left), "' and '", trvvar_string_value(right),
                             "' (implement ", trv_operator_names[i].method, " or ",
                             trv_operator_names[i + TRV_OP_REFLECTED].method, ")");
}

// Comparison c on script class instances; false when neither side defines a method for it.
bool class_comparison(int c, trvvar& left, trvvar& right) {
  const bool ne = c == TRV_OP_NE;
  return trv_class_call_operator(left, c, &right, TRV_OPERATOR_TRUE_WHEN_NONZERO) ||
         (ne && trv_class_call_operator(left, TRV_OP_EQ, &right, TRV_OPERATOR_TRUE_WHEN_ZERO)) ||
         trv_class_call_operator(right, trv_reflected_comparison(c), &left,
                                 TRV_OPERATOR_TRUE_WHEN_NONZERO) ||
         (ne && trv_class_call_operator(right, TRV_OP_EQ, &left, TRV_OPERATOR_TRUE_WHEN_ZERO));
}

using hook = bool (trvobject_base::*)(trvvar&, trvvar_shared&);

// Native objects: the left object's hook, else the right object's reflected hook, each
// filling a new variable; neither handling it is the "Cannot ..." error.
void native_arithmetic(trvvar_shared& result, trvvar& left, trvvar& right, hook own, hook reflected,
                       const char* verb) {
  trvvar_shared fresh = trvvar_new();
  trvobject_base* l = native_object(left);
  trvobject_base* r = native_object(right);
  if ((l != nullptr && (l->*own)(right, fresh)) || (r != nullptr && (r->*reflected)(left, fresh))) {
    result = std::move(fresh);
    return;
  }
  cannot(result, verb, left, right);
}

struct arithmetic {
  int class_index;
  const char* invalid;  // "... invalid type: " followed by t
  const char* verb;     // "Cannot ... '"
  hook own;
  hook reflected;
};

constexpr arithmetic subtraction{TRV_OP_SUB, "Sub invalid type: ", "Cannot subtract '",
                                 &trvobject_base::op_sub, &trvobject_base::op_rsub};
constexpr arithmetic multiplication{TRV_OP_MUL, "Mult invalid type: ", "Cannot multiplicate '",
                                    &trvobject_base::op_mul, &trvobject_base::op_rmul};
constexpr arithmetic division{TRV_OP_DIV, "Div invalid type: ", "Cannot divide '",
                              &trvobject_base::op_div, &trvobject_base::op_rdiv};

// The dispatch shared by subtract, multiply and divide; the numeric rules come from the caller.
template <class IntOp, class FloatOp>
void arithmetic_op(trvvar_shared& result, trvvar& left, trvvar& right, const arithmetic& op,
                   IntOp int_op, FloatOp float_op) {
  const uint8_t t = larger_type(left, right);
  switch (t) {
    case TRVVAR_INT:
      int_op(trvvar_int_value(left), trvvar_int_value(right));
      return;
    case TRVVAR_FLOAT:
      float_op(trvvar_float_value(left), trvvar_float_value(right));
      return;
    case TRVVAR_OBJECT:
      native_arithmetic(result, left, right, op.own, op.reflected, op.verb);
      return;
    case TRVVAR_CLASS:
      class_arithmetic(result, op.class_index, left, right);
      return;
    default:
      invalid_type(result, op.invalid, t);
  }
}

void store_new_int(trvvar_shared& result, int64_t value) { result = trvvar_new_int(value); }

void store_new_float(trvvar_shared& result, double value) { result = trvvar_new_float(value); }

void add_json_or_text(trvvar_shared& result, trvvar& left, trvvar& right) {
  if (left.type == TRVVAR_STRING || right.type == TRVVAR_STRING) {
    concatenate(result, left, right);
  } else if (left.type == TRVVAR_JSON && right.type == TRVVAR_JSON) {
    result = trv_json_concat(*left.payload.object, *right.payload.object);
  } else {
    cannot(result, "Cannot add '", left, right);
  }
}

template <class IntOp>
void bitwise(trvvar_shared& result, trvvar& left, trvvar& right, int class_index, IntOp op) {
  if (left.type == TRVVAR_CLASS || right.type == TRVVAR_CLASS) {
    class_arithmetic(result, class_index, left, right);
    return;
  }
  // The left operand is converted first, so that its warning comes first.
  const int64_t x = trvvar_int_value(left);
  const int64_t y = trvvar_int_value(right);
  trvvar_store_int(result, op(x, y));
}

void store_truth(trvvar_shared& result, bool value) { trvvar_store_int(result, value ? 1 : 0); }

}  // namespace

void trvvar_op_add(trvvar_shared& result, trvvar& left, trvvar& right) {
  const uint8_t t = larger_type(left, right);
  switch (t) {
    case TRVVAR_INT:
      trvvar_store_int(result, trv_wrap_add(trvvar_int_value(left), trvvar_int_value(right)));
      return;
    case TRVVAR_FLOAT:
      trvvar_store_float(result, trvvar_float_value(left) + trvvar_float_value(right));
      return;
    case TRVVAR_STRING:
    case TRVVAR_BINARY:
      concatenate(result, left, right);
      return;
    case TRVVAR_JSON:
      add_json_or_text(result, left, right);
      return;
    case TRVVAR_OBJECT:
      native_arithmetic(result, left, right, &trvobject_base::op_add, &trvobject_base::op_radd,
                        "Cannot add '");
      return;
    case TRVVAR_CLASS:
      class_arithmetic(result, TRV_OP_ADD, left, right);
      return;
    default:
      invalid_type(result, "Add invalid type: ", t);
  }
}

void trvvar_op_sub(trvvar_shared& result, trvvar& left, trvvar& right) {
  arithmetic_op(
      result, left, right, subtraction,
      [&](int64_t a, int64_t b) { trvvar_store_int(result, trv_wrap_sub(a, b)); },
      [&](double a, double b) { trvvar_store_float(result, a - b); });
}

void trvvar_op_mul(trvvar_shared& result, trvvar& left, trvvar& right) {
  arithmetic_op(
      result, left, right, multiplication,
      [&](int64_t a, int64_t b) { trvvar_store_int(result, trv_wrap_mul(a, b)); },
      [&](double a, double b) { trvvar_store_float(result, a * b); });
}

void trvvar_op_div(trvvar_shared& result, trvvar& left, trvvar& right) {
  arithmetic_op(
      result, left, right, division,
      [&](int64_t a, int64_t b) {
        if (b == 0) {
          trv_runtime_warning("Division by zero!");
          store_new_int(result, 0);
        } else if (b == -1) {
          store_new_int(result, wrap_neg(a));  // the most negative value stays itself
        } else {
          trvvar_store_int(result, a / b);
        }
      },
      [&](double a, double b) {
        if (b == 0.0) {
          trv_runtime_warning("Division by zero!");
          store_new_float(result, 0.0);
        } else {
          trvvar_store_float(result, a / b);
        }
      });
}

void trvvar_op_and(trvvar_shared& result, trvvar& left, trvvar& right) {
  bitwise(result, left, right, TRV_OP_AND, [](int64_t a, int64_t b) { return a & b; });
}

void trvvar_op_or(trvvar_shared& result, trvvar& left, trvvar& right) {
  bitwise(result, left, right, TRV_OP_OR, [](int64_t a, int64_t b) { return a | b; });
}

void trvvar_op_xor(trvvar_shared& result, trvvar& left, trvvar& right) {
  bitwise(result, left, right, TRV_OP_XOR, [](int64_t a, int64_t b) { return a ^ b; });
}

void trvvar_op_equal(trvvar_shared& result, trvvar& left, trvvar& right, bool negate) {
  if ((left.type == TRVVAR_CLASS || right.type == TRVVAR_CLASS) &&
      class_comparison(negate ? TRV_OP_NE : TRV_OP_EQ, left, right)) {
    return;
  }
  store_truth(result, trvvar_compare_equal(left, right) != negate);
}

void trvvar_op_greater(trvvar_shared& result, trvvar& left, trvvar& right, bool or_equal) {
  if ((left.type == TRVVAR_CLASS || right.type == TRVVAR_CLASS) &&
      class_comparison(or_equal ? TRV_OP_GE : TRV_OP_GT, left, right)) {
    return;
  }
  store_truth(result, trvvar_compare_bigger(left, right, or_equal));
}

void trvvar_op_less(trvvar_shared& result, trvvar& left, trvvar& right, bool or_equal) {
  if ((left.type == TRVVAR_CLASS || right.type == TRVVAR_CLASS) &&
      class_comparison(or_equal ? TRV_OP_LE : TRV_OP_LT, left, right)) {
    return;
  }
  store_truth(result, trvvar_compare_smaller(left, right, or_equal));
}

void trvvar_op_negate(trvvar_shared& result, trvvar& operand) {
  switch (operand.type) {
    case TRVVAR_FLOAT:
      store_new_float(result, -operand.payload.float_value);
      return;
    case TRVVAR_INT:
      store_new_int(result, wrap_neg(operand.payload.int_value));
      return;
    default:
      break;
  }
  if (trvvar_class_live(operand)) {
    if (trv_class_call_operator(operand, TRV_OP_NEG, nullptr, TRV_OPERATOR_RESULT)) return;
    result =
        trv_runtime_error("Cannot negate '", trvvar_string_value(operand), "' (implement __neg__)");
    return;
  }
  result = trv_runtime_error("Cannot negate type ", static_cast<int>(operand.type));
}

namespace {

bool step(trvvar& v, int64_t delta, const char* message) {
  switch (v.type) {
    case TRVVAR_NONE:
      trvvar_set_int(v, delta);
      return true;
    case TRVVAR_INT:
      v.payload.int_value = trv_wrap_add(v.payload.int_value, delta);
      return true;
    case TRVVAR_FLOAT:
      v.payload.float_value += static_cast<double>(delta);
      return true;
    default:
      trv_runtime_warning(message, static_cast<int>(v.type));
      return false;
  }
}

}  // namespace

bool trvvar_increment_value(trvvar& v) {
  return step(v, 1, "increment_value not implemented for type: ");
}

bool trvvar_decrement_value(trvvar& v) {
  return step(v, -1, "decrement_value not implemented for type: ");
}
