#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/capturing_logger.h"
#include "values/payloads.h"
#include "values/pooled.h"

namespace {

constexpr size_t S = sizeof(trvvar);

std::string hex(const void* p) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016" PRIXPTR, reinterpret_cast<uintptr_t>(p));
  return buf;
}

trv_chunk chunk_of(trv_pool& pool, size_t n) {
  return trv_chunk(pool.chunks.at(n), trv_pool_layout<trvvar>);
}

// A pool of variable records with its own teardown: every element still out goes back first.
struct var_pool {
  trv_pool pool;
  std::vector<trvvar*> out;

  trvvar* take() {
    trvvar* v = trv_pool_allocate<trvvar>(pool);
    out.push_back(v);
    return v;
  }
  void give(trvvar* v) {
    trv_pool_free(pool, v);
    std::erase(out, v);
  }
  // Frees go to the pool's cache first; the chunk tests look past it.
  void flush() { trv_pool_flush_cache(pool, trv_pool_layout<trvvar>); }
  ~var_pool() {
    for (trvvar* v : out) trv_pool_free(pool, v);
  }
};

TEST(PoolChunks, AddressOrderSecondChunkAndReturnToService) {
  var_pool p;
  trvvar* first = p.take();
  trvvar* second = p.take();
  trvvar* third = p.take();
  EXPECT_EQ(reinterpret_cast<std::byte*>(first), p.pool.chunks[0]);
  EXPECT_EQ(reinterpret_cast<std::byte*>(second), reinterpret_cast<std::byte*>(first) + S);
  EXPECT_EQ(reinterpret_cast<std::byte*>(third), reinterpret_cast<std::byte*>(first) + 2 * S);
  EXPECT_EQ(third->pool_tag, 2);

  for (int i = 3; i < 255; ++i) p.take();
  EXPECT_EQ(p.pool.chunk_count, 1u);
  EXPECT_EQ(chunk_of(p.pool, 0).free_count(), 0);

  trvvar* next = p.take();
  EXPECT_EQ(p.pool.chunk_count, 2u);
  EXPECT_EQ(reinterpret_cast<std::byte*>(next), p.pool.chunks[1]);
  EXPECT_EQ(next->pool_tag, 0);

  // The exhausted chunk returns to service when one of its elements is freed.
  trv_chunk exhausted = chunk_of(p.pool, 0);
  EXPECT_EQ(exhausted.out_of_rotation(), 1);
  EXPECT_EQ(p.pool.available.size(), 1u);
  p.give(second);
  EXPECT_EQ(exhausted.out_of_rotation(), 1);  // cached
  EXPECT_EQ(p.take(), second);
  p.give(second);
  p.flush();
  EXPECT_EQ(exhausted.out_of_rotation(), 0);
  EXPECT_EQ(p.pool.available.back(), p.pool.chunks[0]);
  EXPECT_EQ(p.take(), second);
  EXPECT_EQ(p.pool.live_count, 256u);
}

TEST(PoolReports, DoubleFreeIsReportedAndIgnored) {
  log_capture log;
  var_pool p;
  trvvar* v = p.take();
  p.give(v);
  trv_pool_free(p.pool, v);
  EXPECT_EQ(log.errors(), std::vector<std::string>{
                              "Attempting to deallocate unallocated chunk (double free?) !"});
  p.flush();
  trv_pool_free(p.pool, v);
  EXPECT_EQ(log.errors().size(), 2u);  // free on the chunk as well
  EXPECT_EQ(chunk_of(p.pool, 0).free_count(), 255);
  EXPECT_EQ(p.pool.live_count, 0u);
  EXPECT_EQ(p.take(), v);  // the index was pushed once, so the pool hands it out once
  EXPECT_NE(p.take(), v);
}

// A tag of 255 sends the free to the search by address: a pointer in no chunk is left alone, one
// inside a chunk is freed at the index its address gives.
TEST(PoolReports, ATagOf255IsLookedUpByAddress) {
  log_capture log;
  var_pool p;
  std::vector<trvvar*> vars;
  for (int i = 0; i < 6; ++i) vars.push_back(p.take());
  trvvar foreign;
  trv_pool_free(p.pool, &foreign);
  vars[4]->pool_tag = trv_heap_tag;
  p.give(vars[4]);
  EXPECT_EQ(log.errors(),
            (std::vector<std::string>{
                "invalid variable pool memory! %i 255", "unknown var encountered.",
                "invalid variable pool memory! %i 255",
                "Seems like variable %p belongs to pool %p, offset was %i, but actually is %i." +
                    hex(vars[4]) + hex(p.pool.chunks[0]) + "2554"}));
  EXPECT_EQ(p.pool.live_count, 5u);
  p.flush();
  EXPECT_FALSE(chunk_of(p.pool, 0).allocated(4));
  EXPECT_EQ(p.take(), vars[4]);
  EXPECT_EQ(vars[4]->pool_tag, 4);
}

