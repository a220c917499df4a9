#pragma once

// Small heap blocks that the runtime makes and frees in bulk, kept per thread for reuse.
//
// Parsing a document makes an exactly sized entry array for every container in it and an
// object for every boolean, and releasing the document frees them all. Through the general
// heap each costs a malloc and a free, and freeing one large block among them makes the heap
// merge and re-sort every small block freed before it. Blocks of up to trv_block_cache_largest
// bytes therefore go to a free list of the thread that frees them, one list per size, and the
// next block of that size is taken from there. Like the element pools, which keep their chunks
// while the runtime lives, the cache keeps what its thread freed, up to trv_block_cache_limit
// bytes, and gives it back to the heap when the thread ends. A block may be freed on another
// thread than the one that made it: blocks are plain heap memory. A thread keeps no more blocks
// of a size than it has made itself, so that one freeing what others make (a script dropping
// the lists that worker jobs build) does not keep them all while it never asks for them.

#include <cstddef>
#include <new>

inline constexpr size_t trv_block_cache_largest = 512;
inline constexpr size_t trv_block_cache_limit = size_t{256} << 20;

// A block of `bytes`: from the cache when it holds one of that size, else from the heap.
void* trv_block_allocate(size_t bytes);
// Gives back a block that trv_block_allocate made for `bytes`.
void trv_block_free(void* block, size_t bytes) noexcept;
// The bytes the calling thread keeps for reuse.
size_t trv_block_cache_kept_bytes() noexcept;

// An allocator over the cache. Stateless: its instances are interchangeable, so a vector using
// it has the size and the move behaviour of one using the standard allocator.
template <class T>
struct trv_cached_allocator {
  using value_type = T;

  trv_cached_allocator() noexcept = default;
  template <class U>
  trv_cached_allocator(const trv_cached_allocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(trv_block_allocate(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept { trv_block_free(p, n * sizeof(T)); }

  template <class U>
  bool operator==(const trv_cached_allocator<U>&) const noexcept {
    return true;
  }
};
