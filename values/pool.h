#pragma once

// Element pools.
//
// Variables, payload records, control blocks, call frames and the objects behind string,
// binary and json values are made and dropped at a high rate, so they come from fixed-size
// pools of the runtime instead of the general heap. A pool is a set of chunks. A chunk is one
// malloc'd block, never given back while its pool lives:
//
//   255 elements of S bytes | free-index stack, 255 x 8 bits | free count, 8 bits |
//   allocation bitset, 4 x 64 bits (checked pools only) | magic 0xFFABCDEF, 32 bits |
//   out-of-rotation flag, 8 bits
//
// so a block is 255 x S + 293 bytes (checked) or 255 x S + 261 bytes (unchecked). Every
// element carries its index within its chunk in its pool_tag byte, which is how a free finds
// the chunk without a search; 255 marks an element that did not come from a pool.
//
// The available-chunk stack holds the chunks that may have free elements, the one used first
// on top. A chunk found exhausted leaves it (and is flagged out of rotation) and comes back
// when one of its elements is freed, so allocation never searches.
//
// Checked pools keep one allocation bit per element and report a double allocation or a double
// free instead of corrupting the chunk; their elements are constructed once, with their chunk,
// and handed out as they are (the element's class empties it before it goes back). Elements of
// unchecked pools (the payload records) are constructed on allocation and destroyed on free.
//
// In front of the chunks sits a cache of the last eight elements freed, handed out again first,
// most recent first: a free followed by an allocation, the common pattern of temporaries,
// touches a few words of the pool and none of a chunk's bookkeeping, whose byte counters and
// bit words would otherwise pass every value through memory from one operation to the next. A
// cached element still counts as handed out in its chunk (its bit set, its index not on the
// free-index stack) but not in the pool's live count; a free of a cached element is a double
// free like that of one on the free-index stack. When the cache is full a free goes to the
// chunk.
//
// Only the thread that owns the runtime allocates and frees; other threads hand elements back
// through the pool's return ring (return_ring.h, pooled.h).

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <new>
#include <type_traits>
#include <vector>

#include "glue/object_ptr.h"
#include "glue/platform/prefetch.h"

// The runtime's pools (values/pools.def), in their order in trv_runtime.
enum trv_pool_id : uint8_t {
#define TRV_VALUE_POOL(NAME, ELEMENT, CHECKED) TRV_POOL_##NAME,
#define TRV_CLASS_POOL TRV_VALUE_POOL
#include "values/pools.def"
#undef TRV_CLASS_POOL
#undef TRV_VALUE_POOL
};

inline constexpr bool trv_pool_checked_table[] = {
#define TRV_VALUE_POOL(NAME, ELEMENT, CHECKED) CHECKED,
#define TRV_CLASS_POOL TRV_VALUE_POOL
#include "values/pools.def"
#undef TRV_CLASS_POOL
#undef TRV_VALUE_POOL
};
inline constexpr size_t trv_pool_count = std::size(trv_pool_checked_table);
static_assert(trv_pool_count == 14, "the runtime's layout holds 14 pools");

constexpr bool trv_pool_checked(trv_pool_id id) { return trv_pool_checked_table[id]; }

// The pool elements of type T come from, specialised for every row of values/pools.def (in
// values/pooled.h) as std::integral_constant<trv_pool_id, ...>. T must have an 8-bit pool_tag
// member.
template <class T>
struct trv_pool_of;

inline constexpr uint32_t trv_chunk_elements = 255;
inline constexpr uint32_t trv_pool_magic = 0xFFABCDEF;

// Byte offsets within a chunk block.
struct trv_chunk_layout {
  size_t element_size;
  bool checked;

  constexpr size_t free_stack() const { return trv_chunk_elements * element_size; }
  constexpr size_t free_count() const { return free_stack() + trv_chunk_elements; }
  constexpr size_t bitset() const { return free_count() + 1; }
  constexpr size_t magic() const { return bitset() + (checked ? 4 * sizeof(uint64_t) : 0); }
  constexpr size_t rotation_flag() const { return magic() + sizeof(uint32_t); }
  constexpr size_t block_size() const { return rotation_flag() + 1; }
};
static_assert(trv_chunk_layout{16, true}.block_size() == 255 * 16 + 293);
static_assert(trv_chunk_layout{16, false}.block_size() == 255 * 16 + 261);

