#include "values/block_cache.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// A freed block is the next one handed out for a size of its 8-byte step, on the same thread.
TEST(BlockCache, ReusesAFreedBlockForTheNextOfItsSize) {
  void* first = trv_block_allocate(72);
  trv_block_free(first, 72);
  void* again = trv_block_allocate(68);  // the same step as 72
  EXPECT_EQ(again, first);
  trv_block_free(again, 68);

  void* large = trv_block_allocate(trv_block_cache_largest + 8);
  trv_block_free(large, trv_block_cache_largest + 8);  // larger blocks go to the heap at once
  EXPECT_EQ(trv_block_allocate(72), first);
  trv_block_free(first, 72);
}

// A thread gives back what it kept when it ends; LeakSanitizer reports whatever it did not.
TEST(BlockCache, AThreadFreesWhatItKeptAtItsEnd) {
  std::thread([] {
    std::vector<void*> blocks;
    for (size_t bytes = 8; bytes <= trv_block_cache_largest; bytes += 8) {
      blocks.push_back(trv_block_allocate(bytes));
    }
    for (size_t i = 0; i < blocks.size(); ++i) trv_block_free(blocks[i], (i + 1) * 8);
  }).join();
}

// A thread keeps no more blocks of a size than it made: freeing blocks that another thread
// made, as a script does with the lists its worker jobs build, would otherwise keep them all.
TEST(BlockCache, AThreadKeepsNoMoreBlocksOfASizeThanItMade) {
  constexpr size_t bytes = 504;  // a size no other test here uses
  const size_t kept = trv_block_cache_kept_bytes();
  std::vector<void*> blocks(1000);
  std::thread([&blocks] {
    for (void*& block : blocks) block = trv_block_allocate(bytes);
  }).join();
  for (void* block : blocks) trv_block_free(block, bytes);
  EXPECT_EQ(trv_block_cache_kept_bytes(), kept);

  for (void*& block : blocks) block = trv_block_allocate(bytes);
  for (void* block : blocks) trv_block_free(block, bytes);
  EXPECT_EQ(trv_block_cache_kept_bytes(), kept + blocks.size() * bytes);
  for (void*& block : blocks) block = trv_block_allocate(bytes);
  EXPECT_EQ(trv_block_cache_kept_bytes(), kept);
  for (void* block : blocks) trv_block_free(block, bytes);
}

// Containers use the cache through a stateless allocator: vectors move their arrays as with
// the standard one.
TEST(BlockCache, VectorsMoveTheirArraysBetweenEachOther) {
  std::vector<int64_t, trv_cached_allocator<int64_t>> a{1, 2, 3};
  const int64_t* data = a.data();
  std::vector<int64_t, trv_cached_allocator<int64_t>> b = std::move(a);
  EXPECT_EQ(b.data(), data);
  a = std::move(b);
  EXPECT_EQ(a.data(), data);
}

}  // namespace
