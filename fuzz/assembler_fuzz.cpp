// Assembles arbitrary text with a resolver that knows one native. An assembly error is an
// answer; any other exception escaping, or a sanitizer report, is a bug. A program that
// assembles must survive its listing too: the listing assembles again and lists the same.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/assembler.h"
#include "host/listing.h"

namespace {

trv_function_def* resolve(std::string_view ns, std::string_view name) {
  static trv_function_def* const testfn = [] {
    auto* definition = new trv_function_def();
    definition->name = "testfn";
    return definition;
  }();
  return ns == "opencv" && name == "testfn" ? testfn : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  std::string listing;
  try {
    listing = trvhost::list_program(trvhost::assemble(text, "fuzz.tasm", resolve));
  } catch (const trvhost::assembly_error&) {
    return 0;
  }
  if (trvhost::list_program(trvhost::assemble(listing, "listing.tasm", resolve)) != listing) {
    __builtin_trap();
  }
  return 0;
}
