#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "glue/thread_local.h"
#include "host/runtime_driver.h"
#include "objects/object_binding.h"
#include "stdlib/string/std_string.h"
#include "tests/support/capturing_logger.h"
#include "values/payloads.h"

namespace {

std::atomic<int> probes_destroyed{0};

struct stress_probe : trvobject<stress_probe, "test.stress_probe">, trvptr_type_tag<stress_probe> {
  ~stress_probe() override { probes_destroyed.fetch_add(1, std::memory_order_relaxed); }
};

// What the owner hands a worker to release.
struct batch {
  std::vector<trvvar_shared> vars;
  std::vector<trvptr_control_block*> blocks;
};

// Batches travel to a worker through a queue of its own; an empty optional ends the worker.
class batch_queue {
 public:
  void push(std::optional<batch> b) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(b));
    }
    ready_.notify_one();
  }
  std::optional<batch> pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !queue_.empty(); });
    std::optional<batch> b = std::move(queue_.front());
    queue_.pop_front();
    return b;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::optional<batch>> queue_;
};

// Every kind of element the owner makes: plain, string and object variables, member-variable
// variables (payload with a key variable) and bare control blocks.
batch make_batch(int size) {
  batch b;
  for (int i = 0; i < size; ++i) {
    trvvar_shared v = trvvar_new();
    switch (i % 4) {
      case 0:
        trvvar_set_int(*v, i);
        break;
      case 1:
        trvvar_set_string(*v, "released on another thread");
        break;
      case 2:
        trvvar_set_type(*v, TRVVAR_OBJECT);
        v->payload.object_payload->object = trvptr_strong<trvobject_base>::from(new stress_probe());
        break;
      default:
        trvvar_set_type(*v, TRVVAR_OBJECT_MEMBER_VAR);
        break;
    }
    b.vars.push_back(std::move(v));
    b.blocks.push_back(trv_control_block_allocate(true));
  }
  return b;
}

// Releases whatever arrives; also makes and drops values of its own, which come from the heap.
void worker(trvhost::runtime_driver& driver, batch_queue& queue) {
  driver.attach_current_thread();
  while (std::optional<batch> b = queue.pop()) {
    trvvar_shared own = trvvar_new();
    trvvar_set_string(*own, "heap");
    EXPECT_EQ(own->pool_tag, trv_heap_tag);
    b->vars.clear();
    for (trvptr_control_block* block : b->blocks) trv_control_block_free(block);
  }
  trvhost::runtime_driver::detach_current_thread();
}

// Every element of T's pool is free: a lost element would leave a free count short, one freed
// twice a count too high (or a report).
template <class T>
void expect_chunks_whole(trv_runtime& rt) {
  constexpr trv_chunk_layout layout = trv_pool_layout<T>;
  trv_runtime_pool& home = rt.pools[trv_pool_of<T>::value];
  EXPECT_EQ(home.pool.live_count, 0u) << trv_pool_of<T>::value;
  trv_pool_flush_cache(home.pool, layout);
  EXPECT_EQ(trv_return_ring_size(home.ring), 0u);
  EXPECT_EQ(home.pool.available.size(), home.pool.chunks.size());
  for (std::byte* block : home.pool.chunks) {
    const trv_chunk chunk(block, layout);
    EXPECT_EQ(chunk.free_count(), trv_chunk_elements);
    if constexpr (layout.checked) {
      for (uint32_t i = 0; i < trv_chunk_elements; ++i) {
        ASSERT_FALSE(chunk.allocated(static_cast<uint8_t>(i)));
      }
    }
  }
}

}  // namespace

// Several threads release what the owner allocated, more than a ring holds at once, while the
// owner keeps allocating and draining. At the end every element is back exactly once.
TEST(PoolStress, ReleasesFromManyThreadsComeBackExactlyOnce) {
  constexpr int workers = 4;
  constexpr int rounds = 24;
  constexpr int per_batch = 2500;  // a round sends 4 x 2500 items, each several elements

  capturing_logger* log = new capturing_logger();
  trvptr_strong<trv_log_base> held_log = trvptr_strong<trv_log_base>::from(log);
  trvhost::runtime_driver driver("stress", held_log);
  trv_runtime& rt = driver.runtime();
  probes_destroyed = 0;

  std::vector<batch_queue> queues(workers);
  std::vector<std::thread> threads;
  for (int w = 0; w < workers; ++w) {
    threads.emplace_back(worker, std::ref(driver), std::ref(queues[w]));
  }
  for (int round = 0; round < rounds; ++round) {
    driver.take_ownership();
    std::vector<batch> batches;
    for (int w = 0; w < workers; ++w) batches.push_back(make_batch(per_batch));
    // Two rounds release more records than a ring holds, so some take the lock path.
    if (round % 2 == 1) driver.service();
    driver.give_up_ownership();
    for (int w = 0; w < workers; ++w) queues[w].push(std::move(batches[w]));
  }
  for (batch_queue& queue : queues) queue.push(std::nullopt);
  for (std::thread& t : threads) t.join();
  driver.take_ownership();
  driver.service();

  EXPECT_EQ(probes_destroyed.load(), workers * rounds * per_batch / 4);
  EXPECT_TRUE(trv_runtime_pools_empty(rt));
  expect_chunks_whole<trvvar>(rt);
  expect_chunks_whole<trvptr_control_block>(rt);
  expect_chunks_whole<trv_std_string>(rt);
  expect_chunks_whole<trvvar_object_payload>(rt);
  expect_chunks_whole<trvvar_member_var_payload>(rt);
  EXPECT_TRUE(log->all().empty()) << log->all().front().second;
}
