#include "glue/hashing.h"

#include <xxhash.h>

size_t trv_hasher::operator()(std::string_view key) const noexcept {
  return static_cast<size_t>(XXH3_64bits(key.data(), key.size()));
}
