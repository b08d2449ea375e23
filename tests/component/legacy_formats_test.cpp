// An .ods template opened through LibreOffice and saved as .ods and .xlsx, and every row of the
// shipped fmtconv.cfg written in its format, read back with independent tools (LibreOffice,
// openpyxl, the zip container). .xls templates run end to end in format_runs_test.cpp.
// Skipped where LibreOffice is not installed.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "definition/conversion_table.h"
#include "fixtures/format_test_support.h"
#include "fixtures/required_tools.h"
#include "xlsx/zip_archive.h"
#include "tabrix/error.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx {
namespace {

namespace fs = std::filesystem;
using testing::FolderEntries;
using testing::IsCompoundDocument;
using testing::IsZip;
using testing::LibreOfficeAvailable;
using testing::LibreOfficeConvert;
using testing::ReadTextFile;
using testing::TempFolder;

std::shared_ptr<platform::Workbook> Open(const std::string& path) {
  return platform::CreateSpreadsheetApplication()->OpenWorkbook(path, true);
}

// Writes two records into the template's block and the totals the formulas would give.
void FillTwoRecords(platform::Workbook& book) {
  auto sheet = book.WorksheetByName("Sales");
  sheet->SetValue(4, 1, Variant("North"));
  sheet->SetValue(4, 2, Variant(12.0));
  sheet->SetValue(4, 3, Variant(1500.25));
  sheet->SetValue(8, 2, Variant("Ana"));
}

std::string ZipPart(const std::string& path, const std::string& part) {
  PackageParts parts = ReadZipFile(path);
  auto it = parts.data.find(part);
  return it == parts.data.end() ? std::string() : it->second;
}

class LegacyFormats : public ::testing::Test {
 protected:
  TempFolder source_{"tabrix-formats-src"};
  TempFolder templates_{"tabrix-formats-tpl"};
  TempFolder reports_{"tabrix-formats-out"};

  std::string XlsxTemplate() {
    std::string path = source_.File("sales.xlsx");
    if (!fs::exists(path)) testing::MakeSalesTemplate(path);
    return path;
  }
  // The template converted by LibreOffice into `extension`, alone in the template folder.
  std::string TemplateAs(const std::string& extension) {
    std::string produced = LibreOfficeConvert(XlsxTemplate(), extension, source_.Path());
    std::string path = templates_.File("sales." + extension);
    fs::copy_file(produced, path);
    return path;
  }
};

TEST_F(LegacyFormats, AnOdsTemplateSavesAsOdsAndAsOpenXml) {
  REQUIRE_LIBREOFFICE();
  std::string ods = TemplateAs("ods");
  auto book = Open(ods);
  EXPECT_EQ(book->FileFormat(), 60);
  EXPECT_EQ(book->FullName(), ods);
  FillTwoRecords(*book);

  std::string report = reports_.File("report.ods");
  book->SaveAs(report, std::nullopt);
  ASSERT_TRUE(IsZip(report));
  EXPECT_EQ(ZipPart(report, "mimetype"), "application/vnd.oasis.opendocument.spreadsheet");
  std::string content = ZipPart(report, "content.xml");
  EXPECT_NE(content.find("office:value=\"1500.25\""), std::string::npos);
  EXPECT_NE(content.find("<text:p>North</text:p>"), std::string::npos);

  // The same workbook as Open XML, natively: an independent reader sees the values.
  std::string xlsx = reports_.File("report.xlsx");
  book->SaveAs(xlsx, 51);
  EXPECT_EQ(book->FileFormat(), 51);
  EXPECT_EQ(testing::OpenpyxlCells(xlsx, "Sales", {"A1", "A4", "C4", "C6"}),
            (std::vector<std::string>{"Sales by region", "North", "1500.25", "=SUM(C4:C5)"}));
}

// Whether the file is what the format code promises, with the workbook's title in it.
std::string CheckWritten(const std::string& path, std::int32_t code) {
  std::string bytes = ReadTextFile(path);
  auto has = [&](const std::string& text) { return bytes.find(text) != std::string::npos; };
  switch (code) {
    case 51: case 52: case 53: case 54:
      return IsZip(path) && ZipPart(path, "xl/workbook.xml").find("Sales") != std::string::npos ? "" : "not Open XML";
    case 56: case -4143: case 17:
      return IsCompoundDocument(path) ? "" : "not a compound document";
    case 60:
      return ZipPart(path, "mimetype") == "application/vnd.oasis.opendocument.spreadsheet" ? "" : "not OpenDocument";
    case 57:
      return bytes.rfind("%PDF-", 0) == 0 ? "" : "not PDF";
    case 44:
      return has("<HTML") || has("<html") ? (has("Sales by region") ? "" : "no title") : "not HTML";
    case 2:
      return bytes.rfind("ID;", 0) == 0 && has("Sales by region") ? "" : "not SYLK";
    case 9:
      return bytes.rfind("TABLE", 0) == 0 && has("Sales by region") ? "" : "not DIF";
    case 42: {
      std::string utf16;
      for (char c : std::string("Sales by region")) utf16 += std::string{c, '\0'};
      return has(utf16) ? "" : "not UTF-16 text";
    }
    case 6: case 62: case 22: case 23: case 24: case -4158: case 20: case 21: case 36:
      return has("Sales by region") && !IsZip(path) ? "" : "not text";
    default:
      return "no check for this format";
  }
}

TEST_F(LegacyFormats, EveryFormatOfTheShippedTableIsWritten) {
  REQUIRE_LIBREOFFICE();
  std::vector<ConvEntry> table;
  LoadConversionTable(table, std::string(TABRIX_SOURCE_DIR) + "/data/fmtconv.cfg");
  ASSERT_GE(table.size(), 20u);
  // Each format once (several names share a number), two at a time, each on its own workbook:
  // conversions run side by side.
  std::vector<ConvEntry> rows;
  std::set<std::int32_t> seen;
  for (const ConvEntry& entry : table)
    if (seen.insert(entry.FileFormat).second) rows.push_back(entry);
  const std::string xlsx = XlsxTemplate();
  std::atomic<std::size_t> next{0};
  std::vector<std::string> problems(rows.size());
  auto worker = [&] {
    while (true) {
      const std::size_t i = next++;
      if (i >= rows.size()) return;
      const std::string path = reports_.File(rows[i].Name + "." + rows[i].Extra);
      try {
        auto book = Open(xlsx);
        FillTwoRecords(*book);
        book->SaveAs(path, rows[i].FileFormat);
        problems[i] = CheckWritten(path, rows[i].FileFormat);
      } catch (const std::exception& e) {
        problems[i] = e.what();
      }
    }
  };
  std::thread helper(worker);
  worker();
  helper.join();
  for (std::size_t i = 0; i < rows.size(); ++i)
    EXPECT_EQ(problems[i], "") << rows[i].Name << " (" << rows[i].FileFormat << ")";
  // Only the reports are left: no temporary files beside them.
  EXPECT_EQ(FolderEntries(reports_.Path()).size(), rows.size());
}

}  // namespace
}  // namespace tabrix::xlsx
