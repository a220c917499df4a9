#include <gtest/gtest.h>

#include "objects/namespace.h"
#include "stdlib/json/json_methods.h"
#include "tests/json/json_test_support.h"
#include "tests/support/capturing_logger.h"
#include "values/payloads.h"
#include "vm/call.h"

namespace {

std::string text_of(const trvvar_shared& v) { return trvvar_string_value(*v); }

// A method call on a parsed container: the container's compact text afterwards and the
// result's text (containers as their compact text).
struct call_row {
  const char* source;
  const char* method;
  std::vector<trvvar_shared> args;
  const char* after;
  const char* result;
};

void run(const std::vector<call_row>& rows) {
  for (const call_row& r : rows) {
    json_value j = parsed(r.source);
    trvvar_shared result = j.call(r.method, r.args);
    std::string shown;
    if (result->type == TRVVAR_OBJECT) {  // the container itself, for chaining
      EXPECT_EQ(result->payload.object_payload->object.get(), j.c);
      shown = "this";
    } else {
      shown =
          trv_json_of(*result) ? trv_json_to_text(*trv_json_of(*result), true) : text_of(result);
    }
    EXPECT_EQ(j.text(), r.after) << r.source << " ." << r.method;
    EXPECT_EQ(shown, r.result) << r.source << " ." << r.method;
  }
}

TEST(JsonMethods, AddingAndRemoving) {
  run({
      {"[1,2]", "push", {string_of("x")}, R"([1,2,"x"])", "this"},
      {"[]", "pop", {}, "{}", "this"},
      {R"(["a","b"])", "insert", {int_of(-1), string_of("x")}, R"(["a","x","b"])", "this"},
      {R"(["a","b"])", "insert", {int_of(100), string_of("x")}, R"(["a","b","x"])", "this"},
      {R"(["a","b"])", "insert", {int_of(-100), string_of("x")}, R"(["x","a","b"])", "this"},
      {R"({"1":"k","a":"v"})", "erase", {string_of("1")}, R"({"a":"v"})", "1"},
      {R"(["a","b"])", "erase", {int_of(1)}, R"(["a"])", "1"},
      {R"(["a","b"])", "erase", {float_of(-2.0)}, R"(["b"])", "1"},
      {R"(["a"])", "remove", {int_of(5)}, R"(["a"])", "0"},
      {"[1,2,1]", "erase_value", {int_of(1)}, "[2,1]", "1"},
      {"[1,2,3,4,5]", "push_cyclic", {string_of("x"), int_of(3)}, R"([4,5,"x"])", "this"},
      {"[1,2]", "resize", {int_of(0)}, "{}", "this"},
      {"[1]", "resize", {int_of(3)}, "[1,null,null]", "this"},
      {R"({"a":1,"b":2})", "to_list", {}, "[1,2]", "this"},
  });
}

TEST(JsonMethods, WarningsLeaveTheContainerAsItWas) {
  log_capture capture;
  json_value j = parsed("[1,2]");
  EXPECT_EQ(j.call("resize", {int_of(-1)})->type, TRVVAR_OBJECT);
  j.call("resize", {int_of(int64_t{1} << 32)});  // more entries than a walk can count
  EXPECT_EQ(j.call("key", {int_of(5)})->type, TRVVAR_NONE);
  j.call("push_cyclic", {int_of(9), int_of(0)});
  EXPECT_EQ(text_of(j.call("any", {int_of(1)})), "0");
  EXPECT_EQ(text_of(j.call("all", {int_of(1)})), "0");
  EXPECT_EQ(j.call("map", {int_of(1)})->type, TRVVAR_JSON);
  EXPECT_EQ(j.call("reduce", {int_of(1)})->type, TRVVAR_NONE);
  EXPECT_EQ(j.text(), "[1,2]");
  EXPECT_EQ(
      capture.warnings(),
      (std::vector<std::string>{"size out of range!", "size out of range!", "index out of range!",
                                "push_cyclic: max_entries must be greater than 0",
                                "any expects string or function", "all expects string or function",
                                "map expects a function", "reduce expects a callback"}));
}

TEST(JsonMethods, Lookups) {
  json_value j = parsed(R"({"Name":"x","b":"","c":5})");
  j->add_keyless();
  EXPECT_EQ(text_of(j.call("key", {int_of(-2)})), "c");
  EXPECT_EQ(j.call("key", {int_of(-1)})->type, TRVVAR_NONE);
  EXPECT_EQ(text_of(j.call("has", {string_of("Name")})), "1");
  EXPECT_EQ(text_of(j.call("has", {string_of("name")})), "0");
  EXPECT_EQ(text_of(j.call("hasi", {string_of("NAME")})), "1");
  EXPECT_EQ(j.call("geti", {string_of("name")}).get(), j->value_at(0).get());  // shared
  EXPECT_EQ(text_of(j.call("has_value", {string_of("5")})), "1");              // compared as text
  EXPECT_EQ(text_of(j.call("has_value_str", {int_of(5)})), "1");
  EXPECT_EQ(text_of(j.call("combine_string", {string_of(",")})), "x,,5,,");
  EXPECT_EQ(text_of(j.call("size")), "4");
}

TEST(JsonMethods, Sorting) {
  json_value j = parsed(R"({"B":1,"a":2,"C":3})");
  j->add_keyless();
  EXPECT_EQ(j.call("sort")->payload.object_payload->object.get(), j.c);  // for chaining
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"a", "B", "C", "-"}));
  EXPECT_EQ(j.call("rsort")->payload.object_payload->object.get(), j.c);
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"a", "C", "B", "-"}));

  json_value people = parsed(R"({"p":{"age":30},"q":{"x":1},"r":{"age":"7"},"s":{"age":4}})");
  people.call("sort_by", {string_of("age")});
  EXPECT_EQ(people.keys(), (std::vector<std::string>{"s", "p", "r", "q"}));
  people.call("sort_by", {string_of("age"), int_of(1)});
  EXPECT_EQ(people.keys(), (std::vector<std::string>{"r", "p", "s", "q"}));
}

