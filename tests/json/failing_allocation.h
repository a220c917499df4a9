#pragma once

// This test program replaces the global operator new (and new[]) so that a test can make an
// allocation fail: armed with n, the allocation after the next n throws std::bad_alloc, once.
// Unarmed, allocation is the library's.

#include <cstddef>

namespace failing_allocation {

void arm(size_t allocations_before_failure);
// Disarms; true when the armed failure happened.
bool disarm();
// Blocks made by operator new and not yet deleted, counted on every thread.
size_t live_blocks();

}  // namespace failing_allocation
