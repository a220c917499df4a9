#pragma once

// The key of a container entry: absent (a keyless entry) or a byte string. Containers are
// filled at a high rate (parsing, the binary form, list results), so a key of up to 15 bytes
// lives inside the entry and costs no allocation; a longer one owns one heap block.
//
// Layout, 16 bytes: an inline key keeps its bytes in 0..14 and its length in byte 15; a long
// key keeps its block's address in bytes 0..7 and its length in bytes 8..14, with byte 15
// marking it; an absent key is marked in byte 15 only.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

class trv_json_key {
 public:
  trv_json_key() noexcept { bytes_[tag_byte] = absent_tag; }
  trv_json_key(std::nullptr_t) noexcept : trv_json_key() {}  // NOLINT: reads as "no key"
  explicit trv_json_key(std::string_view text) { assign(text); }
  trv_json_key(const trv_json_key& other) : trv_json_key() {
    if (other) assign(*other);
  }
  trv_json_key(trv_json_key&& other) noexcept {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    other.bytes_[tag_byte] = absent_tag;
  }
  trv_json_key& operator=(trv_json_key other) noexcept {
    // Whole 16-byte moves: swapping the arrays would go byte by byte.
    uint8_t held[sizeof bytes_];
    std::memcpy(held, bytes_, sizeof bytes_);
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    std::memcpy(other.bytes_, held, sizeof bytes_);
    return *this;
  }
  ~trv_json_key() { free_block(); }

  // Whether the key is present (it may be present and empty).
  explicit operator bool() const noexcept { return bytes_[tag_byte] != absent_tag; }
  // The key's bytes; empty for an absent key.
  std::string_view operator*() const noexcept {
    const uint8_t tag = bytes_[tag_byte];
    if (tag <= inline_capacity) return {reinterpret_cast<const char*>(bytes_), tag};
    if (tag == absent_tag) return {};
    return {block(), block_size()};
  }
  // Member access on the key's bytes (key->empty(), key->find(...)).
  struct view_arrow {
    std::string_view text;
    const std::string_view* operator->() const noexcept { return &text; }
  };
  view_arrow operator->() const noexcept { return {**this}; }

  void reset() noexcept {
    free_block();
    bytes_[tag_byte] = absent_tag;
  }

 private:
  static constexpr size_t tag_byte = 15;
  static constexpr uint8_t inline_capacity = 15;
  static constexpr uint8_t block_tag = 0xFE;
  static constexpr uint8_t absent_tag = 0xFF;

  void assign(std::string_view text);
  const char* block() const noexcept {
    const char* p;
    std::memcpy(&p, bytes_, sizeof p);
    return p;
  }
  size_t block_size() const noexcept {
    uint64_t size = 0;
    std::memcpy(&size, bytes_ + 8, 7);
    return static_cast<size_t>(size);
  }
  void free_block() noexcept {
    if (bytes_[tag_byte] == block_tag) delete[] block();
  }

  uint8_t bytes_[16];
};
static_assert(sizeof(trv_json_key) == 16);
static_assert(std::endian::native == std::endian::little, "a long key's length is its low 7 bytes");
