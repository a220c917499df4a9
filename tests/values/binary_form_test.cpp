#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "stdlib/buffer/std_buffer.h"
#include "tests/support/capturing_logger.h"
#include "tests/support/test_values.h"
#include "values/binary_form.h"
#include "values/compare.h"
#include "values/convert.h"

namespace {

using bytes = std::vector<uint8_t>;

const bytes header = {0x03, 'v', '1', '1', 0x00};

bytes record(const bytes& body) {
  bytes out = header;
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

bytes written(const trvvar_shared& v) {
  bytes out;
  EXPECT_TRUE(trvvar_to_binary(*v, out));
  return out;
}

trvvar_shared binary_of(const bytes& content) {
  trvvar_shared v = trvvar_new();
  trvvar_get_or_make_binary(*v) = content;
  return v;
}

TEST(BinaryForm, ExactBytes) {
  struct byte_case {
    const char* name;
    trvvar_shared value;
    bytes expected;
  };
  const byte_case cases[] = {
      {"0", int_of(0), record({0x02, 0x00})},
      {"-1", int_of(-1), record({0x02, 0x01})},
      {"64", int_of(64), record({0x02, 0x80, 0x01})},
      {"min", int_of(INT64_MIN),
       record({0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01})},
      {"abc", string_of("abc"), record({0x05, 0x03, 'a', 'b', 'c', 0x00})},
      {"empty string", string_of(""), record({0x05, 0x00, 0x00})},
      {"bytes", binary_of({1, 2}), record({0x06, 0x02, 0x01, 0x02})},
      {"1.0", float_of(1.0), record({0x03, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F})},
      {"none", trvvar_new(), record({0x01})},
      {"object without object", of_type(TRVVAR_OBJECT), record({0x08})},
      // a reference writes its target's record; one that leads nowhere still has both headers
      {"ref", ref_to(int_of(-1)), record({0x11, 0x03, 'v', '1', '1', 0x00, 0x02, 0x01})},
      {"empty ref", of_type(TRVVAR_REF), record({0x11, 0x03, 'v', '1', '1', 0x00, 0x01})},
  };
  for (const byte_case& c : cases) EXPECT_EQ(written(c.value), c.expected) << c.name;
}

// Every value with a payload form reads back equal, and consecutive records read in turn.
TEST(BinaryForm, RoundTrips) {
  const std::vector<trvvar_shared> values = {
      int_of(0),
      int_of(INT64_MIN),
      int_of(INT64_MAX),
      int_of(-65),
      float_of(-0.0),
      float_of(1e300),
      string_of(std::string("a\0b", 3)),
      string_of(""),
      string_of(std::string(300, 'x')),
  };
  bytes stream;
  for (const trvvar_shared& v : values) trvvar_to_binary(*v, stream);
  trv_binary_reader reader{stream.data(), stream.size(), 0};
  for (const trvvar_shared& v : values) {
    trvvar_shared back = int_of(7);
    ASSERT_TRUE(trvvar_from_binary(*back, reader));
    EXPECT_EQ(back->type, v->type);
    EXPECT_EQ(back->payload.raw == v->payload.raw || trvvar_compare_equal(*back, *v), true)
        << trvvar_string_value(*v);
  }
  EXPECT_EQ(reader.position, stream.size());

  const bytes one = written(binary_of({0, 255, 7}));
  trv_binary_reader r{one.data(), one.size(), 0};
  trvvar_shared back = trvvar_new();
  ASSERT_TRUE(trvvar_from_binary(*back, r));
  EXPECT_EQ(trvvar_get_or_make_binary(*back), (bytes{0, 255, 7}));
}

std::string read_error(const bytes& input) {
  trvvar_shared v = trvvar_new();
  trv_binary_reader reader{input.data(), input.size(), 0};
  try {
    trvvar_from_binary(*v, reader);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

TEST(BinaryForm, MalformedInputRaisesTheFixedTexts) {
  const bytes ten_continued(10, 0x80);
  struct error_case {
    const char* name;
    bytes input;
    const char* error;
  };
  const error_case cases[] = {
      {"empty", {}, "Varint peek out of bounds"},
      {"varint cut", {0x80}, "Varint peek out of bounds"},
      {"eleven-byte varint", ten_continued, "Varint too large"},
      {"header cut", {0x03, 'v', '1', '1'}, "Buffer underflow in check_section"},
      {"no type", header, "Varint peek out of bounds"},
      {"terminator missing", record({0x05, 0x03, 'a', 'b', 'c'}),
       "Buffer underflow in read_string_view"},
      {"block cut", record({0x06, 0x03, 1, 2}), "Buffer underflow in read_bytes_view"},
      {"float cut", record({0x03, 0, 0, 0, 0, 0, 0, 0xF0}), "Buffer underflow (trivial)"},
      // A length near 2^60 and one of 2^64 - 1 must neither allocate nor wrap the bounds check.
      {"huge string", record({0x05, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x10, 0}),
       "Buffer underflow in read_string_view"},
      {"max block", record({0x06, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}),
       "Buffer underflow in read_bytes_view"},
      {"max section",
       {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 'v'},
       "Buffer underflow in check_section"},
  };
  for (const error_case& c : cases) EXPECT_EQ(read_error(c.input), c.error) << c.name;
}

// Only the lowest bit of a tenth varint byte reaches the value.
TEST(BinaryForm, VarintLimits) {
  bytes max = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01};
  EXPECT_EQ(trv_varint_peek(max.data(), max.size(), 0).length, 10u);
  for (const uint8_t last : {0x01, 0x7F}) {
    max[9] = last;
    EXPECT_EQ(trv_varint_peek(max.data(), max.size(), 0).value, UINT64_MAX) << int{last};
  }
}

// The writer stores through a raw pointer with room made per value; the vector-appending
// functions are the oracle. Lengths and integers straddle the one-byte limit, and strings run
// past the writer's growth steps.
TEST(BinaryForm, WriterMatchesTheAppendingForm) {
  const int64_t ints[] = {0,    -1,   63,        -64,       64,      -65,
                          8191, 8192, INT64_MAX, INT64_MIN, 1 << 20, -(1 << 27)};
  bytes written_by_writer = {0xAA};
  bytes expected = {0xAA};
  for (const int64_t i : ints) {
    trvvar_to_binary(*int_of(i), written_by_writer);
    trv_write_section(expected, "v11");
    trv_write_varint(expected, TRVVAR_INT);
    trv_write_zigzag(expected, i);
  }
  for (const size_t length : {size_t{0}, size_t{127}, size_t{128}, size_t{70000}}) {
    const std::string text(length, 'q');
    trvvar_to_binary(*string_of(text), written_by_writer);
    trv_write_section(expected, "v11");
    trv_write_varint(expected, TRVVAR_STRING);
    trv_write_string(expected, text);
    const bytes block(length, 7);
    trvvar_to_binary(*binary_of(block), written_by_writer);
    trv_write_section(expected, "v11");
    trv_write_varint(expected, TRVVAR_BINARY);
    trv_write_byte_block(expected, block.data(), block.size());
  }
  EXPECT_EQ(written_by_writer, expected);

  for (const uint64_t u : {uint64_t{127}, uint64_t{128}, uint64_t{1} << 49, UINT64_MAX}) {
    uint8_t room[16];
    bytes appended;
    trv_write_varint(appended, u);
    EXPECT_EQ(bytes(room, trv_put_varint(room, u)), appended) << u;
  }
}

// The reader decides the writer's forms inline; other encodings of the same values (lengths
// and types as longer varints) take the checked way and read the same. A foreign section is
// consumed and refused, leaving the value alone.
TEST(BinaryForm, LongerEncodingsReadTheSameForeignSectionsAreRefused) {
  const bytes input = {0x83, 0x00, 'v',  '1',  '1', 0x00, 0x85, 0x00, 0x82, 0x00,
                       'a',  'b',  0x00, 0x03, 'v', '1',  '1',  0x00, 0x82, 0x80,
                       0x00, 0x81, 0x00, 0x03, 'j', '1',  '1',  0x00, 0x01};
  trv_binary_reader reader{input.data(), input.size(), 0};
  trvvar_shared v = trvvar_new();
  ASSERT_TRUE(trvvar_from_binary(*v, reader));
  EXPECT_EQ(trvvar_string_value(*v), "ab");
  ASSERT_TRUE(trvvar_from_binary(*v, reader));
  EXPECT_EQ(v->type, TRVVAR_INT);
  EXPECT_EQ(v->payload.int_value, -1);
  EXPECT_FALSE(trvvar_from_binary(*v, reader));
  EXPECT_EQ(reader.position, input.size() - 1);
  EXPECT_EQ(v->payload.int_value, -1);
}

// Types without a payload form write header and type with a warning, and read back with the
// matching report (unknown types as none), without disturbing the record behind them; object
// and reference records leave their content unread.
TEST(BinaryForm, TypesWithoutPayloadForm) {
  struct report_case {
    trvvar_type type;
    bool read_result;
    uint32_t read_category;
    const char* report;
  };
  const report_case cases[] = {
      {TRVVAR_ERR, true, TRV_LOG_WARNING, "TRVVAR_ERR not supported."},
      {TRVVAR_FUNCTION, true, TRV_LOG_WARNING, "TRVVAR_FUNCTION not implemented."},
      {TRVVAR_CLASS, true, TRV_LOG_WARNING, "TRVVAR_CLASS not implemented."},
      {TRVVAR_EXT_FUNCTION, true, TRV_LOG_ERROR, "TRVVAR_EXT_FUNCTION not implemented."},
      {TRVVAR_OBJECT_MEMBER_VAR, true, TRV_LOG_ERROR, "TRVVAR_OBJECT_MEMBER_VAR not implemented."},
      {TRVVAR_OBJECTS_END, false, TRV_LOG_ERROR, "Unknown type."},
      {TRVVAR_CLASS_DEF, false, TRV_LOG_ERROR, "Unknown type."},
      {TRVVAR_OBJECT, false, TRV_LOG_WARNING, nullptr},
      {TRVVAR_REF, true, TRV_LOG_ERROR, "TRVVAR_REF not implemented."},
  };
  for (const report_case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    log_capture capture;
    bytes stream = record({static_cast<uint8_t>(c.type)});
    if (c.type != TRVVAR_OBJECT && c.type != TRVVAR_REF) {
      EXPECT_EQ(written(of_type(c.type)), stream);
      EXPECT_EQ(capture.warnings(),
                std::vector<std::string>{std::string("to_binary(): ") + c.report});
    }
    trvvar_to_binary(*int_of(3), stream);
    trv_binary_reader reader{stream.data(), stream.size(), 0};
    trvvar_shared back = trvvar_new();
    EXPECT_EQ(trvvar_from_binary(*back, reader), c.read_result);
    EXPECT_EQ(back->type, c.read_result || c.type == TRVVAR_OBJECT ? c.type : TRVVAR_NONE);
    EXPECT_EQ(capture.texts(c.read_category).back(),
              c.report ? std::string("from_binary(): ") + c.report
                       : "Implement object deserialization in from_binary!");
    ASSERT_TRUE(trvvar_from_binary(*back, reader));
    EXPECT_EQ(back->payload.int_value, 3);
  }
}

}  // namespace
