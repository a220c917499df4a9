#include <gtest/gtest.h>

#include "objects/namespace.h"
#include "stdlib/json/json_bool.h"
#include "tests/json/json_test_support.h"
#include "values/payloads.h"

namespace {

trvvar_shared make_bool(std::vector<trvvar_shared> args) {
  trv_namespace ns;
  populate_json_bool_namespace(ns);
  trv_vm_context context;
  return ns.function_definitions.back()->native_callback(context, args);
}

trv_std_json_bool& bool_of(const trvvar_shared& v) {
  return *trv_object_cast<trv_std_json_bool>(v->payload.object_payload->object.get());
}

TEST(JsonBool, TextFollowsTheWrappedValue) {
  const std::pair<trvvar_shared, const char*> rows[] = {
      {int_of(0), "false"},   {string_of(""), "false"},    {int_of(2), "true"},
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

TEST(JsonBool, OperatorsCountItAsOneOrZero) {
  trvvar_shared one_var = make_bool({int_of(1)});
  trv_std_json_bool& one = bool_of(one_var);
  trvvar_shared result;
  trvvar_shared two = int_of(2);
  ASSERT_TRUE(one.op_add(*two, result));
  EXPECT_EQ(result->type, TRVVAR_INT);
  EXPECT_EQ(result->payload.int_value, 3);
  trvvar_shared factor = float_of(2.5);
  ASSERT_TRUE(one.op_mul(*factor, result));
  EXPECT_EQ(result->payload.float_value, 2.5);
  trvvar_shared zero = int_of(0);
  EXPECT_FALSE(one.op_div(*zero, result));  // integer division by zero is not handled
  trvvar_shared text = string_of("1");
  EXPECT_FALSE(one.op_add(*text, result));

  trvvar_shared false_var = make_bool({int_of(0)});
  EXPECT_TRUE(bool_of(false_var).op_equal(*zero));
  trvvar_shared five = make_bool({int_of(5)});
  EXPECT_TRUE(one.op_equal(*five));
  EXPECT_TRUE(one.op_less(*two, false));
  EXPECT_TRUE(one.op_greater(*zero, false));
  trvvar_shared same = int_of(1);
  EXPECT_FALSE(one.op_less(*same, false));
  EXPECT_TRUE(one.op_less(*same, true));
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

}  // namespace
