#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "objects/object_binding.h"
#include "tests/support/capturing_logger.h"
#include "tests/support/test_values.h"
#include "values/class_hooks.h"
#include "values/compare.h"
#include "values/convert.h"
#include "values/operators.h"

namespace {

using binary_op = void (*)(trvvar_shared&, trvvar&, trvvar&);

// Runs an operator the way the interpreter does: the left operand's slot receives the result.
trvvar_shared apply(binary_op op, const trvvar_shared& left, const trvvar_shared& right) {
  trvvar_shared slot = left;
  op(slot, *left, *right);
  return slot;
}

std::string shown(const trvvar_shared& v) {
  return std::string(trvvar_type_name(v->type)) + " " + trvvar_string_value(*v);
}

template <auto op, bool flag>
void with_flag(trvvar_shared& slot, trvvar& left, trvvar& right) {
  op(slot, left, right, flag);
}

void negate(trvvar_shared& slot, trvvar& operand, trvvar&) { trvvar_op_negate(slot, operand); }

std::vector<std::string> error_texts(const log_capture& capture) {
  std::vector<std::string> texts;
  for (const std::string& framed : capture.errors()) {
    // "\n***\n<message>\n***\n\n": keep the message.
    const size_t start = framed.find('\n', 1) + 1;
    texts.push_back(framed.substr(start, framed.find('\n', start) - start));
  }
  return texts;
}

// Results by the larger type, comparisons as integers, and failures that leave none and name
// the operands; only division by zero warns.
TEST(Operators, ResultsAndReports) {
  struct op_case {
    const char* name;
    binary_op op;
    trvvar_shared left;
    trvvar_shared right;
    const char* result;
  };
  const op_case cases[] = {
      {"1 + 2.5", trvvar_op_add, int_of(1), float_of(2.5), "float 3.500000"},
      {"'a' + 1", trvvar_op_add, string_of("a"), int_of(1), "string a1"},
      {"1 + 'a'", trvvar_op_add, int_of(1), string_of("a"), "string 1a"},
      {"none + 'a'", trvvar_op_add, trvvar_new(), string_of("a"), "string a"},
      {"wrap", trvvar_op_add, int_of(INT64_MAX), int_of(1), "int -9223372036854775808"},
      {"7 - 10", trvvar_op_sub, int_of(7), int_of(10), "int -3"},
      {"min - 1", trvvar_op_sub, int_of(INT64_MIN), int_of(1), "int 9223372036854775807"},
      {"mul wraps", trvvar_op_mul, int_of(INT64_MAX), int_of(2), "int -2"},
      {"1.5 * 2", trvvar_op_mul, float_of(1.5), int_of(2), "float 3.000000"},
      {"7 / 2", trvvar_op_div, int_of(7), int_of(2), "int 3"},
      {"-7 / 2", trvvar_op_div, int_of(-7), int_of(2), "int -3"},
      {"min / -1", trvvar_op_div, int_of(INT64_MIN), int_of(-1), "int -9223372036854775808"},
      {"7 / 2.0", trvvar_op_div, int_of(7), float_of(2.0), "float 3.500000"},
      {"6 & 3", trvvar_op_and, int_of(6), int_of(3), "int 2"},
      {"6 | 3", trvvar_op_or, int_of(6), int_of(3), "int 7"},
      {"6 ^ 3", trvvar_op_xor, int_of(6), int_of(3), "int 5"},
      {"'12' & 4.9", trvvar_op_and, string_of("12"), float_of(4.9), "int 4"},
      {"{} & bytes", trvvar_op_and, json_of(0), of_type(TRVVAR_BINARY), "int 0"},
      {"1 == 1.0", with_flag<trvvar_op_equal, false>, int_of(1), float_of(1.0), "int 1"},
      {"1 != 1.0", with_flag<trvvar_op_equal, true>, int_of(1), float_of(1.0), "int 0"},
      {"'abc' < 'abd'", with_flag<trvvar_op_less, false>, string_of("abc"), string_of("abd"),
       "int 1"},
      {"NaN >= 1", with_flag<trvvar_op_greater, true>, float_of(std::nan("")), float_of(1.0),
       "int 0"},
      {"-min", negate, int_of(INT64_MIN), {}, "int -9223372036854775808"},
      {"-0.0", negate, float_of(0.0), {}, "float -0.000000"},
      {"7 / 0", trvvar_op_div, int_of(7), int_of(0), "int 0"},
      {"1 / -0.0", trvvar_op_div, float_of(1.0), float_of(-0.0), "float 0.000000"},
      {"1 / NaN", trvvar_op_div, float_of(1.0), float_of(std::nan("")), "float nan"},
      {"{} + 5", trvvar_op_add, json_of(0), int_of(5), "none "},
      {"none + none", trvvar_op_add, trvvar_new(), trvvar_new(), "none "},
      {"'a' - 1", trvvar_op_sub, string_of("a"), int_of(1), "none "},
      {"bytes * 1", trvvar_op_mul, of_type(TRVVAR_BINARY), int_of(1), "none "},
      {"err / err", trvvar_op_div, of_type(TRVVAR_ERR), of_type(TRVVAR_ERR), "none "},
      {"object - 1", trvvar_op_sub, of_type(TRVVAR_OBJECT), int_of(1), "none "},
      {"2 / object", trvvar_op_div, int_of(2), of_type(TRVVAR_OBJECT), "none "},
      {"-'x'", negate, string_of("x"), {}, "none "},
  };
  log_capture capture;
  for (const op_case& c : cases) {
    trvvar_shared slot = c.left;
    c.op(slot, *c.left, c.right ? *c.right : *c.left);
    EXPECT_EQ(shown(slot), c.result) << c.name;
  }
  // The left operand is converted first and warns first.
  EXPECT_EQ(capture.warnings(), (std::vector<std::string>{
                                    "int_value() not implemented for type: 7",
                                    "int_value() not implemented for type: 6",
                                    "Division by zero!",
                                    "Division by zero!",
                                }));
  EXPECT_EQ(error_texts(capture), (std::vector<std::string>{
                                      "Cannot add '{}' and '5'",
                                      "Add invalid type: 1",
                                      "Sub invalid type: 5",
                                      "Mult invalid type: 6",
                                      "Div invalid type: 0",
                                      "Cannot subtract '' and '1'",
                                      "Cannot divide '2' and ''",
                                      "Cannot negate type 5",
                                  }));
}

// Integer and float results reuse the slot's variable only when nobody else holds it and it
// holds a number.
TEST(Operators, InPlaceRule) {
  trvvar_shared slot = int_of(1);
  trvvar* record = slot.get();
  trvvar_op_add(slot, *slot, *int_of(2));
  EXPECT_EQ(slot.get(), record);
  EXPECT_EQ(slot->payload.int_value, 3);

  trvvar_shared other_holder = slot;
  trvvar_op_add(slot, *slot, *float_of(0.5));
  EXPECT_NE(slot.get(), record);
  EXPECT_EQ(shown(other_holder), "int 3");
  EXPECT_EQ(shown(slot), "float 3.500000");

  // Results that must be new: the special division cases and text.
  trvvar_set_int(*slot, 3);
  trvvar* before = slot.get();
  trvvar_op_div(slot, *slot, *int_of(-1));
  EXPECT_NE(slot.get(), before);
  before = slot.get();
  trvvar_op_add(slot, *slot, *string_of("!"));
  EXPECT_NE(slot.get(), before);
  EXPECT_EQ(shown(slot), "string -3!");

  before = slot.get();  // a number never overwrites a text record; an empty slot gets one
  trvvar_store_int(slot, 4);
  EXPECT_NE(slot.get(), before);
  trvvar_shared empty;
  trvvar_store_int(empty, 5);
  EXPECT_EQ(empty->payload.int_value, 5);
}

TEST(Operators, JsonSumCopiesBothSidesRightWinsKeylessAppended) {
  trvvar_shared left = trvvar_new();
  trv_std_json& l = trvvar_get_or_make_json(*left);
  trvvar_set_int(*l.find_or_add("a"), 1);
  trvvar_set_int(*l.find_or_add("b"), 2);
  trvvar_set_int(*l.add_keyless(), 9);
  trvvar_shared right = trvvar_new();
  trv_std_json& r = trvvar_get_or_make_json(*right);
  trvvar_set_int(*r.find_or_add("b"), 20);
  trvvar_set_int(*r.add_keyless(), 7);

  trvvar_shared sum = apply(trvvar_op_add, left, right);
  ASSERT_EQ(sum->type, TRVVAR_JSON);
  trv_std_json& s = *trv_json_of(*sum);
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(trvvar_int_value(*s.find_or_add("a")), 1);
  EXPECT_EQ(trvvar_int_value(*s.find_or_add("b")), 20);
  EXPECT_FALSE(s.entries[2].key);
  EXPECT_EQ(trvvar_int_value(*s.entries[2].value), 9);
  EXPECT_FALSE(s.entries[3].key);
  EXPECT_EQ(trvvar_int_value(*s.entries[3].value), 7);
  EXPECT_EQ(trvvar_int_value(*l.find_or_add("b")), 2);  // the left side is unchanged
  EXPECT_EQ(l.size(), 3u);
}

TEST(Operators, IncrementAndDecrement) {
  struct step_case {
    bool (*step)(trvvar&);
    trvvar_shared value;
    bool done;
    const char* result;
  };
  const step_case cases[] = {
      {trvvar_increment_value, trvvar_new(), true, "int 1"},
      {trvvar_decrement_value, int_of(INT64_MIN), true, "int 9223372036854775807"},
      {trvvar_decrement_value, trvvar_new(), true, "int -1"},
      {trvvar_increment_value, float_of(0.5), true, "float 1.500000"},
      {trvvar_increment_value, string_of("1"), false, "string 1"},
      {trvvar_decrement_value, of_type(TRVVAR_REF), false, nullptr},
  };
  log_capture capture;
  for (const step_case& c : cases) {
    EXPECT_EQ(c.step(*c.value), c.done);
    if (c.result) {
      EXPECT_EQ(shown(c.value), c.result);
    }
  }
  EXPECT_EQ(capture.warnings(), (std::vector<std::string>{
                                    "increment_value not implemented for type: 5",
                                    "decrement_value not implemented for type: 17",
                                }));
}

// A native object whose hooks record the question and answer as told.
struct hooked : trvobject<hooked, "test.hooked">, trvptr_type_tag<hooked> {
  hooked(const char* name, std::vector<std::string>& log) : name(name), log(log) {}
  bool op_add(trvvar&, trvvar_shared& result) override { return answer("add", result); }
  bool op_radd(trvvar&, trvvar_shared& result) override { return answer("radd", result); }
  bool op_div(trvvar&, trvvar_shared& result) override { return answer("div", result); }
  bool op_rdiv(trvvar&, trvvar_shared& result) override { return answer("rdiv", result); }
  bool answer(const char* what, trvvar_shared& result) {
    log.push_back(std::string(name) + "." + what);
    if (handles) trvvar_set_int(*result, 42);
    return handles;
  }
  const char* name;
  std::vector<std::string>& log;
  bool handles = false;
};

TEST(Operators, NativeHooksLeftThenReflectedRight) {
  log_capture capture;
  std::vector<std::string> asked;
  auto* a = new hooked("a", asked);
  auto* b = new hooked("b", asked);
  trvvar_shared left = object_of(a);
  trvvar_shared right = object_of(b);
  b->handles = true;
  EXPECT_EQ(shown(apply(trvvar_op_add, left, right)), "int 42");
  EXPECT_EQ(shown(apply(trvvar_op_div, int_of(1), right)), "int 42");
  b->handles = false;
  EXPECT_EQ(apply(trvvar_op_add, int_of(3), right)->type, TRVVAR_NONE);
  EXPECT_EQ(asked, (std::vector<std::string>{"a.add", "b.radd", "b.rdiv", "b.radd"}));
  EXPECT_EQ(error_texts(capture), std::vector<std::string>{"Cannot add '3' and 'test.hooked'"});
}

// The class layer's operator calls, as the interpreter will answer them: this stand-in knows
// which methods each instance's class defines and records the calls it starts.
struct class_layer {
  static inline std::vector<std::string> calls;
  static inline std::vector<int> defined;  // operator rows every instance defines

