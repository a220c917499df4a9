// Script class instances outside a running program: what programs cannot set up (a definition
// that is gone) and what they cannot observe (which variable a read hands out).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "objects/script_class.h"
#include "tests/support/capturing_logger.h"
#include "tests/support/owned_runtime.h"
#include "values/assign.h"
#include "values/payloads.h"
#include "vm/class_def.h"

namespace {

class ClassInstance : public ::testing::Test {
 protected:
  ClassInstance() {
    definition = trvptr_strong<trv_class_def>::from(new trv_class_def());
    definition->name = "Thing";
    method = trvptr_strong<trv_program_block>::from(new trv_program_block());
    definition->methods.push_back(method);
    trvvar_shared function = trvvar_new();
    trvvar_set_function(*function, trvptr_weak<trv_program_block>::from(method.get()), {});
    definition->functions.push_back(function);
    trvvar_shared plain = trvvar_new();
    trvvar_set_int(*plain, 7);
    definition->functions.push_back(plain);
    definition->add_member("x", trv_symbol_entry{0, 0, 0});
    definition->add_member("get", trv_symbol_entry{0, 0, 1});
    definition->add_member("seven", trv_symbol_entry{0, 1, 1});
  }

  // A new instance with members x = 1; the pointer held by `value`.
  trv_class* make(trvvar_shared& value) {
    std::vector<trvvar_shared> initial{trvvar_new()};
    trvvar_set_int(*initial[0], 1);
    trv_class* instance =
        new trv_class(trvptr_weak<trv_class_shape>::from(definition.get()), initial, {});
    value = trv_class_new_value(instance);
    EXPECT_EQ(initial[0]->type, TRVVAR_NONE);  // the instance took the value over
    return instance;
  }

