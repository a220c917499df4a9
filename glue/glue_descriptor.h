#pragma once

#include <cstdint>

// What a host reads through tarvoglue_check to decide whether it can use the module.
struct trv_glue_descriptor {
  uint32_t glue_version;
  uint64_t second_field;
  uint64_t third_field;
  char module_tag[40];
};
static_assert(sizeof(trv_glue_descriptor) == 64, "the descriptor layout is shared with the host");

inline constexpr uint32_t trv_glue_version = 3001;
inline constexpr char trv_module_tag[] = "MODULE_INTERNAL";
