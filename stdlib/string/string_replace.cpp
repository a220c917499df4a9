#include "stdlib/string/string_replace.h"

#include "stdlib/string/ascii.h"

namespace {

// The compact form of a text: its bytes without whitespace. The position map of a compact
// position back into the text is computed on demand (full_position) instead of being stored:
// the replacement needs only two entries of it.
std::string compact(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (!trv_is_space(c)) out.push_back(c);
  }
  return out;
}

// The position in text of the byte at compact position k (k below the compact length).
size_t full_position(std::string_view text, size_t k) {
  size_t i = 0;
  for (;; ++i) {
    if (!trv_is_space(text[i]) && k-- == 0) return i;
  }
}

}  // namespace

size_t trv_replace_all(std::string& text, std::string_view search, std::string_view replacement) {
  return trv_substitute(text, search, [replacement](size_t) { return replacement; });
}

std::string trv_replace_first(std::string_view text, std::string_view search,
                              std::string_view replacement) {
  const size_t at = search.empty() ? 0 : trv_find_text(text, search, 0);
  if (at == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size() - search.size() + replacement.size());
  out.append(text.substr(0, at)).append(replacement).append(text.substr(at + search.size()));
  return out;
}

std::string trv_replace_ignoring_whitespace(std::string_view text, std::string_view search,
                                            std::string_view replacement) {
  const std::string compact_search = compact(search);
  // A search of nothing but whitespace matches the empty text, first found at the very front:
  // like Python's text.replace("", replacement, 1) the replacement goes in front.
  if (compact_search.empty()) return std::string(replacement).append(text);
  const size_t k = trv_find_text(compact(text), compact_search, 0);
  if (k == std::string_view::npos) return std::string(text);
  const size_t begin = full_position(text, k);
  const size_t end = full_position(text.substr(begin), compact_search.size() - 1) + begin + 1;
  std::string out;
  out.reserve(text.size() - (end - begin) + replacement.size());
  out.append(text.substr(0, begin)).append(replacement).append(text.substr(end));
  return out;
}
