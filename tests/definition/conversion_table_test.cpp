// The format-conversion table reader: fields, comments, limits and lookups by name or number (a
// missing table: the run tests, which warn and keep the template's format).
#include "definition/conversion_table.h"

#include <gtest/gtest.h>

#include "definition_test_files.h"

namespace tabrix {
namespace {

using testing_support::DefinitionFolder;

class ConversionTable : public DefinitionFolder {
 protected:
  std::vector<ConvEntry> table;
};

TEST_F(ConversionTable, ParsesFieldsCommentsAndShortLines) {
  const std::string path = Write("fmtconv.cfg", {
      "; comment line\twith\tfour\tfields",
      " ;xlCSV\t6\tcommented\tout",
      "",
      "xlCSV\t6\tComma separated",            // three fields: ignored
      "  xlCSV  \t 6 \t CSV (comma delimited) \t csv \textra\tfields",
      "xlOpenXMLWorkbook\t51\tExcel Workbook\txlsx",
      "xlcsv\t99\tsecond of the same name\tx",
      "Text\tnot-a-number\tNamed only\tx",
      "Neg\t-4158\tCurrent platform text\ttxt",
      "Half\t2.5\tRounded to even\tx",
      "Empty\t\t\t",
  }, "\r\n", "\xEF\xBB\xBF");
  table = {ConvEntry{"stale", 1, true, "", ""}};
  LoadConversionTable(table, path);
  ASSERT_EQ(table.size(), 7u);
  EXPECT_EQ(table[0].Name, "xlCSV");
  EXPECT_EQ(table[0].FileFormat, 6);
  EXPECT_TRUE(table[0].HasFileFormat);
  EXPECT_EQ(table[0].Description, "CSV (comma delimited)");
  EXPECT_EQ(table[0].Extra, "csv");
  EXPECT_FALSE(table[3].HasFileFormat);
  EXPECT_EQ(table[3].FileFormat, 0);
  EXPECT_EQ(table[4].FileFormat, -4158);
  EXPECT_EQ(table[5].FileFormat, 2);
  EXPECT_EQ(table[6].Name, "Empty");
  EXPECT_FALSE(table[6].HasFileFormat);

  EXPECT_EQ(FindConvEntry(table, "xlcsv"), 0);  // case-insensitive, first of equal names
  EXPECT_EQ(FindConvEntry(table, "6"), 0);
  EXPECT_EQ(FindConvEntry(table, " 99 "), 2);   // by number, whatever the name
  EXPECT_EQ(FindConvEntry(table, "51.4"), 1);
  EXPECT_EQ(FindConvEntry(table, "Text"), 3);
  EXPECT_EQ(FindConvEntry(table, "-4158"), 4);
  EXPECT_EQ(FindConvEntry(table, ""), -1);
  EXPECT_EQ(FindConvEntry(table, "44"), -1);
  EXPECT_EQ(FindConvEntry(table, "99999999999"), -1);
}

TEST_F(ConversionTable, ReadingEndsAfter257EntriesOrAtANumberBeyond32Bits) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 300; ++i) lines.push_back("f" + std::to_string(i) + "\t" + std::to_string(i) + "\td\te");
  LoadConversionTable(table, Write("big.cfg", lines));
  ASSERT_EQ(table.size(), 257u);
  EXPECT_EQ(table.back().Name, "f257");
  EXPECT_EQ(FindConvEntry(table, "f258"), -1);

  LoadConversionTable(table, Write("ovf.cfg", {"a\t1\td\te", "b\t99999999999\td\te", "c\t3\td\te"}, "\n"));
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].Name, "a");
}

}  // namespace
}  // namespace tabrix
