#pragma once

#include <cstdint>
#include <vector>

// Reads a binary record: data, size, and the offset of the next byte to read.
struct trv_binary_reader {
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  uint64_t position = 0;
};

// What an object offers for the binary form of values. The defaults log that the class does
// not implement it and fail.
class trv_serializable {
 public:
  // Appends the object's record.
  virtual bool to_binary(std::vector<uint8_t>& writer);
  virtual bool from_binary(const std::vector<uint8_t>& bytes);
  virtual bool from_binary(const uint8_t* data, uint64_t size);
  virtual bool from_binary(trv_binary_reader& reader);

 protected:
  // Objects are destroyed through their managed-object base, never through this interface.
  ~trv_serializable() = default;
};
