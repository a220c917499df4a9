#include "values/block_cache.h"

namespace {

// Sizes are kept in 8-byte steps: a block of n bytes waits in list (n + 7) / 8.
constexpr size_t list_count = trv_block_cache_largest / 8 + 1;

size_t list_of(size_t bytes) { return (bytes + 7) / 8; }

// Plain data, so that it stays usable while the thread's objects are destroyed at its end;
// the guard below gives the kept blocks back and retires the cache then.
struct block_cache {
  void* heads[list_count];  // each block's first word links to the next of its list
  size_t kept[list_count];  // the blocks in each list
  size_t made[list_count];  // the blocks of each list this thread took from the heap
  size_t kept_bytes;
  bool guarded;
  bool retired;
};
thread_local block_cache cache{};

struct block_cache_guard {
  ~block_cache_guard() {
    for (void* head : cache.heads) {
      while (head != nullptr) {
        void* next = *static_cast<void**>(head);
        ::operator delete(head);
        head = next;
      }
    }
    cache = block_cache{};
    cache.retired = true;
  }
};
thread_local block_cache_guard guard;

}  // namespace

void* trv_block_allocate(size_t bytes) {
  if (bytes <= trv_block_cache_largest) {
    // A block in list k has room for 8k bytes, whatever smaller size it was made for.
    const size_t list = list_of(bytes);
    if (void* block = cache.heads[list]) {
      cache.heads[list] = *static_cast<void**>(block);
      --cache.kept[list];
      cache.kept_bytes -= list * 8;
      return block;
    }
    void* block = ::operator new(list * 8);
    ++cache.made[list];
    return block;
  }
  return ::operator new(bytes);
}

void trv_block_free(void* block, size_t bytes) noexcept {
  if (block == nullptr) return;
  const size_t list = list_of(bytes);
  if (bytes > trv_block_cache_largest || bytes == 0 || cache.retired ||
      cache.kept[list] >= cache.made[list] || cache.kept_bytes + list * 8 > trv_block_cache_limit) {
    ::operator delete(block);
    return;
  }
  if (!cache.guarded) {
    (void)&guard;  // registers the clean-up for this thread
    cache.guarded = true;
  }
  *static_cast<void**>(block) = cache.heads[list];
  cache.heads[list] = block;
  ++cache.kept[list];
  cache.kept_bytes += list * 8;
}

size_t trv_block_cache_kept_bytes() noexcept { return cache.kept_bytes; }
