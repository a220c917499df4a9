// Runs arbitrary assembler text as a program (see fuzz_host.h); a crash, a sanitizer report or
// an exception escaping the task loop is a bug. The seeds are the test programs.
//
// A text with a number above 10^8 is skipped: as a length, a size or an index it asks for more
// memory than there is, which the module reports as "Out of memory." but which the sanitizer's
// allocator ends the process for.

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_host.h"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_host::initialize();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  if (!has_huge_number(text)) fuzz_host::run_program(text);
  return 0;
}
