// Runs arbitrary assembler text as a program (see fuzz_host.h); a crash, a sanitizer report or
// an exception escaping the task loop is a bug. The seeds are the test programs.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_host::initialize();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  fuzz_host::run_program(std::string_view(reinterpret_cast<const char*>(bytes), size));
  return 0;
}
