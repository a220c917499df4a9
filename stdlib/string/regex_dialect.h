#pragma once

// Patterns are written in the ECMAScript grammar of the standard library's std::regex; the
// engine (Boost.Regex, in its own ECMAScript mode) reads a wider Perl-like dialect in which
// some of the same text means something else. This is the bridge between the two.

#include <cstddef>
#include <string>
#include <string_view>

// The pattern written so that the engine reads what ECMAScript reads:
// - "." is any character but "\n" and "\r";
// - "[]" matches nothing and "[^]" any character; a class ends at its first unescaped "]";
// - "\uHHHH" is the byte of its low eight bits, "\xHH" that byte (exactly four and two hex
//   digits), and an escaped character without a meaning of its own is that character ("\z" is
//   "z", "\Q" is "Q"), where the engine has its own escapes for many of them;
// - of the groups "(?", only "(?:", "(?=" and "(?!" exist (an empty lookahead included), "(*"
//   is nothing to repeat, and a "{" outside a class starts a repeat count "{n}", "{n,}" or
//   "{n,m}";
// - "\N" names group N by all its digits, and matches the empty text while that group has
//   not taken part in the match; it is refused inside group N itself, as the standard library
//   refuses it; "\0" is the byte 0, whatever digits follow;
// - in a class, two negated class escapes ("[\S\D]") take what either takes, a "-" right
//   after a range is a dash, and only the standard class names exist ("blank" is the space
//   and the tab).
// Throws std::invalid_argument for a pattern the grammar refuses in those respects; everything
// else is left for the engine to accept or refuse.
std::string trv_regex_for_engine(std::string_view pattern);

// The position just past the bracket class that opens at `open`, npos when it does not close:
// the first "]" after the "[" (or "[^") that is neither escaped nor inside "[:name:]", "[.x.]"
// or "[=x=]".
size_t trv_regex_class_end(std::string_view pattern, size_t open);
