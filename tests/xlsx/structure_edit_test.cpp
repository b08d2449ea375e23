// Inserting and deleting rows, columns and cell bands in real templates: cells and every
// reference move as in the spreadsheet application; checked with openpyxl and the raw parts.
// (LibreOffice's totals over a grown table: foreign_templates_test.cpp.)
#include <gtest/gtest.h>

#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "tabrix/error.h"
#include "template_factory.h"

namespace tabrix::xlsx {
namespace {

using platform::CellRect;
using platform::kMaxRows;
using testing::OpenpyxlCells;
using testing::TempFolder;

using test::Columns;
using test::Line;
using test::Opened;
using test::Rows;

TEST(StructureEdit, InsertedRowsMoveEveryReferenceOfTheReport) {
  TempFolder folder;
  Opened opened(test::MakeReportTemplate(folder.Path()));
  opened.data->InsertCells(Rows(6, 9), platform::kShiftDown);
  const std::string output = testing::Saved(opened.book, folder.File("grown.xlsx"));

  EXPECT_EQ(OpenpyxlCells(output, "Data", {"D10", "B11", "D11", "E11", "A11", "A12", "D6"}),
            (std::vector<std::string>{"=B10*C10", "=SUM(B5:B10)", "=SUM(D5:D10)", "=$D$11*2", "TOTAL", "footer", ""}));
  EXPECT_EQ(OpenpyxlCells(output, "Summary", {"A1", "A2", "A3"}),
            (std::vector<std::string>{"=Data!B11", "=SUM(Data!D5:D10)", "=Data!$B$5"}));

  std::string d = test::DescribeReport(output);
  EXPECT_EQ(Line(d, "merges"), "A12:D12 A1:D1");
  EXPECT_EQ(Line(d, "breaks"), "11");
  EXPECT_EQ(Line(d, "filter"), "A4:D10");
  EXPECT_EQ(Line(d, "cf"), "B5:B10");
  EXPECT_EQ(Line(d, "dv"), "C5:C10");
  EXPECT_EQ(Line(d, "links"), "A12>#Summary!A1");
  EXPECT_EQ(Line(d, "name:GrandTotal"), "Data!$D$11");
  EXPECT_EQ(Line(d, "name:Block"), "Data!$A$5:$D$10");
  EXPECT_NE(Line(d, "printarea").find("$A$1:$D$12"), std::string::npos) << d;
  // Inserted rows take the format (height) of the row above.
  EXPECT_EQ(Line(d, "heights"), "5:20.0 6:20.0 7:20.0 8:20.0 9:20.0");
  EXPECT_EQ(Line(d, "table"), "A1:B4");

  // The chart covers the grown range; the picture below the insertion moved down four rows.
  std::string chart = testing::ReadZipPart(output, "xl/charts/chart1.xml");
  EXPECT_NE(chart.find("'Data'!$D$5:$D$10"), std::string::npos) << chart;
  EXPECT_NE(chart.find("'Data'!$A$5:$A$10"), std::string::npos) << chart;
  std::string drawing = testing::ReadZipPart(output, "xl/drawings/drawing1.xml");
  EXPECT_EQ(testing::Matches(drawing, "<(?:xdr:)?from>.*?<(?:xdr:)?row>(\\d+)</"),
            (std::vector<std::string>{"1", "13"})) << drawing;
}

TEST(StructureEdit, DeletedRowsBecomeRefErrorsAndRangesShrink) {
  TempFolder folder;
  Opened opened(test::MakeReportTemplate(folder.Path()));
  opened.data->DeleteCells(Rows(6, 6), platform::kShiftUp);
  opened.data->DeleteCells(Rows(5, 5), platform::kShiftUp);
  const std::string output = testing::Saved(opened.book, folder.File("shrunk.xlsx"));
  EXPECT_EQ(OpenpyxlCells(output, "Data", {"A5", "B5", "D5", "E5", "A6"}),
            (std::vector<std::string>{"TOTAL", "=SUM(#REF!)", "=SUM(#REF!)", "=$D$5*2", "footer"}));
  EXPECT_EQ(OpenpyxlCells(output, "Summary", {"A1", "A3"}), (std::vector<std::string>{"=Data!B5", "=Data!#REF!"}));
  std::string d = test::DescribeReport(output);
  EXPECT_EQ(Line(d, "merges"), "A1:D1 A6:D6");
  EXPECT_EQ(Line(d, "breaks"), "5");
  EXPECT_EQ(Line(d, "filter"), "A4:D4");
  EXPECT_EQ(Line(d, "cf"), "");
  EXPECT_EQ(Line(d, "dv"), "");
  EXPECT_EQ(Line(d, "name:GrandTotal"), "Data!$D$5");
  EXPECT_EQ(Line(d, "name:Block"), "Data!#REF!");

  // Deleting both rows in one edit gives the same workbook as deleting them one after the other
  // (the growing table removes surplus reserved blocks that way).
  Opened once(test::MakeReportTemplate(folder.Path()));
  once.data->DeleteCells(Rows(5, 6), platform::kShiftUp);
  const std::string onceOutput = testing::Saved(once.book, folder.File("shrunk_once.xlsx"));
  const std::vector<std::string> parts = testing::ZipPartNames(output);
  EXPECT_EQ(testing::ZipPartNames(onceOutput), parts);
  for (const std::string& part : parts)
    if (part.rfind("docProps/", 0) != 0) EXPECT_EQ(testing::ReadZipPart(onceOutput, part), testing::ReadZipPart(output, part)) << part;
}

TEST(StructureEdit, BandInsertionMovesOnlyTheBandAndRefusesToTearMergedCells) {
  TempFolder folder;
  Opened opened(test::MakeReportTemplate(folder.Path()));
  // The footer merge A8:D8 reaches outside B:D below the insertion point.
  EXPECT_EQ(testing::CaughtError([&] { opened.data->InsertCells(CellRect{6, 2, 7, 4}, platform::kShiftDown); }).Number(), 1004);
  // A band of A:E (covering the merges) moves; column F and beyond stay.
  opened.data->SetValue(7, 6, Variant("beside"));
  opened.data->SetFormula(9, 7, "SUM(D5:D7)+F7");
  opened.data->InsertCells(CellRect{6, 1, 7, 5}, platform::kShiftDown);
  EXPECT_EQ(opened.data->GetValue(9, 1), Variant("TOTAL"));
  EXPECT_EQ(opened.data->GetFormula(9, 4), "=SUM(D5:D8)");
  EXPECT_EQ(opened.data->GetValue(7, 6), Variant("beside"));
  // A reference inside the band moves; one reaching outside it stays.
  EXPECT_EQ(opened.data->GetFormula(9, 7), "=SUM(D5:D9)+F7");
  EXPECT_EQ(opened.data->MergeArea(10, 2), (CellRect{10, 1, 10, 4}));
  // Row heights belong to entire rows: a band insertion leaves them.
  EXPECT_EQ(opened.data->RowHeightPoints(5), 20);
  EXPECT_EQ(opened.data->RowHeightPoints(7), 15);

  // Cells shifted right inside rows 5:6 only.
  opened.data->InsertCells(CellRect{5, 2, 6, 3}, platform::kShiftToRight);
  EXPECT_EQ(opened.data->GetFormula(5, 6), "=D5*E5");
  EXPECT_EQ(opened.data->GetValue(4, 2), Variant("Qty"));
}

TEST(StructureEdit, EntireColumnsMoveWidthsFormulasAndNames) {
  TempFolder folder;
  Opened opened(test::MakeReportTemplate(folder.Path()));
  CellRect columns = opened.data->ResolveReference("$C:$C:$D:$D");
  opened.data->InsertCells(columns, platform::kShiftToRight);  // two columns before C
  EXPECT_EQ(opened.data->GetFormula(5, 6), "=B5*E5");
  EXPECT_EQ(opened.data->GetFormula(7, 7), "=$F$7*2");
  EXPECT_EQ(opened.data->MergeArea(1, 1), (CellRect{1, 1, 1, 6}));
  // The new columns take the width of column B on their left.
  EXPECT_EQ(opened.data->ColumnWidthPoints(3), opened.data->ColumnWidthPoints(2));
  opened.data->DeleteCells(Columns(2, 2), platform::kShiftToLeft);
  EXPECT_EQ(opened.data->GetFormula(5, 5), "=#REF!*D5");
  const std::string output = testing::Saved(opened.book, folder.File("columns.xlsx"));
  std::string d = test::DescribeReport(output);
  EXPECT_EQ(Line(d, "name:Block"), "Data!$A$5:$E$6");
  EXPECT_EQ(Line(d, "filter"), "A4:E6");
  EXPECT_EQ(testing::OpenpyxlCell(output, "Summary", "A2"), "=SUM(Data!E5:E6)");
}

TEST(StructureEdit, TablesGrowWithRowsAndColumnsInsertedInsideThem) {
  TempFolder folder;
  Opened opened(test::MakeReportTemplate(folder.Path()));
  auto table = dynamic_cast<XlsxWorksheet*>(opened.book->WorksheetByName("Table").get());
  table->InsertCells(Rows(3, 4), platform::kShiftDown);
  table->InsertCells(Columns(2, 2), platform::kShiftToRight);
  table->DeleteCells(Rows(2, 2), platform::kShiftUp);
  const std::string output = testing::Saved(opened.book, folder.File("table.xlsx"));
  std::string part = testing::ReadZipPart(output, "xl/tables/table1.xml");
  EXPECT_NE(part.find("ref=\"A1:C5\""), std::string::npos) << part;
  EXPECT_NE(part.find("<autoFilter ref=\"A1:C5\""), std::string::npos) << part;
  EXPECT_NE(part.find("<tableColumns count=\"3\">"), std::string::npos) << part;
  std::string read = testing::RunPython(
      "import sys, openpyxl\nws = openpyxl.load_workbook(sys.argv[1])['Table']\nt = ws.tables['Items']\n"
      "print(t.ref, [c.name for c in t.tableColumns], ws['B1'].value, ws['C5'].value)\n",
      {output});
  EXPECT_EQ(read, "A1:C5 ['Name', 'Column3', 'Value'] Column3 2\n");
}

TEST(StructureEdit, CellsPushedOffTheSheetAreRefused) {
  TempFolder folder;
  Opened opened(test::MakeReportTemplate(folder.Path()));
  opened.data->SetValue(kMaxRows - 1, 3, Variant("near the end"));
  EXPECT_THROW(opened.data->InsertCells(Rows(10, 12), platform::kShiftDown), AutomationError);
  EXPECT_EQ(opened.data->GetValue(kMaxRows - 1, 3), Variant("near the end"));
  EXPECT_EQ(opened.data->GetValue(7, 1), Variant("TOTAL"));
  opened.data->InsertCells(Rows(10, 10), platform::kShiftDown);
  EXPECT_EQ(opened.data->GetValue(kMaxRows, 3), Variant("near the end"));
}

}  // namespace
}  // namespace tabrix::xlsx
