#pragma once

// The global operator new and delete (every form without an alignment) made of two functions
// that the one file of a program including this header defines: allocate, which throws
// std::bad_alloc when it cannot, and release, which takes null. A program replacing them can
// limit its memory or make an allocation fail.

#include <cstddef>
#include <new>

namespace replaced_operator_new {
void* allocate(size_t size);
void release(void* memory) noexcept;
}  // namespace replaced_operator_new

void* operator new(size_t size) { return replaced_operator_new::allocate(size); }
void* operator new[](size_t size) { return replaced_operator_new::allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return replaced_operator_new::allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* memory) noexcept { replaced_operator_new::release(memory); }
void operator delete[](void* memory) noexcept { replaced_operator_new::release(memory); }
void operator delete(void* memory, size_t) noexcept { replaced_operator_new::release(memory); }
void operator delete[](void* memory, size_t) noexcept { replaced_operator_new::release(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept {
  replaced_operator_new::release(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
  replaced_operator_new::release(memory);
}
