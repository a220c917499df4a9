#include <gtest/gtest.h>

#include <stdexcept>

#include "stdlib/json/json_bool.h"
#include "tests/json/json_test_support.h"
#include "tests/support/capturing_logger.h"
#include "values/binary_form.h"
#include "values/reference.h"

namespace {

using bytes = std::vector<uint8_t>;

TEST(JsonBinary, RoundTripKeepsOrderNestingAndKeylessEntries) {
  json_value empty;
  bytes header{0xAA};
  ASSERT_TRUE(empty->to_binary(header));
  EXPECT_EQ(header, (bytes{0xAA, 3, 'j', '1', '1', 0, 0}));
  json_value cleared = parsed("[1]");
  trv_binary_reader empty_reader{header.data(), header.size(), 1};
  EXPECT_TRUE(cleared->from_binary(empty_reader));
  EXPECT_EQ(cleared->size(), 0u);
  EXPECT_EQ(empty_reader.position, header.size());

  json_value j = parsed(R"({"n":{"x":[1,"s",2.5,null]}})");
  trvvar_set_int(*j->add_keyed("b"), -7);
  trvvar_set_int(*j->add_keyed("a"), 8);
  trvvar_set_string(*j->find_or_add(""), "empty key");  // read back keyless
  j->add_keyless();
  bytes out;
  ASSERT_TRUE(j->to_binary(out));
  json_value back;
  ASSERT_TRUE(back->from_binary(out));
  EXPECT_EQ(back.keys(), (std::vector<std::string>{"n", "b", "a", "-", "-"}));
  EXPECT_EQ(back.text(), j.text());
  back->assert_invariant();

  // Cut anywhere: the reader's error, and the depth guard is left on the way out.
  for (size_t cut = 0; cut < out.size(); ++cut) {
    json_value part;
    EXPECT_THROW(part->from_binary(bytes(out.begin(), out.begin() + cut)), std::runtime_error)
        << cut;
    EXPECT_TRUE(part->from_binary(out));
  }
}

TEST(JsonBinary, FailedWritesLeaveTheOutputAsItWas) {
  log_capture capture;
  json_value j = parsed("[1,[2]]");
  trvvar_set(*trv_json_of(*j->value_at(1))->add_keyless(), j.var);
  bytes out{1, 2, 3};
  EXPECT_FALSE(j->to_binary(out));
  EXPECT_EQ(out, (bytes{1, 2, 3}));
  EXPECT_EQ(capture.warnings(),
            (std::vector<std::string>{"Cannot serialize JSON to binary: the value contains a "
                                      "reference to itself (cycle)."}));
  // Written as a variable, the json value leaves nothing either: a header without its
  // container's record would not read back.
  EXPECT_FALSE(trvvar_to_binary(*j.var, out));
  EXPECT_EQ(out, (bytes{1, 2, 3}));
  j->clear_and_free();

  capture.logger().clear();
  EXPECT_FALSE(nested(1025)->to_binary(out));
  EXPECT_EQ(out, (bytes{1, 2, 3}));
  EXPECT_EQ(capture.warnings(), (std::vector<std::string>{
                                    "Cannot serialize JSON to binary: nesting exceeds the maximum "
                                    "depth of 1024."}));
  // The guard is empty again: a later write succeeds.
  EXPECT_TRUE(parsed("[1]")->to_binary(out));
}

TEST(JsonBinary, ReadingChecksTheTagAndTheDepth) {
  log_capture capture;
  json_value j = parsed("[1]");
  const bytes wrong{3, 'v', '1', '1', 0, 0};
  EXPECT_FALSE(j->from_binary(wrong));
  EXPECT_EQ(j->size(), 0u);
  ASSERT_EQ(capture.errors().size(), 1u);
  EXPECT_NE(capture.errors()[0].find("invalid section."), std::string::npos);

  // 1025 nested records, each container holding the next as its only value.
  bytes deep;
  for (int i = 0; i < 1025; ++i) {
    const bytes level{3, 'j', '1', '1', 0, 1, 0, 0, 3, 'v', '1', '1', 0, TRVVAR_JSON};
    deep.insert(deep.end(), level.begin(), level.end());
  }
  capture.logger().clear();
  EXPECT_FALSE(j->from_binary(deep));
  ASSERT_EQ(capture.errors().size(), 1u);
  EXPECT_NE(capture.errors()[0].find("JSON binary nesting exceeds the maximum depth of 1024."),
            std::string::npos);
  EXPECT_TRUE(parsed("[1]")->from_binary(bytes{3, 'j', '1', '1', 0, 0}));
}

// A reference entry is written as its type and then the record of the value it leads to; the
// reader must consume that record too, or it takes it for the next entry's key.
TEST(JsonBinary, ReferenceEntriesReadBackAsTheirValues) {
  log_capture capture;
  trvvar_shared number = int_of(-1);
  json_value list = parsed("[1,\"s\"]");
  json_value j;
  trvvar_make_ref(*j->add_keyed("r"), number.get());
  trvvar_make_ref(*j->add_keyed("l"), list.var.get());
  trvvar_set_type(*j->add_keyed("d"), TRVVAR_REF);  // leads nowhere: written as none
  trvvar_set_int(*j->add_keyed("after"), 2);
  bytes out;
  ASSERT_TRUE(j->to_binary(out));
  json_value back;
  trv_binary_reader reader{out.data(), out.size(), 0};
  ASSERT_TRUE(back->from_binary(reader));
  EXPECT_EQ(reader.position, out.size());
  EXPECT_EQ(back.keys(), (std::vector<std::string>{"r", "l", "d", "after"}));
  EXPECT_EQ(back.text(), R"({"after":2,"d":null,"l":[1,"s"],"r":-1})");
  for (const trv_json_entry& e : back->entries) EXPECT_NE(e.value->type, TRVVAR_REF);

  // A chain of reference records ends in the value; one cut short raises the reader's error.
  const bytes chain{3,  'j', '1', '1', 0,   1, 1,  'k', 0,   3,   'v', '1', '1', 0,
                    17, 3,   'v', '1', '1', 0, 17, 3,   'v', '1', '1', 0,   2,   4};
  ASSERT_TRUE(back->from_binary(chain));
  EXPECT_EQ(back.text(), R"({"k":2})");
  const bytes cut(chain.begin(), chain.begin() + 21);
  EXPECT_THROW(back->from_binary(cut), std::runtime_error);
  ASSERT_EQ(back->size(), 1u);
  EXPECT_EQ(back->entries[0].value->type, TRVVAR_NONE);  // not a reference to nothing
  bytes foreign(chain.begin(), chain.begin() + 15);
  for (uint8_t b : bytes{3, 'j', '1', '1', 0, 0}) foreign.push_back(b);
  EXPECT_FALSE(back->from_binary(foreign));
  ASSERT_EQ(back->size(), 1u);
  EXPECT_EQ(back->entries[0].value->type, TRVVAR_NONE);
}

// An object of a class that has no binary form.
struct opaque : trvobject<opaque, "test.opaque">, trvptr_type_tag<opaque> {};

// The record a container of plain values, booleans and nested containers must have, built
// with the appending writer functions.
void expected_record(trv_std_json& c, bytes& out) {
  trv_write_section(out, "j11");
  trv_write_varint(out, c.size());
  for (const trv_json_entry& e : c.entries) {
    trv_write_string(out, e.key ? std::string_view(*e.key) : std::string_view());
    const trvvar& v = *e.value;
    trv_write_section(out, "v11");
    trv_write_varint(out, v.type);
    if (v.type == TRVVAR_INT) trv_write_zigzag(out, v.payload.int_value);
    if (v.type == TRVVAR_FLOAT) trv_write_float(out, v.payload.float_value);
    if (v.type == TRVVAR_STRING) trv_write_string(out, trvvar_string_value(v));
    if (v.type == TRVVAR_JSON) expected_record(*trv_json_of(v), out);
    if (v.type == TRVVAR_OBJECT) {
      trv_write_section(out, "b11");
      trv_write_varint(out, trvvar_string_value(v) == "true" ? 1 : 0);
    }
  }
}

// Long enough for the writer to make room for the rest of the list from its first part; the
// first entry is much larger than the others.
// An object value holding a container (what `push` returns) reads back as one, with its
// entries, and what follows it is read too.
TEST(JsonBinary, ObjectValuesHoldingAContainerReadBack) {
  json_value inner = parsed("[1,[2]]");
  json_value j;
  trvvar_shared object = trvvar_new();
  trvvar_set_type(*object, TRVVAR_OBJECT);
  object->payload.object_payload->object = trvptr_strong<trvobject_base>::from(inner.c);
  trvvar_set(*j->add_keyless(), object);
  trvvar_set_int(*j->add_keyless(), 3);
  bytes out;
  ASSERT_TRUE(j->to_binary(out));
  json_value back;
  trv_binary_reader reader{out.data(), out.size(), 0};
  ASSERT_TRUE(back->from_binary(reader));
  EXPECT_EQ(reader.position, out.size());
  ASSERT_EQ(back->size(), 2u);
  const trvvar& read = *back->entries[0].value;
  ASSERT_EQ(read.type, TRVVAR_OBJECT);
  auto* container = dynamic_cast<trv_std_json*>(read.payload.object_payload->object.get());
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(trv_json_to_text(*container, true), "[1,[2]]");
  EXPECT_EQ(trvvar_int_value(*back->entries[1].value), 3);
}

TEST(JsonBinary, LongListsWriteTheSameBytes) {
  json_value j;
  trvvar_set_string(*j->add_keyed("first"), std::string(100000, 'x'));
  for (int i = 1; i < 1500; ++i) {
    // Few keys here: every keyed append checks the whole index in debug builds.
    const std::string key = i % 100 ? std::string() : std::string("k").append(std::to_string(i));
    trvvar& v = *j->add_keyed(key);
    switch (i % 5) {
      case 0: {
        std::string text = "[";
        text.append(std::to_string(i)).append(",\"s\",{\"deep\":null,\"k\":\"");
        text.append(key).append("\"},[]]");
        json_value nested = parsed(text);
        trvvar_set(v, nested.var);
        break;
      }
      case 1:
        trv_json_bool_store(v, i % 3 == 0);
        break;
      case 2:
        trvvar_set_float(v, i / 3.0);
        break;
      case 3:
        break;  // none
      default:
        trvvar_set_int(v, -1000LL * i);
    }
  }
  bytes out{1, 2, 3};
  ASSERT_TRUE(j->to_binary(out));
  bytes expected{1, 2, 3};
  expected_record(*j.c, expected);
  EXPECT_EQ(out, expected);
  json_value back;
  trv_binary_reader reader{out.data(), out.size(), 3};
  ASSERT_TRUE(back->from_binary(reader));
  EXPECT_EQ(back.text(), j.text());

  // A value that cannot be written at the end: the whole record goes again.
  log_capture capture;
  trvvar_shared unwritable = object_of(new opaque());
  trvvar_set(*j->add_keyless(), unwritable);
  EXPECT_FALSE(j->to_binary(out));
  EXPECT_EQ(out.size(), expected.size());
  EXPECT_EQ(capture.errors(), std::vector<std::string>{"to_binary(): not implemented."});
}

}  // namespace
