#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

std::atomic<int> intact{0};
std::atomic<int> damaged{0};

// Checks at destruction that its bytes are still the ones it was built with: a thread-local
// destructor that runs on freed storage sees the allocator's bookkeeping instead.
struct canary {
  unsigned char bytes[96];
  canary() { std::memset(bytes, 0x5a, sizeof bytes); }
  ~canary() {
    bool same = true;
    for (unsigned char b : bytes) same = same && b == 0x5a;
    (same ? intact : damaged)++;
  }
};

thread_local canary guarded;

TEST(ThreadExit, ThreadLocalsAreIntactWhenTheirDestructorsRun) {
  constexpr int rounds = 20, threads = 4;
  for (int r = 0; r < rounds; ++r) {
    std::vector<std::thread> running;
    for (int i = 0; i < threads; ++i)
      running.emplace_back([] { EXPECT_EQ(guarded.bytes[0], 0x5a); });
    for (std::thread& thread : running) thread.join();
  }
  EXPECT_EQ(damaged.load(), 0);
  EXPECT_EQ(intact.load(), rounds * threads);
}

}  // namespace
