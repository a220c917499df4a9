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

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "values/cursor_writer.h"
#include "values/object.h"
#include "values/payload_objects.h"
#include "values/serializable.h"
#include "values/var.h"

inline constexpr std::string_view trv_variable_section = "v11";

// The reader's exception texts.
inline constexpr const char* trv_err_varint_too_large = "Varint too large";
inline constexpr const char* trv_err_varint_out_of_bounds = "Varint peek out of bounds";
inline constexpr const char* trv_err_section_underflow = "Buffer underflow in check_section";
inline constexpr const char* trv_err_string_underflow = "Buffer underflow in read_string_view";
inline constexpr const char* trv_err_bytes_underflow = "Buffer underflow in read_bytes_view";
inline constexpr const char* trv_err_fixed_underflow = "Buffer underflow (trivial)";

// The writer of binary records.
using trv_binary_writer = trv_cursor_writer<std::vector<uint8_t>>;

// The put functions store at `p`, which must have the room given, and return the new end.

// Room: 10 bytes.
inline uint8_t* trv_put_varint(uint8_t* p, uint64_t value) {
  if (value < 0x80) {
    *p = static_cast<uint8_t>(value);
    return p + 1;
  }
  // All ten groups are stored with the continuation bit, the last one needed then loses it:
  // no branch on the length.
  const unsigned length = (static_cast<unsigned>(std::bit_width(value)) + 6) / 7;
  for (unsigned i = 0; i < 10; ++i) p[i] = static_cast<uint8_t>((value >> (7 * i)) | 0x80);
  p[length - 1] &= 0x7F;
  return p + length;
}

// Room: 10 bytes.
inline uint8_t* trv_put_zigzag(uint8_t* p, int64_t value) {
  const uint64_t u = static_cast<uint64_t>(value);
  return trv_put_varint(p, (u << 1) ^ static_cast<uint64_t>(value >> 63));
}

// Room: the length plus 11 bytes.
inline uint8_t* trv_put_string(uint8_t* p, std::string_view text) {
  p = trv_put_varint(p, text.size());
  if (!text.empty()) std::memcpy(p, text.data(), text.size());
  p[text.size()] = 0;
  return p + text.size() + 1;
}

// The "v11" section header and a type below 128. Room: 8 bytes.
inline uint8_t* trv_put_variable_header(uint8_t* p, uint8_t type) {
  static_assert(std::endian::native == std::endian::little);
  // 03 'v' '1' '1' 00, then the type, least significant byte first.
  const uint64_t header = 0x31317603 | static_cast<uint64_t>(type) << 40;
  std::memcpy(p, &header, sizeof header);
  return p + 6;
}

// Writes the record of a none, int, float, string or binary value; false, writing nothing, for
// any other type.
inline bool trv_write_plain_value(trv_binary_writer& writer, const trvvar& v) {
  uint8_t* p;
  switch (v.type) {
    case TRVVAR_NONE:
      p = trv_put_variable_header(writer.room(8), TRVVAR_NONE);
      break;
    case TRVVAR_INT:
      p = trv_put_zigzag(trv_put_variable_header(writer.room(16), TRVVAR_INT), v.payload.int_value);
      break;
    case TRVVAR_FLOAT:
      p = trv_put_variable_header(writer.room(16), TRVVAR_FLOAT);
      std::memcpy(p, &v.payload.float_value, sizeof(double));
      p += sizeof(double);
      break;
    case TRVVAR_STRING: {
      const std::string& text = trv_string_object_text(*v.payload.object);
      p = trv_put_string(trv_put_variable_header(writer.room(text.size() + 20), TRVVAR_STRING),
                         text);
      break;
    }
    case TRVVAR_BINARY: {
      const std::vector<uint8_t>& bytes = trv_buffer_object_bytes(*v.payload.object);
      p = trv_put_varint(trv_put_variable_header(writer.room(bytes.size() + 20), TRVVAR_BINARY),
                         bytes.size());
      if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
      p += bytes.size();
      break;
    }
    default:
      return false;
  }
  writer.advance(p);
  return true;
}

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

// Reader: each moves the position behind what it consumed. The common forms (one-byte varints
// and lengths, enough bytes left) are decided inline; anything else goes to the checked code
// out of line, which also raises the errors.
namespace trv_reader_detail {
uint64_t read_varint_checked(trv_binary_reader& reader);
bool check_section_checked(trv_binary_reader& reader, std::string_view tag);
std::string_view read_string_view_checked(trv_binary_reader& reader);
}  // namespace trv_reader_detail

inline uint64_t trv_read_varint(trv_binary_reader& reader) {
  if (reader.position < reader.size) {
    const uint8_t byte = reader.data[reader.position];
    if (byte < 0x80) {
      ++reader.position;
      return byte;
    }
  }
  return trv_reader_detail::read_varint_checked(reader);
}

inline int64_t trv_read_zigzag(trv_binary_reader& reader) {
  const uint64_t u = trv_read_varint(reader);
  return static_cast<int64_t>((u >> 1) ^ (~(u & 1) + 1));
}

double trv_read_float(trv_binary_reader& reader);

// Consumes a section header whatever its tag; true when the tag is `tag`.
inline bool check_section(trv_binary_reader& reader, std::string_view tag) {
  if (reader.position < reader.size) {
    const uint8_t length = reader.data[reader.position];
    if (length < 0x80 && reader.size - reader.position >= length + 2u) {
      const bool same = length == tag.size() &&
                        std::memcmp(reader.data + reader.position + 1, tag.data(), length) == 0;
      reader.position += length + 2u;
      return same;
    }
  }
  return trv_reader_detail::check_section_checked(reader, tag);
}

// True when a complete section header in the writer's form with the tag `tag` (shorter than
// 128 bytes) starts at the reader's position. Neither moves nor throws.
bool trv_section_ahead(const trv_binary_reader& reader, std::string_view tag);

// Views into the input; the string's terminator is skipped, not checked.
inline std::string_view read_string_view(trv_binary_reader& reader) {
  if (reader.position < reader.size) {
    const uint8_t length = reader.data[reader.position];
    if (length < 0x80 && reader.size - reader.position >= length + 2u) {
      const auto* start = reinterpret_cast<const char*>(reader.data + reader.position + 1);
      reader.position += length + 2u;
      return {start, length};
    }
  }
  return trv_reader_detail::read_string_view_checked(reader);
}
std::string_view read_bytes_view(trv_binary_reader& reader);

// Appends the variable's "v11" record. False when an object's own record, a json value's
// container (nothing of the record is left then), or the value a reference leads to fails.
bool trvvar_to_binary(const trvvar& v, std::vector<uint8_t>& out);
// Reads one "v11" record into `v`, which takes the record's type. False on a foreign section
// and on types that cannot be read back; malformed input throws std::runtime_error. Of object
// records only those of a class that reads its own record (json.bool) read back.
bool trvvar_from_binary(trvvar& v, trv_binary_reader& reader);
