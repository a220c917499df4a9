// Loading the built module through the host's loader and calling into it.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "host/module_loader.h"
#include "host/thread_state.h"
#include "tests/support/capturing_logger.h"
#include "values/convert.h"
#include "vm/runtime_report.h"

namespace {

TEST(DescriptorCheck, RefusesOtherVersionsAndTagsWithOneLine) {
  EXPECT_EQ(trvhost::descriptor_problem({3001, 1, 1, "MODULE_INTERNAL"}), std::nullopt);
  EXPECT_EQ(trvhost::descriptor_problem({3000, 1, 1, "MODULE_INTERNAL"}),
            "glue version 3000 is not supported (expected 3001)");
  EXPECT_EQ(trvhost::descriptor_problem({3001, 1, 1, "MODULE_INTERNAL2"}),
            "module tag \"MODULE_INTERNAL2\" is not supported (expected \"MODULE_INTERNAL\")");
  // A tag without a terminator is read to the end of its array and no further; bytes that
  // would break the line are escaped.
  trv_glue_descriptor unterminated{3001, 1, 1, ""};
  std::memset(unterminated.module_tag, 'M', sizeof unterminated.module_tag);
  unterminated.module_tag[0] = '\n';
  EXPECT_EQ(trvhost::descriptor_problem(unterminated),
            "module tag \"\\x0A" + std::string(39, 'M') +
                "\" is not supported (expected \"MODULE_INTERNAL\")");
}

class LoadedModule : public ::testing::Test {
 protected:
  const trv_namespace& opencv() const { return *module_.find_namespace("opencv"); }
  trvvar_shared call_testfn(std::vector<trvvar_shared> args = {}) {
    return trvhost::call_native_function(opencv(), "testfn", context_, args);
  }

  trvhost::module_loader module_{TRV_MODULE_PATH};
  trv_vm_context context_;
};

TEST_F(LoadedModule, OneNamespacePerRegistrationAndOpencvHoldsTestfn) {
  const auto& registrations = module_.instance().namespace_registrations;
  ASSERT_EQ(module_.namespaces().size(), registrations.size());
  for (const auto& [name, callbacks] : registrations) {
    EXPECT_NE(module_.find_namespace(name), nullptr) << name;
  }
  ASSERT_EQ(registrations.count("opencv"), 1u);
  EXPECT_EQ(registrations.find("opencv")->second.size(), 1u);

  ASSERT_EQ(opencv().functions.size(), 1u);
  const trvvar_shared& testfn = opencv().functions.find("testfn")->second;
  ASSERT_EQ(testfn->type, TRVVAR_EXT_FUNCTION);
  trv_function_def* definition = trvhost::native_definition(*testfn);
  ASSERT_EQ(opencv().function_definitions, std::vector<trv_function_def*>{definition});
  EXPECT_EQ(definition->max_params, 0u);
  EXPECT_EQ(definition->native_marker, 1u);
  EXPECT_TRUE(definition->documentation.empty());
  EXPECT_TRUE(definition->class_name.empty());
}

TEST_F(LoadedModule, ModuleAndHostCoreShareTheHostRecords) {
  auto same_record_everywhere = [&] {
    trv_thread_local* host = &trvhost::thread_state();
    return &module_.instance().thread_local_provider() == host && &trv_get_thread_local() == host;
  };
  EXPECT_TRUE(same_record_everywhere());
  bool on_other_thread = false;
  std::thread other([&] { on_other_thread = same_record_everywhere(); });
  other.join();
  EXPECT_TRUE(on_other_thread);
}

TEST_F(LoadedModule, TestfnLogsToTheThreadsLoggerAndReturnsNewText) {
  log_capture capture;  // on the host's record, which the module now reads
  trvvar_shared first = call_testfn();
  trvvar_shared second = call_testfn();
  EXPECT_NE(first.get(), second.get());
  for (const trvvar_shared& result : {first, second}) {
    EXPECT_EQ(result->type, TRVVAR_STRING);
    EXPECT_EQ(trvvar_string_value(*result), "TEST PASSED");
  }
  EXPECT_EQ(capture.logger().all(),
            (std::vector<std::pair<uint32_t, std::string>>{{TRV_LOG_INFO, "testfn called!"},
                                                           {TRV_LOG_INFO, "testfn called!"}}));
}

TEST_F(LoadedModule, TestfnLogsNothingWhenTheMaskLacksInformation) {
  log_capture capture(TRV_LOG_WARNING | TRV_LOG_ERROR | TRV_LOG_DEBUG);
  EXPECT_EQ(trvvar_string_value(*call_testfn()), "TEST PASSED");
  EXPECT_TRUE(capture.logger().all().empty());
}

TEST_F(LoadedModule, CallsAreCheckedAgainstTheDefinition) {
  {
    log_capture capture;
    EXPECT_FALSE(call_testfn({trvvar_new()}));
    EXPECT_EQ(capture.errors(),
              std::vector<std::string>{trv_frame_error("invalid parameter count 1 min: 0 max: 0")});
  }
  std::vector<trvvar_shared> none;
  EXPECT_THROW(trvhost::call_native_function(opencv(), "nothing", context_, none),
               std::runtime_error);
  // Calls leave the namespace its definition (the fixture's teardown would fault otherwise).
  EXPECT_TRUE(call_testfn());
}

}  // namespace
