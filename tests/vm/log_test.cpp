#include <gtest/gtest.h>

#include "glue/thread_local.h"
#include "tests/support/capturing_logger.h"
#include "values/report.h"
#include "values/runtime.h"
#include "vm/log_base.h"
#include "vm/runtime_report.h"

namespace {

struct recording_listener : trv_log_listener {
  std::vector<std::string> seen;
  void warning(std::string_view text) override { seen.push_back("W:" + std::string(text)); }
  void error(std::string_view text) override { seen.push_back("E:" + std::string(text)); }
};

TEST(Logger, ThreadLoggerThenRuntimeLoggerThenDefault) {
  trv_thread_local& tl = trv_get_thread_local();
  ASSERT_FALSE(tl.logger);
  EXPECT_EQ(&trv_current_logger(), &trv_default_logger());
  EXPECT_EQ(trv_default_logger().mask, 39u);

  trv_runtime runtime;
  auto* shared = new capturing_logger();
  runtime.log = trvptr_strong<trv_log_base>::from(shared);
  tl.runtime_state = &runtime;
  EXPECT_EQ(&trv_current_logger(), shared);
  {
    log_capture own;
    EXPECT_EQ(&trv_current_logger(), &own.logger());
  }
  EXPECT_EQ(&trv_current_logger(), shared);
  tl.runtime_state = nullptr;
}

TEST(Logger, MaskSelectsCategoriesAndListenersGetWarningsAndErrors) {
  log_capture capture(TRV_LOG_WARNING | TRV_LOG_ERROR | TRV_LOG_DEBUG);
  auto* listener = new recording_listener();
  capture.logger().listeners.push_back(trvptr_strong<trv_log_listener>::from(listener));
  trv_log(TRV_LOG_INFO, "hidden");
  trv_log(TRV_LOG_DEBUG, "count ", 3);
  trv_log(TRV_LOG_WARNING, "careful");
  trv_log(TRV_LOG_ERROR, "broken");
  EXPECT_EQ(
      capture.logger().all(),
      (std::vector<std::pair<uint32_t, std::string>>{
          {TRV_LOG_DEBUG, "count 3"}, {TRV_LOG_WARNING, "careful"}, {TRV_LOG_ERROR, "broken"}}));
  EXPECT_EQ(listener->seen, (std::vector<std::string>{"W:careful", "E:broken"}));
}

TEST(RuntimeReports, ErrorsWithoutAScriptAreFramedByTheirFirstLine) {
  EXPECT_EQ(trv_frame_error("bad"), "\n***\nbad\n***\n\n");
  EXPECT_EQ(trv_frame_error("two\nlines here"), "\n***\ntwo\nlines here\n***\n\n");
  EXPECT_EQ(trv_frame_error(""), "\n\n\n\n\n");

  log_capture capture;
  trvvar_shared none = trv_runtime_error("value ", 12, " is wrong");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->type, TRVVAR_NONE);
  EXPECT_EQ(none->refcount, 1);
  EXPECT_EQ(capture.errors(), std::vector<std::string>{
                                  "\n*****************\nvalue 12 is wrong\n*****************\n\n"});
  trv_runtime_warning("just ", "a warning");
  EXPECT_EQ(capture.warnings(), std::vector<std::string>{"just a warning"});
}

TEST(RuntimeReports, DisabledCategoriesProduceNothing) {
  log_capture capture(TRV_LOG_INFO);
  trvvar_shared none = trv_runtime_error("quiet");
  trv_runtime_warning("quiet");
  EXPECT_EQ(none->type, TRVVAR_NONE);
  EXPECT_TRUE(capture.logger().all().empty());
}

}  // namespace
