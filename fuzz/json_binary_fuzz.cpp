// The "j11" reader on untrusted bytes: it may refuse or throw the reader's error, never read
// out of bounds; whatever it reads can be written again.

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "stdlib/json/std_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  trvvar_shared var = trv_new_json_var();
  trv_std_json& container = *trv_json_of(*var);
  try {
    if (!container.from_binary(data, size)) return 0;
  } catch (const std::runtime_error&) {
    return 0;
  }
  std::vector<uint8_t> written;
  container.to_binary(written);
  return 0;
}