TEST(JsonMethods, FilteringAndMatching) {
  const char* source = R"({"alpha":"one","beta":2,"gamma":"two"})";
  run({
      {source, "filter_key", {string_of("a")}, source, source},
      {source, "filter_key", {string_of("mm")}, source, R"({"gamma":"two"})"},
      {source, "filter", {string_of("et")}, source, R"({"beta":2})"},
      {source, "filter_value", {string_of("o")}, source, R"({"alpha":"one","gamma":"two"})"},
      {source, "filter_value", {trvvar_shared(parsed(R"(["2"])").var)}, source, R"({"beta":2})"},
      {source, "any", {string_of("bet")}, source, "1"},
      {source, "all", {string_of("a")}, source, "1"},
      {"[1]", "any", {string_of("")}, "[1]", "0"},
      {"[]", "all", {string_of("x")}, "{}", "1"},
  });
}

TEST(JsonMethods, MergingAndUnique) {
  trvvar_shared other = parsed(R"({"a":9,"z":1})").var;
  json_value list = parsed("[0]");
  trvvar_set_int(*list->add_keyed("k"), 5);
  run({
      {R"({"a":1,"b":2})", "merge", {other}, R"({"a":9,"b":2,"z":1})", "this"},
      {R"({"a":1,"b":2})", "merge", {other, int_of(0)}, R"({"a":1,"b":2,"z":1})", "this"},
      {"[1]", "append", {string_of("x")}, R"([1,"x"])", "this"},
      {"[1]", "append", {parsed("[2,3]").var}, "[1,2,3]", "this"},
      {R"([1,"1",1])", "unique", {}, R"([1,"1"])", "this"},
  });
  json_value j = parsed(R"({"a":1})");
  trvvar_set_int(*j->add_keyed("a"), 2);
  j.call("unique");
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"a"}));
  EXPECT_EQ(trvvar_int_value(*j->find_or_add("a")), 1);  // the first occurrence stays
}

TEST(JsonMethods, RegistersTheMethodsAndAConstructorThatCopiesOrParses) {
  trv_namespace ns;
  populate_std_json_namespace(ns);
  ASSERT_TRUE(ns.functions.contains("json"));
  EXPECT_EQ(trv_std_json::member_list.size(), 43u);
  const trv_function_def* insert = trv_std_json::member_list[4]->function_def();
  EXPECT_EQ(insert->name, "insert");
  EXPECT_EQ(insert->parameter_documentation,
            (std::vector<std::string_view>{
                "index: int - Zero-based index at which to insert; negative values count from the "
                "end\nvalue: object - Value to insert"}));
  EXPECT_EQ(trv_std_json::member_list[22]->function_def()->documentation,
            "Sorts a JSON object\u2019s entries by key in descending order, keeping keyless "
            "entries at the end");
  trv_function_def* def = ns.function_definitions.back();
  trv_vm_context context;
  json_value source = parsed(R"({"a":[1]})");
  std::vector<trvvar_shared> args{source.var};
  trvvar_shared copy = trv_call_native(context, *def, context.native_object, args);
  ASSERT_NE(trv_json_of(*copy), source.c);
  EXPECT_EQ(trv_json_to_text(*trv_json_of(*copy), true), R"({"a":[1]})");
  log_capture capture;
  std::vector<trvvar_shared> text_args{string_of("nope"), int_of(1)};
  EXPECT_EQ(
      trv_json_to_text(
          *trv_json_of(*trv_call_native(context, *def, context.native_object, text_args)), true),
      "{}");
  EXPECT_TRUE(capture.errors().empty());
}

}  // namespace
