#include <gtest/gtest.h>

#include <algorithm>

#include "objects/object_binding.h"
#include "tests/support/capturing_logger.h"
#include "values/convert.h"
#include "values/reference.h"
#include "vm/call.h"
#include "vm/vm_context.h"

namespace {

class test_widget : public trvobject<test_widget, "test.widget">,
                    public trvptr_type_tag<test_widget> {
 public:
  trvvar_static value;
  int pings = 0;

  static constexpr uint32_t constructor_max_params = 1;
  static constexpr std::string_view constructor_parameter_docs[] = {"value: int - Start value."};

  static void script_register() {
    if (registered) return;
    registered = true;
    add_function(
        "ping",
        [](test_widget* self, trv_vm_context&, std::vector<trvvar_shared>& args) {
          ++self->pings;
          trvvar_shared result = trvvar_new();
          trvvar_set_int(*result, static_cast<int64_t>(args.size()));
          return result;
        },
        2, 1, "Counts pings.");
    add_parameter_docs({"a: int - first", "b: int - second"});
    add_member<&test_widget::value>("value", "The widget's value.");
    add_getter("read_only", [](test_widget*) {
      trvvar_shared v = trvvar_new();
      trvvar_set_int(*v, 7);
      return v;
    });
    script_register_internal();
  }
};

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class ObjectBinding : public ::testing::Test {
 protected:
  void SetUp() override { test_widget::script_register(); }
  log_capture capture;
  trvptr_strong<test_widget> widget = trvptr_strong<test_widget>::from(new test_widget());
};

TEST(ObjectBindingRegistration, FirstRegistrationLogsMissingCreatorAndBuildsFactoryOnce) {
  log_capture capture;
  test_widget::script_register();
  EXPECT_EQ(capture.texts(TRV_LOG_CATEGORY_16),
            std::vector<std::string>{
                "internal type 'test.widget' does not implement a 'create_new' function.\n"});
  const size_t members = test_widget::member_list.size();
  test_widget::script_register();
  EXPECT_EQ(test_widget::member_list.size(), members);

  trv_global_instance* instance = trv_get_global_instance();
  auto factory = instance->object_factories->find("test.widget");
  ASSERT_NE(factory, instance->object_factories->end());
  trvptr_strong<trvobject_base> made = factory->second();
  ASSERT_TRUE(made);
  EXPECT_NE(trv_object_cast<test_widget>(made.get()), nullptr);
  EXPECT_STREQ(made->class_name(), "test.widget");

  auto metadata = instance->object_metadata->at("test.widget");
  EXPECT_EQ(metadata->methods.count("ping"), 1u);
  // In the order the members were added, whatever the name table's order.
  EXPECT_EQ(
      (std::vector<std::string>{metadata->variable_names.begin(), metadata->variable_names.end()}),
      (std::vector<std::string>{"value", "read_only"}));
}

// An unknown member is an error listing every member; has-member agrees with the read.
TEST_F(ObjectBinding, UnknownMemberIsAnErrorListingEveryMember) {
  trvvar_shared none = widget->get_named_member("nope");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->type, TRVVAR_NONE);
  EXPECT_EQ(none->refcount, 1);
  EXPECT_EQ(capture.errors(),
            std::vector<std::string>{"\n" + std::string(46, '*') + "\n" +
                                     "type 'test.widget' does not have member 'nope'\n" +
                                     std::string(46, '*') + "\n\n"});
  EXPECT_EQ(sorted(capture.texts(TRV_LOG_DEBUG)),
            (std::vector<std::string>{" - ping", " - read_only", " - value"}));

  EXPECT_TRUE(widget->has_named_member("ping"));
  EXPECT_TRUE(widget->has_named_member("value"));
  EXPECT_FALSE(widget->has_named_member("missing"));
  EXPECT_FALSE(widget->has_index_member(0));
  trvvar_shared key = trvvar_new();
  trvvar_set_int(*key, 3);
  EXPECT_FALSE(widget->has_member(key));
  EXPECT_FALSE(key);  // consumed
}

TEST_F(ObjectBinding, MethodsAreBoundAndCallThroughTheContextObject) {
  trvvar_shared method = widget->get_named_member("ping");
  ASSERT_EQ(method->type, TRVVAR_EXT_FUNCTION);
  trv_function_def* def = method->payload.ext_function_payload->definition.get();
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(method->payload.ext_function_payload->bound_object.get(), widget.get());
  EXPECT_EQ(def->min_params, 2u);
  EXPECT_EQ(def->max_params, 2u);  // never below the minimum
  EXPECT_EQ(def->native_marker, 1u);
  EXPECT_EQ(def->parameter_documentation,
            (std::vector<std::string_view>{"a: int - first", "b: int - second"}));

  trv_vm_context context;
  context.native_object = widget.get();
  std::vector<trvvar_shared> args(2);
  trvvar_shared result = trv_call_native(context, *def, context.native_object, args);
  EXPECT_EQ(result->payload.int_value, 2);
  EXPECT_EQ(widget->pings, 1);
}

