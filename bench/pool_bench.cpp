// The variable pool against the general heap, in one binary and one run.
//
//   pool pair       allocate + free of a variable record from a pool
//   record pair     trvvar_new + release on the thread that owns the runtime (the pool pair
//                   plus the per-thread lookup of the runtime), and on a thread without one
//   record pair     the same for a caller that knows its runtime (the interpreter, bulk
//   with runtime    builders, methods): no lookup of the thread's state on either side
//   free list pair  pop + push on a bare free list, the floor
//   malloc pair     malloc(16) + free
//   new pair        new + delete of the same record
//   batches         255 allocations, then 255 frees
//   handle copy     copy and destroy of a trvvar_shared

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "glue/thread_local.h"
#include "owned_runtime.h"
#include "values/pooled.h"

namespace {

void pool_pair(benchmark::State& state) {
  trv_pool pool;
  for (auto _ : state) {
    trvvar* v = trv_pool_allocate<trvvar>(pool);
    benchmark::DoNotOptimize(v);
    trv_pool_free(pool, v);
  }
}
BENCHMARK(pool_pair);

void record_pair_owner(benchmark::State& state) {
  owned_runtime owned;
  for (auto _ : state) {
    trvvar_shared v = trvvar_new();
    benchmark::DoNotOptimize(v.get());
  }
}
BENCHMARK(record_pair_owner);

void record_pair_with_runtime(benchmark::State& state) {
  owned_runtime owned;
  trv_runtime* rt = trv_owned_runtime(trv_get_thread_local());
  for (auto _ : state) {
    trvvar_shared v = trvvar_new(rt);
    benchmark::DoNotOptimize(v.get());
    trvvar_release_unshared_plain(v, *rt);
  }
}
BENCHMARK(record_pair_with_runtime);

void record_pair_without_runtime(benchmark::State& state) {
  for (auto _ : state) {
    trvvar_shared v = trvvar_new();
    benchmark::DoNotOptimize(v.get());
  }
}
BENCHMARK(record_pair_without_runtime);

// The floor: a bare intrusive free list of 16-byte nodes, with no checks and no counts. Its
// head lives in memory, as a pool's state does.
void free_list_pair(benchmark::State& state) {
  struct node {
    node* next;
    uint64_t payload;
  };
  std::vector<node> nodes(trv_chunk_elements);
  struct {
    node* head = nullptr;
  } list;
  for (node& n : nodes) {
    n.next = list.head;
    list.head = &n;
  }
  benchmark::DoNotOptimize(&list);
  for (auto _ : state) {
    node* n = list.head;
    list.head = n->next;
    benchmark::DoNotOptimize(n);
    n->next = list.head;
    list.head = n;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(free_list_pair);

void malloc_pair(benchmark::State& state) {
  for (auto _ : state) {
    void* p = std::malloc(16);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}
BENCHMARK(malloc_pair);

void new_pair(benchmark::State& state) {
  for (auto _ : state) {
    trvvar* v = new trvvar();
    benchmark::DoNotOptimize(v);
    delete v;
  }
}
BENCHMARK(new_pair);

constexpr int batch = 255;

void pool_batch(benchmark::State& state) {
  trv_pool pool;
  trvvar* vars[batch];
  for (auto _ : state) {
    for (trvvar*& v : vars) v = trv_pool_allocate<trvvar>(pool);
    benchmark::DoNotOptimize(vars);
    for (trvvar* v : vars) trv_pool_free(pool, v);
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(pool_batch);

void malloc_batch(benchmark::State& state) {
  void* blocks[batch];
  for (auto _ : state) {
    for (void*& p : blocks) p = std::malloc(16);
    benchmark::DoNotOptimize(blocks);
    for (void* p : blocks) std::free(p);
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(malloc_batch);

void handle_copy(benchmark::State& state) {
  owned_runtime owned;
  trvvar_shared v = trvvar_new();
  for (auto _ : state) {
    trvvar_shared copy(v);
    benchmark::DoNotOptimize(copy.get());
  }
}
BENCHMARK(handle_copy);

}  // namespace
