// Bad inputs past the definition file (docs/bad-inputs.md): templates the engine cannot open,
// data sources that cannot be connected, statements that fail alone while the report is saved.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fixtures/run_fixture.h"
#include "support/paths.h"
#include "xlsx/blank_package.h"
#include "xlsx/zip_archive.h"

namespace tabrix {
namespace {

using testing::ReadText;
using testing::ReportRunTest;

const std::string kFiles =
    "ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\report.xlsx\r\n"
    "ReportFileType=xlOpenXMLWorkbook\r\nLogFileName=run.log\r\n";

std::string Hex(std::int32_t number) { return AutomationError(number, "", "").HexNumber(); }

// Writes a template made of the given parts over the blank workbook's.
void WriteTemplate(const std::string& path, const std::vector<std::pair<std::string, std::string>>& parts) {
  xlsx::PackageParts package = xlsx::BlankPackage("Data");
  for (const auto& [name, bytes] : parts) package.Put(name, bytes);
  xlsx::WriteZipFile(path, package, {});
}

std::string Sheet(const std::string& inside) {
  return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + inside +
         "</sheetData></worksheet>";
}

TEST_F(ReportRunTest, TemplatesThatCannotBeOpened) {
  const std::string path = Template();
  const std::string prefix = "Failed to open the template file \"" + path + "\".'" + path + "' cannot be opened: ";
  struct Case {
    std::function<void()> make;
    std::string problem;
  };
  std::string deep;
  for (int i = 0; i < 1000; ++i) deep = "<x>" + deep + "</x>";
  const std::vector<Case> cases = {
      {[&] { testing::WriteText(path, "Name,Qty\r\na,1\r\n"); }, "the file is not a zip package."},
      {[&] { WriteTemplate(path, {{"xl/worksheets/sheet1.xml", Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></row>")}}); },
       "the part xl/worksheets/sheet1.xml is not well-formed XML"},
      {[&] { WriteTemplate(path, {{"xl/worksheets/sheet1.xml", Sheet(deep)}}); },
       "the part xl/worksheets/sheet1.xml nests elements deeper than 256 levels."},
      {[&] { WriteTemplate(path, {{"xl/worksheets/sheet1.xml", Sheet("<row r=\"1048577\"/>")}}); },
       "outside the sheet's limits."},
      {[&] { WriteTemplate(path, {{"xl/worksheets/sheet1.xml", Sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v></c></row>")}}); },
       "uses a shared string that does not exist."},
      {[&] {
         xlsx::PackageParts package = xlsx::BlankPackage("Data");
         package.Remove("xl/workbook.xml");
         xlsx::WriteZipFile(path, package, {});
       },
       "the part xl/workbook.xml is missing."},
  };
  for (const Case& c : cases) {
    c.make();
    const std::optional<AutomationError> error = Run(Definition(kFiles, ""));
    ASSERT_TRUE(error) << c.problem;
    EXPECT_EQ(Hex(error->Number()), "0x80040011");
    EXPECT_EQ(error->Description().rfind(prefix, 0), 0u) << error->Description();
    EXPECT_NE(error->Description().find(c.problem), std::string::npos) << error->Description();
    // No report file is left behind (not even an empty one); the log ends with the entry.
    EXPECT_FALSE(FileExists(folder_.File("out/report.xlsx")));
    const std::vector<std::string> log = testing::LogTexts(folder_.File("run.log"));
    ASSERT_EQ(log.size(), 7u) << ::testing::PrintToString(log);
    EXPECT_EQ(log[5], "Error: Failed to open the template file \"" + path + "\".");
  }
}

TEST_F(ReportRunTest, DataSourcesThatCannotBeConnected) {
  // An ODBC driver that does not exist: the driver manager's message follows the entry.
  const std::optional<AutomationError> noDriver = Run(Definition(
      kFiles, "", "Name1=Nowhere\r\nConnectionString1=Driver={No Such Driver};Server=127.0.0.1\r\n"));
  ASSERT_TRUE(noDriver);
  EXPECT_EQ(noDriver->Description().rfind("Failed to connect to database. DSN=Nowhere, Using a connection string. ", 0), 0u)
      << noDriver->Description();
  EXPECT_NE(noDriver->Description().find("No Such Driver"), std::string::npos) << noDriver->Description();

  // (A database file that is not one: the saving test's failures, which keep the old report.)
}

TEST_F(ReportRunTest, BadStatementsFailAloneAndTheReportIsStillSaved) {
  testing::ExecuteSql(Database(), "CREATE TABLE pictures (path TEXT); INSERT INTO pictures VALUES ('missing.png');");
  const std::string script =
      "@unknown=FILL(CONNECT=Main) SELECT 1\r\n"
      "@badcell=REPORT(SHEET=Data CELL=ZZZZ99) SELECT name FROM items\r\n"
      "@offsheet=REPORT(SHEET=Data TYPE=FIX CELL=XFD3) SELECT name, qty FROM items\r\n"
      "@smallrange=REPORT(SHEET=Other TYPE=FIX CELL=A3,B3 RANGE=A3:A9) SELECT name, qty FROM items\r\n"
      "@picture=REPORT(SHEET=Other CELL=A5 IMAGE=1) SELECT path FROM pictures\r\n"
      "@good=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items ORDER BY name\r\n";
  const RunResult result = RunReport(Definition(kFiles, script), {}, RunOptions());
  ASSERT_TRUE(result.Succeeded()) << result.Error.Description;

  std::map<std::string, ErrObject> outcomes;
  for (const StatementOutcome& outcome : result.Statements) outcomes[outcome.Name] = outcome.Error;
  // A statement with a syntax error is dropped by the parser: no outcome, an entry in the log.
  EXPECT_EQ(outcomes.count("unknown"), 0u);
  const std::string log = ReadText(result.LogPath);
  EXPECT_NE(log.find("Syntax error. Unknown function name \"FILL\"."), std::string::npos) << log;

  auto expectFailure = [&](const std::string& name, const std::string& hex, const std::string& text) {
    ASSERT_EQ(outcomes.count(name), 1u) << name;
    EXPECT_EQ(Hex(outcomes[name].Number), hex) << name << ": " << outcomes[name].Description;
    EXPECT_NE(outcomes[name].Description.find(text), std::string::npos) << name << ": " << outcomes[name].Description;
  };
  expectFailure("badcell", "0x80040071", "Syntax error. Failed to parse cell list.");
  expectFailure("smallrange", "0x80040079", "The range or copyrange should be A3:B3.");
  ASSERT_EQ(outcomes.count("picture"), 1u);
  EXPECT_NE(outcomes["picture"].Number, 0);
  // A relative picture path is taken from the template's folder.
  EXPECT_NE(outcomes["picture"].Description.find("Failed to insert the image file \"" + folder_.File("templates/missing.png") + "\"."),
            std::string::npos) << outcomes["picture"].Description;
  ASSERT_EQ(outcomes.count("offsheet"), 1u);
  EXPECT_NE(outcomes["offsheet"].Number, 0) << "XFD3 leaves no room for the second field";
  EXPECT_EQ(outcomes["offsheet"].Description,
            "Failed to execute function FixTableReport. Application-defined or object-defined error");
  EXPECT_EQ(outcomes["good"].Number, 0) << outcomes["good"].Description;

  // The statement after all the failures filled its table and the report was saved.
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(result.ReportPath, true);
  auto data = book->WorksheetByName("Data");
  EXPECT_EQ(data->GetValue(4, 1).ToText(), "apple");
  EXPECT_EQ(data->GetValue(6, 1).ToText(), "cherry");
  EXPECT_EQ(data->GetValue(7, 1).ToText(), "Total");
  EXPECT_NE(log.find("Close the log file."), std::string::npos);
}

}  // namespace
}  // namespace tabrix
