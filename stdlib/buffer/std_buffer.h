#pragma once

#include <cstdint>
#include <vector>

#include "objects/object_binding.h"

// std.buffer: a vector of bytes.
class trv_std_buffer : public trvobject<trv_std_buffer, "std.buffer">,
                       public trvptr_type_tag<trv_std_buffer> {
 public:
  std::vector<uint8_t> bytes;

  static void script_register();
};

// The record's bytes for editing; a record of another type becomes an empty buffer first.
std::vector<uint8_t>& trvvar_get_or_make_binary(trvvar& v);
