#pragma once

// Searching a byte string: exact byte comparison, positions as byte offsets. The script-facing
// functions answer -1 where nothing is found and clamp every start position into the text, so
// no argument value can make them look outside it.

#include <cstdint>
#include <optional>
#include <string_view>

// The first occurrence of a non-empty `sub` at or after `from`, or npos; `from` may lie past
// the end.
size_t trv_find_text(std::string_view text, std::string_view sub, size_t from);

// How many bytes of the text equal `byte`.
size_t trv_count_byte(std::string_view text, char byte);

// Non-overlapping occurrences, each search starting behind the previous match; an empty sub
// occurs 0 times.
int64_t trv_count(std::string_view text, std::string_view sub);

// The first occurrence at or after start; a negative start counts from the end. An empty sub
// is found at the (clamped) start.
int64_t trv_find(std::string_view text, std::string_view sub, std::optional<int64_t> start);

// The last occurrence beginning at or before start (default: the last byte); a negative start
// counts from the end, and one still negative after that means no limit.
int64_t trv_rfind(std::string_view text, std::string_view sub, std::optional<int64_t> start);

// The first byte at or after start that is (in_set) or is not (!in_set) one of `chars`.
int64_t trv_find_first_of(std::string_view text, std::string_view chars,
                          std::optional<int64_t> start, bool in_set);

// The last byte at or before start that is (in_set) or is not (!in_set) one of `chars`; start
// as for trv_rfind.
int64_t trv_find_last_of(std::string_view text, std::string_view chars,
                         std::optional<int64_t> start, bool in_set);

// Whether the text with its whitespace removed contains sub with its whitespace removed.
bool trv_contains_ignoring_whitespace(std::string_view text, std::string_view sub);
