#include "tests/json/failing_allocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/replaced_operator_new.h"

namespace {

// Set by the one test thread that arms it; the tests that arm it run no other threads.
bool armed = false;
bool failed = false;
size_t allocations_left = 0;
std::atomic<size_t> live{0};

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

size_t live_blocks() { return live.load(); }

}  // namespace failing_allocation

void* replaced_operator_new::allocate(size_t size) {
  if (armed && !failed) {
    if (allocations_left == 0) {
      failed = true;
      throw std::bad_alloc();
    }
    --allocations_left;
  }
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) throw std::bad_alloc();
  ++live;
  return memory;
}

void replaced_operator_new::release(void* memory) noexcept {
  if (memory == nullptr) return;
  --live;
  std::free(memory);
}
