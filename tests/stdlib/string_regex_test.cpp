// The regex methods called outside any task (their jobs then run at once), on texts that
// break backtracking engines: every call ends in bounded time with its result or its fallback.

#include <gtest/gtest.h>

#include <string>

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
