#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/object_binding.h"
#include "stdlib/buffer/std_buffer.h"
#include "stdlib/string/std_string.h"
#include "tests/support/capturing_logger.h"
#include "tests/support/test_values.h"
#include "values/assign.h"
#include "values/convert.h"
#include "values/member_access.h"
#include "values/reference.h"

namespace {

TEST(MemberAccess, PlainValuesBecomeJsonObjects) {
  const std::vector<trvvar_shared> plain = {int_of(4), trvvar_new(), float_of(1.0),
                                            of_type(TRVVAR_OBJECT), of_type(TRVVAR_FUNCTION)};
  for (const trvvar_shared& v : plain) {
    trvvar_shared member = trvvar_member_by_name(*v, "k");
    ASSERT_EQ(v->type, TRVVAR_JSON);
    trvvar_set_int(*member, 8);
    EXPECT_EQ(trvvar_int_value(*trv_json_of(*v)->find_or_add("k")), 8);
    EXPECT_EQ(trv_json_of(*v)->size(), 1u);
  }
}

TEST(MemberAccess, JsonMembersByNameAndIndex) {
  trvvar_shared v = json_of(2);
  EXPECT_EQ(trvvar_member_by_index(*v, -1)->payload.int_value, 1);
  EXPECT_FALSE(trvvar_has_member(*v, "x"));
  trvvar_member_by_name(*v, "x");  // reading a missing key creates it
  EXPECT_TRUE(trvvar_has_member(*v, "x"));
  EXPECT_EQ(trv_json_of(*v)->size(), 3u);
}

TEST(MemberAccess, ObjectValuesGiveMemberVariables) {
  trvvar_shared text = string_of("abc");
  trvvar_shared named = trvvar_member_by_name(*text, "size");
  ASSERT_EQ(named->type, TRVVAR_OBJECT_MEMBER_LITERAL);
  EXPECT_EQ(named->payload.member_literal_payload->name, "size");
  EXPECT_EQ(named->payload.member_literal_payload->object.get(), text->payload.object.get());

  trvvar_shared buffer = of_type(TRVVAR_BINARY);
  trvvar_get_or_make_binary(*buffer) = {10, 20, 30};
  trvvar_shared indexed = trvvar_member_by_index(*buffer, -1);
  ASSERT_EQ(indexed->type, TRVVAR_OBJECT_MEMBER_INDEX);
  EXPECT_EQ(indexed->payload.member_index_payload->direct_access, 0);
  EXPECT_EQ(trvvar_int_value(*trvvar_deref(indexed.get())), 30);
  EXPECT_EQ(trvvar_string_value(*indexed), "30");

  // Writing through the member variable reaches the buffer.
  trvvar_shared value = int_of(300);
  trvvar_set(*indexed, value);
  EXPECT_EQ(trvvar_get_or_make_binary(*buffer)[2], 44);
}

// Dead objects and classes have no members and turn into none; so does a class check on them.
TEST(MemberAccess, HasMemberDeadObjectsAndClassCheck) {
  log_capture capture;
  trv_std_buffer::script_register();
  EXPECT_TRUE(trvvar_has_member(*object_of(new trv_std_buffer()), "size"));
  EXPECT_FALSE(trvvar_has_member(*int_of(1), "size"));
  trvvar_shared dead = of_type(TRVVAR_OBJECT);
  EXPECT_FALSE(trvvar_has_member(*dead, "size"));
  EXPECT_EQ(dead->type, TRVVAR_NONE);

  trvvar_shared gone = of_type(TRVVAR_CLASS);
  EXPECT_FALSE(trvvar_class_check(*gone));
  EXPECT_EQ(gone->type, TRVVAR_NONE);
  EXPECT_FALSE(trvvar_class_check(*int_of(1)));
  EXPECT_EQ(capture.errors(), std::vector<std::string>{"Cannot get class ref."});
  EXPECT_EQ(trvvar_member_by_name(*of_type(TRVVAR_CLASS), "x")->type, TRVVAR_NONE);
}

struct plain_object : trvobject<plain_object, "test.plain">, trvptr_type_tag<plain_object> {};

TEST(Assignment, SharingRules) {
  // json shares its container
  trvvar_shared source = json_of(0);
  trvvar_shared destination = trvvar_new();
  trvvar_set(*destination, source);
  EXPECT_EQ(trvvar_payload_object(*destination), trvvar_payload_object(*source));

  // strings and bytes are copied
  source = string_of("abc");
  trvvar_set(*destination, source);
  trvvar_get_or_make_string(*destination) += "d";
  EXPECT_EQ(trvvar_string_value(*source), "abc");
  source = of_type(TRVVAR_BINARY);
  trvvar_get_or_make_binary(*source) = {1};
  trvvar_set(*destination, source);
  trvvar_get_or_make_binary(*destination)[0] = 2;
  EXPECT_EQ(trvvar_get_or_make_binary(*source)[0], 1);

  // objects: the share-on-assign flag shares, otherwise self_pointer decides (by default it
  // shares, a string copies)
  auto* plain = new plain_object();
  source = object_of(plain);
  trvvar_set(*destination, source);
  EXPECT_EQ(destination->payload.object_payload->object.get(), plain);
  auto* text = new trv_std_string();
  text->text = "value";
  source = object_of(text);
  trvvar_set(*destination, source);
  EXPECT_NE(destination->payload.object_payload->object.get(), text);
  EXPECT_EQ(destination->payload.object_payload->object->to_string(), "value");
  source->flags |= TRVVAR_FLAG_SHARE_ON_ASSIGN;
  trvvar_set(*destination, source);
  EXPECT_EQ(destination->payload.object_payload->object.get(), text);
  trvvar_set(*destination, destination);  // self-assignment does nothing
  EXPECT_EQ(destination->payload.object_payload->object.get(), text);

  // a member source is replaced by its value in the caller's handle
  source = trvvar_member_by_index(*of_type(TRVVAR_BINARY), 0);
  trvvar_set(*destination, source);
  EXPECT_EQ(source->type, TRVVAR_NONE);
  EXPECT_EQ(destination->type, TRVVAR_NONE);
}

// A reference converts as its target.
TEST(Conversions, ThroughReferences) {
  trvvar_shared ref = ref_to(string_of("12.5"));
  EXPECT_EQ(trvvar_int_value(*ref), 12);
  EXPECT_EQ(trvvar_float_value(*ref), 12.5);
  EXPECT_TRUE(trvvar_get_bool(*ref));
}

}  // namespace
