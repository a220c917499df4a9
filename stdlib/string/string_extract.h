#pragma once

// Cutting the text between delimiters out of a byte string.

#include <string_view>

#include "stdlib/string/string_parts.h"

// The text between the first `left` and the first `right` behind it; empty when either is
// missing. Empty delimiters are found at once.
std::string_view trv_extract(std::string_view text, std::string_view left, std::string_view right);

// The text strictly between the first and the last double quote; the whole text when there
// are fewer than two quotes or they are adjacent.
std::string_view trv_extract_quotes(std::string_view text);

// Every text between a `left` and the next `right` behind it, in order, each pair searched
// behind the previous one. A `left` without a `right` behind it logs "extract_all: Missing
// right delimiter: " and the right delimiter at the warning level and ends the scan.
void trv_extract_all(std::string_view text, std::string_view left, std::string_view right,
                     trv_string_parts& parts);
