// The regex methods called outside any task (their jobs then run at once), on texts that
// break backtracking engines: every call ends in bounded time with its result or its fallback.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "stdlib/string/regex_engine.h"

#include "tests/stdlib/string_calls.h"
#include "tests/support/owned_runtime.h"
#include "values/reference.h"

namespace {

using namespace string_calls;

int64_t int_of(const trvvar_shared& v) { return trvvar_int_value(*v); }
std::string text_of(const trvvar_shared& v) { return trvvar_string_value(*v); }
size_t list_size(const trvvar_shared& v) {
  return trv_object_cast<trv_std_json>(trvvar_payload_object(*v))->entries.size();
}

struct collected_parts final : trv_string_parts {
  std::string joined;
  void add(std::string_view part) override {
    if (!joined.empty()) joined += '|';
    joined += part;
  }
};

std::string findall(std::string_view text, std::string_view pattern) {
  collected_parts parts;
  trv_regex_findall(text, pattern, parts);
  return parts.joined;
}

// A pattern, a text and the matches of findall joined by "|".
struct findall_case {
  const char* pattern;
  const char* text;
  const char* matches;
};

template <size_t n>
void expect_findall(const findall_case (&cases)[n]) {
  for (const findall_case& c : cases) {
    EXPECT_EQ(findall(c.text, c.pattern), c.matches) << c.pattern;
  }
}

// Patterns that start with a one-character atom repeated by "+" (which the engine is given in
// another, faster spelling) match as written, and stay invalid where they were.
TEST(StringRegex, LeadingRepeatsMatchAsWritten) {
  const findall_case cases[] = {
      {"[0-9]+", "a12 b345 6", "12|345|6"}, {"[0-9]+?", "a12 b3", "1|2|3"},
      {"[0-9]++", "12 3", "12|3"},          {"[0-9]++5", "125 5", ""},
      {"\\d+x", "12x 3 4x", "12x|4x"},      {".+b", "ab ab a", "ab ab"},
      {"[^-]+", "a-bc--d", "a|bc|d"},       {"\\-+", "a--b-", "--|-"},
      {"[a\\]]+", "a]]b]", "a]]|]"},        {"x+|y", "xxyx", "xx|y|x"},
      {"a+b+", "aabbab ba", "aabb|ab"},     {"\\w+@\\w+", "ab@cd e@f", "ab@cd|e@f"},
  };
  expect_findall(cases);

  collected_parts pieces;
  trv_regex_split("a1b22c", "[0-9]+", pieces);
  EXPECT_EQ(pieces.joined, "a|b|c");
  EXPECT_EQ(trv_regex_replace("a1b22c", "\\d+", "<$&>"), "a<1>b<22>c");

  for (const char* invalid : {"+a", "[0-9]+*", "[0-9", "\\", "a+{"}) {
    EXPECT_THROW(findall("a1", invalid), std::exception) << invalid;
  }
}

// "." stops at "\n" and "\r" only, "^" and "$" hold at the ends of the text only, whatever
// the lines in between; a dot inside a class or escaped stays a dot.
TEST(StringRegex, DotsAndAnchorsAsInECMAScript) {
  const findall_case cases[] = {
      {".+", "ab\ncd\ref\fg", "ab|cd|ef\fg"},
      {".", "\xC3\x85", "\xC3|\x85"},
      {"^\\w+", "ab cd\nef", "ab"},
      {"\\w+$", "ab cd\nef gh", "gh"},
      {"a$", "a\n", ""},
      {"[.]+", "a..b", ".."},
      {"\\.x", "a.b.x", ".x"},
      {"[[:alpha:].]+", "ab.c1", "ab.c"},
  };
  expect_findall(cases);
  EXPECT_EQ(trv_regex_search("a\nb", "^b"), -1);
  EXPECT_EQ(trv_regex_search("a\nb", "b$"), 2);
  EXPECT_TRUE(trv_regex_match("a.b", "a.b"));
  EXPECT_FALSE(trv_regex_match("a\nb", "a.b"));
}

// The engine reads a wider dialect, in which some ECMAScript text means something else: each
// pattern here finds what ECMAScript finds, or is refused as ECMAScript refuses it.
TEST(StringRegex, PatternsReadAsECMAScript) {
  const findall_case cases[] = {
      {"\\u0041+", "xAAu0041", "AA"},  // a code unit, not "an upper-case letter, then 0041"
      {"[\\u0041\\x42]+", "xAB", "AB"},
      {"[^]", "a\n", "a|\n"},  // any character, line ends included
      {"[]a]", "a]", ""},      // an empty class, then "a]"
      {"[^]a]", "xa]", "xa]"},
      {"\\Q.\\E", "Q.E QxE", "Q.E|QxE"},  // no quoting: \Q is Q
      {"a\\z", "az a", "az"},             // no anchors \z \Z \A: letters
      {"\\l\\u0030\\e", "l0e", "l0e"},    // no case classes, no escape character
      {"[\\z\\q]+", "zq", "zq"},
      {"\\/\\-\\<", "/-<", "/-<"},
      {"a{2}", "aaa", "aa"},
      {"a{1,}b{0,1}", "aab", "aab"},
      {"a}", "a}", "a}"},
      {"(?:a)(?=b)(?!c)", "ab", "a"},
      // A group that has not taken part (yet) matches the empty text where it is named.
      {"(a)?b\\1", "xb aba", "b|aba"},
      {"\\2(a)(b)", "ab", "ab"},
      {"(a)(b\\1)", "aba", "aba"},  // a group closed before, named from inside another
      {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)\\10", "abcdefghija0 abcdefghijj", "abcdefghijj"},
      {"\\012", "\n12", ""},  // no octal escapes: the byte 0, then "12"
      {"[\\012]+", "\n12", "12"},
      {"[\\S\\D]+", " a5", " a5"},  // two negated classes take what either takes
      {"[\\W\\S]+", "a_ 5", "a_ 5"},
      {"[^\\S]+", "a \t5", " \t"},
      {"[a-b-c]+", "x-cab", "-cab"},  // a dash after a range is a dash
      {"[0-9-z]+", "x-9z", "-9z"},
      {"[[:blank:]]+", "a \t\v", " \t"},
      {"[[:ALPHA:][:Digit:]]+", "a5-", "a5"},  // class names in any case
      {"[-\\w]+", "a-_ ", "a-_"},              // a dash first or last is a dash
      {"[\\w-]+", "a-_ ", "a-_"},
      {"(?=)a", "ba", "a"},
      {"b(?!)|a", "ab", "a"},
  };
  expect_findall(cases);
  for (const char* refused : {"(?i)a",       "(?<=a)b",    "(?<n>a)",       "(?>a)",
                              "(?#c)",       "a{",         "a{,2}",         "x{}",
                              "{",           "\\x4",       "\\u12",         "[\\u41]",
                              "[a",          "(a)\\2",     "(a)\\10",       "(*FAIL)|b",
                              "a(*ACCEPT)b", "[[:word:]]", "[[:^space:]]",  "(?=a)*a",
                              "(?!b)+a",     "^*a",        "a\\b{2}",       "$?",
                              "[\\w-a]",     "[a-\\d]",    "[[:blank:]-a]", "[\\x01-[:blank:]]"}) {
    EXPECT_THROW(findall("a", refused), std::exception) << refused;
  }
  // A group named from inside itself, which the engine's search and whole-text match read
  // differently.
  for (const char* refused : {"(a\\1)", "((.*)\\1).+", "(a(?=\\1))", "(?:(a\\1))*"}) {
    EXPECT_THROW(findall("a", refused), std::exception) << refused;
  }
}

TEST(StringRegex, HostileInputsEndWithAResultOrTheFallback) {
  owned_runtime owned;
  std::string line(1 << 20, '7');
  trvptr_strong<trv_std_string> digits = new_string(line);
  EXPECT_EQ(int_of(call_on(*digits, "regex_match", "[0-9]+")), 1);
  EXPECT_EQ(int_of(call_on(*digits, "regex_match", ".*")), 1);
  EXPECT_EQ(int_of(call_on(*digits, "regex_search", "8")), -1);

  // 10 MB of short words and numbers.
  std::string words;
  while (words.size() < (10u << 20)) words += "ab 123 ";
  trvptr_strong<trv_std_string> text = new_string(words);
  EXPECT_EQ(list_size(call_on(*text, "regex_findall", "[0-9]+")), words.size() / 7);
  EXPECT_EQ(text_of(call_on(*text, "regex_replace", " ", "")).size(), words.size() / 7 * 5);

  // An alternation over 4 MB: matched or given up as too deep, never a crash.
  std::string ab(4u << 20, 'a');
  for (size_t i = 0; i < ab.size(); i += 3) ab[i] = 'b';
  trvptr_strong<trv_std_string> alternation = new_string(ab);
  const int64_t matched = int_of(call_on(*alternation, "regex_match", "(a|b)*"));
  EXPECT_TRUE(matched == 0 || matched == 1);

  // Exponential backtracking is cut off by the engine's complexity limit.
  trvptr_strong<trv_std_string> xs = new_string(std::string(30, 'x'));
  EXPECT_EQ(int_of(call_on(*xs, "regex_search", "(x+x+)+y")), -1);
  EXPECT_EQ(list_size(call_on(*xs, "regex_findall", "(x+x+)+y")), 0u);
  EXPECT_EQ(text_of(call_on(*xs, "regex_replace", "(x+x+)+y", "-")), std::string(30, 'x'));
}

TEST(StringRegex, InPlaceFallbackAndArgumentsAsPassed) {
  owned_runtime owned;
  trvptr_strong<trv_std_string> s = new_string("a-b");
  EXPECT_EQ(int_of(call_on(*s, "regex_replace_inplace", "(", "+")), 0);
  EXPECT_EQ(s->text, "a-b");
  EXPECT_EQ(int_of(call_on(*s, "regex_replace_inplace", "-", "$&$&")), 1);
  EXPECT_EQ(s->text, "a--b");
  // regex_match receives its arguments as passed: a reference is followed by the conversion.
  trvvar_shared pattern = var("a-+b");
  trvvar_shared ref = trvvar_new();
  trvvar_make_ref(*ref, pattern.get());
  EXPECT_EQ(int_of(call_on(*s, "regex_match", ref)), 1);
}

}  // namespace
