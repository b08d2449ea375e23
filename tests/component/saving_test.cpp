// Saving a run's report: text formats from the conversion table, fitted columns, protection and
// its password rule, and a report file that cannot be created.
#include <gtest/gtest.h>

#include <regex>

#include "fixtures/run_fixture.h"
#include "support/paths.h"

namespace tabrix {
namespace {

using testing::LogTexts;
using testing::ReadText;
using testing::ReportRunTest;
using testing::WriteText;
using testing::ZipEntry;
using Lines = std::vector<std::string>;

const std::string kScript =
    "@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items ORDER BY name\r\n";

std::string FileKeys(const std::string& reportName, const std::string& more) {
  return "ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=" + reportName + "\r\n" + more;
}

// Sheet XML of every worksheet of a saved workbook.
std::vector<std::string> SheetXml(const std::string& report) {
  std::vector<std::string> sheets;
  for (int i = 1; i <= 3; ++i) sheets.push_back(ZipEntry(report, "xl/worksheets/sheet" + std::to_string(i) + ".xml"));
  return sheets;
}

TEST_F(ReportRunTest, SavesCommaSeparatedTextByTypeName) {
  ASSERT_EQ(Run(Definition(FileKeys("out\\items.csv", "ReportFileType=xlcsv\r\n"), kScript)), std::nullopt);
  const std::string csv = ReadText(folder_.File("out/items.csv"));
  // The active sheet, values as shown; the total follows the grown table.
  EXPECT_NE(csv.find("apple,3"), std::string::npos) << csv;
  EXPECT_NE(csv.find("banana,1"), std::string::npos) << csv;
  EXPECT_NE(csv.find("cherry,7"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\ncherry,7\r\nTotal,11\r\n"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("PK"), std::string::npos);  // not a zip container
  EXPECT_EQ(LogTexts(folder_.File("report.log")).at(9), "Save the report file \"" + (folder_.File("out/items.csv")) + "\".");
}

TEST_F(ReportRunTest, ATextTemplateSavedAsAWorkbookHasItsColumnsFitted) {
  WriteText(folder_.File("templates/list.csv"), "Name,Quantity\r\nname,qty\r\n");
  const std::string script =
      "@items=REPORT(SHEET=1 TYPE=FIX CELL=A2,B2) SELECT 'a rather long product name for a narrow column', 7\r\n";
  ASSERT_EQ(Run(Definition("ReportTemplateFileName=templates\\list.csv\r\nReportFileName=out\\list.xlsx\r\n"
                           "ReportFileType=xlOpenXMLWorkbook\r\n",
                           script)),
            std::nullopt);
  const std::string fitted = ZipEntry(folder_.File("out/list.xlsx"), "xl/worksheets/sheet1.xml");
  EXPECT_NE(fitted.find("<col "), std::string::npos) << fitted;

  // A workbook template keeps its column widths as they are.
  ASSERT_EQ(Run(Definition(FileKeys("out\\kept.xlsx", "ReportFileType=xlOpenXMLWorkbook\r\n"), kScript)),
            std::nullopt);
  EXPECT_EQ(ZipEntry(folder_.File("out/kept.xlsx"), "xl/worksheets/sheet1.xml").find("<col "), std::string::npos);
}

TEST_F(ReportRunTest, ProtectionAndItsPasswordRule) {
  struct Case {
    std::string keys, logLine;  // logLine: the log's protection line as a pattern, "" for none
    bool protection, hash;
  };
  const std::vector<Case> cases = {
      {"ProtectReport=Y\r\nProtectionPassword=secret\r\n", "Protect the report file with a password \"secret\"\\.",
       true, true},
      // The entry exists (only "ProtectionPassword" and "="): protected without a password.
      {"ProtectReport=y\r\nProtectionPassword =\r\n", "Protect the report file without a password\\.", true, false},
      // No entry: a random password of six characters.
      {"ProtectReport=Y\r\n", "Protect the report file with a password \"[0-z]{6}\"\\.", true, true},
      // Not asked for: no protection, whatever the password entry says.
      {"ProtectReport=N\r\nProtectionPassword=secret\r\n", "", false, false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.keys);
    const std::string name = "out/p" + std::to_string(i) + ".xlsx";
    ASSERT_EQ(Run(Definition(FileKeys("out\\p" + std::to_string(i) + ".xlsx", c.keys), kScript)), std::nullopt);
    const Lines log = LogTexts(folder_.File("report.log"));
    const std::string line = log.at(log.size() - 3);
    if (c.logLine.empty()) EXPECT_NE(line.rfind("Protect", 0), 0u) << line;
    else EXPECT_TRUE(std::regex_match(line, std::regex(c.logLine))) << line;
    for (const std::string& sheet : SheetXml(folder_.File(name))) {
      EXPECT_EQ(sheet.find("<sheetProtection") != std::string::npos, c.protection);
      EXPECT_EQ(sheet.find("hashValue=") != std::string::npos, c.hash);
    }
  }
}

TEST_F(ReportRunTest, AnUnwritableReportLocationFailsBeforeTheScript) {
  // The report path names an existing folder: the empty report file cannot be created.
  ASSERT_EQ(std::system(("mkdir -p " + folder_.File("out/taken.xlsx")).c_str()), 0);
  std::optional<AutomationError> error = Run(Definition(FileKeys("out\\taken.xlsx", ""), kScript));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->HexNumber(), "0x80040010");
  const std::string path = folder_.File("out/taken.xlsx");
  EXPECT_EQ(error->Description().rfind("Failed to create the report file \"" + path + "\". ", 0), 0u)
      << error->Description();
  const Lines log = LogTexts(folder_.File("report.log"));
  ASSERT_EQ(log.size(), 6u) << ::testing::PrintToString(log);
  EXPECT_EQ(log[4], "Error: Failed to create the report file \"" + path + "\".");
  EXPECT_EQ(log[5].rfind("Error Info: ", 0), 0u);
}

}  // namespace
}  // namespace tabrix
