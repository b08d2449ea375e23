// Opening real workbooks made by other programs, reading and writing values, resolving
// references, saving and reading the result back with independent readers.
#include <gtest/gtest.h>

#include <filesystem>

#include "xlsx/xlsx_workbook.h"
#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "fixtures/required_tools.h"
#include "tabrix/error.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx {
namespace {

using platform::CellRect;
using testing::OpenpyxlCell;
using testing::OpenpyxlCells;
using testing::RunPython;
using testing::TempFolder;

// A template as another program writes it: two sheets, texts, numbers, a date, a formula with
// a workbook name and a sheet-level name, a merged title.
std::string MakeTemplate(const TempFolder& folder) {
  std::string path = folder.File("template.xlsx");
  RunPython(R"PY(
import sys, datetime, openpyxl
from openpyxl.workbook.defined_name import DefinedName
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Data"
ws["A1"] = "Sales report"
ws.merge_cells("A1:C1")
ws["B2"] = 42
ws["C2"] = "  padded  "
ws["C3"] = datetime.date(2024, 2, 29)
ws["C3"].number_format = "yyyy-mm-dd"
ws["D4"] = "=B2*2"
ws["E5"] = True
other = wb.create_sheet("Other Sheet")
other["A1"] = "=Data!B2+1"
wb.defined_names.append(DefinedName("Total", attr_text="Data!$B$2"))
wb.defined_names.append(DefinedName("Local", localSheetId=1, attr_text="'Other Sheet'!$A$1:$B$3"))
wb.save(sys.argv[1])
)PY",
            {path});
  return path;
}

std::shared_ptr<platform::Workbook> Open(const std::string& path) {
  auto application = platform::CreateSpreadsheetApplication();
  return application->OpenWorkbook(path, true);
}

TEST(WorkbookIo, ReadsValuesNamesAndSheetsOfAForeignTemplate) {
  TempFolder folder;
  auto book = Open(MakeTemplate(folder));
  EXPECT_EQ(book->FileFormat(), 51);
  EXPECT_EQ(book->Name(), "template.xlsx");
  ASSERT_EQ(book->WorksheetCount(), 2);
  auto data = book->WorksheetByName("data");  // names compare without case
  EXPECT_EQ(data->Name(), "Data");
  EXPECT_EQ(book->WorksheetAt(2)->Name(), "Other Sheet");

  EXPECT_EQ(data->GetValue(1, 1), Variant("Sales report"));
  EXPECT_EQ(data->GetValue(2, 2), Variant(42.0));
  EXPECT_EQ(data->GetValue(2, 3), Variant("  padded  "));
  EXPECT_EQ(data->GetValue(5, 5), Variant(true));
  EXPECT_TRUE(data->GetValue(9, 9).IsEmpty());
  Variant date = data->GetValue(3, 3);
  EXPECT_EQ(date.Type(), VariantType::Date);
  EXPECT_EQ(date.Number(), 45351.0);  // 2024-02-29
  auto* sheet = dynamic_cast<XlsxWorksheet*>(data.get());
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->GetFormula(4, 4), "=B2*2");
  EXPECT_EQ(data->MergeArea(1, 2), (CellRect{1, 1, 1, 3}));
  EXPECT_EQ(book->GetNames().Count(), 2);
  EXPECT_TRUE(book->GetNames().Exists("TOTAL"));

  EXPECT_EQ(testing::CaughtError([&] { book->WorksheetAt(0); }).Number(), kErrSubscriptOutOfRange);
  EXPECT_EQ(testing::CaughtError([&] { book->WorksheetAt(3); }).Number(), kErrSubscriptOutOfRange);
  EXPECT_EQ(testing::CaughtError([&] { book->WorksheetByName("Missing"); }).Number(), kErrSubscriptOutOfRange);
}

