// JSON text through from_string, salvage included, then printed and parsed again: the
// printed form of any parsed container must parse without salvage.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "stdlib/json/json_text.h"
#include "stdlib/json/std_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  trvvar_shared var = trv_new_json_var();
  trv_std_json& container = *trv_json_of(*var);
  if (!trv_json_from_string(container, text, true)) return 0;
  const std::string printed = trv_json_to_text(container, true);
  trvvar_shared again = trv_new_json_var();
  if (!trv_json_from_string(*trv_json_of(*again), printed, true)) std::abort();
  if (trv_json_to_text(*trv_json_of(*again), true) != printed) std::abort();
  return 0;
}
