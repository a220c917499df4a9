#include "stdlib/json/json_key.h"

void trv_json_key::assign(std::string_view text) {
  if (text.size() <= inline_capacity) {
    if (!text.empty()) std::memcpy(bytes_, text.data(), text.size());  // an empty view may be null
    bytes_[tag_byte] = static_cast<uint8_t>(text.size());
    return;
  }
  char* p = new char[text.size()];
  std::memcpy(p, text.data(), text.size());
  const uint64_t size = text.size();
  std::memcpy(bytes_, &p, sizeof p);
  std::memcpy(bytes_ + 8, &size, 7);
  bytes_[tag_byte] = block_tag;
}
