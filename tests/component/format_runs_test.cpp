// Whole report runs with legacy and converted formats: an .xls template whose growing table and
// totals are filled from SQLite into .xls and into .xlsx, a PDF report, and runs without a
// converter (0x80040013 for the report, 0x80040011 for the template), with the shipped
// fmtconv.cfg. Results are read back with LibreOffice, openpyxl and pdftotext.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "tabrix/report_run.h"
#include "fixtures/format_test_support.h"
#include "fixtures/run_fixture.h"
#include "fixtures/required_tools.h"
#include "tabrix/error.h"
#include "tabrix/platform/spreadsheet.h"
#include "tabrix/tabrix.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;
using testing::ExecuteSql;
using testing::IsCompoundDocument;
using testing::LibreOfficeAvailable;
using testing::LibreOfficeConvert;
using testing::LibreOfficeCsv;
using testing::LogTexts;
using testing::OpenpyxlCells;
using testing::ParseCsv;
using testing::ReadTextFile;
using testing::RunCommand;
using testing::ScopedEnvironment;
using testing::TempFolder;
using testing::WriteTextFile;

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
  EXPECT_EQ(testing::FolderEntries(folder_.File("templates")), std::vector<std::string>{"sales.xls"});
  EXPECT_EQ(testing::FolderEntries(folder_.File("out")), (std::vector<std::string>{"sales.xls", "sales.xlsx"}));
}

TEST_F(FormatRuns, APdfReportShowsTheFilledTable) {
  REQUIRE_LIBREOFFICE();
  Template("xlsx");
  ASSERT_EQ(Run(Definition("sales.xlsx", "sales.pdf", "xlTypePDF")), std::nullopt)
      << ReadTextFile(folder_.File("sales.log"));
  std::string pdf = folder_.File("out/sales.pdf");
  ASSERT_EQ(testing::FileStart(pdf, 5), "%PDF-");
  auto text = RunCommand("pdftotext -layout '" + pdf + "' -");
  ASSERT_EQ(text.exitCode, 0) << text.output;
  for (const char* expected : {"Sales by region", "Centre", "300.75", "South", "1200", "Total", "2710.5", "nobody", "Second sheet"})
    EXPECT_NE(text.output.find(expected), std::string::npos) << expected << " not in:\n" << text.output;
  // Rows keep their order: the records come before the totals.
  EXPECT_LT(text.output.find("West"), text.output.find("Total"));
  const auto log = LogTexts(folder_.File("sales.log"));
  EXPECT_NE(std::find(log.begin(), log.end(), "Save the report file \"" + pdf + "\"."), log.end());
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
  const auto log = LogTexts(folder_.File("sales.log"));
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[log.size() - 5], "[sales]    Success.");
  EXPECT_EQ(log[log.size() - 4], "Error: Failed to save the report file.");
  EXPECT_EQ(log[log.size() - 3],
            "Error Info: Not support the file format: xlOpenDocumentSpreadsheet (60) - OpenDocument Spreadsheet.");
  // The log says why.
  EXPECT_EQ(log[log.size() - 2],
            "Error Info: Method 'SaveAs' of object '_Workbook' failed: the workbook cannot be saved as OpenDocument "
            "Spreadsheet (60): LibreOffice is not available: the converter program \"" +
                folder_.File("no-office/soffice") + "\" does not exist or cannot be run.");
  EXPECT_FALSE(fs::exists(folder_.File("out/sales.ods")));

  // A binary template cannot be opened either.
  WriteTextFile(folder_.File("templates/old.xls"), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) +
                                                      std::string(504, '\0'));
  error = Run(Definition("old.xls", "old.xls", "", "old.def"));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->HexNumber(), "0x80040011");
  EXPECT_NE(error->Description().find("Failed to open the template file \"" + folder_.File("templates/old.xls") +
                                      "\".'"),
            std::string::npos)
      << error->Description();
  EXPECT_NE(error->Description().find("LibreOffice is not available"), std::string::npos);
}

}  // namespace
}  // namespace tabrix