TEST(WorkbookIo, ResolvesA1TextsAndRejectsWhatTheApplicationRejects) {
  TempFolder folder;
  auto book = Open(MakeTemplate(folder));
  auto data = book->WorksheetAt(1);
  auto other = book->WorksheetAt(2);
  EXPECT_EQ(data->ResolveReference("B2"), (CellRect{2, 2, 2, 2}));
  EXPECT_EQ(data->ResolveReference("$b$2:$D$5"), (CellRect{2, 2, 5, 4}));
  EXPECT_EQ(data->ResolveReference("D5:B2"), (CellRect{2, 2, 5, 4}));
  EXPECT_EQ(data->ResolveReference("5:7"), (CellRect{5, 1, 7, platform::kMaxColumns}));
  EXPECT_EQ(data->ResolveReference("$F:$H"), (CellRect{1, 6, platform::kMaxRows, 8}));
  EXPECT_EQ(data->ResolveReference("$F:$F:$H:$H"), (CellRect{1, 6, platform::kMaxRows, 8}));
  EXPECT_EQ(data->ResolveReference("Data!C3"), (CellRect{3, 3, 3, 3}));
  EXPECT_EQ(data->ResolveReference("Total"), (CellRect{2, 2, 2, 2}));
  EXPECT_EQ(other->ResolveReference("'Other Sheet'!A1"), (CellRect{1, 1, 1, 1}));
  EXPECT_EQ(other->ResolveReference("Local"), (CellRect{1, 1, 3, 2}));
  EXPECT_EQ(data->ResolveReference("XFD1048576"), (CellRect{1048576, 16384, 1048576, 16384}));
  for (const char* bad : {"", "B0", "XFE1", "A1048577", "NoSuchName", "Other!A1", "5", "F", "A1:", "Local", "B2 C3"}) {
    EXPECT_EQ(testing::CaughtError([&] { data->ResolveReference(bad); }).Number(), 1004) << bad;
  }
  EXPECT_EQ(data->GetRange("B2:C4").Address(false, false), "B2:C4");
  EXPECT_EQ(data->Columns(6).Address(), "$F:$F");
}

TEST(WorkbookIo, WrittenValuesReadBackWithAnIndependentReader) {
  TempFolder folder;
  std::string templatePath = MakeTemplate(folder);
  std::string templateBytes = testing::ReadTextFile(templatePath);
  auto book = Open(templatePath);
  auto data = book->WorksheetAt(1);
  data->SetValue(10, 1, Variant("text & <markup> \"quoted\""));
  data->SetValue(10, 2, Variant(1234.5));
  data->SetValue(10, 3, Variant(false));
  data->SetValue(10, 4, Variant::Date(45351.5));  // General cell: gets a date format
  data->SetValue(3, 3, Variant::Date(45000));      // formatted cell keeps its format
  data->SetValue(10, 5, Variant(""));
  data->SetValue(2, 2, Variant::Null());
  data->SetValue(10, 6, Variant("00123"));  // text stays text
  data->SetValue(10, 7, Variant(" lead"));
  std::string output = folder.File("out.xlsx");
  book->SaveAs(output, std::nullopt, platform::kAccessModeNoChange);
  EXPECT_EQ(book->FullName(), output);
  EXPECT_EQ(testing::ReadTextFile(templatePath), templateBytes);

  EXPECT_EQ(OpenpyxlCells(output, "Data", {"A10", "B10", "C10", "D10", "C3", "B2", "F10", "G10", "D4", "A1"}),
            (std::vector<std::string>{"text & <markup> \"quoted\"", "1234.5", "FALSE", "2024-02-29T12:00:00",
                                      "2023-03-15T00:00:00", "", "00123", " lead", "=B2*2", "Sales report"}));
  std::string format = RunPython(R"PY(
import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1])["Data"]
print(ws["D10"].number_format, ws["C3"].number_format, ws.merged_cells.ranges[0].coord, sep="|")
)PY",
                                 {output});
  EXPECT_EQ(format, "mm-dd-yy|yyyy-mm-dd|A1:C1\n");  // openpyxl names built-in format 14 "mm-dd-yy"

  // Reopened by the engine, the written values come back as written.
  auto again = Open(output);
  auto sheet = again->WorksheetAt(1);
  EXPECT_EQ(sheet->GetValue(10, 1), Variant("text & <markup> \"quoted\""));
  EXPECT_EQ(sheet->GetValue(10, 4), Variant::Date(45351.5));
  EXPECT_EQ(sheet->GetValue(10, 5), Variant(""));
  EXPECT_TRUE(sheet->GetValue(2, 2).IsEmpty());
}

