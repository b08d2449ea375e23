// Displayed texts of values under number formats, as the spreadsheet application shows them.
// The common formats are compared with LibreOffice's display in ../libreoffice_check_test.cpp.
#include "xlsx/number_format/number_format.h"

#include <gtest/gtest.h>

namespace tabrix::xlsx {
namespace {

std::string Show(double value, std::string_view code) { return FormatNumber(value, code); }
std::string ShowId(double value, int id) { return FormatNumber(value, BuiltinFormatCode(id)); }

TEST(NumberFormatGeneral, ElevenCharactersThenScientific) {
  EXPECT_EQ(FormatGeneral(0), "0");
  EXPECT_EQ(FormatGeneral(1.0 / 3), "0.333333333");
  EXPECT_EQ(FormatGeneral(0.1 + 0.2), "0.3");
  EXPECT_EQ(FormatGeneral(12345678901.0), "12345678901");
  EXPECT_EQ(FormatGeneral(123456789012.0), "1.23457E+11");
  EXPECT_EQ(FormatGeneral(99999999999.6), "1E+11");
  EXPECT_EQ(FormatGeneral(0.0001234567), "0.000123457");
  EXPECT_EQ(FormatGeneral(0.00001234567), "1.23457E-05");
  EXPECT_EQ(FormatGeneral(1.5e300), "1.5E+300");
  EXPECT_EQ(Show(2.5, ""), "2.5");
  EXPECT_EQ(Show(-2.5, "\"Value: \"General"), "-Value: 2.5");
}

TEST(NumberFormatDigits, RoundingPlaceholdersGroupingExponentsAndFractions) {
  EXPECT_EQ(ShowId(1234567.891, 3), "1,234,568");
  // Decimal rounding, half away from zero, although the doubles lie just below.
  EXPECT_EQ(Show(1.005, "0.00"), "1.01");
  EXPECT_EQ(Show(-2.5, "0"), "-3");
  // A small negative keeps its minus sign, as the application shows "-0.00".
  EXPECT_EQ(Show(-0.001, "0.00"), "-0.00");
  EXPECT_EQ(Show(7, "000"), "007");
  EXPECT_EQ(Show(123.456, "0.0#"), "123.46");
  EXPECT_EQ(Show(1.5, "0.0??"), "1.5  ");
  EXPECT_EQ(Show(123456789012345678.0, "0"), "123456789012346000");
  // Scaling commas.
  EXPECT_EQ(Show(1234567, "0.0,,\"M\""), "1.2M");
  // Exponents and fractions.
  EXPECT_EQ(Show(999.99, "0.0E+00"), "1.0E+03");
  EXPECT_EQ(Show(0.01, "0.0E-0"), "1.0E-2");
  EXPECT_EQ(Show(3.14159, "# ??/??"), "3 14/99");
}

TEST(NumberFormatSections, SignZeroTextAndConditions) {
  EXPECT_EQ(Show(0, "0;-0;"), "");
  EXPECT_EQ(Show(-3, "0;;"), "");
  EXPECT_EQ(ShowId(-1234, 38), "(1,234)");
  EXPECT_EQ(ShowId(-1234.5, 8), "($1,234.50)");
  EXPECT_EQ(ShowId(1234.5, 43), " 1,234.50 ");
  EXPECT_EQ(Show(5, "\"Total: \"0\\ \\k\\g"), "Total: 5 kg");
  // Conditions choose the section; only the first section adds a minus.
  EXPECT_EQ(Show(1, "[=1]\"one\";0"), "one");
  EXPECT_EQ(Show(-5, "[<100]0;0"), "-5");
  EXPECT_EQ(Show(-200, "[>=100]0;[<=-100]-0;0"), "-200");
  EXPECT_EQ(Show(-7, "[<0]\"neg\";[>0]\"pos\";\"zero\""), "neg");
  // Text values: the text section, "@" or the text itself.
  EXPECT_EQ(FormatText("abc", "0.00;-0.00;0;\"<\"@\">\""), "<abc>");
  EXPECT_EQ(FormatText("abc", "\"Name: \"@"), "Name: abc");
  EXPECT_EQ(FormatText("abc", "0.00"), "abc");
  EXPECT_EQ(FormatText(" x", BuiltinFormatCode(44)), "  x ");
  EXPECT_EQ(Show(5, "@"), "5");
  EXPECT_EQ(FormatBoolean(true), "TRUE");
  EXPECT_EQ(NumberFormat("0.00").FormatBoolean(false), "FALSE");
}

TEST(NumberFormatDates, SerialDatesWithThe1900Quirk) {
  EXPECT_EQ(Show(45351, "ddd dd/mm/yy"), "Thu 29/02/24");
  EXPECT_EQ(Show(1, "yyyy-mm-dd dddd"), "1900-01-01 Sunday");
  EXPECT_EQ(Show(60, "yyyy-mm-dd"), "1900-02-29");
  EXPECT_EQ(Show(61, "yyyy-mm-dd dddd"), "1900-03-01 Thursday");
  EXPECT_EQ(Show(0, "m/d/yyyy"), "1/0/1900");
  EXPECT_EQ(Show(2958465, "yyyy-mm-dd"), "9999-12-31");
  EXPECT_EQ(Show(0, "yyyy-mm-dd"), "1900-01-00");
  EXPECT_EQ(FormatNumber(0, "yyyy-mm-dd dddd", true), "1904-01-01 Friday");
  EXPECT_EQ(FormatNumber(43830, "yyyy-mm-dd", true), "2024-01-01");
  EXPECT_EQ(Show(-1, "yyyy-mm-dd"), "########");
}

TEST(NumberFormatDates, TimesMinutesAndElapsed) {
  EXPECT_EQ(ShowId(0.75 + 5.0 / 86400, 19), "6:00:05 PM");
  EXPECT_EQ(ShowId(0.0006, 45), "00:52");
  EXPECT_EQ(Show(0.0006, "mm:ss.00"), "00:51.84");
  // "m" right after hours or right before seconds is minutes; otherwise months.
  EXPECT_EQ(Show(45292 + 0.5 + 7.0 / 1440, "m/d h:m"), "1/1 12:7");
  EXPECT_EQ(Show(45292 + 7.0 / 1440, "m:ss d-m"), "7:00 1-1");
  EXPECT_EQ(Show(0.25, "[s]"), "21600");
  EXPECT_EQ(Show(0.75, "hh:mm A/P"), "06:00 P");
  EXPECT_EQ(Show(-0.5, "h:mm"), "########");
}

TEST(NumberFormatDates, IsDateFormat) {
  for (int id = 0; id < 50; ++id)
    EXPECT_EQ(IsDateFormat(BuiltinFormatCode(id)), IsDateFormatId(id)) << id;
  EXPECT_EQ(BuiltinFormatCode(-1), "");  // ids outside the table have no code
  EXPECT_EQ(BuiltinFormatCode(50), "");
  EXPECT_TRUE(IsDateFormat("[$-409]mmmm d, yyyy;@"));
  EXPECT_TRUE(IsDateFormat("[h]:mm"));
  EXPECT_TRUE(IsDateFormat("[Red][<0.5]h:mm;0"));
  EXPECT_FALSE(IsDateFormat("\"days\" 0"));
  EXPECT_FALSE(IsDateFormat("0.00\\h"));
  EXPECT_FALSE(IsDateFormat("[Red]#,##0;[Blue]-#,##0"));
  EXPECT_FALSE(IsDateFormat("_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)"));
  EXPECT_FALSE(IsDateFormat("0.00E+00"));
  EXPECT_TRUE(NumberFormat("d-mmm").IsDate());
  EXPECT_FALSE(NumberFormat("0%").IsDate());
}

TEST(NumberFormatCompiled, ReusedForManyValues) {
  const NumberFormat format("#,##0.00;[Red](#,##0.00);\"-\"");
  EXPECT_EQ(format.Format(1234.5), "1,234.50");
  EXPECT_EQ(format.Format(-0.5), "(0.50)");
  EXPECT_EQ(format.Format(0), "-");
}

}  // namespace
}  // namespace tabrix::xlsx
