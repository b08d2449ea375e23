// Variant conversions the report engines rely on: numeric texts, 16-bit rounding and overflow,
// group-key comparison and numbers as text.
#include <gtest/gtest.h>

#include "tabrix/error.h"
#include "tabrix/error_codes.h"
#include "tabrix/variant.h"

namespace tabrix {
namespace {

TEST(Variant, NumericTextTest) {
  EXPECT_TRUE(IsNumeric(" 12 "));
  EXPECT_TRUE(IsNumeric("-1.5e3"));
  EXPECT_TRUE(IsNumeric("1,000.25"));
  EXPECT_FALSE(IsNumeric(""));
  EXPECT_FALSE(IsNumeric("1G1"));
  EXPECT_FALSE(IsNumeric("e5"));
}

TEST(Variant, Int16ConversionRoundsHalfToEvenAndOverflows) {
  EXPECT_EQ(ToInt16("2.5"), 2);
  EXPECT_EQ(ToInt16("3.5"), 4);
  EXPECT_EQ(ToInt16("-2.5"), -2);
  EXPECT_EQ(ToInt16("32767"), 32767);
  const auto error = [](const char* text) {
    try {
      ToInt16(text);
    } catch (const AutomationError& e) {
      return e.Number();
    }
    return 0;
  };
  EXPECT_EQ(error("32768"), kErrOverflow);
  EXPECT_EQ(error("abc"), kErrTypeMismatch);
}

TEST(Variant, GroupComparison) {
  EXPECT_TRUE(VariantsEqual(Variant(1.0), Variant(1)));
  EXPECT_FALSE(VariantsEqual(Variant("abc"), Variant("ABC")));
  EXPECT_TRUE(VariantsEqual(Variant(""), Variant::Null()));
  EXPECT_EQ(Variant::Date(45000.5).ToText(), "2023-03-15 12:00:00");
  EXPECT_EQ(Variant(0.1).ToText(), "0.1");
}

TEST(Variant, NumbersAsTextWithoutExponentForEverydayMagnitudes) {
  EXPECT_EQ(Variant(40000).ToText(), "40000");
  EXPECT_EQ(Variant(100000).ToText(), "100000");
  EXPECT_EQ(Variant(-1200.5).ToText(), "-1200.5");
  EXPECT_EQ(Variant(0.00012).ToText(), "0.00012");
  EXPECT_EQ(Variant(123456789012.25).ToText(), "123456789012.25");
  EXPECT_EQ(Variant(1e20).ToText(), "1e+20");
}

}  // namespace
}  // namespace tabrix
