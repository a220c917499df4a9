#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/stdlib/string_calls.h"
#include "tests/support/capturing_logger.h"
#include "vm/runtime_report.h"

namespace {

using namespace string_calls;

struct edit_case {
  const char* method;
  std::string receiver;
  std::string expected;
};

// The plain forms return the edited copy; the "_inplace" twins change the receiver the same
// way and return 1.
TEST(StringEdit, CopyAndInPlaceFormsAgree) {
  const std::string nul_text("A\0b\xC3\x84 \x85", 7);
  const edit_case cases[] = {
      {"lowercase", "AbZ@[`{\xC3\x84", "abz@[`{\xC3\x84"},
      {"uppercase", nul_text, std::string("A\0B\xC3\x84 \x85", 7)},
      {"trim", "  \t\n\v\f\r ", ""},
      {"trim", " \xA0x\xA0 ", "\xA0x\xA0"},  // 0xA0 is no whitespace
      {"strip", "\r\na b\t", "a b"},
      {"ltrim", "  a  ", "a  "},
      {"rtrim", "  a  ", "  a"},
      {"compress_whitespace", "  a \t b  ", " a b "},
      {"compress_whitespace", "a\r\n\r\nb", "a b"},
      {"compress_whitespace", "", ""},
      {"reverse", "ab\xC3\x84",
       "\x84\xC3"
       "ba"},
  };
  for (const edit_case& c : cases) {
    EXPECT_EQ(text(call(c.receiver, c.method)), c.expected) << c.method << " of " << c.receiver;
    trvptr_strong<trv_std_string> s = new_string(c.receiver);
    EXPECT_EQ(integer(call_on(*s, std::string(c.method) + "_inplace")), 1);
    EXPECT_EQ(s->text, c.expected) << c.method << "_inplace";
  }
}

TEST(StringEdit, RstripLinesKeepsLineBreaksExactly) {
  const edit_case cases[] = {
      {"rstrip_lines", "a  \r\nb\t\n", "a\r\nb\n"},
      {"rstrip_lines", "x \ry ", "x \ry"},    // a lone CR is no line break
      {"rstrip_lines", "x \r \n", "x \r\n"},  // the CR of CR LF is kept, not stripped
      {"rstrip_lines", "a \r", "a \r"},       // a CR inside a line stops the stripping
      {"rstrip_lines", "\n\n \n", "\n\n\n"},  // no empty last line behind a final LF
      {"rstrip_lines", " ", ""},
      {"rstrip_lines", "", ""},
  };
  for (const edit_case& c : cases) EXPECT_EQ(text(call(c.receiver, c.method)), c.expected);
}

TEST(StringEdit, SizesAndAffixTests) {
  EXPECT_EQ(integer(call("h\xC3\xA9llo", "length")), 6);  // bytes, not characters
  EXPECT_EQ(integer(call(std::string("a\0b", 3), "size")), 3);
  EXPECT_EQ(integer(call("", "empty")), 1);
  EXPECT_EQ(integer(call("x", "empty")), 0);
  EXPECT_EQ(integer(call("abc", "starts", "")), 1);
  EXPECT_EQ(integer(call("abc", "starts", "abcd")), 0);
  EXPECT_EQ(integer(call("abc", "ends", "bc")), 1);
  EXPECT_EQ(integer(call("abc", "ends", "zabc")), 0);
  EXPECT_EQ(integer(call("12", "starts", 1)), 1);  // arguments convert to text
}

TEST(StringEdit, SubstrCountsOnlyTheStartFromTheEnd) {
  struct {
    int64_t start;
    int64_t count;  // -99: not passed
    const char* expected;
  } const cases[] = {
      {-2, -99, "lo"},        {-10, -99, "hello"},  {2, -5, "llo"},     {7, -99, ""}, {1, 3, "ell"},
      {1, INT64_MAX, "ello"}, {INT64_MIN, 2, "he"}, {INT64_MAX, 1, ""}, {0, 0, ""},
  };
  for (const auto& c : cases) {
    trvvar_shared result = c.count == -99 ? call("hello", "substr", c.start)
                                          : call("hello", "substr", c.start, c.count);
    EXPECT_EQ(text(result), c.expected) << c.start << ", " << c.count;
  }
  trvptr_strong<trv_std_string> s = new_string("hello");
  EXPECT_EQ(integer(call_on(*s, "substr_inplace", -3, 2)), 1);
  EXPECT_EQ(s->text, "ll");
}

TEST(StringEdit, JustifyUsesTheFirstFillByteAndPutsAnOddSurplusRight) {
  EXPECT_EQ(text(call("ab", "ljust", 5, "xyz")), "abxxx");
  EXPECT_EQ(text(call("ab", "ljust", 5, "")), "ab   ");
  EXPECT_EQ(text(call("ab", "rjust", 4, "0")), "00ab");
  EXPECT_EQ(text(call("ab", "center", 5)), " ab  ");
  EXPECT_EQ(text(call("ab", "center", 6, "*")), "**ab**");
  EXPECT_EQ(text(call("abc", "center", 2)), "abc");
  EXPECT_EQ(text(call("abc", "rjust", 3)), "abc");
}

// The method throws the length error; the call turns it into a runtime error naming the method.
TEST(StringEdit, NegativeWidthIsTheLengthErrorAndLeavesTheReceiver) {
  for (const std::string name : {"ljust", "rjust", "center"}) {
    trvptr_strong<trv_std_string> s = new_string("ab");
    log_capture capture;
    EXPECT_FALSE(call_on(*s, name, -1)) << name;
    EXPECT_EQ(capture.errors(),
              std::vector<std::string>{trv_frame_error(name + ": string too long")});
    EXPECT_EQ(s->text, "ab");
  }
}

TEST(StringEdit, InsertChangesTheReceiverAndReturnsIt) {
  trvptr_strong<trv_std_string> s = new_string("ac");
  trvvar_shared result = call_on(*s, "insert", 1, "b");
  ASSERT_EQ(result->type, TRVVAR_OBJECT);
  EXPECT_EQ(trvvar_payload_object(*result), nullptr);  // an object value, not a string
  EXPECT_EQ(trvvar_string_value(*result), "abc");
  call_on(*s, "insert", 3, "d");
  call_on(*s, "insert", 0, "_");
  call_on(*s, "insert", -1, "no");
  call_on(*s, "insert", 6, "no");
  EXPECT_EQ(s->text, "_abcd");
  call_on(*s, "insert", 2, same_object(*s));
  EXPECT_EQ(s->text, "_a_abcdbcd");
}

TEST(StringEdit, PrefixSuffixAndCharacterRemoval) {
  EXPECT_EQ(text(call("abc", "removeprefix", "ab")), "c");
  EXPECT_EQ(text(call("abc", "removeprefix", "abcd")), "abc");
  EXPECT_EQ(text(call("abc", "removesuffix", "bc")), "a");
  EXPECT_EQ(text(call("abc", "removesuffix", "")), "abc");
  EXPECT_EQ(text(call("a-b_c-", "removechars", "-_")), "abc");
  EXPECT_EQ(text(call("a1b2c3", "removecharsexcept", "abc")), "abc");
  // The keep set governs every byte value: NUL and bytes above 0x7F go unless kept.
  const std::string mixed("a\0\xC3\xA9\xFF", 5);
  EXPECT_EQ(text(call(mixed, "removecharsexcept", "a")), "a");
  EXPECT_EQ(text(call(mixed, "removecharsexcept", "\xC3\xA9")), "\xC3\xA9");
  EXPECT_EQ(text(call(mixed, "removechars", std::string_view("\0\xFF", 2))), "a\xC3\xA9");
}

}  // namespace
