#pragma once

// Editing a byte string: case, trimming, whitespace, slicing, justification and removal.
// Functions taking a std::string& change it in place; the others build a new text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

void trv_lowercase(std::string& text);
void trv_uppercase(std::string& text);

void trv_trim(std::string& text);
void trv_ltrim(std::string& text);
void trv_rtrim(std::string& text);

// Each line without its trailing whitespace; line feeds and CR LF pairs are kept as they are,
// a lone CR is no line break (and stops the stripping of its line).
std::string trv_rstrip_lines(std::string_view text);

// Every run of whitespace, at the ends as well, becomes one space; in one pass, in place.
void trv_compress_whitespace(std::string& text);

// count bytes from start. A negative start counts from the end; the start is clamped into the
// text; a negative count, or one reaching past the end, means to the end.
std::string_view trv_substr(std::string_view text, int64_t start, std::optional<int64_t> count);

enum class trv_justification { left, right, center };

// The text padded with `fill` to `width` bytes (an odd surplus of "center" goes to the right);
// a text not shorter than width is returned whole. A width beyond the largest string (every
// negative script integer) throws std::length_error("string too long").
std::string trv_justify(std::string_view text, uint64_t width, char fill, trv_justification how);

std::string_view trv_removeprefix(std::string_view text, std::string_view prefix);
std::string_view trv_removesuffix(std::string_view text, std::string_view suffix);

// Removes every byte that occurs in `chars`.
void trv_remove_chars(std::string& text, std::string_view chars);
// Removes every byte that does not occur in `keep`. The keep set governs all 256 byte values,
// NUL and 0x80-0xFF included, as a Python user filtering characters would expect.
void trv_keep_chars(std::string& text, std::string_view keep);

// Writes `piece` at index (negative counts from the end, then at least 0): the text is first
// padded with spaces up to index; a piece reaching past the end replaces the tail, otherwise
// it overwrites its bytes and the length stays.
void trv_write_at(std::string& text, int64_t index, std::string_view piece);
