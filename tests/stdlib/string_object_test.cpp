#include <gtest/gtest.h>

#include <set>
#include <string>

#include "objects/namespace.h"
#include "tests/stdlib/string_calls.h"
#include "values/assign.h"
#include "vm/call.h"

namespace {

using namespace string_calls;

TEST(StringObject, IndexReadIsOneByteOrEmpty) {
  trvptr_strong<trv_std_string> s = new_string("abc");
  EXPECT_EQ(text(s->get_index_member(0)), "a");
  EXPECT_EQ(text(s->get_index_member(-1)), "c");
  EXPECT_EQ(text(s->get_index_member(3)), "");
  EXPECT_EQ(text(s->get_index_member(-4)), "");
  EXPECT_EQ(text(s->get_index_member(INT64_MIN)), "");
  EXPECT_EQ(text(s->get_index_member(INT64_MAX)), "");
}

TEST(StringObject, IndexWritePadsOverwritesOrReplacesTheTail) {
  struct {
    const char* receiver;
    int64_t index;
    const char* value;
    const char* expected;
  } const cases[] = {
      {"abc", 5, "Z", "abc  Z"}, {"abcd", 1, "XYZ", "aXYZ"}, {"abc", -1, "X", "abX"},
      {"abc", -9, "X", "Xbc"},   {"abc", 1, "", "abc"},      {"ab", 1, "XYZ", "aXYZ"},
      {"", 0, "x", "x"},
  };
  for (const auto& c : cases) {
    trvptr_strong<trv_std_string> s = new_string(c.receiver);
    trvvar_shared value = var(c.value);
    s->set_index_member(c.index, value);
    EXPECT_FALSE(value);  // consumed
    EXPECT_EQ(s->text, c.expected) << c.receiver << "[" << c.index << "] = " << c.value;
  }
  trvptr_strong<trv_std_string> s = new_string("ab");
  trvvar_shared self = same_object(*s);
  s->set_index_member(4, self);
  EXPECT_EQ(s->text, "ab  ab");
}

TEST(StringObject, KeyWriteSubstitutes) {
  const auto written = [](const char* receiver, std::string_view key, trvvar_shared value) {
    trvptr_strong<trv_std_string> s = new_string(receiver);
    s->set_named_member(key, value);
    EXPECT_FALSE(value);
    return s->text;
  };
  EXPECT_EQ(written("?-?-?", "?", var("ab")), "ab-ab-ab");
  EXPECT_EQ(written("aa", "a", var("aa")), "aaaa");  // inserted text is not searched again
  EXPECT_EQ(written("?-?-?", "?", json({{"", "1"}, {"", "2"}})), "1-2-?");
  EXPECT_EQ(written("?", "?", json({{"", "1"}, {"", "2"}})), "1");
  EXPECT_EQ(written("ab", "", var("-")), "-a-b-");
  EXPECT_EQ(written("ab", "", json({{"", "1"}, {"", "2"}})), "1a2b");
  EXPECT_EQ(written("n=N", "N", var(7)), "n=7");
}

TEST(StringObject, ValueSemanticsAndCounts) {
  trvptr_strong<trv_std_string> s = new_string("ab");
  trvptr_strong<trvobject_base> copy = s->self_pointer();
  ASSERT_TRUE(copy);
  EXPECT_NE(copy.get(), s.get());
  EXPECT_EQ(copy->to_string(), "ab");
  s->text = "changed";
  EXPECT_EQ(copy->to_string(), "ab");
  EXPECT_FALSE(s->is_empty());
  EXPECT_EQ(s->element_count(), 7);
  EXPECT_TRUE(new_string("")->is_empty());
  EXPECT_STREQ(s->class_name(), "std.string");
}

TEST(StringObject, ConstructorFunctionConcatenatesItsArguments) {
  trv_namespace ns;
  trv_std_string::populate_namespace(ns);
  ASSERT_EQ(ns.function_definitions.size(), 1u);
  const trv_function_def& def = *ns.function_definitions[0];
  EXPECT_EQ(def.name, "string");
  EXPECT_EQ(def.class_name, "std.string");
  EXPECT_EQ(def.max_params, 999u);
  EXPECT_EQ(def.documentation,
            "Create a new string, optionally initialized with given values that are concatenated");
  EXPECT_EQ(def.parameter_documentation,
            std::vector<std::string_view>{"value: string - Initial string values to concatenate"});

  trv_vm_context context;
  std::vector<trvvar_shared> args{var("a"), var(1), trvvar_new(), var("b")};
  EXPECT_EQ(text(trv_call_native(context, def, context.native_object, args)), "a1b");
  std::vector<trvvar_shared> none;
  EXPECT_EQ(text(trv_call_native(context, def, context.native_object, none)), "");
}

// 58 methods, the regular-expression ones last; four of those take their arguments as passed
// (marker 2), every other method gets them dereferenced.
TEST(StringObject, MethodTable) {
  trv_std_string::script_register();
  ASSERT_EQ(trv_std_string::member_list.size(), 58u);
  const trv_function_def& last = *trv_std_string::member_list.back()->function_def();
  EXPECT_EQ(last.name, "regex_escape");
  const std::set<std::string, std::less<>> as_passed{"regex_match", "regex_replace", "regex_split",
                                                     "regex_escape"};
  for (const auto& member : trv_std_string::member_list) {
    const trv_function_def& def = *member->function_def();
    EXPECT_EQ(def.native_marker, as_passed.count(def.name) ? 2u : 1u) << def.name;
  }
}

}  // namespace
