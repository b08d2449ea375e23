// Legacy and converted formats through LibreOffice: an .xls template run into .xls and .xlsx, runs
// without a converter, and every row of the shipped fmtconv.cfg written in its format, read back
// with LibreOffice, openpyxl and the zip container (skipped without LibreOffice). PDF reports
// read back with pdftotext: tests/convert.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "definition/conversion_table.h"
#include "fixtures/format_test_support.h"
#include "fixtures/run_fixture.h"
#include "fixtures/required_tools.h"
#include "tabrix/error.h"
#include "tabrix/platform/spreadsheet.h"
#include "tabrix/report_run.h"
#include "tabrix/tabrix.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;
using testing::ExecuteSql;
using testing::FolderEntries;
using testing::IsCompoundDocument;
using testing::IsZip;
using testing::LibreOfficeConvert;
using testing::LibreOfficeCsv;
using testing::LogTexts;
using testing::OpenpyxlCells;
using testing::ParseCsv;
using testing::ReadTextFile;
using testing::ScopedEnvironment;
using testing::TempFolder;
using testing::WriteTextFile;
using testing::ReadZipPart;

const std::string kSalesScript =
    "@sales=REPORT(SHEET=Sales RESERVE=2 CELL=A4,B4,C4) "
    "SELECT region, units, amount FROM sales ORDER BY region\r\n";

class FormatRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_.File("templates"));
    fs::create_directories(folder_.File("data"));
    ExecuteSql(folder_.File("data/sales.db"),
               "CREATE TABLE sales (region TEXT, units INTEGER, amount REAL);"
               "INSERT INTO sales VALUES ('West', 4, 410.5), ('East', 7, 700.25), ('North', 1, 99),"
               "('South', 12, 1200), ('Centre', 3, 300.75);");
  }

  // The sales template as .xlsx, or converted by LibreOffice into another extension.
  std::string Template(const std::string& extension) {
    std::string xlsx = source_.File("sales.xlsx");
    if (!fs::exists(xlsx)) testing::MakeSalesTemplate(xlsx);
    std::string path = folder_.File("templates/sales." + extension);
    fs::copy_file(extension == "xlsx" ? xlsx : LibreOfficeConvert(xlsx, extension, source_.Path()), path);
    return path;
  }

  std::string Definition(const std::string& templateName, const std::string& reportName,
                         const std::string& reportType, const std::string& name = "sales.def") {
    std::string path = folder_.File(name);
    WriteTextFile(path, "Foliowright Version 2.0\r\n[Data Source]\r\nName1=Main\r\n"
                        "ConnectionString1=Provider=SQLite;Data Source=data\\sales.db\r\n"
                        "[File]\r\nReportTemplateFileName=templates\\" + templateName +
                        "\r\nReportFileName=out\\" + reportName + "\r\nReportFileType=" + reportType +
                        "\r\n[SQL]\r\n" + kSalesScript);
    return path;
  }

  // Runs with the shipped format-conversion table; returns the error that ended the run.
  std::optional<AutomationError> Run(std::string definition) {
    RunOptions options;
    options.ConversionTable = std::string(TABRIX_SOURCE_DIR) + "/data/fmtconv.cfg";
    const RunResult result = RunReport(definition, {}, options);
    if (result.Succeeded()) return std::nullopt;
    return AutomationError(result.Error.Number, result.Error.Source, result.Error.Description);
  }

  TempFolder source_{"tabrix-runs-src"};
  TempFolder folder_{"tabrix-runs"};
};

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

// Whether the file is what the format code promises, with the workbook's title in it; formatted
// text byte for byte.
std::string CheckWritten(const std::string& path, std::int32_t code) {
  std::string bytes = ReadTextFile(path);
  auto has = [&](const std::string& text) { return bytes.find(text) != std::string::npos; };
  switch (code) {
    case 51: case 52: case 53: case 54:
      return IsZip(path) && ReadZipPart(path, "xl/workbook.xml").find("Sales") != std::string::npos ? "" : "not Open XML";
    case 56: case -4143: case 17:
      return IsCompoundDocument(path) ? "" : "not a compound document";
    case 60:
      return ReadZipPart(path, "mimetype") == "application/vnd.oasis.opendocument.spreadsheet" ? "" : "not OpenDocument";
    case 57:
      return bytes.rfind("%PDF-", 0) == 0 ? "" : "not PDF";
    case 44:
      return has("<HTML") || has("<html") ? (has("Sales by region") ? "" : "no title") : "not HTML";
    case 2:
      return bytes.rfind("ID;", 0) == 0 && has("Sales by region") ? "" : "not SYLK";
    case 9:
      return bytes.rfind("TABLE", 0) == 0 && has("Sales by region") ? "" : "not DIF";
    case 42:
      return bytes.rfind("\xFF\xFE", 0) == 0 ? "" : "not UTF-16 text";
    case 6: case 23: case 24: case 62: case 22: case -4158: case 20: case 21: case 19:
      // (Separators, line ends and code pages byte for byte: tests/xlsx/workbook_io_test.cpp.)
      return !IsZip(path) && has("Sales by region") && has("North") && has("1500.25") ? "" : "not the sheet as text: " + bytes;
    case 36:
      // Columns as wide as on screen (A 18 characters, B and C the default 9), numbers to the
      // right, line ends trimmed.
      return bytes == "Sales by region\r\n\r\n"
                      "Region            Units    Amount\r\n"
                      "North                    12  1500.25\r\n\r\n"
                      "Total                    12  1500.25\r\n\r\n"
                      "Prepared by       Ana\r\n"
                 ? ""
                 : "not formatted text: " + bytes;
    default:
      return "no check for this format";
  }
}