  static bool call(trvvar&, int index, trvvar* argument, trv_operator_mode mode) {
    if (std::find(defined.begin(), defined.end(), index) == defined.end()) return false;
    calls.push_back(std::string(trv_operator_names[index].method) + (argument ? " arg" : "") +
                    " mode " + std::to_string(mode));
    return true;
  }
  static std::string name(trvvar&) { return "Point"; }

  class_layer() {
    calls.clear();
    trv_class_hooks_installed.call_operator = call;
    trv_class_hooks_installed.class_name = name;
  }
  ~class_layer() { trv_class_hooks_installed = trv_class_hooks{}; }
};

// A live instance: any managed object stands in for the instance behind the payload.
struct instance_stand_in : trvobject<instance_stand_in, "test.instance">,
                           trvptr_type_tag<instance_stand_in> {};

trvvar_shared instance() {
  trvvar_shared v = of_type(TRVVAR_CLASS);
  auto object = trvptr_strong<trvobject_base>::from(new instance_stand_in());
  v->payload.class_payload->instance = trvptr_strong<trv_class>::adopt(object.take_block());
  return v;
}

TEST(Operators, ClassOperatorLookupOrder) {
  class_layer layer;
  log_capture capture;
  trvvar_shared point = instance();

  class_layer::defined = {TRV_OP_ADD + TRV_OP_REFLECTED};
  trvvar_shared slot = int_of(1);
  trvvar_op_add(slot, *slot, *point);  // 1 + p: p's __radd__
  EXPECT_EQ(shown(slot), "int 1");     // the result comes when the method returns
  slot = point;
  trvvar_op_add(slot, *slot, *int_of(1));  // p + 1: no __add__, and 1 has no __radd__
  EXPECT_EQ(slot->type, TRVVAR_NONE);

  class_layer::defined = {TRV_OP_EQ};
  slot = point;
  trvvar_op_equal(slot, *slot, *int_of(1), true);  // != through __eq__, inverted
  class_layer::defined = {};
  slot = point;
  trvvar_op_equal(slot, *slot, *point, false);  // no method: the instances are compared
  EXPECT_EQ(shown(slot), "int 1");
  slot = point;
  trvvar_op_negate(slot, *slot);

  EXPECT_EQ(class_layer::calls,
            (std::vector<std::string>{"__radd__ arg mode 1", "__eq__ arg mode 3"}));
  EXPECT_EQ(error_texts(capture),
            (std::vector<std::string>{
                "Operator '+' is not defined for 'Point' and '1' (implement __add__ or __radd__)",
                "Cannot negate 'Point' (implement __neg__)"}));
  EXPECT_EQ(trv_reflected_comparison(TRV_OP_LE), TRV_OP_GE);
  EXPECT_EQ(trv_reflected_comparison(TRV_OP_NE), TRV_OP_NE);
}

}  // namespace
