#include "stdlib/string/string_split.h"

#include <algorithm>

#include "stdlib/string/ascii.h"
#include "stdlib/string/string_search.h"

void trv_add_part(trv_string_parts& parts, std::string_view part, bool strip) {
  parts.add(strip ? trv_trim_view(part) : part);
}

bool trv_split_needed(std::string_view text, int64_t max_parts, bool strip,
                      trv_string_parts& parts) {
  if (max_parts == 0) return false;
  if (max_parts == 1) {
    trv_add_part(parts, text, strip);
    return false;
  }
  return true;
}

void trv_split(std::string_view text, std::string_view delim, int64_t max_parts, bool strip,
               trv_string_parts& parts) {
  if (!trv_split_needed(text, max_parts, strip, parts)) return;
  // Every negative max_parts becomes a cap no count reaches.
  const uint64_t limit = static_cast<uint64_t>(max_parts);
  if (delim.size() == 1) {
    // A one-byte delimiter is the common case and quick to count: the parts are known, and a
    // list grows once instead of moving its entries at every doubling.
    parts.expect(static_cast<size_t>(std::min(trv_count_byte(text, delim[0]) + 1, limit)));
  }
  size_t pos = 0;
  if (delim.empty()) {
    // Found at pos every time: only a cap ends the loop, and the cap on empty parts keeps a
    // huge one from filling memory.
    if (max_parts > 0) {
      const uint64_t empty = std::min(limit - 1, trv_max_empty_delim_parts);
      parts.expect(static_cast<size_t>(empty + 1));
      for (uint64_t i = 0; i < empty; ++i) trv_add_part(parts, {}, strip);
    }
  } else {
    uint64_t found = 0;
    for (size_t at = trv_find_text(text, delim, 0); at != std::string_view::npos;
         at = trv_find_text(text, delim, pos)) {
      if (++found == limit) break;
      trv_add_part(parts, text.substr(pos, at - pos), strip);
      pos = at + delim.size();
    }
  }
  trv_add_part(parts, text.substr(pos), strip);
}

void trv_split_words(std::string_view text, trv_string_parts& parts) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && trv_is_space(text[i])) ++i;
    const size_t begin = i;
    while (i < text.size() && !trv_is_space(text[i])) ++i;
    if (i > begin) parts.add(text.substr(begin, i - begin));
  }
}
