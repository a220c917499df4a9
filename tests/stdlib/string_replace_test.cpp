#include <gtest/gtest.h>

#include "tests/stdlib/string_calls.h"

namespace {

using namespace string_calls;

struct replace_case {
  const char* receiver;
  const char* search;
  const char* replacement;
  const char* expected;
};

// The scan goes on behind the inserted text, so the loop ends; an empty search inserts
// before every byte and at the end, as Python's str.replace does.
TEST(StringReplace, ReplaceAllNeverRescansInsertedText) {
  const replace_case cases[] = {
      {"aaa", "a", "aa", "aaaaaa"}, {"abab", "ab", "b", "bb"},   {"aaaa", "aa", "a", "aa"},
      {"abc", "x", "y", "abc"},     {"abc", "", "-", "-a-b-c-"}, {"", "", "x", "x"},
      {"", "a", "b", ""},           {"abc", "abc", "", ""},
  };
  for (const replace_case& c : cases) {
    EXPECT_EQ(text(call(c.receiver, "replace", c.search, c.replacement)), c.expected)
        << c.search << " in " << c.receiver;
    trvptr_strong<trv_std_string> s = new_string(c.receiver);
    const bool changes = std::string(c.receiver) != c.expected || std::string(c.search).empty();
    EXPECT_EQ(integer(call_on(*s, "replace_inplace", c.search, c.replacement)), changes ? 1 : 0);
    EXPECT_EQ(s->text, c.expected);
  }
}

TEST(StringReplace, ReplaceInplaceWithItselfAsSearch) {
  trvptr_strong<trv_std_string> s = new_string("ab");
  EXPECT_EQ(integer(call_on(*s, "replace_inplace", same_object(*s), "<ab>")), 1);
  EXPECT_EQ(s->text, "<ab>");
}

TEST(StringReplace, JsonMapAppliesEntriesInOrder) {
  EXPECT_EQ(text(call("ab", "replace", json({{"a", "b"}, {"b", "c"}}))), "cc");
  EXPECT_EQ(text(call("ab", "replace", json({{"b", "c"}, {"a", "b"}}))), "bc");
  EXPECT_EQ(text(call("ab", "replace", json({{"", "x"}, {"a", "y"}}))), "yb");  // keyless skipped
  EXPECT_EQ(text(call("ab", "replace", "a")), "ab");  // one argument that is no map
}

TEST(StringReplace, ReplaceFirst) {
  EXPECT_EQ(text(call("a-b-c", "replace_first", "-", "+")), "a+b-c");
  EXPECT_EQ(text(call("abc", "replace_first", "", ">")), ">abc");
  EXPECT_EQ(text(call("abc", "replace_first", "x", ">")), "abc");
}

TEST(StringReplace, IgnoringWhitespaceReplacesTheFirstSpanOnly) {
  const replace_case cases[] = {
      {"a b a b", "ab", "X", "X a b"},
      {" x\ta\n b y", "a b", "Z", " x\tZ y"},  // whitespace around the span stays
      {"abc", "a  c", "X", "abc"},
      {"ab", "abc", "X", "ab"},
      {"ab", " \t", "X", "Xab"},  // nothing to match: in front, as an empty search
      {"", "", "X", "X"},
  };
  for (const replace_case& c : cases) {
    EXPECT_EQ(text(call(c.receiver, "replace_ignoring_whitespace", c.search, c.replacement)),
              c.expected)
        << c.search << " in " << c.receiver;
  }
  EXPECT_EQ(text(call("a b", "replace_ignoring_whitespace", json({{"a", "x"}}))), "a b");
}

}  // namespace
