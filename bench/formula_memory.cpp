// Heap cost of formula cells in the native engine: bytes a formula cell takes beyond its text,
// for formulas written one by one and for formulas copied down a growing table by AutoFill.
//
// Usage: formula_memory [cells] [long]   (default 1000000; 8 formula columns per row; "long":
//        texts of about 25 characters instead of about 8)
//
// Each figure is a mallinfo2 delta. The baseline, measured in the same run, is the same sheet
// filled with numbers: "beyond a value cell" is what the formula adds to the cell holding its
// value; "per cell" also counts the cell and its row.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tabrix/platform/spreadsheet.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xlsx_worksheet.h"

using namespace tabrix;

namespace {

constexpr int kColumns = 8;

// Bytes in use, in the main heap and in blocks of their own (large vectors).
std::size_t HeapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

bool longTexts = false;  // texts too long to be kept inside a formula entry

// Column c of row r: a reference to the row's first column, times the column number.
std::string FormulaOf(std::int32_t r, int c) {
  std::string text = "A" + std::to_string(r) + "*" + std::to_string(c);
  if (longTexts) text += "+ROUND(A" + std::to_string(r) + "/7,2)";
  return text;
}

struct Measure {
  double bytes = 0;       // heap delta
  double textBytes = 0;   // sum of the formula texts
};

// A sheet of a new workbook, and the heap in use before it is filled.
struct BlankSheet {
  std::shared_ptr<xlsx::XlsxWorkbook> book =
      xlsx::XlsxWorkbook::CreateBlank(platform::CreateSpreadsheetApplication(), "Data");
  std::shared_ptr<xlsx::XlsxWorksheet> sheet = std::dynamic_pointer_cast<xlsx::XlsxWorksheet>(book->WorksheetAt(1));
  std::size_t heapBefore = HeapBytes();
};

// Fills rows 1..rows with numbers (formulas = false) or with formulas written cell by cell.
Measure WriteCells(long rows, bool formulas) {
  BlankSheet blank;
  xlsx::XlsxWorksheet* sheet = blank.sheet.get();
  Measure m;
  for (long r = 1; r <= rows; ++r) {
    const auto row = static_cast<std::int32_t>(r);
    for (int c = 2; c < 2 + kColumns; ++c) {
      if (!formulas) {
        sheet->SetValue(row, c, Variant(static_cast<double>(r * c)));
        continue;
      }
      std::string text = FormulaOf(row, c);
      m.textBytes += static_cast<double>(text.size());
      sheet->SetFormula(row, c, text, Variant(static_cast<double>(r * c)));
    }
  }
  m.bytes = static_cast<double>(HeapBytes() - blank.heapBefore);
  return m;
}

// One template row of formulas, room made below it by one insertion and filled by AutoFill, as
// a growing table does it.
Measure FillTable(long rows, bool formulas) {
  BlankSheet blank;
  xlsx::XlsxWorksheet* sheet = blank.sheet.get();
  Measure m;
  for (int c = 2; c < 2 + kColumns; ++c) {
    if (formulas) sheet->SetFormula(1, c, FormulaOf(1, c), Variant(2.0));
    else sheet->SetValue(1, c, Variant(2.0));
  }
  const auto last = static_cast<std::int32_t>(rows);
  sheet->InsertCells(platform::CellRect{2, 1, last, platform::kMaxColumns}, platform::kShiftDown);
  sheet->AutoFill(platform::CellRect{1, 2, 1, 1 + kColumns}, platform::CellRect{1, 2, last, 1 + kColumns},
                  platform::kFillCopy);
  // The texts as a reader sees them (the engine may keep them in another form).
  if (formulas)
    for (std::int32_t r = 1; r <= last; ++r)
      for (int c = 2; c < 2 + kColumns; ++c) m.textBytes += static_cast<double>(FormulaOf(r, c).size());
  m.bytes = static_cast<double>(HeapBytes() - blank.heapBefore);
  // Check a sample, so that a fill that went wrong does not pass for a small one.
  const std::string expected = formulas ? "=" + FormulaOf(last, 5) : "";
  if (sheet->GetFormula(last, 5) != expected) {
    std::fprintf(stderr, "unexpected formula at row %d: %s\n", last, sheet->GetFormula(last, 5).c_str());
    std::exit(1);
  }
  return m;
}

void Report(const char* what, long cells, const Measure& values, const Measure& formulas) {
  const double n = static_cast<double>(cells);
  const double text = formulas.textBytes / n;
  std::printf("%-18s %9ld cells  text %5.1f B  per cell beyond text %6.1f B  beyond a value cell %6.1f B\n", what,
              cells, text, formulas.bytes / n - text, (formulas.bytes - values.bytes) / n - text);
}

}  // namespace

int main(int argc, char** argv) {
  const long cells = argc > 1 ? std::atol(argv[1]) : 1000000;
  const long rows = cells / kColumns;
  longTexts = argc > 2 && std::string(argv[2]) == "long";
  const Measure writtenValues = WriteCells(rows, false);
  const Measure writtenFormulas = WriteCells(rows, true);
  Report("written", rows * kColumns, writtenValues, writtenFormulas);
  const Measure filledValues = FillTable(rows, false);
  const Measure filledFormulas = FillTable(rows, true);
  Report("autofill", rows * kColumns, filledValues, filledFormulas);
  return 0;
}
