#pragma once

// Salvage of broken JSON text: the longest prefix of the text that parses on its own, or
// completed by one closing bracket matching the text's first character. The literal search
// parses every prefix; this one parses only the prefixes a single forward scan marks as able
// to succeed, from the longest down, and none longer than where the whole text failed, so it
// does a few parses instead of one per byte, and bisects the cuts inside a number. Both give
// the same prefix.

#include <cstddef>
#include <optional>
#include <string_view>

struct trv_json_salvage {
  size_t length;  // bytes of the text kept
  char closing;   // the bracket appended, or 0
};

// `text` starts with '{', '[' or '"' and failed to parse at `error_position` (the parser's
// count of characters read when it gave up). Empty when no prefix parses.
std::optional<trv_json_salvage> trv_json_find_salvage(std::string_view text, size_t error_position);
