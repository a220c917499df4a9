#include "values/pool.h"

#include <cstdlib>
#include <stdexcept>

#include "glue/log.h"

bool trv_chunk::on_free_stack(uint8_t index) const noexcept {
  const uint8_t* stack = free_stack();
  for (uint32_t i = 0; i < free_count(); ++i) {
    if (stack[i] == index) return true;
  }
  return false;
}

void trv_pool_flush_cache(trv_pool& pool, trv_chunk_layout layout) noexcept {
  for (uint32_t i = 0; i < pool.cached; ++i) {
    const uint8_t index = pool.cache_tags[i];
    trv_pool_detail::return_to_chunk(
        pool, trv_chunk(pool.cache[i] - index * layout.element_size, layout), index);
  }
  pool.cached = 0;
}

trv_pool::~trv_pool() {
  for (std::byte* block : chunks) std::free(block);
}

namespace trv_pool_detail {

void reserve_chunk(trv_pool& pool) {
  const size_t needed = pool.chunks.size() + 1;
  if (pool.chunks.capacity() < needed) pool.chunks.reserve(2 * needed);
  if (pool.available.capacity() < needed) pool.available.reserve(2 * needed);
}

std::byte* new_chunk_block(trv_chunk_layout layout) {
  auto* block = static_cast<std::byte*>(std::malloc(layout.block_size()));
  if (block == nullptr) {
    trv_log(TRV_LOG_ERROR, "Failed to allocate a pool chunk!");
    return nullptr;
  }
  const trv_chunk chunk(block, layout);
  for (uint32_t i = 0; i < trv_chunk_elements; ++i) {
    chunk.free_stack()[i] = static_cast<uint8_t>(trv_chunk_elements - 1 - i);
  }
  chunk.free_count() = static_cast<uint8_t>(trv_chunk_elements);
  if (layout.checked) {
    auto* bits = reinterpret_cast<uint64_t*>(block + layout.bitset());
    for (int i = 0; i < 4; ++i) bits[i] = 0;
  }
  chunk.magic() = trv_pool_magic;
  chunk.out_of_rotation() = 0;
  return block;
}

void adopt_chunk(trv_pool& pool, std::byte* block) noexcept {
  pool.chunks.push_back(block);
  pool.available.push_back(block);
  pool.top = block;
  ++pool.chunk_count;
}

void return_to_rotation(trv_pool& pool, std::byte* block) noexcept {
  pool.available.push_back(block);  // never grows: capacity is kept for every chunk
  pool.top = block;
}

void throw_invalid_bit_position() { throw std::out_of_range("invalid bitset position"); }

void report_double_allocate() {
  trv_log(TRV_LOG_ERROR, "Attempting to allocate an already allocated chunk! (double allocate?) !");
}

void report_double_free() {
  trv_log(TRV_LOG_ERROR, "Attempting to deallocate unallocated chunk (double free?) !");
}

namespace {

// The chunk whose elements' start addresses span the address.
std::byte* chunk_containing(const trv_pool& pool, trv_chunk_layout layout,
                            const std::byte* address) {
  const auto at = reinterpret_cast<uintptr_t>(address);
  for (std::byte* block : pool.chunks) {
    const auto start = reinterpret_cast<uintptr_t>(block);
    if (at >= start && at <= start + (trv_chunk_elements - 1) * layout.element_size) return block;
  }
  return nullptr;
}

}  // namespace

std::byte* recover(const trv_pool& pool, trv_chunk_layout layout, std::byte* element, uint8_t tag) {
  if (tag != trv_heap_tag) {
    trv_log(TRV_LOG_ERROR, "invalid pool magic num: %p vs %p ", element - tag * layout.element_size,
            " <-> ", reinterpret_cast<const void*>(uintptr_t{trv_pool_magic}));
  }
  trv_log(TRV_LOG_ERROR, "invalid variable pool memory! %i ", tag);
  std::byte* base = chunk_containing(pool, layout, element);
  if (base == nullptr) {
    trv_log(TRV_LOG_ERROR, "unknown var encountered.");
    return nullptr;
  }
  const size_t actual = static_cast<size_t>(element - base) / layout.element_size;
  trv_log(TRV_LOG_ERROR,
          "Seems like variable %p belongs to pool %p, offset was %i, but actually is %i.",
          static_cast<const void*>(element), base, tag, actual);
  // The element is freed at its actual index; that one being free already (an unchecked pool
  // has no bit to tell) is as much a double free as a free stored tag.
  const trv_chunk chunk(base, layout);
  if (chunk.on_free_stack(tag) || chunk.on_free_stack(static_cast<uint8_t>(actual)) ||
      is_cached(pool, element)) {
    trv_log(TRV_LOG_ERROR,
            "Additionally, the variable was already free'd. Check for mem corruptions.");
    return nullptr;
  }
  return base;
}

}  // namespace trv_pool_detail

namespace {

// Filled while static objects are initialised, before any runtime exists.
trv_pool_kind pool_kinds[trv_pool_count];

}  // namespace

void trv_register_pool_kind(trv_pool_id id, trv_pool_kind kind) { pool_kinds[id] = kind; }

const trv_pool_kind& trv_pool_kind_of(trv_pool_id id) { return pool_kinds[id]; }
