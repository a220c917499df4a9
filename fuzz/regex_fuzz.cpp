// Drives the regular-expression engine with fuzzed patterns and texts. ASan and UBSan catch
// any access outside the pattern or the text, in rewriting the pattern for the engine or in
// matching; the checks below catch results that do not fit the text.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "stdlib/string/regex_engine.h"

namespace {

struct collected final : trv_string_parts {
  std::vector<std::string> parts;
  void add(std::string_view part) override { parts.emplace_back(part); }
};

// The parts are cut from the text in order: each is found at or after the end of the one
// before.
void check_in_order(const std::vector<std::string>& parts, std::string_view text) {
  size_t from = 0;
  for (const std::string& part : parts) {
    const size_t at = text.find(part, from);
    if (at == text.npos) std::abort();
    from = at + part.size();
  }
}

template <class Call>
void unless_refused(Call call) {
  try {
    call();
  } catch (const std::exception&) {
    // An invalid pattern, or a limit of the engine: the methods give their fallbacks.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  const std::string pattern = data.ConsumeRandomLengthString(64);
  const std::string text = data.ConsumeRemainingBytesAsString();

  unless_refused([&] {
    const bool whole = trv_regex_match(text, pattern);
    const int64_t first = trv_regex_search(text, pattern);
    if (first < -1 || first > static_cast<int64_t>(text.size())) std::abort();
    if (whole && first != 0) std::abort();  // a match of the whole text starts at 0
  });
  unless_refused([&] {
    collected found;
    trv_regex_findall(text, pattern, found);
    check_in_order(found.parts, text);
  });
  unless_refused([&] {
    collected pieces;
    trv_regex_split(text, pattern, pieces);
    check_in_order(pieces.parts, text);
  });
  unless_refused([&] {
    // Each match put back in its own place gives the text again.
    if (trv_regex_replace(text, pattern, "$&") != text) std::abort();
  });
  // An escaped text is a pattern that matches exactly that text.
  unless_refused([&] {
    if (!trv_regex_match(text, trv_regex_escape(text))) std::abort();
  });
  return 0;
}
