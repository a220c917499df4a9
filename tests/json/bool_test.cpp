#include <gtest/gtest.h>

#include <tuple>

#include "objects/namespace.h"
#include "stdlib/json/json_bool.h"
#include "tests/json/json_test_support.h"
#include "tests/support/capturing_logger.h"
#include "values/binary_form.h"
#include "values/payloads.h"
#include "vm/call.h"

namespace {

trvvar_shared make_bool(std::vector<trvvar_shared> args) {
  trv_namespace ns;
  populate_json_bool_namespace(ns);
  trv_vm_context context;
  return trv_call_native(context, *ns.function_definitions.back(), context.native_object, args);
}

trv_std_json_bool& bool_of(const trvvar_shared& v) {
  return *trv_object_cast<trv_std_json_bool>(v->payload.object_payload->object.get());
}

TEST(JsonBool, TextFollowsTheWrappedValue) {
  const std::pair<trvvar_shared, const char*> rows[] = {
      {int_of(0), "false"},      {string_of(""), "false"}, {int_of(2), "true"},
      {string_of("no"), "true"}, {float_of(0.0), "false"},
  };
  for (const auto& [value, text] : rows) {
    EXPECT_EQ(trvvar_string_value(*make_bool({value})), text);
  }
  EXPECT_EQ(trvvar_string_value(*make_bool({})), "false");

  json_value j;
  trvvar_shared one = make_bool({int_of(1)});
  trvvar_set(*j->add_keyless(), one);
  trvvar_set_int(*j->add_keyless(), 1);
  EXPECT_EQ(j.text(), "[true,1]");
}

// Wrapping a json.bool copies it, and a copy keeps a json.bool it wraps as the boolean it
// prints as (false: an object value has no truth of its own): a chain built level by level
// stays two deep, where copying (and releasing) the whole chain recursed once per level.
TEST(JsonBool, WrappingAJsonBoolKeepsItsBoolean) {
  trvvar_shared b = make_bool({int_of(5)});
  for (int i = 0; i < 3000; ++i) b = make_bool({b});
  const trv_std_json_bool& outer = bool_of(b);
  ASSERT_EQ(outer.value.type, TRVVAR_OBJECT);
  const auto* inner =
      trv_object_cast<trv_std_json_bool>(outer.value.payload.object_payload->object.get());
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->value.type, TRVVAR_INT);
  EXPECT_EQ(inner->value.payload.int_value, 0);
  EXPECT_FALSE(inner->get());
}

TEST(JsonBool, OperatorsCountItAsOneOrZero) {
  trvvar_shared one_var = make_bool({int_of(1)});
  trv_std_json_bool& one = bool_of(one_var);
  trvvar_shared result;
  ASSERT_TRUE(one.op_add(*int_of(2), result));
  EXPECT_EQ(result->type, TRVVAR_INT);
  EXPECT_EQ(result->payload.int_value, 3);
  ASSERT_TRUE(one.op_mul(*float_of(2.5), result));
  EXPECT_EQ(result->payload.float_value, 2.5);
  EXPECT_FALSE(one.op_div(*int_of(0), result));  // integer division by zero is not handled
  // Reflected: the json.bool on the right.
  const std::tuple<bool (trv_std_json_bool::*)(trvvar&, trvvar_shared&), trvvar_shared, double>
      reflected[] = {{&trv_std_json_bool::op_rsub, int_of(7), 6},
                     {&trv_std_json_bool::op_rdiv, int_of(7), 7},
                     {&trv_std_json_bool::op_rsub, float_of(2.5), 1.5},
                     {&trv_std_json_bool::op_rdiv, float_of(3.0), 3.0}};
  for (const auto& [op, left, expected] : reflected) {
    ASSERT_TRUE((one.*op)(*left, result));
    EXPECT_EQ(result->type, left->type);
    EXPECT_EQ(trvvar_float_value(*result), expected);
  }
  EXPECT_FALSE(bool_of(make_bool({int_of(0)})).op_rdiv(*int_of(7), result));
  EXPECT_FALSE(one.op_add(*string_of("1"), result));

  EXPECT_TRUE(bool_of(make_bool({int_of(0)})).op_equal(*int_of(0)));
  EXPECT_TRUE(one.op_equal(*make_bool({int_of(5)})));
  EXPECT_TRUE(one.op_less(*int_of(2), false));
  EXPECT_TRUE(one.op_greater(*int_of(0), false));
  EXPECT_FALSE(one.op_less(*int_of(1), false));
  EXPECT_TRUE(one.op_less(*int_of(1), true));
}

TEST(JsonBool, MemberValueAndAssignmentCopy) {
  trvvar_shared b = make_bool({int_of(1)});
  trv_std_json_bool& object = bool_of(b);
  const int64_t index = object.member_index("value");
  ASSERT_GE(index, 0);
  trvvar_shared read;
  object.get_member_value(read, index);
  trvvar_set_int(*read, 0);  // a copy: the object keeps its value
  EXPECT_EQ(object.to_string(), "true");
  trvvar_shared zero = int_of(0);
  object.set_member_value(index, zero);
  EXPECT_EQ(object.to_string(), "false");

  trvvar_shared copy = trvvar_new();
  trvvar_set(*copy, b);  // assignment copies a json.bool
  EXPECT_NE(&bool_of(copy), &object);
  EXPECT_EQ(trvvar_string_value(*copy), "false");
}

// The record keeps the boolean, as the JSON text does, not the wrapped value.
TEST(JsonBool, BinaryRecordKeepsTheBoolean) {
  std::vector<uint8_t> out;
  ASSERT_TRUE(trvvar_to_binary(*make_bool({int_of(5)}), out));
  ASSERT_TRUE(trvvar_to_binary(*make_bool({}), out));
  const std::vector<uint8_t> one = {3, 'v', '1', '1', 0, TRVVAR_OBJECT, 3, 'b', '1', '1', 0, 1};
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 12), one);
  EXPECT_EQ(out.size(), 24u);

  trv_binary_reader reader{out.data(), out.size(), 0};
  trvvar_shared back = trvvar_new();
  ASSERT_TRUE(trvvar_from_binary(*back, reader));
  EXPECT_EQ(trvvar_string_value(bool_of(back).value), "1");
  ASSERT_TRUE(trvvar_from_binary(*back, reader));
  EXPECT_EQ(trvvar_string_value(*back), "false");
  EXPECT_EQ(reader.position, out.size());

  // Cut inside the record: the reader's error, as for any value.
  const std::vector<uint8_t> cut(one.begin(), one.end() - 1);
  trv_binary_reader cut_reader{cut.data(), cut.size(), 0};
  EXPECT_THROW(trvvar_from_binary(*back, cut_reader), std::runtime_error);

  // An object record of a class that has no reader is still refused and left unread.
  log_capture capture;
  const std::vector<uint8_t> other = {3, 'v', '1', '1', 0, TRVVAR_OBJECT, 3, 'x', '1', '1', 0};
  trv_binary_reader other_reader{other.data(), other.size(), 0};
  EXPECT_FALSE(trvvar_from_binary(*back, other_reader));
  EXPECT_EQ(other_reader.position, 6u);
  EXPECT_EQ(capture.warnings(),
            std::vector<std::string>{"Implement object deserialization in from_binary!"});
}

}  // namespace
