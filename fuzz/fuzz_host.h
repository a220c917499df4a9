#pragma once

// What the program fuzzers share: running assembler text as trvrun runs a program, against the
// module's namespaces and the host's, with the host's task loop and two workers, on a fresh
// runtime per run. A text that does not assemble is an answer, and so is a runtime error.
//
// An instruction budget stops programs that loop forever. The host's "routine" is left out: a
// routine scheduled hours ahead would keep the loop asleep. Output is dropped. Linked with
// memory_limit.cpp, a program has 64 MiB.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

namespace fuzz_host {

// Sets the process up once: namespaces, output dropped.
void initialize();

// From now on the interpreter stops every frame, and its task, once `budget` more instructions
// have run (the interpreter's trace hook counts them).
void start_instruction_budget(size_t budget);

// Assembles and runs `text`; false when it does not assemble.
bool run_program(std::string_view text);

struct method {
  std::string_view name;
  uint32_t min_params;
  uint32_t max_params;
};

// The methods of each native class by its script name, sorted by name; under the empty name,
// every class's, each name once.
const std::map<std::string_view, std::vector<method>>& methods_by_class();

}  // namespace fuzz_host
