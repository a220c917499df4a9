#include "values/binary_form.h"

#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>

#include "glue/log.h"
#include "values/object.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/report.h"

static_assert(std::endian::native == std::endian::little,
              "floats are written as the bytes of the double, least significant first");

void trv_write_byte(std::vector<uint8_t>& out, uint8_t byte) { out.push_back(byte); }

void trv_write_raw(std::vector<uint8_t>& out, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  out.insert(out.end(), bytes, bytes + size);
}

void trv_write_varint(std::vector<uint8_t>& out, uint64_t value) {
  uint8_t buf[10];
  size_t n = 0;
  while (value >= 0x80) {
    buf[n++] = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  buf[n++] = static_cast<uint8_t>(value);
  out.insert(out.end(), buf, buf + n);
}

void trv_write_zigzag(std::vector<uint8_t>& out, int64_t value) {
  const uint64_t u = static_cast<uint64_t>(value);
  trv_write_varint(out, (u << 1) ^ static_cast<uint64_t>(value >> 63));
}

void trv_write_string(std::vector<uint8_t>& out, std::string_view text) {
  trv_write_varint(out, text.size());
  trv_write_raw(out, text.data(), text.size());
  out.push_back(0);
}

void trv_write_byte_block(std::vector<uint8_t>& out, const uint8_t* data, size_t size) {
  trv_write_varint(out, size);
  trv_write_raw(out, data, size);
}

void trv_write_section(std::vector<uint8_t>& out, std::string_view tag) {
  trv_write_string(out, tag);
}

void trv_write_float(std::vector<uint8_t>& out, double value) {
  trv_write_raw(out, &value, sizeof value);
}

trv_varint trv_varint_peek(const uint8_t* data, uint64_t size, uint64_t position) {
  if (position >= size) throw std::runtime_error(trv_err_varint_out_of_bounds);
  uint64_t value = 0;
  unsigned shift = 0;
  for (uint64_t p = position;; ++p) {
    const uint8_t b = data[p];
    value |= static_cast<uint64_t>(b & 0x7F) << (shift % 64);
    if ((b & 0x80) == 0) return {value, p - position + 1};
    shift += 7;
    if (shift > 63) throw std::runtime_error(trv_err_varint_too_large);
    if (p + 1 >= size) throw std::runtime_error(trv_err_varint_out_of_bounds);
  }
}

uint64_t trv_reader_detail::read_varint_checked(trv_binary_reader& reader) {
  const trv_varint v = trv_varint_peek(reader.data, reader.size, reader.position);
  reader.position += v.length;
  return v.value;
}

double trv_read_float(trv_binary_reader& reader) {
  double value;
  if (reader.position > reader.size || reader.size - reader.position < sizeof value) {
    throw std::runtime_error(trv_err_fixed_underflow);
  }
  std::memcpy(&value, reader.data + reader.position, sizeof value);
  reader.position += sizeof value;
  return value;
}

namespace {

// A length-prefixed block at the reader's position: where its bytes start and how many there
// are. `trailer` bytes (the string terminator) must follow. The comparison is arranged so no
// sum can wrap: the varint peek guarantees start <= size.
std::string_view length_prefixed(trv_binary_reader& reader, uint64_t trailer, const char* error) {
  const trv_varint length = trv_varint_peek(reader.data, reader.size, reader.position);
  const uint64_t start = reader.position + length.length;
  const uint64_t remaining = reader.size - start;
  if (length.value > remaining || remaining - length.value < trailer) {
    throw std::runtime_error(error);
  }
  reader.position = start + length.value + trailer;
  return {reinterpret_cast<const char*>(reader.data + start), static_cast<size_t>(length.value)};
}

}  // namespace

bool trv_reader_detail::check_section_checked(trv_binary_reader& reader, std::string_view tag) {
  return length_prefixed(reader, 1, trv_err_section_underflow) == tag;
}

bool trv_section_ahead(const trv_binary_reader& reader, std::string_view tag) {
  if (reader.position >= reader.size) return false;
  const uint64_t remaining = reader.size - reader.position;
  const uint8_t* at = reader.data + reader.position;
  return tag.size() < 0x80 && remaining >= tag.size() + 2 && at[0] == tag.size() &&
         std::memcmp(at + 1, tag.data(), tag.size()) == 0;
}

std::string_view trv_reader_detail::read_string_view_checked(trv_binary_reader& reader) {
  return length_prefixed(reader, 1, trv_err_string_underflow);
}

std::string_view read_bytes_view(trv_binary_reader& reader) {
  return length_prefixed(reader, 0, trv_err_bytes_underflow);
}

namespace {

// The report for a type whose value has no binary form, by type; null where the type has one.
struct type_reports {
  const char* write;  // runtime warning when written
  const char* read;   // report when read
  bool read_is_log_error;
  bool read_succeeds;
};

type_reports reports_for(uint8_t type) {
  switch (type) {
    case TRVVAR_ERR:
      return {"to_binary(): TRVVAR_ERR not supported.", "from_binary(): TRVVAR_ERR not supported.",
              false, true};
    case TRVVAR_CLASS:
      return {"to_binary(): TRVVAR_CLASS not implemented.",
              "from_binary(): TRVVAR_CLASS not implemented.", false, true};
    case TRVVAR_FUNCTION:
      return {"to_binary(): TRVVAR_FUNCTION not implemented.",
              "from_binary(): TRVVAR_FUNCTION not implemented.", false, true};
    case TRVVAR_EXT_FUNCTION:
      return {"to_binary(): TRVVAR_EXT_FUNCTION not implemented.",
              "from_binary(): TRVVAR_EXT_FUNCTION not implemented.", true, true};
    case TRVVAR_OBJECT_MEMBER_LITERAL:
      return {"to_binary(): TRVVAR_OBJECT_MEMBER_LITERAL not implemented.",
              "from_binary(): TRVVAR_OBJECT_MEMBER_LITERAL not implemented.", true, true};
    case TRVVAR_OBJECT_MEMBER_INDEX:
      return {"to_binary(): TRVVAR_OBJECT_MEMBER_INDEX not implemented.",
              "from_binary(): TRVVAR_OBJECT_MEMBER_INDEX not implemented.", true, true};
    case TRVVAR_OBJECT_MEMBER_VAR:
      return {"to_binary(): TRVVAR_OBJECT_MEMBER_VAR not implemented.",
              "from_binary(): TRVVAR_OBJECT_MEMBER_VAR not implemented.", true, true};
    case TRVVAR_OBJECT:
      return {nullptr, "Implement object deserialization in from_binary!", false, false};
    case TRVVAR_REF:
      return {nullptr, "from_binary(): TRVVAR_REF not implemented.", true, true};
    default:
      return {"to_binary(): Unknown type.", "from_binary(): Unknown type.", true, false};
  }
}

bool has_value_form(uint8_t type) {
  return type == TRVVAR_NONE || type == TRVVAR_INT || type == TRVVAR_FLOAT ||
         type == TRVVAR_STRING || type == TRVVAR_BINARY || type == TRVVAR_JSON;
}

bool write_object(const trvvar& v, std::vector<uint8_t>& out) {
  trvobject_base* object = v.payload.object_payload->object.get();
  return object == nullptr || object->to_binary(out);
}

// A reference writes the full record of the value it leads to. A reference that leads nowhere
// (no target, or a chain ending in an empty link) writes a none record, so the record still
// has its two headers and writing cannot loop.
bool write_reference(const trvvar& v, std::vector<uint8_t>& out) {
  trvvar_shared target = trvvar_deref(const_cast<trvvar*>(&v));
  if (!target || target->type == TRVVAR_REF) {
    trv_write_section(out, trv_variable_section);
    trv_write_varint(out, TRVVAR_NONE);
    return true;
  }
  return trvvar_to_binary(*target, out);
}

}  // namespace

bool trvvar_to_binary(const trvvar& v, std::vector<uint8_t>& out) {
  {
    trv_binary_writer writer(out);
    if (trv_write_plain_value(writer, v)) return true;
  }
  const size_t start = out.size();
  trv_write_section(out, trv_variable_section);
  trv_write_varint(out, v.type);
  switch (v.type) {
    case TRVVAR_JSON:
      // A container that cannot be written (a cycle, too deep, a value without a record) has
      // reported why and taken its bytes back; the header goes too, since a header without
      // its container's record would not read back.
      if (!v.payload.object || v.payload.object->to_binary(out)) return true;
      out.resize(start);
      return false;
    case TRVVAR_OBJECT:
      return write_object(v, out);
    case TRVVAR_REF:
      return write_reference(v, out);
    default:
      trv_runtime_warning(reports_for(v.type).write);
      return true;
  }
}

namespace {

bool read_value(trvvar& v, trv_binary_reader& reader) {
  switch (v.type) {
    case TRVVAR_INT:
      v.payload.int_value = trv_read_zigzag(reader);
      return true;
    case TRVVAR_FLOAT:
      v.payload.float_value = trv_read_float(reader);
      return true;
    case TRVVAR_STRING:
      trv_string_object_text(*v.payload.object).assign(read_string_view(reader));
      return true;
    case TRVVAR_BINARY: {
      const std::string_view bytes = read_bytes_view(reader);
      trv_buffer_object_bytes(*v.payload.object)
          .assign(reinterpret_cast<const uint8_t*>(bytes.data()),
                  reinterpret_cast<const uint8_t*>(bytes.data()) + bytes.size());
      return true;
    }
    case TRVVAR_JSON:
      return v.payload.object->from_binary(reader);
    default:
      return true;  // none
  }
}

}  // namespace

bool trvvar_from_binary(trvvar& v, trv_binary_reader& reader) {
  if (!check_section(reader, trv_variable_section)) return false;
  const auto type = static_cast<uint8_t>(trv_read_varint(reader));
  if (has_value_form(type)) {
    trvvar_set_type(v, static_cast<trvvar_type>(type));
    return read_value(v, reader);
  }
  if (type == TRVVAR_OBJECT) {
    // An object whose class reads its own record comes back; any other object record is
    // refused below without being consumed. An empty object pointer writes nothing behind its
    // type: if the bytes after its record happen to form a json.bool record, they are read as
    // one, where they would have been refused anyway.
    if (trvptr_strong<trvobject_base> object = trv_new_object_for_record(reader)) {
      trvvar_set_type(v, TRVVAR_OBJECT);
      v.payload.object_payload->object = object;
      return object->from_binary(reader);
    }
  }
  const type_reports reports = reports_for(type);
  // A type that names no variable type leaves the variable none rather than a record of an
  // undefined type.
  const bool defined = type < trvvar_type_count && type != TRVVAR_PRIMITIVE_END &&
                       type != TRVVAR_OBJECTS_END && type != TRVVAR_CLASS_DEF;
  trvvar_set_type(v, defined ? static_cast<trvvar_type>(type) : TRVVAR_NONE);
  if (reports.read_is_log_error) {
    trv_log(TRV_LOG_ERROR, reports.read);
  } else {
    trv_runtime_warning(reports.read);
  }
  return reports.read_succeeds;
}
