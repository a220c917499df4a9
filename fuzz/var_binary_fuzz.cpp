// Feeds arbitrary bytes to the variable reader, record after record, and writes back what it
// read. A record that reads back must write the same bytes again after a second round trip.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "values/binary_form.h"

namespace {

bool round_trip(const trvvar& v, std::vector<uint8_t>& first) {
  first.clear();
  trvvar_to_binary(v, first);
  trvvar_shared again = trvvar_new();
  trv_binary_reader reader{first.data(), first.size(), 0};
  if (!trvvar_from_binary(*again, reader)) return true;  // a type that cannot be read back
  std::vector<uint8_t> second;
  trvvar_to_binary(*again, second);
  return second == first;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  trv_binary_reader reader{data, size, 0};
  trvvar_shared v = trvvar_new();
  std::vector<uint8_t> written;
  try {
    while (reader.position < reader.size) {
      const uint64_t before = reader.position;
      trvvar_from_binary(*v, reader);
      if (reader.position <= before || reader.position > reader.size) std::abort();
      if (!round_trip(*v, written)) std::abort();
    }
  } catch (const std::runtime_error&) {
    // malformed input: one of the reader's fixed errors
  }
  return 0;
}
