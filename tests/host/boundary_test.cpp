// The library's outward surface as a foreign host sees it: opened by path, reached only
// through its two exports.

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "glue/global_instance.h"
#include "glue/glue_descriptor.h"
#include "glue/platform/thread_id.h"
#include "host/platform/library.h"
#include "host/thread_state.h"
#include "tests/support/platform/export_table.h"

namespace {

using check_function = trv_glue_descriptor* (*)();
using entry_function = trv_global_instance* (*)();

TEST(Boundary, ExportsExactlyTheTwoEntryPoints) {
  const std::optional<std::set<std::string>> names = exported_names(TRV_MODULE_PATH);
  if (!names) GTEST_SKIP() << "the export table cannot be read here";
  EXPECT_EQ(*names, (std::set<std::string>{"tarvoglue_check", "tarvoglue_entry"}));
}

// The bytes a host reads, at the offsets of its own declaration.
void expect_descriptor_bytes(const trv_glue_descriptor* descriptor) {
  unsigned char bytes[64];
  std::memcpy(bytes, descriptor, sizeof bytes);
  uint32_t version;
  uint64_t second, third;
  std::memcpy(&version, bytes, 4);
  std::memcpy(&second, bytes + 8, 8);
  std::memcpy(&third, bytes + 16, 8);
  EXPECT_EQ(version, 3001u);
  EXPECT_EQ(second, 1u);
  EXPECT_EQ(third, 1u);
  const char expected_tag[40] = "MODULE_INTERNAL";  // zero-filled to the end
  EXPECT_EQ(std::memcmp(bytes + 24, expected_tag, sizeof expected_tag), 0);
}

TEST(Boundary, ExportsGiveOneDescriptorAndOneInstance) {
  trvhost::shared_library library(TRV_MODULE_PATH);
  auto check = reinterpret_cast<check_function>(library.symbol("tarvoglue_check"));
  auto entry = reinterpret_cast<entry_function>(library.symbol("tarvoglue_entry"));
  ASSERT_NE(check, nullptr);
  ASSERT_NE(entry, nullptr);
  expect_descriptor_bytes(check());

  trv_global_instance* seen[2] = {};
  std::thread first([&] { seen[0] = entry(); });
  std::thread second([&] { seen[1] = entry(); });
  first.join();
  second.join();
  ASSERT_NE(seen[0], nullptr);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_NE(seen[0], trv_get_global_instance());  // the module's, not the host's copy
  expect_descriptor_bytes(check());
}

TEST(Boundary, ModuleProviderGivesAFreshThreadItsOwnRecord) {
  trvhost::shared_library library(TRV_MODULE_PATH);
  trv_global_instance* instance =
      reinterpret_cast<entry_function>(library.symbol("tarvoglue_entry"))();
  // The module stays loaded for the rest of the process, so its own provider can be seen
  // only before a loader replaces it (ctest runs every test in a process of its own).
  using provider_function = trv_thread_local& (*)();
  const provider_function* provider = instance->thread_local_provider.target<provider_function>();
  if (provider != nullptr && *provider == &trvhost::thread_state) {
    GTEST_SKIP() << "a loader in this process has already replaced the module's provider";
  }
  std::thread fresh([&] {
    trv_thread_local& record = instance->thread_local_provider();
    EXPECT_EQ(&record, &instance->thread_local_provider());
    EXPECT_NE(&record, &trvhost::thread_state());
    EXPECT_EQ(record.thread_id, trv_current_thread_id());
    EXPECT_TRUE(record.name.empty());
    EXPECT_EQ(record.runtime_state, nullptr);
    EXPECT_EQ(record.current_task, nullptr);
  });
  fresh.join();
}

}  // namespace