TEST(PoolReports, ABadChunkMagicIsReportedAndTheChunkFoundByAddress) {
  log_capture log;
  var_pool p;
  std::vector<trvvar*> vars;
  for (int i = 0; i < 4; ++i) vars.push_back(p.take());
  trv_chunk chunk = chunk_of(p.pool, 0);
  chunk.magic() = 0;
  const std::string magic_report = "invalid pool magic num: %p vs %p " + hex(chunk.base()) +
                                   " <-> " + hex(reinterpret_cast<void*>(0xFFABCDEF));
  const std::string seems_like =
      "Seems like variable %p belongs to pool %p, offset was %i, but actually is %i." +
      hex(vars[2]) + hex(chunk.base()) + "22";

  p.give(vars[2]);
  EXPECT_EQ(log.errors(), (std::vector<std::string>{
                              magic_report, "invalid variable pool memory! %i 2", seems_like}));
  EXPECT_EQ(p.pool.live_count, 3u);

  log.logger().clear();
  trv_pool_free(p.pool, vars[2]);  // already free
  EXPECT_EQ(log.errors(),
            (std::vector<std::string>{
                magic_report, "invalid variable pool memory! %i 2", seems_like,
                "Additionally, the variable was already free'd. Check for mem corruptions."}));
  EXPECT_EQ(p.pool.live_count, 3u);
  chunk.magic() = trv_pool_magic;
}

// A corrupt free-index stack: an index handed out twice retires the chunk until a free proves
// it sound; index 255 names no element and throws, and the pool goes on after it.
TEST(PoolReports, ACorruptFreeStackIsCaught) {
  log_capture log;
  var_pool p;
  trvvar* first = p.take();
  trv_chunk chunk = chunk_of(p.pool, 0);
  chunk.free_stack()[chunk.free_count()++] = 0;
  trvvar* next = p.take();
  EXPECT_EQ(log.errors(), std::vector<std::string>{"Attempting to allocate an already allocated "
                                                   "chunk! (double allocate?) !"});
  EXPECT_EQ(reinterpret_cast<std::byte*>(next), p.pool.chunks.at(1));
  EXPECT_EQ(chunk.out_of_rotation(), 1);
  p.give(first);
  p.flush();
  EXPECT_EQ(chunk.out_of_rotation(), 0);
  EXPECT_EQ(p.take(), first);

  chunk.free_stack()[chunk.free_count()++] = 255;
  try {
    p.take();
    ADD_FAILURE() << "index 255 was handed out";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid bitset position");
  }
  EXPECT_EQ(p.take()->pool_tag, 1);
  EXPECT_EQ(p.pool.live_count, 3u);
}

// Payload records are built when handed out and cleaned up when they come back.
TEST(UncheckedPools, PayloadsAreBuiltOnAllocationAndCleanedUpOnFree) {
  trv_pool vars_pool;
  trvvar_member_var_payload* p = trv_pool_allocate<trvvar_member_var_payload>(vars_pool);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->pool_tag, 0);
  EXPECT_EQ(p->object.control_block(), &trv_null_control_block);
  ASSERT_TRUE(p->key);
  EXPECT_EQ(p->key->type, TRVVAR_NONE);
  trvvar_shared key = p->key;
  trv_pool_free(vars_pool, p);
  EXPECT_EQ(key->refcount, 1);  // the payload's clean-up dropped its key
  EXPECT_EQ(vars_pool.live_count, 0u);
  // Handed out again from the cache: built afresh, with its chunk index as tag.
  trvvar_member_var_payload* again = trv_pool_allocate<trvvar_member_var_payload>(vars_pool);
  EXPECT_EQ(again, p);
  EXPECT_EQ(again->pool_tag, 0);
  ASSERT_TRUE(again->key);
  EXPECT_NE(again->key.get(), key.get());
  trv_pool_free(vars_pool, again);
}

}  // namespace
