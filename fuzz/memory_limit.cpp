// Linked into a fuzzer, this replaces the global operator new and delete with ones that give
// the process 64 MiB: an allocation that would take the memory made through them past that
// throws std::bad_alloc, as on a machine with that much memory. A script that makes a huge
// string or container, or one that doubles one again and again, then meets the module's
// out-of-memory handling ("Out of memory.") instead of the sanitizer's allocator, which ends
// the process for a request it cannot meet, or the fuzzer's memory limit. The memory itself
// still comes from the sanitizer's malloc, which checks every access to it.

#include <sanitizer/allocator_interface.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "tests/support/replaced_operator_new.h"

namespace {

constexpr size_t memory_limit = size_t{64} << 20;
std::atomic<size_t> allocated{0};

}  // namespace

void* replaced_operator_new::allocate(size_t size) {
  if (size > memory_limit || allocated.fetch_add(size) + size > memory_limit) {
    if (size <= memory_limit) allocated.fetch_sub(size);
    throw std::bad_alloc();
  }
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) {
    allocated.fetch_sub(size);
    throw std::bad_alloc();
  }
  // The count holds what the allocator gave, which free gives back.
  const size_t given = __sanitizer_get_allocated_size(memory);
  if (given != size) allocated.fetch_add(given - size);
  return memory;
}

void replaced_operator_new::release(void* memory) noexcept {
  if (memory == nullptr) return;
  allocated.fetch_sub(__sanitizer_get_allocated_size(memory));
  std::free(memory);
}