  owned_runtime runtime;
  trvptr_strong<trv_class_def> definition;
  trvptr_strong<trv_program_block> method;
};

TEST_F(ClassInstance, MethodReadsAreBoundFunctionsAndValuesFollowTheirRule) {
  log_capture capture;
  trvvar_shared value;
  trv_class* instance = make(value);

  trvvar_shared first = instance->member_by_name("get");
  trvvar_shared second = instance->member_by_name("get");
  trvvar_shared by_index = instance->member_by_index(0, true);
  ASSERT_NE(first.get(), second.get());
  for (const trvvar_shared& read : {first, second, by_index}) {
    ASSERT_EQ(read->type, TRVVAR_FUNCTION);
    EXPECT_EQ(read->payload.function_payload->definition.get(), method.get());
    EXPECT_EQ(trv_class_from_bound(read->payload.function_payload->bound_object), instance);
  }
  // The bound method read last is read again while nothing else holds it and it is unchanged;
  // a changed one is replaced.
  trvvar* const last = by_index.get();
  by_index.reset();
  trvvar_shared again = instance->member_by_index(0, true);
  EXPECT_EQ(again.get(), last);
  EXPECT_EQ(again->refcount, 2);  // handed out again, not freed and made anew
  EXPECT_NE(instance->member_by_index(0, true).get(), last);  // `again` still holds it
  trvvar_shared changed = instance->member_by_index(0, true);
  trvvar* const changed_record = changed.get();
  trvvar_set_int(*changed, 5);
  changed.reset();
  trvvar_shared rebound = instance->member_by_name("get");
  EXPECT_NE(rebound.get(), changed_record);
  ASSERT_EQ(rebound->type, TRVVAR_FUNCTION);
  EXPECT_EQ(trv_class_from_bound(rebound->payload.function_payload->bound_object), instance);
  // A plain function-table value: by name the class's own variable, by index a copy.
  EXPECT_EQ(instance->member_by_name("seven").get(), definition->functions[1].get());
  trvvar_shared copy = instance->member_by_index(1, true);
  EXPECT_NE(copy.get(), definition->functions[1].get());
  EXPECT_EQ(copy->payload.int_value, 7);
  // An instance member is the instance's variable either way.
  EXPECT_EQ(instance->member_by_name("x").get(), instance->member_by_index(0, false).get());
  EXPECT_TRUE(capture.errors().empty());

  // The bound methods do not keep the instance: once it goes they are bound to nothing.
  value.reset();
  EXPECT_EQ(trv_class_from_bound(first->payload.function_payload->bound_object), nullptr);
}

TEST_F(ClassInstance, ReleaseWithoutDestructorLogsAndDestroysOnce) {
  log_capture capture(TRV_LOG_DEBUG);
  trvvar_shared value;
  trv_class* instance = make(value);
  trvvar_shared other = trvvar_new();
  trvvar_set(*other, value);  // a second reference
  value.reset();
  EXPECT_EQ(capture.logger().texts(TRV_LOG_DEBUG).size(), 1u);  // created
  other.reset();
  const std::vector<std::string> lines = capture.logger().texts(TRV_LOG_DEBUG);
  ASSERT_EQ(lines.size(), 3u);
  const std::string address = trv_message(static_cast<const void*>(instance));
  EXPECT_EQ(lines[1], "trv_class release. " + address);
  EXPECT_EQ(lines[2], "trv_class destroyed. " + address);
  EXPECT_TRUE(runtime.runtime().script_instances.empty());
}

TEST_F(ClassInstance, AGoneDefinitionIsAnErrorAtConstructionAndOnReads) {
  log_capture capture(TRV_LOG_ERROR);
  trvvar_shared value;
  trv_class* instance = make(value);
  definition.reset();
  trvvar_shared read = instance->member_by_name("x");
  EXPECT_EQ(read->type, TRVVAR_NONE);
  EXPECT_EQ(instance->member_by_index(0, true)->type, TRVVAR_NONE);  // no function table
  EXPECT_EQ(instance->member_by_index(0, false)->payload.int_value, 1);

  std::vector<trvvar_shared> initial{trvvar_new()};
  trvvar_set_int(*initial[0], 5);
  trv_class* orphan = new trv_class({}, initial, {});
  trvvar_shared orphan_value = trv_class_new_value(orphan);
  EXPECT_EQ(initial[0]->payload.int_value, 5);  // not taken over
  EXPECT_EQ(orphan->members()[0]->type, TRVVAR_NONE);

  const std::vector<std::string> errors = capture.errors();
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_NE(errors[0].find("invalid class def while trying to read member x"), std::string::npos);
  EXPECT_NE(errors[1].find("out of range!"), std::string::npos);
  EXPECT_NE(errors[2].find("Invalid class definition."), std::string::npos);
}

// With a destructor but no scope to run it in, the instance is freed at once.
TEST_F(ClassInstance, ADestructorWithoutScopeIsSkippedWithItsMessage) {
  log_capture capture(TRV_LOG_ERROR | TRV_LOG_DEBUG);
  definition->destructor = method;
  trvvar_shared value;
  make(value);
  value.reset();
  const std::vector<std::string> errors = capture.errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0],
            "Cannot create destructor task when global scope is already destroyed. Internal "
            "todo: handle releasing via signals instead of this...");
  EXPECT_EQ(capture.logger().texts(TRV_LOG_DEBUG).back().rfind("trv_class destroyed. ", 0), 0u);
}

// Instances that hold each other outlive every script; the runtime releases them when it goes.
TEST(ClassCycle, TheRuntimeReleasesInstancesThatHoldEachOther) {
  log_capture capture(TRV_LOG_WARNING);
  auto runtime = std::make_unique<owned_runtime>();
  {
    trvptr_strong<trv_class_def> definition =
        trvptr_strong<trv_class_def>::from(new trv_class_def());
    std::vector<trvvar_shared> one{trvvar_new()};
    std::vector<trvvar_shared> two{trvvar_new()};
    trv_class* a = new trv_class(trvptr_weak<trv_class_shape>::from(definition.get()), one, {});
    trv_class* b = new trv_class(trvptr_weak<trv_class_shape>::from(definition.get()), two, {});
    trvvar_shared a_value = trv_class_new_value(a);
    trvvar_shared b_value = trv_class_new_value(b);
    trvvar_set(*a->members()[0], b_value);
    trvvar_set(*b->members()[0], a_value);
  }
  EXPECT_EQ(runtime->runtime().script_instances.size(), 2u);
  runtime.reset();  // the pools must be empty by now (checked in debug builds)
  ASSERT_EQ(capture.warnings().size(), 1u);
  EXPECT_EQ(capture.warnings()[0],
            "2 script class instances are still referenced at shutdown (reference cycle); "
            "releasing them.");
}

}  // namespace
