// Displayed texts of values under number formats, as the spreadsheet application shows them.
// The common formats are compared with LibreOffice's display in ../libreoffice_check_test.cpp;
// these are the cases where LibreOffice shows something else or that it does not reach.
#include "xlsx/number_format/number_format.h"

#include <gtest/gtest.h>

namespace tabrix::xlsx {
namespace {

TEST(NumberFormat, NumbersShowAsTheApplicationShowsThem) {
  const std::string accounting = std::string(BuiltinFormatCode(43));
  const struct {
    double value;
    std::string code;
    const char* shown;
  } cases[] = {
      // General: eleven characters, then scientific.
      {0, "General", "0"}, {1.0 / 3, "General", "0.333333333"}, {0.1 + 0.2, "General", "0.3"},
      {12345678901.0, "General", "12345678901"}, {123456789012.0, "General", "1.23457E+11"},
      {99999999999.6, "General", "1E+11"}, {0.0001234567, "General", "0.000123457"},
      {0.00001234567, "General", "1.23457E-05"}, {1.5e300, "General", "1.5E+300"},
      {2.5, "", "2.5"}, {-2.5, "\"Value: \"General", "-Value: 2.5"},
      // Decimal rounding, half away from zero although the doubles lie just below; a small
      // negative keeps its minus sign; placeholders, scaling commas, exponents and fractions.
      {1234567.891, std::string(BuiltinFormatCode(3)), "1,234,568"}, {1.005, "0.00", "1.01"},
      {-2.5, "0", "-3"}, {-0.001, "0.00", "-0.00"}, {7, "000", "007"}, {1.5, "0.0??", "1.5  "},
      {123456789012345678.0, "0", "123456789012346000"}, {1234567, "0.0,,\"M\"", "1.2M"},
      {999.99, "0.0E+00", "1.0E+03"}, {0.01, "0.0E-0", "1.0E-2"}, {3.14159, "# ??/??", "3 14/99"},
      // Sections and conditions: only the first section adds a minus.
      {0, "0;-0;", ""}, {-3, "0;;", ""}, {-1234, std::string(BuiltinFormatCode(38)), "(1,234)"},
      {-1234.5, std::string(BuiltinFormatCode(8)), "($1,234.50)"}, {1234.5, accounting, " 1,234.50 "},
      {5, "\"Total: \"0\\ \\k\\g", "Total: 5 kg"}, {1, "[=1]\"one\";0", "one"}, {-5, "[<100]0;0", "-5"},
      {-200, "[>=100]0;[<=-100]-0;0", "-200"}, {-7, "[<0]\"neg\";[>0]\"pos\";\"zero\"", "neg"}, {5, "@", "5"},
      {-0.5, "#,##0.00;[Red](#,##0.00);\"-\"", "(0.50)"}, {0, "#,##0.00;[Red](#,##0.00);\"-\"", "-"},
      // Dates with the 1900 leap day, the bounds, times, minutes against months, elapsed time.
      {45351, "ddd dd/mm/yy", "Thu 29/02/24"}, {1, "yyyy-mm-dd dddd", "1900-01-01 Sunday"},
      {60, "yyyy-mm-dd", "1900-02-29"}, {61, "yyyy-mm-dd dddd", "1900-03-01 Thursday"},
      {0, "m/d/yyyy", "1/0/1900"}, {0, "yyyy-mm-dd", "1900-01-00"}, {2958465, "yyyy-mm-dd", "9999-12-31"},
      {-1, "yyyy-mm-dd", "########"}, {0.75 + 5.0 / 86400, std::string(BuiltinFormatCode(19)), "6:00:05 PM"},
      {0.0006, std::string(BuiltinFormatCode(45)), "00:52"}, {0.0006, "mm:ss.00", "00:51.84"},
      {45292 + 0.5 + 7.0 / 1440, "m/d h:m", "1/1 12:7"}, {45292 + 7.0 / 1440, "m:ss d-m", "7:00 1-1"},
      {0.25, "[s]", "21600"}, {0.75, "hh:mm A/P", "06:00 P"}, {-0.5, "h:mm", "########"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatNumber(c.value, c.code), c.shown) << c.value << " as " << c.code;
  // The 1904 date system.
  EXPECT_EQ(FormatNumber(0, "yyyy-mm-dd dddd", true), "1904-01-01 Friday");
  EXPECT_EQ(FormatNumber(43830, "yyyy-mm-dd", true), "2024-01-01");
}

TEST(NumberFormat, TextsAndBooleansUseTheTextSectionOrShowThemselves) {
  EXPECT_EQ(FormatText("abc", "0.00;-0.00;0;\"<\"@\">\""), "<abc>");
  EXPECT_EQ(FormatText("abc", "\"Name: \"@"), "Name: abc");
  EXPECT_EQ(FormatText("abc", "0.00"), "abc");
  EXPECT_EQ(FormatText(" x", BuiltinFormatCode(44)), "  x ");
  EXPECT_EQ(FormatBoolean(true), "TRUE");
  EXPECT_EQ(NumberFormat("0.00").FormatBoolean(false), "FALSE");
}

TEST(NumberFormat, DateFormatsAreToldFromOthers) {
  for (int id = 0; id < 50; ++id) EXPECT_EQ(IsDateFormat(BuiltinFormatCode(id)), IsDateFormatId(id)) << id;
  EXPECT_EQ(BuiltinFormatCode(-1), "");  // ids outside the table have no code
  EXPECT_EQ(BuiltinFormatCode(50), "");
  for (const char* code : {"[$-409]mmmm d, yyyy;@", "[h]:mm", "[Red][<0.5]h:mm;0", "d-mmm"})
    EXPECT_TRUE(IsDateFormat(code) && NumberFormat(code).IsDate()) << code;
  for (const char* code : {"\"days\" 0", "0.00\\h", "[Red]#,##0;[Blue]-#,##0", "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)",
                           "0.00E+00", "0%"})
    EXPECT_FALSE(IsDateFormat(code) || NumberFormat(code).IsDate()) << code;
}

}  // namespace
}  // namespace tabrix::xlsx
