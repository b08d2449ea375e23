// The workbook reader: zip container, package parts and their XML, text files. The first byte
// chooses the form of the rest:
//   0 (mod 3): the bytes of a zip file, opened as .xlsx;
//   1: a list of package parts, each introduced by a line "=== <part name>", zipped as .xlsx;
//   2: the text of a .csv file.
// A workbook that opens is then read, edited (rows and columns inserted and deleted, cells
// copied), saved and opened again: what the engine writes it must be able to read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_support.h"
#include "xlsx/zip_archive.h"
#include "tabrix/error.h"
#include "tabrix/platform/spreadsheet.h"

using namespace tabrix;
using platform::CellRect;

namespace {

xlsx::PackageParts PartsOf(std::string_view text) {
  xlsx::PackageParts parts;
  std::string name;
  std::string bytes;
  bool open = false;
  auto flush = [&] {
    if (open) parts.Put(name, bytes);
  };
  std::size_t position = 0;
  while (position <= text.size()) {
    std::size_t end = text.find('\n', position);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(position, end - position);
    if (line.substr(0, 4) == "=== ") {
      flush();
      name = std::string(line.substr(4));
      bytes.clear();
      open = !name.empty();
    } else if (open) {
      bytes.append(line);
      if (end < text.size()) bytes += '\n';
    }
    position = end + 1;
  }
  flush();
  return parts;
}

// Runs one operation of an open workbook; its own AutomationError is a handled outcome.
template <class F>
void Try(const char* what, F body) {
  fuzz::ExpectOnlyAutomationErrors(what, body);
}

void Exercise(platform::Workbook& book) {
  const std::int32_t count = book.WorksheetCount();
  fuzz::Require(count >= 1, "an open workbook has a worksheet");
  Try("ActiveSheet", [&] { (void)book.ActiveSheet(); });
  Try("Names", [&] { (void)book.GetNames().Count(); });
  for (std::int32_t index = 1; index <= count && index <= 3; ++index) {
    std::shared_ptr<platform::Worksheet> sheet = book.WorksheetAt(index);
    (void)sheet->Name();
    Try("GetValue", [&] {
      for (std::int32_t row = 1; row <= 4; ++row)
        for (std::int32_t column = 1; column <= 4; ++column) (void)sheet->GetValue(row, column);
    });
    Try("Geometry", [&] {
      (void)sheet->CellTop(5);
      (void)sheet->CellLeft(5);
      (void)sheet->ColumnWidthPoints(2);
      (void)sheet->RowHeightPoints(2);
      (void)sheet->MergeArea(1, 1);
    });
    Try("ResolveReference", [&] { (void)sheet->ResolveReference("B2:C3"); });
    Try("InsertRows", [&] { sheet->InsertCells(CellRect{2, 1, 3, platform::kMaxColumns}, platform::kShiftDown); });
    Try("InsertBand", [&] { sheet->InsertCells(CellRect{2, 2, 2, 3}, platform::kShiftToRight); });
    Try("DeleteColumns", [&] { sheet->DeleteCells(CellRect{1, 1, platform::kMaxRows, 1}, platform::kShiftToLeft); });
    Try("DeleteBand", [&] { sheet->DeleteCells(CellRect{1, 1, 2, 2}, platform::kShiftUp); });
    Try("CopyCells", [&] { sheet->CopyCells(CellRect{1, 1, 3, 3}, 6, 2); });
    Try("AutoFill", [&] { sheet->AutoFill(CellRect{1, 1, 1, 2}, CellRect{1, 1, 3, 2}, platform::kFillCopy); });
    Try("PageBreak", [&] { sheet->SetRowPageBreak(4, platform::kPageBreakManual); });
    Try("SetValue", [&] { sheet->SetValue(2, 2, Variant(std::string("text <&> \"x\""))); });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  const int form = input.Byte() % 3;
  const std::string_view rest = input.Rest();
  const std::string& path = fuzz::ScratchPath(form == 2 ? ".csv" : ".xlsx");
  if (form == 1) {
    try {
      xlsx::WriteZipFile(path, PartsOf(rest), {});
    } catch (const std::exception&) {
      return 0;  // a part list the zip writer refuses (duplicate or bad names) is no workbook
    }
  } else {
    fuzz::WriteScratchFile(path, rest);
  }

  std::shared_ptr<platform::Application> application = platform::CreateSpreadsheetApplication();
  std::shared_ptr<platform::Workbook> book;
  fuzz::ExpectOnlyAutomationErrors("OpenWorkbook", [&] { book = application->OpenWorkbook(path, true); });
  if (!book) return 0;
  Exercise(*book);

  const std::string& saved = fuzz::ScratchPath(".saved.xlsx");
  bool savedOk = false;
  Try("SaveAs", [&] {
    book->SaveAs(saved, 51);
    savedOk = true;
  });
  if (!savedOk) return 0;
  try {
    (void)application->OpenWorkbook(saved, true);
  } catch (const AutomationError& error) {
    fuzz::Require(false, ("the engine reads back what it wrote: " + error.Description()).c_str());
  }
  return 0;
}
