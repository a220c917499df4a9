#include <gtest/gtest.h>

#include "stdlib/string/string_split.h"
#include "tests/stdlib/string_calls.h"

namespace {

using namespace string_calls;

struct split_case {
  std::string receiver;
  std::string delim;
  int64_t max_parts;
  bool strip;
  strings expected;
};

void expect_splits(const char* method, const split_case& c) {
  EXPECT_EQ(list(call(c.receiver, method, std::string_view(c.delim), c.max_parts,
                      static_cast<int64_t>(c.strip))),
            c.expected)
      << method << " of \"" << c.receiver << "\" by \"" << c.delim << "\", " << c.max_parts;
}

TEST(StringSplit, PlainSplit) {
  const split_case cases[] = {
      {"a,b,,c", ",", -1, false, {"a", "b", "", "c"}},
      {"a,b,,c", ",", 2, false, {"a", "b,,c"}},
      {"a,b,,c", ",", 0, false, {}},
      {"a,b,,c", ",", 1, false, {"a,b,,c"}},
      {"a,b,,c", ",", INT64_MIN, false, {"a", "b", "", "c"}},
      {"", ",", -1, false, {""}},
      {"a,", ",", -1, false, {"a", ""}},
      {"a::b::", "::", -1, false, {"a", "b", ""}},
      {"a:::b", "::", -1, false, {"a", ":b"}},
      {" a , b ", ",", -1, true, {"a", "b"}},  // the last part is stripped as well
      {" a , b ", ",", 1, true, {"a , b"}},
      // An empty delimiter is found wherever the search stands: only a cap ends the parts.
      {"abc", "", -1, false, {"abc"}},
      {"abc", "", 1, false, {"abc"}},
      {"abc", "", 2, false, {"", "abc"}},
      {"abc", "", 3, false, {"", "", "abc"}},
      {"abc", "", 6, true, {"", "", "", "", "", "abc"}},
      {"", "", 2, false, {"", ""}},
      {"ab", "abc", -1, false, {"ab"}},
      {std::string("a\0b", 3), std::string("\0", 1), -1, false, {"a", "b"}},
  };
  for (const split_case& c : cases) expect_splits("split", c);
  EXPECT_EQ(list(call("a,b", "split", ",")), (strings{"a", "b"}));
  // A cap far beyond any text gives a bounded number of empty parts, then the text.
  const strings huge = list(call("abc", "split", std::string_view(), INT64_MAX));
  ASSERT_EQ(huge.size(), trv_max_empty_delim_parts + 1);
  EXPECT_EQ(huge.front(), "");
  EXPECT_EQ(huge.back(), "abc");
}

TEST(StringSplit, Words) {
  EXPECT_EQ(list(call("  a\tbb \n c  ", "split_words")), (strings{"a", "bb", "c"}));
  EXPECT_EQ(list(call(" \t\r\n\v\f", "split_words")), strings{});
  EXPECT_EQ(list(call("", "split_words")), strings{});
  EXPECT_EQ(list(call("a\xA0"
                      "b",
                      "split_words")),
            (strings{"a\xA0"
                     "b"}));
}

// A delimiter counts only in the normal state at bracket depth 0.
TEST(StringSplit, SmartSplitRespectsQuotesCommentsAndBrackets) {
  const split_case cases[] = {
      {"f(a,b),\"x,y\",// c,d\ne", ",", -1, false, {"f(a,b)", "\"x,y\"", "// c,d\ne"}},
      {"a)b,c", ",", -1, false, {"a)b", "c"}},
      {"R\"(a,b)\",c", ",", -1, false, {"R\"(a,b)\"", "c"}},
      {"R\"x(a)\",b)x\",c", ",", -1, false, {"R\"x(a)\",b)x\"", "c"}},
      {"R\"x y(a\",b", ",", -1, false, {"R\"x y(a\"", "b"}},  // no raw string: a quote
      {"'a\\',b',c", ",", -1, false, {"'a\\',b'", "c"}},
      {"'a\\\\',b", ",", -1, false, {"'a\\\\'", "b"}},  // an even run of backslashes closes
      {"'''a,'',b''',c", ",", -1, false, {"'''a,'',b'''", "c"}},
      {"\"\"\"a,\"\",b\"\"\",c", ",", -1, false, {"\"\"\"a,\"\",b\"\"\"", "c"}},
      {"/*a,*/b,c", ",", -1, false, {"/*a,*/b", "c"}},
      {"/*/,*/,c", ",", -1, false, {"/*/,*/", "c"}},
      {"a/b,c", ",", -1, false, {"a/b", "c"}},
      {"[a,{b,(c,d)}],e", ",", -1, false, {"[a,{b,(c,d)}]", "e"}},
      {"(a,b", ",", -1, false, {"(a,b"}},
      {"'a,b", ",", -1, false, {"'a,b"}},  // unterminated: runs to the end
      {"// a,b", ",", -1, false, {"// a,b"}},
      {"(a)|b", ")|", -1, false, {"(a", "b"}},  // the closing bracket begins the delimiter
      {"a/b//c\nd/e", "/", -1, false, {"a", "b//c\nd", "e"}},  // "//" still opens a comment
      {"a;;b;c;;", ";;", -1, false, {"a", "b;c", ""}},
      {"a, b ,c", ",", 2, true, {"a", "b ,c"}},
      {"a,b,c", ",", 0, false, {}},
      {"a,b,c", ",", 1, false, {"a,b,c"}},
      {"a,b", "", -1, false, {"a,b"}},
      {"", ",", -1, false, {""}},
  };
  for (const split_case& c : cases) expect_splits("smart_split", c);
}

// A run of R" openers without a "(" must not make the scan quadratic; this finishes at once.
TEST(StringSplit, SmartSplitStaysLinearOnRawStringOpeners) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "R\"";
  text += ",x";
  EXPECT_EQ(list(call(text, "smart_split", ",")).size(), 2u);  // the quotes pair up
}

}  // namespace
