#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "stdlib/string/string_search.h"

#include "tests/stdlib/string_calls.h"

namespace {

using namespace string_calls;

TEST(StringSearch, CountIsNonOverlapping) {
  EXPECT_EQ(integer(call("aaaa", "count", "aa")), 2);
  EXPECT_EQ(integer(call("aaaaa", "count", "aa")), 2);
  EXPECT_EQ(integer(call("abcabc", "count", "")), 0);
  EXPECT_EQ(integer(call("abc", "count")), 3);
  EXPECT_EQ(integer(call("", "count")), 0);
  EXPECT_EQ(integer(call("", "count", "")), 0);
  EXPECT_EQ(integer(call(std::string("a\0a\0", 4), "count", std::string_view("\0", 1))), 2);
  EXPECT_EQ(integer(call(std::string(1000, ',') + "x", "count", ",")), 1000);  // many 8-bit sums
}

TEST(StringSearch, Containment) {
  EXPECT_EQ(integer(call("abc", "contains", "")), 1);
  EXPECT_EQ(integer(call("abc", "contains", "bd")), 0);
  EXPECT_EQ(integer(call("xaby", "contains_ignoring_whitespaces", "a b")), 1);
  EXPECT_EQ(integer(call("x a\tb\ny", "contains_ignoring_whitespaces", "ab")), 1);
  EXPECT_EQ(integer(call("xa", "contains_ignoring_whitespaces", " \t ")), 1);
  EXPECT_EQ(integer(call("a c", "contains_ignoring_whitespaces", "ab")), 0);
}

struct find_case {
  const char* method;
  const char* receiver;
  const char* sub;
  std::optional<int64_t> start;
  int64_t expected;
};

// Forward searches clamp a start counted from the end; backward searches treat a start still
// negative after counting from the end as "no limit".
TEST(StringSearch, FindFamilyStartRules) {
  const find_case cases[] = {
      {"find", "abcb", "b", -1, 3},
      {"find", "abcb", "b", 9, -1},
      {"find", "abcb", "b", INT64_MIN, 1},
      {"find", "abcb", "", 2, 2},
      {"find", "abcb", "", 99, 4},
      {"find", "abcb", "cbx", 0, -1},
      {"find", "", "", {}, 0},
      {"rfind", "abca", "a", -10, 3},
      {"rfind", "abca", "a", 2, 0},
      {"rfind", "abca", "a", INT64_MAX, 3},
      {"rfind", "abca", "ca", {}, 2},
      {"rfind", "abca", "", 1, 1},
      {"rfind", "abca", "", -10, 4},
      {"rfind", "", "", {}, 0},
      {"rfind", "", "a", 5, -1},
      {"find_first_of", "hello", "lo", {}, 2},
      {"find_first_of", "hello", "lo", -1, 4},
      {"find_first_of", "hello", "", {}, -1},
      {"find_first_of", "hello", "h", 5, -1},
      {"find_first_not_of", "   ", " ", {}, -1},
      {"find_first_not_of", "  x", " ", INT64_MIN, 2},
      {"find_first_not_of", "abc", "", 1, 1},
      {"find_last_of", "hello", "l", {}, 3},
      {"find_last_of", "hello", "l", 2, 2},
      {"find_last_of", "hello", "l", 1, -1},
      {"find_last_of", "hello", "h", INT64_MIN, 0},
      {"find_last_not_of", "xaa", "a", {}, 0},
      {"find_last_not_of", "aaa", "a", {}, -1},
      {"find_last_not_of", "", "a", 3, -1},
  };
  for (const find_case& c : cases) {
    trvvar_shared result =
        c.start ? call(c.receiver, c.method, c.sub, *c.start) : call(c.receiver, c.method, c.sub);
    EXPECT_EQ(integer(result), c.expected)
        << c.method << "(\"" << c.sub << "\", " << c.start.value_or(-999) << ") in \"" << c.receiver
        << "\"";
  }
}

TEST(StringSearch, BytesAboveAsciiAndNulAreOrdinaryBytes) {
  const std::string text("a\0\xFF", 3);
  EXPECT_EQ(integer(call(text, "find_first_of", std::string_view("\xFF", 1))), 2);
  EXPECT_EQ(integer(call(text, "find", std::string_view("\0\xFF", 2))), 1);
  EXPECT_EQ(integer(call(text, "find_last_not_of", std::string_view("\0\xFF", 2))), 0);
}

// Long needles over two letters keep nearly matching, so the searches leave their plain scan for
// KMP part way, forward and backward; every answer must stay the library's.
TEST(StringSearch, LongNearlyMatchingNeedlesFindWhatThePlainSearchFinds) {
  std::mt19937 random(11);
  const auto text_of = [&](size_t size, unsigned b_in) {
    std::string s(size, 'a');
    for (char& c : s) c = random() % b_in == 0 ? 'b' : 'a';
    return s;
  };
  for (int round = 0; round < 300; ++round) {
    const std::string text = text_of(64 + random() % 2000, 2 + random() % 200);
    const std::string sub = text_of(32 + random() % 100, 2 + random() % 100);
    const size_t from = random() % text.size();
    const std::string_view view(text);
    ASSERT_EQ(trv_find_text(text, sub, from), view.find(sub, from)) << text << " / " << sub;
    ASSERT_EQ(trv_rfind(text, sub, static_cast<int64_t>(from)),
              static_cast<int64_t>(view.rfind(sub, from)))
        << text << " / " << sub;
    // A needle cut from the text is found where it was cut, or before.
    const std::string inside = text.substr(from / 2, 40);
    if (inside.size() == 40) {
      ASSERT_EQ(trv_find_text(text, inside, 0), view.find(inside));
      ASSERT_EQ(trv_rfind(text, inside, std::nullopt), static_cast<int64_t>(view.rfind(inside)));
    }
  }
  const std::string runs(100000, 'a');
  const std::string needle = std::string(5000, 'a') + "b";
  EXPECT_EQ(trv_find_text(runs + needle, needle, 0), runs.size());
  EXPECT_EQ(trv_rfind("b" + std::string(5000, 'a') + runs, "b" + std::string(5000, 'a'), -1), 0);
  EXPECT_EQ(trv_count(runs, std::string(40, 'a')), 2500);
}

}  // namespace
