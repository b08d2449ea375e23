// Saving a run's report: formats from the conversion table, protection and its password rule,
// a save that fails after the script ran, and the previous report surviving every failure.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
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

TEST_F(ReportRunTest, SavesAWorkbookByTypeNumberOrInTheTemplateFormat) {
  ASSERT_EQ(Run(Definition(FileKeys("out\\by_number.xlsx", "ReportFileType=51\r\n"), kScript)), std::nullopt);
  EXPECT_NE(ZipEntry(folder_.File("out/by_number.xlsx"), "xl/workbook.xml").find("<sheet"), std::string::npos);
  // A type that is not in the table saves in the template's own format, without a message.
  ASSERT_EQ(Run(Definition(FileKeys("out\\unknown.xlsx", "ReportFileType=NoSuchType\r\n"), kScript)), std::nullopt);
  EXPECT_NE(ZipEntry(folder_.File("out/unknown.xlsx"), "xl/workbook.xml").find("<sheet"), std::string::npos);
  const Lines log = LogTexts(folder_.File("report.log"));
  EXPECT_EQ(log.at(log.size() - 2), "Save the report file \"" + (folder_.File("out/unknown.xlsx")) + "\".");
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

TEST_F(ReportRunTest, AFormatTheWorkbookCannotBeWrittenInFailsAfterTheScript) {
  // Excel 97-2003 workbooks are written through LibreOffice: here it is not found.
  ::setenv("TABRIX_OFFICE_PROGRAM", "/nonexistent/soffice", 1);
  std::optional<AutomationError> error =
      Run(Definition(FileKeys("out\\old.xls", "ReportFileType=xlExcel8\r\n"), kScript));
  ::unsetenv("TABRIX_OFFICE_PROGRAM");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->HexNumber(), "0x80040013");
  EXPECT_EQ(error->Source(), "TabrixCom");
  EXPECT_EQ(error->Description(),
            "Failed to save the report file. Not support the file format: xlExcel8 (56) - Excel 97-2003 Workbook.");
  const Lines log = LogTexts(folder_.File("report.log"));
  ASSERT_GE(log.size(), 5u);
  // The script ran, the error is logged, and the run still closes its log before raising.
  EXPECT_EQ(log[log.size() - 5], "[items]    Success.");
  EXPECT_EQ(log[log.size() - 4], "Error: Failed to save the report file.");
  EXPECT_EQ(log[log.size() - 3],
            "Error Info: Not support the file format: xlExcel8 (56) - Excel 97-2003 Workbook.");
  // Then why the workbook was not written.
  EXPECT_NE(log[log.size() - 2].find("Error Info: Method 'SaveAs' of object '_Workbook' failed"), std::string::npos);
  EXPECT_NE(log[log.size() - 2].find("\"/nonexistent/soffice\""), std::string::npos) << log[log.size() - 2];
  EXPECT_EQ(log.back(), "Close the log file.");
  EXPECT_EQ(std::count(events_.events.begin(), events_.events.end(), "ReportComplete"), 0);
}

TEST_F(ReportRunTest, ProtectionWithTheGivenPassword) {
  ASSERT_EQ(Run(Definition(FileKeys("out\\p.xlsx", "ProtectReport=Y\r\nProtectionPassword=secret\r\n"), kScript)),
            std::nullopt);
  const Lines log = LogTexts(folder_.File("report.log"));
  EXPECT_EQ(log.at(log.size() - 3), "Protect the report file with a password \"secret\".");
  for (const std::string& sheet : SheetXml(folder_.File("out/p.xlsx"))) {
    EXPECT_NE(sheet.find("<sheetProtection"), std::string::npos);
    EXPECT_NE(sheet.find("hashValue="), std::string::npos);
  }
}

TEST_F(ReportRunTest, ProtectionWithAnEmptyPasswordEntry) {
  // The entry exists (only "ProtectionPassword" and "="): protected without a password.
  ASSERT_EQ(Run(Definition(FileKeys("out\\p.xlsx", "ProtectReport=y\r\nProtectionPassword =\r\n"), kScript)),
            std::nullopt);
  const Lines log = LogTexts(folder_.File("report.log"));
  EXPECT_EQ(log.at(log.size() - 3), "Protect the report file without a password.");
  for (const std::string& sheet : SheetXml(folder_.File("out/p.xlsx"))) {
    EXPECT_NE(sheet.find("<sheetProtection"), std::string::npos);
    EXPECT_EQ(sheet.find("hashValue="), std::string::npos);
  }
}

