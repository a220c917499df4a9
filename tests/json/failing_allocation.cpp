#include "tests/json/failing_allocation.h"

#include <cstdlib>
#include <new>

namespace {

// Set by the one test thread that arms it; the tests that arm it run no other threads.
bool armed = false;
bool failed = false;
size_t allocations_left = 0;

void* allocate(size_t size) {
  if (armed && !failed) {
    if (allocations_left == 0) {
      failed = true;
      throw std::bad_alloc();
    }
    --allocations_left;
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

namespace failing_allocation {

void arm(size_t allocations_before_failure) {
  allocations_left = allocations_before_failure;
  failed = false;
  armed = true;
}

bool disarm() {
  armed = false;
  return failed;
}

}  // namespace failing_allocation

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