// The filled table: five records sorted by region, the totals below, the note moved down.
const std::vector<std::vector<std::string>> kFilledRows = {
    {"Centre", "3", "300.75"}, {"East", "7", "700.25"}, {"North", "1", "99"},
    {"South", "12", "1200"},   {"West", "4", "410.5"}};

TEST_F(FormatRuns, AnXlsTemplateWithAGrowingTableIntoXlsAndIntoXlsx) {
  REQUIRE_LIBREOFFICE();
  std::string xls = Template("xls");
  std::string before = ReadTextFile(xls);

  // No report type: the report keeps the template's format.
  ASSERT_EQ(Run(Definition("sales.xls", "sales.xls", "")), std::nullopt)
      << ReadTextFile(folder_.File("sales.log"));
  std::string report = folder_.File("out/sales.xls");
  ASSERT_TRUE(IsCompoundDocument(report));
  auto rows = ParseCsv(LibreOfficeCsv(report, 1, false));
  ASSERT_GE(rows.size(), 11u);
  for (std::size_t i = 0; i < kFilledRows.size(); ++i) EXPECT_EQ(rows[3 + i], kFilledRows[i]) << "row " << 4 + i;
  EXPECT_EQ(rows[8], (std::vector<std::string>{"Total", "27", "2710.5"}));
  EXPECT_EQ(rows[10], (std::vector<std::string>{"Prepared by", "nobody", ""}));

  // The same template into Open XML, by type name.
  ASSERT_EQ(Run(Definition("sales.xls", "sales.xlsx", "xlOpenXMLWorkbook")), std::nullopt);
  std::string xlsx = folder_.File("out/sales.xlsx");
  EXPECT_EQ(OpenpyxlCells(xlsx, "Sales", {"A4", "C4", "A8", "B8", "A9", "B9", "C9", "A11"}),
            (std::vector<std::string>{"Centre", "300.75", "West", "4", "Total", "=SUM(B4:B8)", "=SUM(C4:C8)",
                                      "Prepared by"}));

  EXPECT_EQ(ReadTextFile(xls), before);
  EXPECT_EQ(FolderEntries(folder_.File("templates")), std::vector<std::string>{"sales.xls"});
  EXPECT_EQ(FolderEntries(folder_.File("out")), (std::vector<std::string>{"sales.xls", "sales.xlsx"}));
}

TEST_F(FormatRuns, WithoutTheConverterTheRunReportsTheFormatRow) {
  ScopedEnvironment program("TABRIX_OFFICE_PROGRAM", folder_.File("no-office/soffice"));
  Template("xlsx");
  std::optional<AutomationError> error = Run(Definition("sales.xlsx", "sales.ods", "60"));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->HexNumber(), "0x80040013");
  EXPECT_EQ(error->Source(), "TabrixCom");
  EXPECT_EQ(error->Description(), "Failed to save the report file. Not support the file format: "
                                  "xlOpenDocumentSpreadsheet (60) - OpenDocument Spreadsheet.");
  // The failed save is one error entry of exactly two lines.
  const auto log = LogTexts(folder_.File("sales.log"));
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[log.size() - 4], "[sales]    Success.");
  EXPECT_EQ(log[log.size() - 3], "Error: Failed to save the report file.");
  EXPECT_EQ(log[log.size() - 2],
            "Error Info: Not support the file format: xlOpenDocumentSpreadsheet (60) - OpenDocument Spreadsheet.");
  EXPECT_EQ(log.back().rfind("Error", 0), std::string::npos) << log.back();
  EXPECT_FALSE(fs::exists(folder_.File("out/sales.ods")));

  // (A binary template without a converter: tests/convert, through the engine's own message.)
}

TEST_F(FormatRuns, EveryFormatOfTheShippedTableIsWritten) {
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
  const std::string xlsx = Template("xlsx");
  const TempFolder reports("tabrix-formats-out");
  std::atomic<std::size_t> next{0};
  std::vector<std::string> problems(rows.size());
  auto worker = [&] {
    while (true) {
      const std::size_t i = next++;
      if (i >= rows.size()) return;
      const std::string path = reports.File(rows[i].Name + "." + rows[i].Extra);
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
  EXPECT_EQ(FolderEntries(reports.Path()).size(), rows.size());
}

}  // namespace
}  // namespace tabrix
