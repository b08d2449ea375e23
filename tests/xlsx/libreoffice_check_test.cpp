// Checks against LibreOffice as an independent reader: moved formulas still compute what they
// computed before the edit, and formatted values read as LibreOffice shows them.
// Skipped where LibreOffice or openpyxl for /usr/bin/python3 is not installed.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "fixtures/office_tools.h"
#include "xlsx/formula_references.h"
#include "fixtures/required_tools.h"
#include "xlsx/number_format/number_format.h"

namespace tabrix::xlsx {
namespace {

std::string ShiftedText(std::string_view formula, const SheetEdit& edit,
                        const FormulaContext& context) {
  std::string out;
  return ShiftFormula(formula, edit, context, out) ? out : std::string(formula);
}

struct Cell {
  int Row, Col;
  std::string Value;  // text; "=..." a formula
  bool Number = false;
  std::string Format;
};

struct Sheet {
  std::string Name;
  std::vector<Cell> Cells;
};

// Writes the sheets with openpyxl and returns what LibreOffice shows in them after
// recalculating, by sheet name.
std::map<std::string, testing::CsvRows> WriteAndShow(const testing::TempFolder& folder, const std::string& name,
                                                     const std::vector<Sheet>& sheets) {
  std::ostringstream cells;  // one cell a line: sheet, row, column, n|s, value, format
  for (const Sheet& sheet : sheets)
    for (const Cell& c : sheet.Cells)
      cells << sheet.Name << '\t' << c.Row << '\t' << c.Col << '\t' << (c.Number ? 'n' : 's') << '\t' << c.Value
            << '\t' << c.Format << '\n';
  testing::WriteTextFile(folder.File(name + ".txt"), cells.str());
  testing::RunPython(R"PY(
import sys, openpyxl
wb = openpyxl.Workbook()
wb.remove(wb.active)
for line in open(sys.argv[1], encoding="utf-8"):
    sheet, row, column, kind, value, code = line.rstrip("\n").split("\t")
    ws = wb[sheet] if sheet in wb.sheetnames else wb.create_sheet(sheet)
    cell = ws.cell(int(row), int(column), float(value) if kind == "n" else value)
    if code:
        cell.number_format = code
wb.save(sys.argv[2])
)PY",
                     {folder.File(name + ".txt"), folder.File(name + ".xlsx")});
  return testing::LibreOfficeSheets(folder.File(name + ".xlsx"), /*asShown=*/true);
}

std::string ShownAt(const testing::CsvRows& rows, int row, int column) {
  if (row > static_cast<int>(rows.size()) || column > static_cast<int>(rows[row - 1].size())) return "";
  return rows[row - 1][column - 1];
}

const char* const kDataSheet = "My Data";

// Data values everywhere in A1:F30 except the blank rows 12-14 and the blank column G; formulas
// over them on the data sheet (column H) and on a second sheet.
struct Template {
  std::vector<Cell> Values;                       // on the data sheet
  std::vector<Cell> LocalFormulas;                // on the data sheet
  std::vector<Cell> OtherFormulas;                // on "Totals"
};

Template MakeTemplate() {
  Template t;
  for (int r = 1; r <= 30; ++r)
    for (int c = 1; c <= 6; ++c)
      if (r < 12 || r > 14) t.Values.push_back({r, c, std::to_string(r * 1000 + c), true});
  const char* local[] = {
      "SUM(A3:B8)",        "A5*2+$C$20",       "SUM(A:A)",           "SUM(B10:D16)",
      "C25-A1",            "SUM(A15:$A$30)",   "COUNT(A1:F30)",      "SUM($B$11:$C$15)",
      "AVERAGE(D9,E10,F11)", "SUM(A1:F1)",     "IF(A2>0,\"A2 is \"&A2,\"B3\")", "SUM(E20:F30)",
  };
  int row = 16;  // below the blank rows, which one edit deletes
  for (const char* f : local) t.LocalFormulas.push_back({row++, 8, std::string("=") + f});
  const char* other[] = {
      "SUM('My Data'!A3:B8)",  "'My Data'!C20*2",         "SUM('My Data'!3:5)",
      "SUM('my data'!C:C)",    "SUM('My Data'!$A$15:$F$16)", "'My Data'!H2+A1",
      "SUM('My Data'!B11:B30)", "\"'My Data'!A1\"&'My Data'!F30",
  };
  row = 1;
  for (const char* f : other) t.OtherFormulas.push_back({row++, 2, std::string("=") + f});
  t.OtherFormulas.push_back({1, 1, "5", true});
  return t;
}

std::vector<Sheet> Sheets(const Template& t) {
  Sheet data{kDataSheet, t.Values};
  data.Cells.insert(data.Cells.end(), t.LocalFormulas.begin(), t.LocalFormulas.end());
  return {data, Sheet{"Totals", t.OtherFormulas}};
}

// Moves a cell's position by an edit of the data sheet (deleted cells report false).
bool MoveCell(Cell& cell, const SheetEdit& edit) {
  const int index = edit.OnRows() ? cell.Row : cell.Col;
  const ShiftedIndex moved = ShiftIndex(index, edit);
  if (moved.Deleted) return false;
  (edit.OnRows() ? cell.Row : cell.Col) = moved.Index;
  return true;
}

Template Apply(const Template& before, const SheetEdit& edit) {
  Template after;
  for (Cell c : before.Values)
    if (MoveCell(c, edit)) after.Values.push_back(c);
  for (Cell c : before.LocalFormulas) {
    if (!MoveCell(c, edit)) continue;
    c.Value = "=" + ShiftedText(std::string_view(c.Value).substr(1), edit, {kDataSheet, true});
    after.LocalFormulas.push_back(c);
  }
  for (Cell c : before.OtherFormulas) {
    if (!c.Number)
      c.Value =
          "=" + ShiftedText(std::string_view(c.Value).substr(1), edit, {kDataSheet, false});
    after.OtherFormulas.push_back(c);
  }
  return after;
}

TEST(LibreOfficeCheck, MovedFormulasComputeTheSameAfterInsertingAndDeletingEmptyCells) {
  REQUIRE_LIBREOFFICE();
  REQUIRE_PYTHON_MODULE("openpyxl", "python3-openpyxl");
  testing::TempFolder folder;
  const Template before = MakeTemplate();
  // Edits that add or remove only empty cells: every formula keeps its value.
  const std::vector<std::pair<std::string, SheetEdit>> edits = {
      {"rows_inside", SheetEdit::InsertRows(10, 3)},
      {"rows_top", SheetEdit::InsertRows(1, 2)},
      {"rows_deleted", SheetEdit::DeleteRows(12, 3)},
      {"columns_inside", SheetEdit::InsertColumns(2, 2)},
      {"column_deleted", SheetEdit::DeleteColumns(7, 1)},
  };
  auto shownBefore = WriteAndShow(folder, "before", Sheets(before));
  long sum = 0;  // SUM(A3:B8), as a sanity check of the reading
  for (int r = 3; r <= 8; ++r) sum += 2 * (r * 1000) + 1 + 2;
  ASSERT_EQ(ShownAt(shownBefore[kDataSheet], 16, 8), std::to_string(sum));
  for (const auto& [name, edit] : edits) {
    SCOPED_TRACE(name);
    const Template after = Apply(before, edit);
    auto shownAfter = WriteAndShow(folder, name, Sheets(after));
    for (const auto& [sheet, was, now] : {std::tuple{kDataSheet, &before.LocalFormulas, &after.LocalFormulas},
                                          std::tuple{"Totals", &before.OtherFormulas, &after.OtherFormulas}}) {
      for (std::size_t k = 0; k < was->size(); ++k) {
        const Cell &a = (*was)[k], &b = (*now)[k];
        ASSERT_NE(ShownAt(shownBefore[sheet], a.Row, a.Col), "") << a.Value;
        EXPECT_EQ(ShownAt(shownAfter[sheet], b.Row, b.Col), ShownAt(shownBefore[sheet], a.Row, a.Col))
            << a.Value << " -> " << b.Value;
      }
    }
  }
}

TEST(LibreOfficeCheck, FormattedValuesReadAsLibreOfficeShowsThem) {
  REQUIRE_LIBREOFFICE();
  REQUIRE_PYTHON_MODULE("openpyxl", "python3-openpyxl");
  // Formats where LibreOffice shows what the spreadsheet application shows (not General,
  // which LibreOffice widens, nor dates before March 1900, where only the application has
  // its 29 February 1900).
  const std::vector<std::pair<double, std::string>> cases = {
      {1234.5678, "0.00"}, {2.675, "0.00"}, {-1234.5, "#,##0.00"}, {0.5, "#.00"},
      {0.125, "0%"}, {0.12345, "0.00%"}, {12345.678, "0.00E+00"}, {12345, "##0.0E+0"},
      {0.00012, "0.00E+00"}, {1.5, "# ?/?"}, {0.75, "# ??/??"}, {2, "# ?/?"},
      {3.14159, "?/?"}, {1.3, "# ?/8"}, {-5, "0;(0)"}, {0, "0;(0);\"zero\""},
      {45292, "m/d/yyyy"}, {45292.75, "m/d/yyyy h:mm"}, {45292.5, "dddd, mmmm d, yyyy"},
      {0.5, "h:mm AM/PM"}, {1.5, "[h]:mm:ss"}, {0.0006, "mm:ss.0"}, {1234567, "#,##0,"},
      {1234567, "#,##0.0,,\"M\""}, {50, "[<100]\"small\";\"big\""}, {-3, "[Red]0.0;[Blue]-0.0"},
      {1234.5, "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)"}, {-1234.5, BuiltinFormatCode(44).data()},
      {0, BuiltinFormatCode(44).data()}, {123456789, "000-00-0000"}, {2.5, "0"},
      {44927.999999, "yyyy-mm-dd hh:mm:ss"}, {1234.5, "[$€-407] #,##0.00"}, {123.4, "0.0#"},
      {45292, "mmm-yy"}, {45292, "d-mmm"}, {45292, "mmmmm"}, {1.25, "[mm]:ss"},
      {-2, "[=1]\"one\";0"}, {-5, "[>=100]0;[<=-100]0;0"}, {45351.25, "ddd d mmm yyyy hh:mm"},
      {0.3, "0 ?/?"}, {1e15, "0"}, {-0.75, "0.0%"}, {98765.4321, "#,##0.000"},
  };
  testing::TempFolder folder;
  Sheet sheet{"Formats", {}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::ostringstream number;
    number.precision(17);
    number << cases[i].first;
    sheet.Cells.push_back({static_cast<int>(i + 1), 1, number.str(), true, cases[i].second});
  }
  const testing::CsvRows shown = WriteAndShow(folder, "formats", {sheet})["Formats"];
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(FormatNumber(cases[i].first, cases[i].second), ShownAt(shown, static_cast<int>(i + 1), 1))
        << cases[i].first << " as " << cases[i].second;
}

}  // namespace
}  // namespace tabrix::xlsx
