// Tests of database value conversions that real columns do not already reach.
#include <gtest/gtest.h>

#include "database_test_support.h"
#include "db/database_values.h"
#include "db/odbc/wide_text.h"

namespace tabrix::platform {
namespace {

using testing::SerialOf;

double IsoSerial(std::string_view text) {
  double serial = -1;
  EXPECT_TRUE(SerialFromIsoText(text, serial)) << text;
  return serial;
}

bool IsIsoDate(std::string_view text) {
  double ignored;
  return SerialFromIsoText(text, ignored);
}

TEST(DatabaseValues, IsoTextBecomesTheSpreadsheetSerial) {
  EXPECT_EQ(IsoSerial("1900-01-01"), 1);
  EXPECT_EQ(IsoSerial("1900-02-28"), 59);
  EXPECT_EQ(IsoSerial("1900-03-01"), 61);  // the spreadsheet counts a 1900-02-29
  EXPECT_EQ(IsoSerial("2000-01-01"), 36526);
  EXPECT_EQ(IsoSerial("2023-12-31 06:00"), SerialOf(2023, 12, 31) + 0.25);
  EXPECT_DOUBLE_EQ(IsoSerial("2023-12-31 00:00:01.5"), SerialOf(2023, 12, 31) + 1.5 / 86400);
  // A zone suffix is accepted and the wall-clock time kept.
  EXPECT_EQ(IsoSerial("2024-01-05 08:00:00-05:30"), SerialOf(2024, 1, 5, 8));
  EXPECT_EQ(IsoSerial("18:00"), 0.75);

  for (const char* text : {"2023-02-29", "2024-13-01", "2024-00-10", "2024-1-5", "1899-12-31",
                           "24:00", "2024-01-05 25:00", "2024-01-05x", "12/31/2023", "", "NaN"})
    EXPECT_FALSE(IsIsoDate(text)) << text;
}

TEST(DatabaseValues, SqliteNumericDateForms) {
  double serial;
  ASSERT_TRUE(SerialFromJulianDay(2451544.5, serial));  // 2000-01-01 00:00
  EXPECT_EQ(serial, 36526);
  ASSERT_TRUE(SerialFromUnixTime(0, serial));
  EXPECT_EQ(serial, 25569);
  ASSERT_TRUE(SerialFromUnixTime(-2208988800.0 + 86400 * 59, serial));  // 1900-03-01
  EXPECT_EQ(serial, 61);
  EXPECT_FALSE(SerialFromUnixTime(-2208988800.0 - 86400, serial));  // 1899-12-31
  EXPECT_FALSE(SerialFromJulianDay(100, serial));
}

TEST(DatabaseValues, ExactNumbersKeepTheirDigits) {
  EXPECT_EQ(ExactNumberToVariant("-123.4500"), Variant(-123.45));
  EXPECT_EQ(ExactNumberToVariant("1E+3"), Variant(1000));
  EXPECT_EQ(ExactNumberToVariant("0.000000000000000000123"), Variant(1.23e-19));
  EXPECT_EQ(ExactNumberToVariant("100000000000000000000"), Variant(1e20));  // one digit
  EXPECT_EQ(ExactNumberToVariant("1234567890123456"), Variant("1234567890123456"));
  EXPECT_EQ(ExactNumberToVariant("0.1234567890123456"), Variant("0.1234567890123456"));
  EXPECT_EQ(ExactNumberToVariant("NaN"), Variant("NaN"));

  EXPECT_EQ(IntegerToVariant(-999999999999999), Variant(-999999999999999.0));
  EXPECT_EQ(IntegerToVariant(1000000000000001), Variant("1000000000000001"));
  EXPECT_EQ(IntegerToVariant(INT64_MIN), Variant("-9223372036854775808"));
  EXPECT_EQ(IntegerToVariant(4000000000000000), Variant(4e15));

  bool flag = false;
  EXPECT_TRUE(BooleanFromText(" TRUE ", flag) && flag);
  EXPECT_TRUE(BooleanFromText("f", flag) && !flag);
  EXPECT_FALSE(BooleanFromText("2", flag));
}

TEST(DatabaseValues, WideTextRoundTripsAndRepairsBadUtf8) {
  std::string text = "aé日😀";
  odbc::WideString wide = odbc::ToWide(text);
  ASSERT_EQ(wide.size(), 5u);  // the emoji is a surrogate pair
  EXPECT_EQ(wide[3], 0xD83D);
  EXPECT_EQ(odbc::FromWide(wide), text);
  // Bytes that are not UTF-8 (a stray continuation byte, a cut sequence, an overlong form,
  // legacy 8-bit letters) go to the database as U+FFFD.
  EXPECT_EQ(odbc::FromWide(odbc::ToWide("a\x80" "b\xE6\x97")), "a\uFFFD" "b\uFFFD\uFFFD");
  EXPECT_EQ(odbc::FromWide(odbc::ToWide("Z\xFCrich")), "Z\uFFFDrich");
  // A lone surrogate keeps its three-byte form, both ways.
  const SQLWCHAR lone[] = {0xDC00, 'x'};
  EXPECT_EQ(odbc::FromWide(lone, 2), "\xED\xB0\x80x");
  EXPECT_EQ(odbc::ToWide("\xED\xB0\x80x"), odbc::WideString(lone, 2));
}

}  // namespace
}  // namespace tabrix::platform
