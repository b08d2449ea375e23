// Range.Copy and Range.AutoFill (copy type) on a real template: values, formulas with relative
// and absolute references, formats, merged areas, row heights, conditional formats and
// validations of the source block.
#include <gtest/gtest.h>

#include "xlsx/xlsx_workbook.h"
#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "tabrix/error.h"
#include "template_factory.h"

namespace tabrix::xlsx {
namespace {

using platform::CellRect;
using platform::kMaxColumns;
using testing::TempFolder;

using test::Line;
using test::Opened;

TEST(CopyFill, AutoFillRepeatsTheBlockWithTranslatedFormulasFormatsAndRules) {
  TempFolder folder;
  Opened opened(test::MakeReportTemplate(folder.Path()));
  XlsxWorksheet& data = *opened.data;
  data.InsertCells(CellRect{6, 1, 8, kMaxColumns}, platform::kShiftDown);
  data.AutoFill(CellRect{5, 2, 5, 4}, CellRect{5, 2, 8, 4}, platform::kFillCopy);
  for (int row = 6; row <= 8; ++row) {
    std::string r = std::to_string(row);
    EXPECT_EQ(data.GetFormula(row, 4), "=B" + r + "*C" + r);
    EXPECT_EQ(data.GetValue(row, 2), Variant(1.0));
    EXPECT_EQ(data.CellStyle(row, 4), data.CellStyle(5, 4));
  }
  EXPECT_TRUE(data.GetValue(6, 1).IsEmpty());  // column A was not in the block
  const std::string output = testing::Saved(opened.book, folder.File("filled.xlsx"));
  std::string d = test::DescribeReport(output);
  EXPECT_EQ(Line(d, "cf"), "B5:B9");
  EXPECT_EQ(Line(d, "dv"), "C5:C9");
  EXPECT_EQ(testing::OpenpyxlCell(output, "Data", "D10"), "=SUM(D5:D9)");
  std::string fill = testing::RunPython(
      "import sys, openpyxl\nws = openpyxl.load_workbook(sys.argv[1])['Data']\n"
      "print(ws['D8'].fill.fgColor.rgb, ws['D8'].number_format)\n",
      {output});
  EXPECT_EQ(fill, "00FFFF00 0.00\n");
}

TEST(CopyFill, CopyKeepsAbsolutePartsRepeatsMergesAndAddsRuleRanges) {
  TempFolder folder;
  Opened opened(test::MakeReportTemplate(folder.Path()));
  XlsxWorksheet& data = *opened.data;
  data.CopyCells(CellRect{1, 1, 8, 5}, 21, 1);  // the whole report, twenty rows down
  EXPECT_EQ(data.GetValue(21, 1), Variant("Report"));
  EXPECT_EQ(data.MergeArea(21, 3), (CellRect{21, 1, 21, 4}));
  EXPECT_EQ(data.MergeArea(28, 2), (CellRect{28, 1, 28, 4}));
  EXPECT_EQ(data.GetFormula(27, 2), "=SUM(B25:B26)");
  EXPECT_EQ(data.GetFormula(27, 5), "=$D$7*2");
  // A block copied upwards past the first row: its references fall off the sheet.
  data.CopyCells(CellRect{7, 2, 7, 2}, 1, 7);
  EXPECT_EQ(data.GetFormula(1, 7), "=SUM(#REF!)");
  // Blank source cells make the destination blank.
  data.SetValue(30, 3, Variant("old"));
  data.CopyCells(CellRect{3, 3, 3, 3}, 30, 3);
  EXPECT_TRUE(data.GetValue(30, 3).IsEmpty());
  const std::string output = testing::Saved(opened.book, folder.File("copied.xlsx"));
  std::string d = test::DescribeReport(output);
  EXPECT_EQ(Line(d, "cf"), "B5:B6 B25:B26");
  EXPECT_EQ(Line(d, "dv"), "C5:C6 C25:C26");
  EXPECT_EQ(Line(d, "merges"), "A1:D1 A21:D21 A28:D28 A8:D8");
}

TEST(CopyFill, EntireRowsCarryHeightsAndPartialCopiesFillTheRest) {
  TempFolder folder;
  Opened opened(test::MakeReportTemplate(folder.Path()));
  XlsxWorksheet& data = *opened.data;
  data.AutoFill(CellRect{5, 1, 6, kMaxColumns}, CellRect{5, 1, 9, kMaxColumns}, platform::kFillCopy);
  EXPECT_EQ(data.RowHeightPoints(7), 20);
  EXPECT_EQ(data.RowHeightPoints(8), 15);
  EXPECT_EQ(data.RowHeightPoints(9), 20);  // partial last copy: first row of the block
  EXPECT_EQ(data.GetFormula(9, 4), "=B9*C9");
  EXPECT_EQ(data.GetFormula(8, 4), "=B8*C8");
  // Upwards and leftwards the block's last rows (columns) come next to it.
  data.AutoFill(CellRect{5, 2, 6, 4}, CellRect{2, 2, 6, 4}, platform::kFillCopy);
  EXPECT_EQ(data.GetFormula(4, 4), "=B4*C4");
  EXPECT_EQ(data.GetValue(3, 2), Variant(1.0));
  data.AutoFill(CellRect{5, 3, 5, 4}, CellRect{5, 1, 5, 4}, platform::kFillCopy);
  EXPECT_EQ(data.GetFormula(5, 2), "=#REF!*A5");
  EXPECT_THROW(data.AutoFill(CellRect{5, 2, 5, 4}, CellRect{6, 2, 9, 4}, platform::kFillCopy), AutomationError);
  EXPECT_THROW(data.AutoFill(CellRect{5, 2, 5, 4}, CellRect{5, 2, 9, 4}, 2), AutomationError);
}

}  // namespace
}  // namespace tabrix::xlsx