TEST_F(ObjectBinding, MemberVariablesReadAndWriteTheField) {
  trvvar_shared member = widget->get_named_member("value");
  ASSERT_EQ(member->type, TRVVAR_OBJECT_MEMBER_INDEX);
  EXPECT_EQ(member->payload.member_index_payload->direct_access, 1);

  trvvar_shared five = trvvar_new();
  trvvar_set_int(*five, 5);
  trvvar_set(*member, five);
  EXPECT_FALSE(five);  // a native member's setter consumes the source handle
  EXPECT_EQ(widget->value.type, TRVVAR_INT);
  EXPECT_EQ(widget->value.payload.int_value, 5);
  EXPECT_EQ(widget->value.refcount, 0);  // a borrowed field never gains a count

  trvvar_shared read = trvvar_deref(member.get());
  ASSERT_EQ(read->type, TRVVAR_INT);
  EXPECT_EQ(read->payload.int_value, 5);
  EXPECT_NE(read.get(), static_cast<trvvar*>(&widget->value));  // a copy, not the field

  trvvar_shared ro = widget->get_named_member("read_only");
  trvvar_shared six = trvvar_new();
  trvvar_set_int(*six, 6);
  trvvar_set(*ro, six);
  EXPECT_EQ(capture.errors().size(), 1u);
  EXPECT_NE(capture.errors()[0].find("set called on read-only member variable."),
            std::string::npos);
  trvvar_shared out_of_range;
  EXPECT_THROW(widget->get_member_value(out_of_range, 99), std::out_of_range);
}

// Odd keys warn and fall back to text; the other defaults report or answer plainly.
TEST_F(ObjectBinding, OddKeysAndDefaultOperations) {
  trvvar_shared key = trvvar_new();
  trvvar_set_float(*key, 1.5);
  trvvar_shared result = widget->get_member(key);
  EXPECT_EQ(result->type, TRVVAR_NONE);
  EXPECT_EQ(capture.warnings(),
            std::vector<std::string>{"type 'test.widget' does not implement 'get_member' for var "
                                     "type 3, defaulting to string access."});
  ASSERT_EQ(capture.errors().size(), 1u);
  EXPECT_NE(capture.errors()[0].find("does not have member '1.500000'"), std::string::npos);

  widget->get_index_member(5);
  trvvar_shared value = trvvar_new();
  widget->set_index_member(1, value);
  EXPECT_FALSE(value);
  ASSERT_EQ(capture.errors().size(), 3u);
  EXPECT_NE(capture.errors()[1].find("type 'test.widget' does not have indexmember '5'\n"),
            std::string::npos);
  EXPECT_NE(capture.errors()[2].find("type 'test.widget' does not implement 'set member'\n"),
            std::string::npos);
  EXPECT_EQ(widget->to_string(), "test.widget");
  EXPECT_EQ(widget->self_pointer().get(), widget.get());
  EXPECT_EQ(widget->reserved_query_a(), -1);
  EXPECT_EQ(widget->reserved_query_c(), 0);
  EXPECT_TRUE(widget->is_type(trv_type_tag<test_widget>()));
  EXPECT_FALSE(widget->is_type(trv_type_tag<trvobject_base>()));
}

TEST_F(ObjectBinding, ConstructorFunctionIsAddedOnceUnderTheShortName) {
  trv_namespace ns;
  auto make = [](trv_vm_context&, std::vector<trvvar_shared>&) { return trvvar_new(); };
  test_widget::add_class_constructor(ns, make, 0, 0, "Make a widget.");
  test_widget::add_class_constructor(ns, make, 0, 0, "Make a widget.");
  ASSERT_EQ(ns.function_definitions.size(), 1u);
  trv_function_def* def = ns.function_definitions[0];
  EXPECT_EQ(def->name, "widget");
  EXPECT_EQ(def->class_name, "test.widget");
  EXPECT_EQ(def->max_params, 1u);
  EXPECT_EQ(def->documentation, "Make a widget.");
  EXPECT_EQ(def->parameter_documentation,
            std::vector<std::string_view>{"value: int - Start value."});
  EXPECT_EQ(capture.texts(TRV_LOG_DEBUG),
            (std::vector<std::string>{"class: test.widget", "class: test.widget"}));
  EXPECT_EQ(trv_short_class_name("plain"), "plain");
}

}  // namespace
