#include <gtest/gtest.h>

#include "tests/stdlib/string_calls.h"
#include "tests/support/capturing_logger.h"

namespace {

using namespace string_calls;

TEST(StringExtract, BetweenDelimiters) {
  EXPECT_EQ(text(call("x[ab]y[cd]", "extract", "[", "]")), "ab");
  EXPECT_EQ(text(call("x[ab", "extract", "[", "]")), "");
  EXPECT_EQ(text(call("xab]", "extract", "[", "]")), "");
  EXPECT_EQ(text(call("]x[ab", "extract", "[", "]")), "");  // right is sought behind left
  EXPECT_EQ(text(call("ab]", "extract", "", "]")), "ab");
  EXPECT_EQ(text(call("[ab", "extract", "[", "")), "");
}

TEST(StringExtract, Quotes) {
  EXPECT_EQ(text(call("say \"hi\" and \"bye\"", "extract_quotes")), "hi\" and \"bye");
  EXPECT_EQ(text(call("no quotes", "extract_quotes")), "no quotes");
  EXPECT_EQ(text(call("one \" quote", "extract_quotes")), "one \" quote");
  EXPECT_EQ(text(call("x\"\"y", "extract_quotes")), "x\"\"y");
  EXPECT_EQ(text(call("\"a\"", "extract_quotes")), "a");
}

TEST(StringExtract, AllPairsAndTheMissingRightDelimiter) {
  log_capture capture;
  EXPECT_EQ(list(call("x[ab]y[cd]", "extract_all", "[", "]")), (strings{"ab", "cd"}));
  EXPECT_EQ(list(call("<<a>><<>>", "extract_all", "<<", ">>")), (strings{"a", ""}));
  EXPECT_EQ(list(call("[a]]", "extract_all", "[", "]")), (strings{"a"}));
  EXPECT_TRUE(capture.warnings().empty());

  EXPECT_EQ(list(call("[a][b", "extract_all", "[", "]")), (strings{"a"}));
  EXPECT_EQ(capture.warnings(), strings{"extract_all: Missing right delimiter: ]"});
}

// Empty delimiters do not stop a scan that keeps finding them; like Python's
// re.findall("(.*?)", text) the result is one empty text per position.
TEST(StringExtract, EmptyDelimiters) {
  EXPECT_EQ(list(call("ab", "extract_all", "", "")), (strings{"", "", ""}));
  EXPECT_EQ(list(call("", "extract_all", "", "")), (strings{""}));
  EXPECT_EQ(list(call("a,b,", "extract_all", "", ",")), (strings{"a", "b"}));
  EXPECT_EQ(list(call("=a=b", "extract_all", "=", "")), (strings{"", ""}));
}

}  // namespace
