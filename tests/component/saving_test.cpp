// Saving a run's report: fitted columns for text templates, protection and
// its password rule, a report file that cannot be created, and the previous report surviving
// every failure.
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
using testing::ReadZipPart;
using Lines = std::vector<std::string>;

const std::string kScript =
    "@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items ORDER BY name\r\n";

std::string FileKeys(const std::string& reportName, const std::string& more) {
  return "ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=" + reportName + "\r\n" + more;
}

// Sheet XML of every worksheet of a saved workbook.
std::vector<std::string> SheetXml(const std::string& report) {
  std::vector<std::string> sheets;
  for (int i = 1; i <= 3; ++i) sheets.push_back(ReadZipPart(report, "xl/worksheets/sheet" + std::to_string(i) + ".xml"));
  return sheets;
}

TEST_F(ReportRunTest, ATextTemplateSavedAsAWorkbookHasItsColumnsFitted) {
  WriteText(folder_.File("templates/list.csv"), "Name,Quantity\r\nname,qty\r\n");
  const std::string script =
      "@items=REPORT(SHEET=1 TYPE=FIX CELL=A2,B2) SELECT 'a rather long product name for a narrow column', 7\r\n";
  ASSERT_EQ(Run(Definition("ReportTemplateFileName=templates\\list.csv\r\nReportFileName=out\\list.xlsx\r\n"
                           "ReportFileType=xlOpenXMLWorkbook\r\n",
                           script)),
            std::nullopt);
  const std::string fitted = ReadZipPart(folder_.File("out/list.xlsx"), "xl/worksheets/sheet1.xml");
  EXPECT_NE(fitted.find("<col "), std::string::npos) << fitted;

  // A workbook template keeps its column widths as they are.
  ASSERT_EQ(Run(Definition(FileKeys("out\\kept.xlsx", "ReportFileType=xlOpenXMLWorkbook\r\n"), kScript)),
            std::nullopt);
  EXPECT_EQ(ReadZipPart(folder_.File("out/kept.xlsx"), "xl/worksheets/sheet1.xml").find("<col "), std::string::npos);
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
       "Failed to connect to database. DSN=Main, Using a connection string. file is not a database: \"" +
           folder_.File("data/garbage.db") + "\""},
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
  EXPECT_NE(ReadZipPart(report, "xl/workbook.xml").find("<sheet"), std::string::npos);
  EXPECT_EQ(FolderListing(folder_.File("out")), std::vector<std::string>{"r.xlsx"});
  struct stat info {};
  ASSERT_EQ(::stat(report.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IRGRP, 0u) << "not a private temporary file's mode";
}

}  // namespace
}  // namespace tabrix
