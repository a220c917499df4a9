#pragma once

// Splitting source-like text at a delimiter that counts only outside quotes, comments and
// brackets.
//
// One pass over the text in a lexical state. In the normal state a byte may open a line
// comment ("//", to and including the next line feed), a block comment ("/*" to "*/"), a
// triple-quoted string (''' or """ to the same three bytes), a raw string (R"delim( to
// )delim"), or a quoted string (' or " to the same quote preceded by an even number of
// backslashes); otherwise round, square and curly brackets raise and lower their depths (a
// closer at depth 0 is ignored), and the delimiter splits only when all three depths are 0.
// Unterminated strings and comments run to the end of the text.
//
// max_parts, strip and the whole-text result of an empty delimiter are as for trv_split.

#include <cstdint>
#include <string_view>

#include "stdlib/string/string_parts.h"

void trv_smart_split(std::string_view text, std::string_view delim, int64_t max_parts, bool strip,
                     trv_string_parts& parts);
