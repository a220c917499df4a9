// The "j11" reader on untrusted bytes: it may refuse or throw the reader's error, never read
// out of bounds. Whatever it reads must survive a round trip: the container read from the input
// (A) is written (B) and read again; that second container must mean the same as the first and
// write exactly B again.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "stdlib/json/json_bool.h"
#include "stdlib/json/std_json.h"
#include "values/payload_objects.h"

namespace {

bool same_value(const trvvar& a, const trvvar& b) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case TRVVAR_INT:
      return a.payload.int_value == b.payload.int_value;
    case TRVVAR_FLOAT:  // bit for bit: NaNs and -0.0 must survive
      return std::memcmp(&a.payload.float_value, &b.payload.float_value, sizeof(double)) == 0;
    case TRVVAR_STRING:
      return trv_string_object_text(*a.payload.object) == trv_string_object_text(*b.payload.object);
    case TRVVAR_BINARY:
      return trv_buffer_object_bytes(*a.payload.object) ==
             trv_buffer_object_bytes(*b.payload.object);
    case TRVVAR_OBJECT: {  // the reader makes json.bool objects and containers held as objects
      trvobject_base* x = a.payload.object_payload->object.get();
      trvobject_base* y = b.payload.object_payload->object.get();
      if (auto* first = trv_object_cast<trv_std_json_bool>(x)) {
        auto* second = trv_object_cast<trv_std_json_bool>(y);
        return second != nullptr && first->get() == second->get();
      }
      // Containers are compared entry by entry by the caller.
      return trv_object_cast<trv_std_json>(x) != nullptr &&
             trv_object_cast<trv_std_json>(y) != nullptr;
    }
    default:
      // Containers are compared entry by entry by the caller; the other types read back as
      // their type alone.
      return true;
  }
}

// The container a value holds, as a json value or as an object; null for any other value.
trv_std_json* container_of(const trvvar& v) {
  if (v.type == TRVVAR_JSON) return trv_json_of(v);
  if (v.type != TRVVAR_OBJECT) return nullptr;
  return trv_object_cast<trv_std_json>(v.payload.object_payload->object.get());
}

// Same entries, keys and values, nested containers compared in turn (a work list: the reader
// admits 1024 levels).
bool same_meaning(trv_std_json& first, trv_std_json& second) {
  std::vector<std::pair<trv_std_json*, trv_std_json*>> pending{{&first, &second}};
  while (!pending.empty()) {
    auto [a, b] = pending.back();
    pending.pop_back();
    if (a->size() != b->size()) return false;
    for (size_t i = 0; i < a->size(); ++i) {
      const trv_json_entry& ea = a->entries[i];
      const trv_json_entry& eb = b->entries[i];
      if (static_cast<bool>(ea.key) != static_cast<bool>(eb.key)) return false;
      if (ea.key && *ea.key != *eb.key) return false;
      if (!same_value(*ea.value, *eb.value)) return false;
      if (trv_std_json* nested = container_of(*ea.value)) {
        pending.emplace_back(nested, container_of(*eb.value));
      }
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  trvvar_shared read_a = trv_new_json_var();
  trv_std_json& a = *trv_json_of(*read_a);
  try {
    if (!a.from_binary(data, size)) return 0;
  } catch (const std::runtime_error&) {
    return 0;
  }
  // Anything the reader accepted is within the writer's limits.
  std::vector<uint8_t> b_bytes;
  if (!a.to_binary(b_bytes)) std::abort();

  trvvar_shared read_b = trv_new_json_var();
  trv_std_json& b = *trv_json_of(*read_b);
  try {
    if (!b.from_binary(b_bytes)) std::abort();
  } catch (const std::runtime_error&) {
    std::abort();
  }
  if (!same_meaning(a, b)) std::abort();
  std::vector<uint8_t> c_bytes;
  if (!b.to_binary(c_bytes) || c_bytes != b_bytes) std::abort();
  return 0;
}