TEST(WorkbookIo, LargeSheetsAreWrittenAsValidZipEntries) {
  TempFolder folder;
  auto application = platform::CreateSpreadsheetApplication();
  auto book = XlsxWorkbook::CreateBlank(application, "Big");
  auto sheet = book->WorksheetAt(1);
  for (int r = 1; r <= 5000; ++r) {
    sheet->SetValue(r, 1, Variant(r * 0.5));
    sheet->SetValue(r, 2, Variant("row " + std::to_string(r % 100)));
    sheet->SetValue(r, 3, Variant("unique " + std::to_string(r)));
  }
  std::string output = folder.File("big.xlsx");
  book->SaveAs(output, 51);
  // Every entry's CRC and size check out, and a reader finds the values.
  EXPECT_EQ(RunPython("import sys, zipfile\nprint(zipfile.ZipFile(sys.argv[1]).testzip())\n", {output}), "None\n");
  auto values = OpenpyxlCells(output, "Big", {"A5000", "B4999", "C1234"});
  EXPECT_EQ(values, (std::vector<std::string>{"2500", "row 99", "unique 1234"}));
}

TEST(WorkbookIo, TextTemplatesOpenAsOneSheetAndTextFormatsWriteDisplayedValues) {
  TempFolder folder;
  std::string csv = folder.File("Monthly Sales.csv");
  testing::WriteTextFile(csv, "Region,Amount,Share,Day\r\nNorth,\"1,250.5\",25%,3/14/2024\r\n\"South, East\",00123,TRUE,text\r\n");
  auto book = Open(csv);
  EXPECT_EQ(book->FileFormat(), 6);
  ASSERT_EQ(book->WorksheetCount(), 1);
  auto sheet = book->WorksheetAt(1);
  EXPECT_EQ(sheet->Name(), "Monthly Sales");
  EXPECT_EQ(sheet->GetValue(2, 2), Variant(1250.5));
  EXPECT_EQ(sheet->GetValue(2, 3), Variant(0.25));
  EXPECT_EQ(sheet->GetValue(2, 4).Number(), 45365);
  EXPECT_EQ(sheet->GetValue(3, 1), Variant("South, East"));
  EXPECT_EQ(sheet->GetValue(3, 2), Variant(123.0));
  EXPECT_EQ(sheet->GetValue(3, 3), Variant(true));

  book->SaveAs(folder.File("copy.xlsx"), 51);
  EXPECT_EQ(book->FileFormat(), 51);
  EXPECT_EQ(OpenpyxlCell(folder.File("copy.xlsx"), "Monthly Sales", "A3"), "South, East");

  book->SaveAs(folder.File("again.csv"), 6);
  std::string text = testing::ReadTextFile(folder.File("again.csv"));
  EXPECT_EQ(text,
            "Region,Amount,Share,Day\r\nNorth,\"1,250.50\",25%,3/14/2024\r\n\"South, East\",123,TRUE,text\r\n");
  const AutomationError e = testing::CaughtError([&] { book->SaveAs(folder.File("x.xls"), 39); });
  EXPECT_EQ(e.Number(), 1004);
  EXPECT_NE(e.Description().find("cannot be saved in file format 39"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.File("x.xls")));
}

