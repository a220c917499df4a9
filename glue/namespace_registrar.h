#pragma once

#include <string_view>

#include "glue/global_instance.h"

// Constructing a registrar records a populate callback for a namespace name in the global
// instance; the host later runs it with a namespace of that name. The name must have static
// storage. The registrar holds nothing afterwards.
class trv_namespace_registrar {
 public:
  trv_namespace_registrar(std::string_view name, trv_populate_callback callback);
};
