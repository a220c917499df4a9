#pragma once

// The binary form of values.
//
// Every variable can be written to a byte vector and read back. Integers are varints (7 bits a
// byte, least significant group first, bit 7 set on all bytes but the last; at most 10 bytes),
// signed ones zigzag-mapped so small magnitudes of either sign take one byte. Strings are a
// varint length, the bytes and a 0x00; byte blocks a varint length and the bytes; floats the 8
// bytes of the IEEE double, little-endian. A record starts with a section header: a string
// holding its tag, "v11" for a variable.
//
// The reader faces untrusted input: it never reads outside [data, data + size) and never
// allocates; every length is checked against what remains before use. Malformed input raises
// std::runtime_error with one of the texts below.

#include <cstdint>
#include <string_view>
#include <vector>

#include "objects/serializable.h"
#include "values/var.h"

inline constexpr std::string_view trv_variable_section = "v11";

// The reader's exception texts.
inline constexpr const char* trv_err_varint_too_large = "Varint too large";
inline constexpr const char* trv_err_varint_out_of_bounds = "Varint peek out of bounds";
inline constexpr const char* trv_err_section_underflow = "Buffer underflow in check_section";
inline constexpr const char* trv_err_string_underflow = "Buffer underflow in read_string_view";
inline constexpr const char* trv_err_bytes_underflow = "Buffer underflow in read_bytes_view";
inline constexpr const char* trv_err_fixed_underflow = "Buffer underflow (trivial)";

// Writer: each appends at the end of `out`.
void trv_write_byte(std::vector<uint8_t>& out, uint8_t byte);
void trv_write_raw(std::vector<uint8_t>& out, const void* data, size_t size);
void trv_write_varint(std::vector<uint8_t>& out, uint64_t value);
void trv_write_zigzag(std::vector<uint8_t>& out, int64_t value);
void trv_write_string(std::vector<uint8_t>& out, std::string_view text);
void trv_write_byte_block(std::vector<uint8_t>& out, const uint8_t* data, size_t size);
void trv_write_section(std::vector<uint8_t>& out, std::string_view tag);
void trv_write_float(std::vector<uint8_t>& out, double value);

struct trv_varint {
  uint64_t value;
  uint64_t length;  // bytes it occupies
};

// Decodes the varint at `position` without moving.
trv_varint trv_varint_peek(const uint8_t* data, uint64_t size, uint64_t position);

// Reader: each moves the position behind what it consumed.
uint64_t trv_read_varint(trv_binary_reader& reader);
int64_t trv_read_zigzag(trv_binary_reader& reader);
double trv_read_float(trv_binary_reader& reader);
// Consumes a section header whatever its tag; true when the tag is `tag`.
bool check_section(trv_binary_reader& reader, std::string_view tag);
// True when a complete section header in the writer's form with the tag `tag` (shorter than
// 128 bytes) starts at the reader's position. Neither moves nor throws.
bool trv_section_ahead(const trv_binary_reader& reader, std::string_view tag);
// Views into the input; the string's terminator is skipped, not checked.
std::string_view read_string_view(trv_binary_reader& reader);
std::string_view read_bytes_view(trv_binary_reader& reader);

// Appends the variable's "v11" record. False only when an object's own record, or the value a
// reference leads to, fails.
bool trvvar_to_binary(const trvvar& v, std::vector<uint8_t>& out);
// Reads one "v11" record into `v`, which takes the record's type. False on a foreign section
// and on types that cannot be read back; malformed input throws std::runtime_error. Of object
// records only those of a class that reads its own record (json.bool) read back.
bool trvvar_from_binary(trvvar& v, trv_binary_reader& reader);
