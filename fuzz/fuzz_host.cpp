#include "fuzz/fuzz_host.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <map>
#include <string>

#include "glue/global_instance.h"
#include "host/assembler.h"
#include "host/host_namespace.h"
#include "host/module_loader.h"
#include "host/runtime_driver.h"
#include "host/standard_classes.h"
#include "host/task_loop.h"
#include "host/worker_pool.h"
#include "objects/function_def.h"
#include "objects/namespace.h"
#include "objects/object_metadata.h"
#include "vm/interpreter.h"
#include "vm/task.h"
#include "vm/vm_context.h"

namespace fuzz_host {
namespace {

size_t instructions_left = 0;

// After the budget every frame is stopped before its instruction, and its task with it, so that
// a frame that a return or break would resume at the same place is not run again.
void count_instruction(trv_vm_context& frame, const uint8_t*, size_t) {
  if (instructions_left > 0) {
    --instructions_left;
    return;
  }
  frame.status = 128;
  frame.task->stop = 1;
}

using namespace_table = std::map<std::string, trv_namespace, std::less<>>;

// The module's namespaces built from its registrations as the loader builds them, and the
// host's; they live as long as the process.
const namespace_table& namespaces() {
  static const namespace_table* const all = [] {
    trvhost::register_standard_classes();
    auto* table = new namespace_table();
    for (auto& [name, callbacks] : trv_get_global_instance()->namespace_registrations) {
      trv_namespace& ns = table->try_emplace(std::string(name)).first->second;
      for (auto& populate : callbacks) populate(ns);
    }
    trv_namespace& host = (*table)["host"];
    trvhost::populate_host_namespace(host);
    host.functions.erase("routine");
    return table;
  }();
  return *all;
}

trv_function_def* resolve(std::string_view ns, std::string_view name) {
  const namespace_table& all = namespaces();
  const auto found = all.find(ns);
  if (found == all.end()) return nullptr;
  const auto function = found->second.functions.find(name);
  if (function == found->second.functions.end() || !function->second) return nullptr;
  return trvhost::native_definition(*function->second);
}

}  // namespace

void initialize() {
  std::cout.rdbuf(nullptr);  // a stream without a buffer drops what is written to it
  namespaces();
}

void start_instruction_budget(size_t budget) {
  instructions_left = budget;
  trv_set_trace_hook(count_instruction);
}

bool run_program(std::string_view text) {
  // Instructions one run may execute, over all its tasks.
  start_instruction_budget(50000);
  trvhost::runtime_driver driver("fuzz");
  driver.take_ownership();
  try {
    trvhost::assembled_program program = trvhost::assemble(text, "fuzz.tasm", resolve);
    trvhost::task_loop loop(driver);
    trvhost::worker_pool workers(driver.runtime(), 2);
    trvptr_strong<trv_task> root = trv_task_for_block(program.root);
    loop.run(root);
  } catch (const trvhost::assembly_error&) {
    return false;
  }
  return true;
}

const std::map<std::string_view, std::vector<method>>& methods_by_class() {
  static const auto* const table = [] {
    namespaces();
    auto* by_class = new std::map<std::string_view, std::vector<method>>();
    for (const auto& [class_name, metadata] : *trv_get_global_instance()->object_metadata) {
      for (const auto& [name, definition] : metadata->methods) {
        const method found{name, definition->min_params, definition->max_params};
        (*by_class)[class_name].push_back(found);
        (*by_class)[""].push_back(found);
      }
    }
    // Each name once: under the empty name, the first class's method of that name.
    for (auto& [class_name, methods] : *by_class) {
      std::stable_sort(methods.begin(), methods.end(),
                       [](const method& a, const method& b) { return a.name < b.name; });
      methods.erase(std::unique(methods.begin(), methods.end(),
                                [](const method& a, const method& b) { return a.name == b.name; }),
                    methods.end());
    }
    return by_class;
  }();
  return *table;
}

}  // namespace fuzz_host