template <class T>
inline constexpr trv_chunk_layout trv_pool_layout{sizeof(T),
                                                  trv_pool_checked(trv_pool_of<T>::value)};

// A view of one chunk block. With an element size that is a multiple of 8 every field is
// naturally aligned.
class trv_chunk {
 public:
  trv_chunk(std::byte* base, trv_chunk_layout layout) noexcept : base_(base), layout_(layout) {}

  std::byte* base() const noexcept { return base_; }
  bool checked() const noexcept { return layout_.checked; }
  std::byte* element(uint32_t index) const noexcept { return base_ + index * layout_.element_size; }
  uint8_t* free_stack() const noexcept {
    return reinterpret_cast<uint8_t*>(base_ + layout_.free_stack());
  }
  uint8_t& free_count() const noexcept {
    return *reinterpret_cast<uint8_t*>(base_ + layout_.free_count());
  }
  uint32_t& magic() const noexcept { return *reinterpret_cast<uint32_t*>(base_ + layout_.magic()); }
  uint8_t& out_of_rotation() const noexcept {
    return *reinterpret_cast<uint8_t*>(base_ + layout_.rotation_flag());
  }

  // The allocation bitset of a checked chunk. Index 255 names no element.
  bool allocated(uint8_t index) const noexcept { return (word(index) & bit(index)) != 0; }
  void set_allocated(uint8_t index) const noexcept { word(index) |= bit(index); }
  // Clears the element's bit; false when it was clear already.
  bool mark_free(uint8_t index) const noexcept {
    if (!allocated(index)) return false;
    word(index) &= ~bit(index);
    return true;
  }

  // Whether `index` is among the first free-count entries of the free-index stack.
  bool on_free_stack(uint8_t index) const noexcept;

  template <class T>
  T* element_as(uint32_t index) const noexcept {
    return std::launder(reinterpret_cast<T*>(element(index)));
  }

 private:
  uint64_t& word(uint8_t index) const noexcept {
    return reinterpret_cast<uint64_t*>(base_ + layout_.bitset())[index >> 6];
  }
  static uint64_t bit(uint8_t index) noexcept { return uint64_t{1} << (index & 63); }

  std::byte* base_;
  trv_chunk_layout layout_;
};

struct trv_pool {
  std::vector<std::byte*> chunks;     // every chunk, in creation order
  std::vector<std::byte*> available;  // chunks in rotation, the top used first
  std::byte* top = nullptr;           // available.back(), null when it is empty
  uint64_t chunk_count = 0;
  uint64_t live_count = 0;  // elements handed out
  // The last elements freed, handed out again first (see the top of this file): the first
  // `cached` entries.
  static constexpr uint32_t cache_capacity = 8;
  uint32_t cached = 0;
  std::byte* cache[cache_capacity] = {};
  uint8_t cache_tags[cache_capacity] = {};  // their indices within their chunks

  trv_pool() = default;
  // Gives the chunk blocks back; their elements must have been destroyed.
  ~trv_pool();
  trv_pool(const trv_pool&) = delete;
  trv_pool& operator=(const trv_pool&) = delete;
};

