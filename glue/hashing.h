#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>

// Every name-keyed table of the runtime hashes its keys with XXH3 (64-bit, default secret,
// seed 0) and compares them byte-wise. Both functors are transparent, so a lookup can be made
// with any string-like key without building a std::string.
struct trv_hasher {
  using is_transparent = void;
  size_t operator()(std::string_view key) const noexcept;
};

struct trv_transparent_equal {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return a.size() == b.size() && a.compare(b) == 0;
  }
};

// Name tables start with 8 buckets and grow at a load factor of 1.0.
template <class Value>
using trv_name_map = std::unordered_map<std::string_view, Value, trv_hasher, trv_transparent_equal>;

inline constexpr size_t trv_initial_buckets = 8;

template <class Map>
Map trv_make_table() {
  Map map(trv_initial_buckets);
  map.max_load_factor(1.0f);
  return map;
}
