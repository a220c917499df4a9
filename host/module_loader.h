#pragma once

// Loads a module the way the interpreter does: through its two exports only. The loader
// checks the glue descriptor, takes the module's global instance, makes the module use the
// host's per-thread records and builds one namespace per registered name by running that
// name's populate callbacks in order.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glue/global_instance.h"
#include "glue/glue_descriptor.h"
#include "host/platform/library.h"
#include "objects/namespace.h"
#include "values/var.h"
#include "vm/vm_context.h"

namespace trvhost {

// Why the host cannot use a module with this descriptor, as one line; nothing when it can.
std::optional<std::string> descriptor_problem(const trv_glue_descriptor& descriptor);

class module_loader {
 public:
  using namespace_table = std::map<std::string, trv_namespace, std::less<>>;

  // Throws std::runtime_error with a one-line reason when the module cannot be used.
  explicit module_loader(const std::string& path);

  trv_global_instance& instance() const { return *instance_; }
  // By name, so listings come out sorted.
  const namespace_table& namespaces() const { return namespaces_; }
  // Null when the module registered no namespace of that name.
  const trv_namespace* find_namespace(std::string_view name) const;

 private:
  // Namespaces hold definitions whose code lives in the library, so they are declared after
  // it and destroyed before it is closed.
  shared_library library_;
  trv_global_instance* instance_;
  namespace_table namespaces_;
};

// The definition a native function variable names; null for any other variable or when the
// definition is gone.
trv_function_def* native_definition(const trvvar& function);

// Calls a namespace's native function the way the interpreter does (vm/call.h: the count
// checked, failures reported as runtime errors with an empty result). Throws
// std::runtime_error when the name holds no native function.
trvvar_shared call_native_function(const trv_namespace& ns, std::string_view name,
                                   trv_vm_context& context, std::vector<trvvar_shared>& args);

}  // namespace trvhost
