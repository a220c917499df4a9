#pragma once

// A callable definition: what script code calls under a function's name. Registration fills
// it; the interpreter checks argument counts against it and calls native_callback.

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "glue/object_ptr.h"
#include "values/var.h"

class trv_vm_context;
class trvobject_base;

using trv_native_callback =
    std::function<trvvar_shared(trv_vm_context&, std::vector<trvvar_shared>&)>;

inline constexpr uint32_t trv_any_param_count = 999;

// The native marker: 1 means the interpreter dereferences arguments before the call.
inline constexpr uint32_t TRV_NATIVE_DEREF_ARGUMENTS = 1;

class trv_function_def : public trvptr_base<trv_function_def> {
 public:
  bool pooled_control_block_allowed() const override { return false; }

  trv_native_callback native_callback;
  uint32_t min_params = 0;
  uint32_t max_params = 0;  // 999: any number
  std::string_view name;    // static storage: the definition does not copy it
  std::string_view documentation;
  std::string_view class_name;  // the script class a constructor function builds
  std::vector<std::string_view> parameter_documentation;  // "name:type - description"
  std::vector<std::array<uint64_t, 2>> second_list;       // never filled by native code
  uint32_t native_marker = 0;
};

// The object whose native method the context is running; defined with the call frame.
trvobject_base* trv_context_native_object(trv_vm_context& context);