TEST_F(ReportRunTest, ProtectionWithoutAPasswordEntryUsesARandomOne) {
  ASSERT_EQ(Run(Definition(FileKeys("out\\p.xlsx", "ProtectReport=Y\r\n"), kScript)), std::nullopt);
  const Lines log = LogTexts(folder_.File("report.log"));
  std::smatch match;
  const std::string line = log.at(log.size() - 3);
  ASSERT_TRUE(std::regex_match(line, match, std::regex("Protect the report file with a password \"([0-z]{6})\"\\.")))
      << line;
  for (const std::string& sheet : SheetXml(folder_.File("out/p.xlsx")))
    EXPECT_NE(sheet.find("hashValue="), std::string::npos);

  // Not asked for: no protection, whatever the password entry says.
  ASSERT_EQ(Run(Definition(FileKeys("out\\n.xlsx", "ProtectReport=N\r\nProtectionPassword=secret\r\n"), kScript)),
            std::nullopt);
  for (const std::string& sheet : SheetXml(folder_.File("out/n.xlsx")))
    EXPECT_EQ(sheet.find("<sheetProtection"), std::string::npos);
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

TEST_F(ReportRunTest, ATemplateTheApplicationCannotOpen) {
  WriteText(folder_.File("templates/broken.xlsx"), "this is not a workbook");
  const std::string definition =
      Definition("ReportTemplateFileName=templates\\broken.xlsx\r\nReportFileName=out\\r.xlsx\r\n", kScript);
  std::optional<AutomationError> error = Run(definition);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->HexNumber(), "0x80040011");
  const std::string path = folder_.File("templates/broken.xlsx");
  const std::string fixed = "Failed to open the template file \"" + path + "\".";
  ASSERT_GT(error->Description().size(), fixed.size());
  EXPECT_EQ(error->Description().substr(0, fixed.size()), fixed);
  EXPECT_NE(error->Description()[fixed.size()], ' ');  // the description follows without a blank
  EXPECT_FALSE(std::filesystem::exists(folder_.File("out/r.xlsx")));  // no empty report left behind
  const Lines log = LogTexts(folder_.File("report.log"));
  ASSERT_EQ(log.size(), 7u) << ::testing::PrintToString(log);
  EXPECT_EQ(log[5], "Error: " + fixed);
}

// The files of a folder, hidden ones included.
std::vector<std::string> FolderListing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(ReportRunTest, APreviousReportSurvivesEveryFailure) {
  const std::string report = folder_.File("out/r.xlsx");
  std::string previous = "previous report \x01\x02";
  previous += std::string(3000, 'x');
  struct Case {
    std::string name, hex;
    std::function<std::string()> definition;  // makes the failing definition
    std::string inDescription;
  };
  const std::vector<Case> cases = {
      {"template missing", "0x8004000E",
       [&] { return Definition("ReportTemplateFileName=templates\\none.xlsx\r\nReportFileName=out\\r.xlsx\r\n", kScript); },
       "does not exist"},
      {"template not a workbook", "0x80040011",
       [&] {
         WriteText(folder_.File("templates/broken.xlsx"), "not a workbook");
         return Definition("ReportTemplateFileName=templates\\broken.xlsx\r\nReportFileName=out\\r.xlsx\r\n", kScript);
       },
       "Failed to open the template file"},
      {"database that cannot be opened", "",
       [&] {
         WriteText(folder_.File("data/garbage.db"), std::string(4096, 'g'));
         return Definition(FileKeys("out\\r.xlsx", ""), kScript,
                           "Name1=Main\r\nConnectionString1=Provider=SQLite;Data Source=data\\garbage.db\r\n");
       },
       "Failed to connect to database"},
      {"save that fails", "0x80040013",
       [&] {
         ::setenv("TABRIX_OFFICE_PROGRAM", "/nonexistent/soffice", 1);
         return Definition(FileKeys("out\\r.xlsx", "ReportFileType=xlExcel8\r\n"), kScript);
       },
       "Failed to save the report file."},
  };
  for (const bool existing : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name + (existing ? " over a previous report" : " without one"));
      std::filesystem::remove_all(folder_.File("out"));
      std::filesystem::create_directories(folder_.File("out"));
      if (existing) WriteText(report, previous);
      const std::optional<AutomationError> error = Run(c.definition());
      ::unsetenv("TABRIX_OFFICE_PROGRAM");
      ASSERT_TRUE(error);
      if (!c.hex.empty()) EXPECT_EQ(error->HexNumber(), c.hex);
      EXPECT_NE(error->Description().find(c.inDescription), std::string::npos) << error->Description();
      // Byte for byte as before, and no temporary file left beside it.
      if (existing) EXPECT_EQ(ReadText(report), previous);
      EXPECT_EQ(FolderListing(folder_.File("out")), existing ? std::vector<std::string>{"r.xlsx"}
                                                             : std::vector<std::string>{});
    }
  }

  // A read-only report is refused before the script runs, with a message that says so.
  WriteText(report, previous);
  ASSERT_EQ(::chmod(report.c_str(), 0444), 0);
  events_.events.clear();
  const std::optional<AutomationError> readOnly = Run(Definition(FileKeys("out\\r.xlsx", ""), kScript));
  ASSERT_TRUE(readOnly);
  EXPECT_EQ(readOnly->HexNumber(), "0x80040010");
  EXPECT_NE(readOnly->Description().find("read-only"), std::string::npos) << readOnly->Description();
  EXPECT_EQ(ReadText(report), previous);
  EXPECT_EQ(std::count(events_.events.begin(), events_.events.end(), "TemplateOpen"), 0);

  // A successful run replaces it (once writable) with a complete workbook of the usual permissions.
  ASSERT_EQ(::chmod(report.c_str(), 0644), 0);
  ASSERT_EQ(Run(Definition(FileKeys("out\\r.xlsx", ""), kScript)), std::nullopt);
  EXPECT_NE(ZipEntry(report, "xl/workbook.xml").find("<sheet"), std::string::npos);
  EXPECT_EQ(FolderListing(folder_.File("out")), std::vector<std::string>{"r.xlsx"});
  struct stat info {};
  ASSERT_EQ(::stat(report.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IRGRP, 0u) << "not a private temporary file's mode";
}

}  // namespace
}  // namespace tabrix
