#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/namespace.h"
#include "stdlib/buffer/std_buffer.h"
#include "stdlib/string/std_string.h"
#include "tests/support/capturing_logger.h"
#include "values/convert.h"
#include "values/member_access.h"
#include "values/payloads.h"
#include "vm/call.h"
#include "vm/vm_context.h"

namespace {

trv_std_buffer* buffer_in(const trvvar_shared& v) {
  return trv_object_cast<trv_std_buffer>(v->payload.object_payload->object.get());
}

struct buffer_fixture : ::testing::Test {
  buffer_fixture() { trv_std_buffer::populate_namespace(ns); }

  trvvar_shared construct() {
    std::vector<trvvar_shared> args;
    return trv_call_native(context, *definition("buffer"), context.native_object, args);
  }
  trv_function_def* definition(std::string_view name) {
    return ns.functions.at(name)->payload.ext_function_payload->definition.get();
  }
  trvvar_shared call(trv_std_buffer* self, std::string_view method) {
    trvvar_shared bound = self->get_named_member(method);
    context.native_object = self;
    std::vector<trvvar_shared> args;
    return trv_call_native(context, *bound->payload.ext_function_payload->definition.get(),
                           context.native_object, args);
  }

  trv_namespace ns;
  trv_vm_context context;
};

TEST_F(buffer_fixture, ConstructorRegistration) {
  trv_function_def* def = definition("buffer");
  EXPECT_EQ(def->class_name, "std.buffer");
  EXPECT_EQ(def->max_params, 0u);
  EXPECT_EQ(def->documentation, "Instantiate a new trv_std_buffer object");
  EXPECT_TRUE(def->parameter_documentation.empty());
  trv_std_buffer::populate_namespace(ns);  // an existing name is left alone
  EXPECT_EQ(ns.function_definitions.size(), 1u);

  trvvar_shared made = construct();
  ASSERT_EQ(made->type, TRVVAR_OBJECT);
  trv_std_buffer* buffer = buffer_in(made);
  ASSERT_NE(buffer, nullptr);
  EXPECT_TRUE(buffer->bytes.empty());
  EXPECT_STREQ(buffer->class_name(), "std.buffer");
}

TEST_F(buffer_fixture, SizeAndClear) {
  trvvar_shared made = construct();
  trv_std_buffer* buffer = buffer_in(made);
  buffer->bytes = {1, 2, 3};
  EXPECT_EQ(call(buffer, "size")->payload.int_value, 3);
  const size_t capacity = buffer->bytes.capacity();
  trvvar_shared same = call(buffer, "clear");
  EXPECT_EQ(buffer_in(same), buffer);
  EXPECT_EQ(buffer->bytes.capacity(), capacity);
  EXPECT_EQ(call(buffer, "size")->payload.int_value, 0);
}

TEST(Buffer, ByteReads) {
  trv_std_buffer buffer;
  buffer.bytes = {10, 20, 30};
  const std::pair<int64_t, int> reads[] = {{0, 10}, {-1, 30}, {-3, 10}, {-4, -1}, {3, -1}};
  log_capture capture;
  for (auto [index, expected] : reads) {
    trvvar_shared v = buffer.get_index_member(index);
    if (expected < 0) {
      EXPECT_EQ(v->type, TRVVAR_NONE) << index;
    } else {
      EXPECT_EQ(v->payload.int_value, expected) << index;
    }
  }
  EXPECT_TRUE(capture.errors().empty());
}

TEST(Buffer, ByteWritesKeepTheLowBitsAndNeverGrow) {
  trv_std_buffer buffer;
  buffer.bytes = {10, 20, 30};
  log_capture capture;
  auto write = [&](int64_t index, trvvar_shared value) {
    buffer.set_index_member(index, value);
    EXPECT_FALSE(value);  // consumed
  };
  auto int_of = [](int64_t n) {
    trvvar_shared v = trvvar_new();
    trvvar_set_int(*v, n);
    return v;
  };
  write(0, int_of(300));
  write(-1, int_of(-1));
  trvvar_shared text = trvvar_new();
  trvvar_set_string(*text, "65abc");
  write(1, text);
  EXPECT_EQ(buffer.bytes, (std::vector<uint8_t>{44, 65, 255}));

  write(5, int_of(1));
  write(-4, int_of(1));
  EXPECT_EQ(buffer.bytes.size(), 3u);
  std::vector<std::string> errors = capture.errors();
  ASSERT_EQ(errors.size(), 2u);
  const std::string stars(24, '*');
  EXPECT_EQ(errors[0], "\n" + stars + "\nIndex 5 is out of range!\n" + stars + "\n\n");
  EXPECT_NE(errors[1].find("\nIndex -1 is out of range!\n"), std::string::npos);
}

TEST(Buffer, TextStopsAtTheFirstZeroByte) {
  trvvar_shared v = trvvar_new();
  trvvar_get_or_make_binary(*v) = {'a', 'b', 0, 'c'};
  EXPECT_EQ(trvvar_string_value(*v), "ab");
  trvvar_get_or_make_binary(*v) = {'x', 'y'};
  EXPECT_EQ(trvvar_string_value(*v), "xy");
}

TEST(Buffer, RecyclingKeepsAtMost1024BytesOfCapacity) {
  trv_std_buffer buffer;
  buffer.bytes.resize(1024);
  buffer.recycle_storage();
  EXPECT_TRUE(buffer.bytes.empty());
  EXPECT_EQ(buffer.bytes.capacity(), 1024u);
  buffer.bytes.resize(1025);
  buffer.recycle_storage();
  EXPECT_EQ(buffer.bytes.capacity(), 0u);
}

}  // namespace