namespace trv_pool_detail {

// Room for one more chunk in both lists, so that neither a new chunk nor a free ever has to
// grow them afterwards (available.size() <= chunks.size() <= capacity).
void reserve_chunk(trv_pool& pool);
// A new block with its bookkeeping set up: free count 255, free stack 254 - i at position i
// (pops hand out elements 0, 1, 2 ... in address order), bitset clear, magic, in rotation.
// Null, after the report, when the heap refuses.
std::byte* new_chunk_block(trv_chunk_layout layout);
// Puts a chunk whose elements are ready into service, on top of the available stack.
void adopt_chunk(trv_pool& pool, std::byte* block) noexcept;
// A chunk that was out of rotation has a free element again: back on top of the available
// stack. Takes the block only, so that the hot path's chunk view never leaves registers.
void return_to_rotation(trv_pool& pool, std::byte* block) noexcept;
// The top chunk is exhausted: out of rotation until one of its elements is freed.
inline void retire_top(trv_pool& pool, const trv_chunk& top) noexcept {
  top.out_of_rotation() = 1;
  pool.available.pop_back();
  pool.top = pool.available.empty() ? nullptr : pool.available.back();
}

[[noreturn]] void throw_invalid_bit_position();
void report_double_allocate();
void report_double_free();
// The chunk an element with a bad tag or a chunk with a bad magic belongs to, found by address;
// null when there is none or the element is free already. Reports what it finds.
std::byte* recover(const trv_pool& pool, trv_chunk_layout layout, std::byte* element, uint8_t tag);

template <class T>
bool add_chunk(trv_pool& pool) {
  constexpr trv_chunk_layout layout = trv_pool_layout<T>;
  reserve_chunk(pool);
  std::byte* block = new_chunk_block(layout);
  if (block == nullptr) return false;
  if constexpr (layout.checked) {
    const trv_chunk chunk(block, layout);
    for (uint32_t i = 0; i < trv_chunk_elements; ++i) {
      T* element = new (chunk.element(i)) T();
      element->pool_tag = static_cast<uint8_t>(i);
    }
  }
  adopt_chunk(pool, block);
  return true;
}

// Hands out the element whose index tops the chunk's free-index stack; the index is valid and,
// in a checked pool, its bit is clear. A checked pool's element keeps the tag it was built with
// (a free that found it damaged put it right), so the hand-out does not store it again: a free
// that follows at once then reads it from the cache instead of waiting for the store.
template <class T>
inline T* take_top(trv_pool& pool, const trv_chunk& chunk, uint8_t index) {
  T* element;
  if constexpr (trv_pool_layout<T>.checked) {
    element = chunk.element_as<T>(index);
    chunk.set_allocated(index);
  } else {
    // Built before the pop, so a constructor that throws leaves the chunk as it was.
    element = new (chunk.element(index)) T();
    element->pool_tag = index;
  }
  const uint8_t left = --chunk.free_count();
  // The elements handed out next are known now: fetching the one eight pops ahead hides most of
  // the cache miss its first use would take (runs of new values touch elements nothing has
  // touched lately).
  if (left > 7) {
    const std::byte* ahead = chunk.element(chunk.free_stack()[left - 8]);
    // An element may start anywhere in a line: fetch every line it spans.
    for (size_t offset = 0; offset < sizeof(T); offset += 64) trv_prefetch(ahead + offset);
    trv_prefetch(ahead + sizeof(T) - 1);
  }
  ++pool.live_count;
  return element;
}

// The element freed last, from the pool's cache (not empty).
template <class T>
inline T* take_cached(trv_pool& pool) {
  const uint32_t last = pool.cached - 1;
  std::byte* const address = pool.cache[last];
  T* element;
  if constexpr (trv_pool_layout<T>.checked) {
    element = std::launder(reinterpret_cast<T*>(address));
  } else {
    // Built before the pop, so a constructor that throws leaves the cache as it was.
    element = new (address) T();
    element->pool_tag = pool.cache_tags[last];
  }
  pool.cached = last;
  ++pool.live_count;
  return element;
}

// A free element back on its chunk's free-index stack (its bit cleared in a checked pool), and
// the chunk back in rotation if it was out.
inline void return_to_chunk(trv_pool& pool, const trv_chunk& chunk, uint8_t index) noexcept {
  if (chunk.checked()) chunk.mark_free(index);
  chunk.free_stack()[chunk.free_count()++] = index;
  if (chunk.out_of_rotation() != 0) {
    chunk.out_of_rotation() = 0;
    return_to_rotation(pool, chunk.base());
  }
}

// Whether an element is in the pool's cache, free already.
inline bool is_cached(const trv_pool& pool, const std::byte* address) noexcept {
  for (uint32_t i = 0; i < pool.cached; ++i) {
    if (pool.cache[i] == address) return true;
  }
  return false;
}

// Whatever the fast path declines: no chunk in rotation, an exhausted top chunk, a corrupt
// entry on the free-index stack, an index handed out twice.
template <class T>
T* allocate_slow(trv_pool& pool) {
  constexpr trv_chunk_layout layout = trv_pool_layout<T>;
  for (;;) {
    if (pool.top == nullptr && !add_chunk<T>(pool)) return nullptr;
    const trv_chunk chunk(pool.top, layout);
    uint8_t& free_count = chunk.free_count();
    if (free_count == 0) {
      retire_top(pool, chunk);
      continue;
    }
    const uint8_t index = chunk.free_stack()[free_count - 1];
    if (index == trv_heap_tag) {
      --free_count;  // the corrupt entry is dropped, so the chunk serves the next call
      throw_invalid_bit_position();
    }
    if (layout.checked && chunk.allocated(index)) {
      // Leave the chunk alone until a free proves it sound.
      --free_count;
      retire_top(pool, chunk);
      report_double_allocate();
      continue;
    }
    return take_top<T>(pool, chunk, index);
  }
}

}  // namespace trv_pool_detail

