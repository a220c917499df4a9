#pragma once

// The regular-expression engine behind the regex_ methods of std.string: ECMAScript grammar,
// case-sensitive, bytes, default match rules. Every pattern is compiled afresh per call; only
// the escape pattern is compiled once per process.
//
// Every function except trv_regex_escape throws (an exception derived from std::exception)
// for an invalid pattern and when matching hits the engine's complexity or memory limit,
// instead of running without bound or overflowing the stack. Parts collected before such a
// failure stay collected.
//
// The engine (Boost.Regex) is included only by regex_engine.cpp.

#include <cstdint>
#include <string>
#include <string_view>

#include "stdlib/string/string_parts.h"

// Whether the whole text matches.
bool trv_regex_match(std::string_view text, std::string_view pattern);
// The byte offset of the first match, -1 when there is none.
int64_t trv_regex_search(std::string_view text, std::string_view pattern);
// The text of every match (group 0) in order; empty matches included.
void trv_regex_findall(std::string_view text, std::string_view pattern, trv_string_parts& out);
// The text with every match replaced by `format` ($& the match, $1 ... $99 groups, $` and $'
// the text before and after the match, $$ a dollar sign; everything else, backslashes
// included, is copied as it is).
std::string trv_regex_replace(std::string_view text, std::string_view pattern,
                              std::string_view format);
// The pieces between matches: the text before each match, then the rest after the last match
// when it is not empty; the whole text (even empty) when nothing matches.
void trv_regex_split(std::string_view text, std::string_view pattern, trv_string_parts& out);
// The text with a backslash before each of . ^ $ | ( ) [ ] { } * + ? and backslash.
std::string trv_regex_escape(std::string_view text);
