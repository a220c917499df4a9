#pragma once

// Replacing text inside a byte string.
//
// Scans are left to right and non-overlapping, and go on behind each occurrence in the
// original text, so inserted text is never searched again. An empty search text occurs, as
// in Python's str.replace, once before every byte and once at the end ("ab" holds it at 0, 1
// and 2): a scan that kept finding it in the same place would never end.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "stdlib/string/string_search.h"

// Replaces the n-th occurrence of `search` (n from 0) by replacement_for(n), for as long as
// that gives a text; the first nullopt stops the scan and later occurrences stay. Returns the
// number replaced. The text is rebuilt once at the end, so the replacements may view `text`.
template <class ReplacementFor>
size_t trv_substitute(std::string& text, std::string_view search,
                      ReplacementFor&& replacement_for) {
  std::string out;
  size_t copied = 0;  // text before this position is already in out
  size_t n = 0;
  size_t at = search.empty() ? 0 : trv_find_text(text, search, 0);
  while (at != std::string_view::npos) {
    const std::optional<std::string_view> replacement = replacement_for(n);
    if (!replacement) break;
    if (n == 0) out.reserve(text.size());
    out.append(text, copied, at - copied).append(*replacement);
    copied = at + search.size();
    ++n;
    if (search.empty()) {
      at = at < text.size() ? at + 1 : std::string_view::npos;
    } else {
      at = trv_find_text(text, search, copied);
    }
  }
  if (n == 0) return 0;
  out.append(text, copied);
  text = std::move(out);
  return n;
}

// Every occurrence; returns how many were replaced.
size_t trv_replace_all(std::string& text, std::string_view search, std::string_view replacement);

// The first occurrence only; an empty search puts the replacement in front.
std::string trv_replace_first(std::string_view text, std::string_view search,
                              std::string_view replacement);

// The first occurrence of search when whitespace is ignored on both sides: the span from the
// first to the last non-whitespace byte of the match is replaced by the replacement as given;
// whitespace around the span stays.
std::string trv_replace_ignoring_whitespace(std::string_view text, std::string_view search,
                                            std::string_view replacement);
