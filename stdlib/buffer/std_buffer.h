#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "objects/object_binding.h"
#include "values/pooled.h"

class trv_namespace;

// std.buffer: a vector of bytes, the payload of binary values and a script class of its own.
// Scripts read and write single bytes by index (negative indices count from the end), ask for
// the size and clear it; a buffer never grows by writing.
class trv_std_buffer : public trvobject<trv_std_buffer, "std.buffer">,
                       public trvptr_type_tag<trv_std_buffer>,
                       public trv_pooled_class {
 public:
  static constexpr uint32_t constructor_max_params = 0;
  static constexpr std::array<std::string_view, 0> constructor_parameter_docs{};
  // Storage up to this capacity is kept when a buffer is recycled, so repeated serialisation
  // does not allocate; larger storage goes back to the heap.
  static constexpr size_t kept_capacity = 1024;

  std::vector<uint8_t> bytes;

  static void script_register();
  // The populate callback of the "std" namespace that adds the constructor "buffer".
  static void populate_namespace(trv_namespace& ns);

  // Empties the buffer for its next use, freeing storage beyond kept_capacity.
  void recycle_storage();

  void release() override;
  // The bytes up to the first zero byte.
  std::string to_string() override;
  trvvar_shared get_index_member(int64_t index) override;
  void set_index_member(int64_t index, trvvar_shared& value) override;
  bool is_empty() override { return bytes.empty(); }
  int64_t element_count() override { return static_cast<int64_t>(bytes.size()); }
};

// The record's bytes for editing; a record of another type becomes an empty buffer first.
std::vector<uint8_t>& trvvar_get_or_make_binary(trvvar& v);
