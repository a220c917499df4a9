#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "objects/object_binding.h"
#include "tests/support/capturing_logger.h"
#include "tests/support/test_values.h"
#include "values/compare.h"

namespace {

const double nan = std::nan("");

// Pairs whose comparisons are all defined, with the answers of ==, <, <=, > and >= as digits.
TEST(Compare, DefinedPairs) {
  const struct {
    const char* name;
    trvvar_shared left, right;
    const char* answers;
  } cases[] = {
      {"int/int", int_of(2), int_of(3), "01100"},
      {"int/int equal", int_of(2), int_of(2), "10101"},
      {"int/float (t=3)", int_of(1), float_of(1.0), "10101"},
      {"float/int", float_of(1.5), int_of(1), "00011"},
      {"signed zeros", float_of(0.0), float_of(-0.0), "10101"},
      {"NaN/float", float_of(nan), float_of(1.0), "00000"},
      {"NaN/NaN", float_of(nan), float_of(nan), "00000"},
      {"int/string (t=5)", int_of(10), string_of("10"), "10101"},
      {"string/string", string_of("abc"), string_of("abd"), "01100"},
      {"prefix first", string_of("ab"), string_of("abc"), "01100"},
      {"bytes not chars", string_of("\xff"), string_of("a"), "00011"},
      {"float as text", float_of(2.5), string_of("2.500000"), "10101"},
  };
  log_capture capture;
  for (const auto& c : cases) {
    trvvar &l = *c.left, &r = *c.right;
    const std::string answers = {char('0' + trvvar_compare_equal(l, r)),
                                 char('0' + trvvar_compare_smaller(l, r, false)),
                                 char('0' + trvvar_compare_smaller(l, r, true)),
                                 char('0' + trvvar_compare_bigger(l, r, false)),
                                 char('0' + trvvar_compare_bigger(l, r, true))};
    EXPECT_EQ(answers, c.answers) << c.name;
  }
  EXPECT_TRUE(capture.warnings().empty());
}

// Equality of containers and empty values holds no warning; unsupported pairings answer false
// and name the left operand's type.
TEST(Compare, EqualityOdditiesAndUnsupportedPairs) {
  log_capture capture;
  trvvar_shared container = json_of(3);
  EXPECT_TRUE(trvvar_compare_equal(*container, *int_of(3)));
  EXPECT_FALSE(trvvar_compare_equal(*int_of(3), *container));
  EXPECT_FALSE(trvvar_compare_equal(*container, *int_of(2)));
  EXPECT_FALSE(trvvar_compare_equal(*container, *container));
  EXPECT_FALSE(trvvar_compare_equal(*json_of(0), *json_of(0)));
  EXPECT_FALSE(trvvar_compare_equal(*container, *string_of("x")));  // t is 7, not 5
  EXPECT_TRUE(trvvar_compare_equal(*trvvar_new(), *trvvar_new()));
  EXPECT_TRUE(trvvar_compare_equal(*trvvar_new(), *of_type(TRVVAR_ERR)));

  EXPECT_FALSE(trvvar_compare_equal(*of_type(TRVVAR_ERR), *of_type(TRVVAR_ERR)));
  EXPECT_FALSE(trvvar_compare_smaller(*trvvar_new(), *trvvar_new(), true));
  EXPECT_FALSE(trvvar_compare_equal(*int_of(1), *of_type(TRVVAR_BINARY)));
  EXPECT_FALSE(trvvar_compare_bigger(*json_of(1), *int_of(0), false));
  EXPECT_FALSE(trvvar_compare_equal(*of_type(TRVVAR_FUNCTION), *of_type(TRVVAR_FUNCTION)));
  EXPECT_EQ(capture.warnings(), (std::vector<std::string>{
                                    "Compare_equal not implemented for type: 0",
                                    "Compare_smaller not implemented for type: 1",
                                    "Compare_equal not implemented for type: 2",
                                    "Compare_bigger not implemented for type: 7",
                                    "Compare_equal not implemented for type: 12",
                                }));
}

TEST(Compare, ZeroByType) {
  const struct {
    const char* name;
    trvvar_shared value;
    bool zero;
  } cases[] = {
      {"error", of_type(TRVVAR_ERR), true},
      {"none", trvvar_new(), true},
      {"0", int_of(0), true},
      {"-1", int_of(-1), false},
      {"-0.0", float_of(-0.0), true},
      {"NaN", float_of(nan), false},
      {"empty string", string_of(""), true},
      {"string 0", string_of("0"), false},
      {"empty binary", of_type(TRVVAR_BINARY), true},
      {"empty json", json_of(0), true},
      {"json", json_of(1), false},
      {"object without object", of_type(TRVVAR_OBJECT), true},
      {"function without definition", of_type(TRVVAR_FUNCTION), true},
      {"native function", of_type(TRVVAR_EXT_FUNCTION), false},
      {"reference without target", of_type(TRVVAR_REF), true},
      {"class without instance", of_type(TRVVAR_CLASS), true},
      {"class definition (unsupported)", of_type(TRVVAR_CLASS_DEF), true},
  };
  log_capture capture;
  for (const auto& c : cases) EXPECT_EQ(trvvar_compare_zero(*c.value), c.zero) << c.name;
  EXPECT_EQ(capture.texts(TRV_LOG_DEBUG),
            std::vector<std::string>{"Implement proper class compare_zero check!"});
  EXPECT_EQ(capture.warnings(),
            std::vector<std::string>{"compare_zero not implemented for type: 11"});
}

// An object that answers the comparison hooks as told and records the order of the questions.
struct answering : trvobject<answering, "test.answering">, trvptr_type_tag<answering> {
  answering(const char* name, std::vector<std::string>& log) : name(name), log(log) {}
  bool op_equal(trvvar&) override { return note("equal", equal); }
  bool op_less(trvvar&, bool or_equal) override {
    return note(or_equal ? "less_or_equal" : "less", less);
  }
  bool op_greater(trvvar&, bool or_equal) override {
    return note(or_equal ? "greater_or_equal" : "greater", greater);
  }
  bool is_empty() override { return empty; }
  bool note(const char* what, bool answer) {
    log.push_back(std::string(name) + "." + what);
    return answer;
  }
  const char* name;
  std::vector<std::string>& log;
  bool equal = false, less = false, greater = false, empty = false;
};

TEST(Compare, ObjectsAskTheirHooksInOrder) {
  std::vector<std::string> asked;
  auto* a = new answering("a", asked);
  auto* b = new answering("b", asked);
  trvvar_shared left = object_of(a);
  trvvar_shared right = object_of(b);

  EXPECT_FALSE(trvvar_compare_equal(*left, *right));
  b->equal = true;
  EXPECT_TRUE(trvvar_compare_equal(*left, *right));
  EXPECT_TRUE(trvvar_compare_equal(*left, *object_of(a)));  // same object, no question
  EXPECT_FALSE(trvvar_compare_equal(*left, *int_of(1)));    // not both objects
  EXPECT_EQ(asked, (std::vector<std::string>{"a.equal", "b.equal", "a.equal", "b.equal"}));

  asked.clear();
  b->greater = true;
  EXPECT_TRUE(trvvar_compare_smaller(*left, *right, true));  // b > a answers a <= b
  EXPECT_FALSE(trvvar_compare_bigger(*left, *right, false));
  EXPECT_TRUE(trvvar_compare_smaller(*right, *int_of(1), false) == false);
  EXPECT_EQ(asked, (std::vector<std::string>{"a.less_or_equal", "b.greater_or_equal", "a.greater",
                                             "b.less", "b.less"}));

  b->empty = true;
  EXPECT_TRUE(trvvar_compare_zero(*right));
  EXPECT_FALSE(trvvar_compare_zero(*left));
}

}  // namespace