// Every text format byte for byte: its separator, line end and encoding. The 8-bit formats use
// the code page of their platform (Windows-1252, MS-DOS 437, Mac Roman), "?" for a character the
// page lacks; UTF-8 has no lone surrogate; UTF-16 keeps every code unit.
TEST(WorkbookIo, TextFormatsWriteTheirSeparatorLineEndAndCodePage) {
  TempFolder folder;
  testing::WriteTextFile(folder.File("t.csv"), "x\r\n");
  auto book = Open(folder.File("t.csv"));
  auto sheet = book->WorksheetAt(1);
  sheet->SetValue(1, 1, Variant("Z\u00FCrich"));
  sheet->SetValue(1, 2, Variant("5 \u20AC \u03A9"));
  sheet->SetValue(2, 1, Variant("\u00C9,\u00E8"));
  // U+FFFE and a lone surrogate (its three-byte form, as SQLite hands it over) before the "x".
  sheet->SetValue(2, 2, Variant(std::string("\u00F1\u65E5\uFFFE\xED\xA0\x80x")));

  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : u"Z\u00FCrich\t5 \u20AC \u03A9\r\n\u00C9,\u00E8\t\u00F1\u65E5\uFFFE")
    if (unit) utf16 += std::string{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  utf16 += std::string("\x00\xD8x\0\r\0\n\0", 8);
  const std::string windowsCsv = "Z\xFCrich,5 \x80 ?\r\n\"\xC9,\xE8\",\xF1???x\r\n";
  const std::string windowsText = "Z\xFCrich\t5 \x80 ?\r\n\xC9,\xE8\t\xF1???x\r\n";
  const struct {
    std::int32_t format;
    std::string bytes;
  } cases[] = {
      {6, windowsCsv},                                                       // xlCSV
      {23, windowsCsv},                                                      // xlCSVWindows
      {24, "Z\x81rich,5 ? \xEA\r\n\"\x90,\x8A\",\xA4???x\r\n"},              // xlCSVMSDOS
      {22, "Z\x9Frich,5 \xDB \xBD\r\"\x83,\x8F\",\x96???x\r"},               // xlCSVMac
      {62, "\xEF\xBB\xBFZ\u00FCrich,5 \u20AC \u03A9\r\n\"\u00C9,\u00E8\",\u00F1\u65E5\uFFFE\uFFFDx\r\n"},  // xlCSVUTF8
      {-4158, windowsText},                                                  // xlCurrentPlatformText
      {20, windowsText},                                                     // xlTextWindows
      {21, "Z\x81rich\t5 ? \xEA\r\n\x90,\x8A\t\xA4???x\r\n"},                // xlTextMSDOS
      {19, "Z\x9Frich\t5 \xDB \xBD\r\x83,\x8F\t\x96???x\r"},                 // xlTextMac
      {42, utf16},                                                           // xlUnicodeText
      {36, "Z\xFCrich   5 \x80 ?\r\n\xC9,\xE8      \xF1???x\r\n"},           // xlTextPrinter
  };
  for (const auto& c : cases) {
    const std::string path = folder.File("out" + std::to_string(c.format) + ".txt");
    book->SaveAs(path, c.format);
    EXPECT_EQ(testing::ReadTextFile(path), c.bytes) << "format " << c.format;
  }
}

TEST(WorkbookIo, TheTemplateIsNeverWritten) {
  TempFolder folder;
  std::string path = MakeTemplate(folder);
  auto book = Open(path);
  book->WorksheetAt(1)->SetValue(1, 1, Variant("changed"));
  EXPECT_THROW(book->SaveAs(path, std::nullopt), AutomationError);
  EXPECT_EQ(OpenpyxlCell(path, "Data", "A1"), "Sales report");
  // A failed save leaves nothing behind in the target folder.
  EXPECT_THROW(book->SaveAs(folder.File("missing/out.xlsx"), std::nullopt), AutomationError);
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
    EXPECT_EQ(entry.path().filename().string().find(".~tbx"), std::string::npos);
}

}  // namespace
}  // namespace tabrix::xlsx
