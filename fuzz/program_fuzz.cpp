// Runs arbitrary assembler text as trvrun runs a program: against the module's namespaces and
// the host's, with the host's task loop and two workers, on a fresh runtime per input. A text
// that does not assemble is an answer, and so is a runtime error; a crash, a sanitizer report
// or an exception escaping the loop is a bug. The seeds are the test programs.
//
// An instruction budget stops programs that loop forever. The host's "routine" is left out: a
// routine scheduled hours ahead would keep the loop asleep. Output is dropped. A text with a
// number above 10^8 is skipped: as a length, a size or an index it asks for more memory than
// there is, which the module reports as "Out of memory." but which the sanitizer's allocator
// ends the process for.

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <string_view>

#include "glue/global_instance.h"
#include "host/assembler.h"
#include "host/host_namespace.h"
#include "host/module_loader.h"
#include "host/runtime_driver.h"
#include "host/standard_classes.h"
#include "host/task_loop.h"
#include "host/worker_pool.h"
#include "objects/namespace.h"
#include "vm/interpreter.h"
#include "vm/task.h"
#include "vm/vm_context.h"

namespace {

// Instructions one input may execute, over all its tasks.
constexpr size_t instruction_budget = 50000;
size_t executed = 0;

// After the budget every frame is stopped before its instruction, and its task with it.
void count_instruction(trv_vm_context& frame, const uint8_t*, size_t) {
  if (++executed <= instruction_budget) return;
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

// Whether the text holds a number (decimal, hexadecimal or with an exponent) above 10^8.
bool has_huge_number(std::string_view text) {
  const std::string copy(text);
  for (const char* at = copy.c_str(); *at != 0;) {
    if (!std::isdigit(static_cast<unsigned char>(*at))) {
      ++at;
      continue;
    }
    char* end = nullptr;
    const double value = std::strtod(at, &end);
    if (!(std::fabs(value) <= 1e8)) return true;
    at = end > at ? end : at + 1;
  }
  return false;
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

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cout.rdbuf(nullptr);  // a stream without a buffer drops what is written to it
  namespaces();
  trv_set_trace_hook(count_instruction);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  if (has_huge_number(text)) return 0;
  executed = 0;
  trvhost::runtime_driver driver("program_fuzz");
  driver.take_ownership();
  try {
    trvhost::assembled_program program = trvhost::assemble(text, "fuzz.tasm", resolve);
    trvhost::task_loop loop(driver);
    trvhost::worker_pool workers(driver.runtime(), 2);
    trvptr_strong<trv_task> root = trv_task_for_block(program.root);
    loop.run(root);
  } catch (const trvhost::assembly_error&) {
  }
  return 0;
}