// An element from the pool, or null when no chunk could be made (reported). Constant time:
// a pop from the top chunk's free-index stack.
template <class T>
inline T* trv_pool_allocate(trv_pool& pool) {
  constexpr trv_chunk_layout layout = trv_pool_layout<T>;
  static_assert(sizeof(T) % 8 == 0 && alignof(T) <= 8);
  if (pool.cached != 0) return trv_pool_detail::take_cached<T>(pool);
  if (pool.top != nullptr) {
    const trv_chunk chunk(pool.top, layout);
    const uint8_t free_count = chunk.free_count();
    if (free_count > 0) {
      const uint8_t index = chunk.free_stack()[free_count - 1];
      if (index != trv_heap_tag && !(layout.checked && chunk.allocated(index))) {
        return trv_pool_detail::take_top<T>(pool, chunk, index);
      }
    }
  }
  return trv_pool_detail::allocate_slow<T>(pool);
}

// Puts an element back; null is ignored. A double free or a pointer that belongs to no chunk
// is reported and ignored. A pointer whose tag or chunk magic is wrong but whose address lies
// in a chunk is freed at the index its address gives.
template <class T>
inline void trv_pool_free(trv_pool& pool, T* element) {
  constexpr trv_chunk_layout layout = trv_pool_layout<T>;
  if (element == nullptr) return;
  std::byte* const address = reinterpret_cast<std::byte*>(element);
  uint8_t index = element->pool_tag;
  std::byte* base = index != trv_heap_tag ? address - index * layout.element_size : nullptr;
  if (base == nullptr || trv_chunk(base, layout).magic() != trv_pool_magic) {
    base = trv_pool_detail::recover(pool, layout, address, index);
    if (base == nullptr) return;
    index = static_cast<uint8_t>(static_cast<size_t>(address - base) / layout.element_size);
    if constexpr (layout.checked) element->pool_tag = index;
  }
  const trv_chunk chunk(base, layout);
  if constexpr (layout.checked) {
    if (!chunk.allocated(index) || trv_pool_detail::is_cached(pool, address)) {
      trv_pool_detail::report_double_free();
      return;
    }
  } else {
    // The clean-up may free into this pool too; the bookkeeping below is read afterwards.
    element->~T();
  }
  if (pool.cached < trv_pool::cache_capacity) {
    pool.cache_tags[pool.cached] = index;
    pool.cache[pool.cached++] = address;
  } else {
    trv_pool_detail::return_to_chunk(pool, chunk, index);
  }
  --pool.live_count;
}

// Hands every cached element back to its chunk, for a look at the chunks' own bookkeeping.
void trv_pool_flush_cache(trv_pool& pool, trv_chunk_layout layout) noexcept;

// What the runtime needs to know of a pool's element type where the type is not at hand: how
// to free an element coming back through the return ring, and how to destroy the elements a
// checked pool constructed with its chunks. Each pooled type registers its kind once, by a
// namespace-scope trv_pool_kind_registration in the file that defines the type's pool use.
struct trv_pool_kind {
  void (*free)(trv_pool& pool, void* element);
  void (*destroy_elements)(std::byte* chunk);  // null for unchecked pools
};

void trv_register_pool_kind(trv_pool_id id, trv_pool_kind kind);
// The registered kind; its functions are null when no type registered for the pool.
const trv_pool_kind& trv_pool_kind_of(trv_pool_id id);

template <class T>
struct trv_pool_kind_registration {
  trv_pool_kind_registration() {
    constexpr trv_chunk_layout layout = trv_pool_layout<T>;
    trv_pool_kind kind{
        [](trv_pool& pool, void* element) { trv_pool_free(pool, static_cast<T*>(element)); },
        nullptr};
    if constexpr (layout.checked) {
      kind.destroy_elements = [](std::byte* block) {
        const trv_chunk chunk(block, trv_pool_layout<T>);
        for (uint32_t i = 0; i < trv_chunk_elements; ++i) chunk.element_as<T>(i)->~T();
      };
    }
    trv_register_pool_kind(trv_pool_of<T>::value, kind);
  }
};
