#include <gtest/gtest.h>

#include <thread>

#include "glue/global_instance.h"
#include "glue/hashing.h"
#include "glue/message.h"
#include "glue/platform/thread_id.h"

namespace {

TEST(Hashing, XxhThreeOverEveryLengthPath) {
  trv_hasher hash;
  EXPECT_EQ(hash(""), 0x2D06800538D394C2u);
  // Keys of 1-3, 4-8, 9-16, 17-128, 129-240 and longer take different paths; equal bytes
  // must hash equal whatever string type holds them.
  for (size_t n : {1, 3, 4, 8, 9, 16, 17, 128, 129, 240, 241, 1000}) {
    std::string key(n, 'k');
    EXPECT_EQ(hash(key), hash(std::string_view(key))) << n;
    std::string other = key;
    other.back() = 'j';
    EXPECT_NE(hash(key), hash(other)) << n;
  }
}

TEST(Hashing, NameTablesLookUpWithoutBuildingStrings) {
  auto table = trv_make_table<trv_name_map<int>>();
  EXPECT_GE(table.bucket_count(), 8u);  // the library may round up
  EXPECT_FLOAT_EQ(table.max_load_factor(), 1.0f);
  table["alpha"] = 1;
  const char buffer[] = "alphabet";
  EXPECT_EQ(table.count(std::string_view(buffer, 5)), 1u);
  EXPECT_EQ(table.count(std::string_view(buffer, 6)), 0u);
}

TEST(GlobalInstance, MembersStartAsTheHostExpects) {
  trv_global_instance* instance = trv_get_global_instance();
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(instance, trv_get_global_instance());
  EXPECT_TRUE(instance->host_name_table.empty());
  EXPECT_TRUE(instance->host_object_list.empty());
  EXPECT_TRUE(static_cast<bool>(instance->thread_local_provider));
  ASSERT_TRUE(instance->object_factories);
  ASSERT_TRUE(instance->object_metadata);
  EXPECT_FLOAT_EQ(instance->namespace_registrations.max_load_factor(), 1.0f);
}

TEST(ThreadLocal, FreshThreadGetsItsOwnEmptyRecord) {
  trv_thread_local* main_record = &trv_get_thread_local();
  trv_thread_local* seen = nullptr;
  bool same_on_second_call = false;
  uint32_t seen_id = 0;
  uint32_t expected_id = 0;
  std::thread worker([&] {
    seen = &trv_get_thread_local();
    same_on_second_call = seen == &trv_get_thread_local();
    seen_id = seen->thread_id;
    expected_id = trv_current_thread_id();
    EXPECT_TRUE(seen->name.empty());
    EXPECT_EQ(seen->runtime_state, nullptr);
    EXPECT_EQ(seen->current_task, nullptr);
    EXPECT_EQ(seen->pool_lock_depth, 0u);
    EXPECT_FALSE(seen->logger);
  });
  worker.join();
  EXPECT_NE(seen, main_record);
  EXPECT_TRUE(same_on_second_call);
  EXPECT_EQ(seen_id, expected_id);
  EXPECT_NE(seen_id, main_record->thread_id);
}

TEST(ThreadLocal, ReplacedProviderIsUsedAndEmptyProviderThrows) {
  trv_global_instance* instance = trv_get_global_instance();
  auto saved = instance->thread_local_provider;
  trv_thread_local host_record;
  instance->thread_local_provider = [&]() -> trv_thread_local& { return host_record; };
  EXPECT_EQ(&trv_get_thread_local(), &host_record);
  instance->thread_local_provider = nullptr;
  EXPECT_THROW(trv_get_thread_local(), std::bad_function_call);
  instance->thread_local_provider = saved;
  EXPECT_NE(&trv_get_thread_local(), &host_record);
}

TEST(Message, PiecesFormatLikeAStream) {
  int64_t most_negative = INT64_MIN;
  EXPECT_EQ(trv_message("a", 1, ' ', -7, "/", 42u, most_negative), "a1 -7/42-9223372036854775808");
  EXPECT_EQ(trv_message(1.5, ' ', 0.1), "1.5 0.1");
  EXPECT_EQ(trv_message(reinterpret_cast<void*>(uintptr_t{0xABCDEF})), "0000000000ABCDEF");
  char text[] = "text";
  EXPECT_EQ(trv_message(text, static_cast<const char*>(text)), "texttext");
}

}  // namespace
