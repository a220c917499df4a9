#pragma once

// Splitting a byte string into parts.
//
// max_parts: 0 gives no part, 1 the whole text; above 1 it caps the number of parts (the
// last one holds the rest of the text); every negative value means no cap. With `strip`,
// every part loses its leading and trailing whitespace: the last part and the single part
// as well, which is what "strip individual parts" promises.

#include <cstdint>
#include <string_view>

#include "stdlib/string/string_parts.h"

// Parts between occurrences of delim, searched left to right. A text without delim is one
// part. An empty delim is found at once wherever the search stands: with a cap of n parts it
// gives n - 1 empty parts and then the whole text ("abc" by "" into 3: "", "", "abc"), at most
// trv_max_empty_delim_parts of them; without a cap it splits nothing (the whole text).
inline constexpr uint64_t trv_max_empty_delim_parts = 1u << 16;

void trv_split(std::string_view text, std::string_view delim, int64_t max_parts, bool strip,
               trv_string_parts& parts);

// The maximal runs of non-whitespace bytes.
void trv_split_words(std::string_view text, trv_string_parts& parts);

// The cases every split shares: whether max_parts leaves anything to split. Adds the result
// of max_parts 0 and 1 (none, or the whole text) and answers false for them.
bool trv_split_needed(std::string_view text, int64_t max_parts, bool strip,
                      trv_string_parts& parts);

// Adds a part, without its surrounding whitespace when `strip` is set.
void trv_add_part(trv_string_parts& parts, std::string_view part, bool strip);
