// Inserted rows (columns) take the formatting of the row above (column to the left), and with it
// the conditional formats and validations that end there: checked on a record row followed by
// its totals row, the shape of the templates that showed it, with openpyxl reading the result.
// Copies of the record row take them along, those of the extension list included.
#include <gtest/gtest.h>

#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "template_factory.h"
#include "xlsx/format_extension.h"
#include "xlsx/formula_references.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {
namespace {

using platform::CellRect;
using platform::kMaxColumns;
using platform::kMaxRows;
using testing::TempFolder;

// Sheet "Data": header A1:C1 (a conditional format over it), record row 2 (a conditional format
// on B2, a list validation on C2), totals row 3 (B3 = SUM(B2:B2)), a conditional format on E1:E3
// and an x14 validation kept in the extension list on A2.
std::string MakeRecordRowTemplate(const std::string& folder) {
  std::string path = folder + "/record_row.xlsx";
  testing::RunPython(R"PY(
import sys, zipfile, openpyxl
from openpyxl.formatting.rule import CellIsRule, FormulaRule
from openpyxl.styles import PatternFill
from openpyxl.worksheet.datavalidation import DataValidation
path = sys.argv[1]
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Data"
for c, h in enumerate(["Item", "Qty", "Status"], 1):
    ws.cell(1, c, h)
ws["A2"], ws["B2"], ws["C2"] = "a", 5, "open"
ws["A3"], ws["B3"] = "TOTAL", "=SUM(B2:B2)"
red = PatternFill("solid", fgColor="FF0000")
ws.conditional_formatting.add("A1:C1", FormulaRule(formula=["TRUE"], fill=red))
ws.conditional_formatting.add("B2", CellIsRule(operator="greaterThan", formula=["100"], fill=red))
ws.conditional_formatting.add("E1:E3", FormulaRule(formula=["E1>0"], fill=red))
dv = DataValidation(type="list", formula1='"open,closed"')
dv.add("C2")
ws.add_data_validation(dv)
wb.save(path)
# A validation whose list lives on another sheet is written by the application in the x14
# extension list (xm:sqref); add one on A2 as it writes it.
with zipfile.ZipFile(path) as src:
    parts = {n: src.read(n) for n in src.namelist()}
sheet = parts["xl/worksheets/sheet1.xml"].decode()
ext = ('<extLst><ext xmlns:x14="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main" '
       'uri="{CCE6A557-97BC-4b89-ADB6-D9C93CAAB3DF}"><x14:dataValidations '
       'xmlns:xm="http://schemas.microsoft.com/office/excel/2006/main" count="1"><x14:dataValidation type="list" '
       'allowBlank="1"><x14:formula1><xm:f>Data!$G$1:$G$3</xm:f></x14:formula1><xm:sqref>A2</xm:sqref>'
       '</x14:dataValidation></x14:dataValidations></ext></extLst>')
parts["xl/worksheets/sheet1.xml"] = sheet.replace("</worksheet>", ext + "</worksheet>").encode()
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
    for name, data in parts.items():
        out.writestr(name, data)
)PY",
                     {path});
  return path;
}

// The conditional formats', validations' and extension list's ranges.
std::string Ranges(const std::string& path) {
  const std::string d = test::DescribeReport(path);
  return "cf=" + test::Line(d, "cf") + "\ndv=" + test::Line(d, "dv") + "\nx14=" + test::Line(d, "x14") + "\n";
}

TEST(InsertedRowFormats, ConditionalFormatsAndValidationsOfTheRowAboveReachIntoInsertedRows) {
  struct Case {
    const char* label;
    CellRect rect;
    platform::Shift shift;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"three rows below the record row", CellRect{3, 1, 5, kMaxColumns}, platform::kShiftDown,
       "cf=A1:C1 | B2:B5 | E1:E6\ndv=C2:C5\nx14=A2:A5\n"},
      {"a column right of column E", CellRect{1, 6, kMaxRows, 6}, platform::kShiftToRight,
       "cf=A1:C1 | B2 | E1:F3\ndv=C2\nx14=A2\n"},
      {"cells shifted down in B:C only", CellRect{3, 2, 4, 3}, platform::kShiftDown,
       "cf=A1:C1 | B2:B4 | E1:E3\ndv=C2:C4\nx14=A2\n"},
      {"a row below the totals row", CellRect{4, 1, 4, kMaxColumns}, platform::kShiftDown,
       "cf=A1:C1 | B2 | E1:E4\ndv=C2\nx14=A2\n"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(MakeRecordRowTemplate(folder.Path()), true);
    book->WorksheetByName("Data")->InsertCells(c.rect, c.shift);
    const std::string output = testing::Saved(book, folder.File("inserted.xlsx"));
    EXPECT_EQ(Ranges(output), c.expected) << c.label;
  }
}

TEST(InsertedRowFormats, CopiesOfTheRecordRowRepeatEveryValidationAndConditionalFormat) {
  TempFolder folder;
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(MakeRecordRowTemplate(folder.Path()), true);
  auto sheet = book->WorksheetByName("Data");
  sheet->CopyCells(CellRect{2, 1, 2, 3}, 6, 1);
  sheet->CopyCells(CellRect{2, 1, 2, 3}, 7, 1);  // continues the copy above: one range each
  const std::string output = testing::Saved(book, folder.File("copied.xlsx"));
  EXPECT_EQ(Ranges(output), "cf=A1:C1 | B2 B6:B7 | E1:E3\ndv=C2 C6:C7\nx14=A2 A6:A7\n");
}

TEST(InsertedRowFormats, OnlyEntriesEndingRightBeforeTheInsertionGrow) {
  std::string out;
  // Rows inserted at 6: B5 and C3:C5 end right above; A4 and D6 (moved to D9) do not grow.
  ASSERT_TRUE(ExtendSqrefOverInserted("A4 B5 C3:C5 D9", SheetEdit::InsertRows(6, 3), out));
  EXPECT_EQ(out, "A4 B5:B8 C3:C8 D9");
  // Deletions, insertions at the first row, and a band that does not hold the entry's columns.
  EXPECT_FALSE(ExtendSqrefOverInserted("B5", SheetEdit::DeleteRows(6, 1), out));
  EXPECT_FALSE(ExtendSqrefOverInserted("B5", SheetEdit::InsertRows(1, 1), out));
  EXPECT_FALSE(ExtendSqrefOverInserted("B5:C5", SheetEdit::InsertRows(6, 1, 3, 4), out));
  ASSERT_TRUE(ExtendSqrefOverInserted("B5:C5", SheetEdit::InsertRows(6, 1, 2, 4), out));
  EXPECT_EQ(out, "B5:C6");
  // Near the last row the grown entry stops at the sheet's end.
  ASSERT_TRUE(ExtendSqrefOverInserted("A1048570", SheetEdit::InsertRows(1048571, 100), out));
  EXPECT_EQ(out, "A1048570:A1048576");
}

}  // namespace
}  // namespace tabrix::xlsx
