#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "stdlib/json/json_values.h"
#include "stdlib/string/std_string.h"
#include "tests/support/capturing_logger.h"
#include "tests/support/test_values.h"
#include "values/convert.h"

namespace {

// Other texts of numbers and none show in the operator and comparison tables.
TEST(Convert, TextOfPrimitives) {
  EXPECT_EQ(trvvar_string_value(*of_type(TRVVAR_ERR)), "ERROR");
  EXPECT_EQ(trvvar_string_value(*float_of(1e300)).size(), 308u);
  // The same on every platform, a NaN's sign included.
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(trvvar_string_value(*float_of(inf)), "inf");
  EXPECT_EQ(trvvar_string_value(*float_of(-inf)), "-inf");
  EXPECT_EQ(trvvar_string_value(*float_of(nan)), "nan");
  EXPECT_EQ(trvvar_string_value(*float_of(-nan)), "-nan");
}

TEST(Convert, IntegersFromEveryPrimitive) {
  EXPECT_EQ(trvvar_int_value(*string_of("12abc")), 12);
  EXPECT_EQ(trvvar_int_value(*string_of("abc")), 0);
  EXPECT_EQ(trvvar_int_value(*float_of(-2.9)), -2);
  EXPECT_EQ(trvvar_int_value(*float_of(std::nan(""))), INT64_MIN);
  EXPECT_EQ(trvvar_int_value(*float_of(1e30)), INT64_MIN);
  EXPECT_DOUBLE_EQ(trvvar_float_value(*string_of("2.5x")), 2.5);
}

TEST(Convert, UnsupportedTypesWarnWithTheirNumber) {
  log_capture capture;
  trvvar_shared none = trvvar_new();
  EXPECT_EQ(trvvar_float_value(*none), 0.0);
  trvvar_shared bytes = of_type(TRVVAR_BINARY);
  EXPECT_EQ(trvvar_int_value(*bytes), 0);
  EXPECT_EQ(capture.warnings(),
            (std::vector<std::string>{"float_value() not implemented for type: 1",
                                      "int_value() not implemented for type: 6"}));
}

TEST(Convert, TruthAndViews) {
  EXPECT_TRUE(trvvar_get_bool(*float_of(std::nan(""))));
  EXPECT_FALSE(trvvar_get_bool(*float_of(-0.0)));
  EXPECT_FALSE(trvvar_get_bool(*string_of("")));
  EXPECT_TRUE(trvvar_get_bool(*string_of("0")));
  trvvar_shared s = string_of("in place");
  EXPECT_EQ(trvvar_string_view(*s).data(), trvvar_get_or_make_string(*s).data());
  EXPECT_EQ(trvvar_string_view(*float_of(1.0)), "1.000000");
}

TEST(Convert, JsonValuesConvertToCompactText) {
  trvvar_shared j = trvvar_new();
  trv_std_json& container = trvvar_get_or_make_json(*j);
  trvvar_set_int(*container.add_keyed("a"), 1);
  EXPECT_EQ(trvvar_string_value(*j), "{\"a\":1}");
  EXPECT_NE(container.to_string(), trvvar_string_value(*j));  // the object's own text is indented
}

}  // namespace
