// Bad inputs of a report run, each through Tabrix::Foliowright as a host calls it: what the host
// gets raised, what the run log says, and that the run neither crashes nor loses the other
// statements' work. docs/bad-inputs.md lists the same cases with the texts a user sees.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "xlsx/blank_package.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/zip_archive.h"
#include "fixtures/office_tools.h"
#include "tabrix/platform/spreadsheet.h"
#include "tabrix/tabrix.h"

namespace tabrix {
namespace {

using testing::TempFolder;

// Data: A1 title, A3:B3 a growing row, A4 "Total"; Pics: A1 a picture cell.
const char* kMakeTemplate = R"py(
import sys
from openpyxl import Workbook
wb = Workbook()
ws = wb.active
ws.title = "Data"
ws["A1"] = "Title"
ws["A4"] = "Total"
wb.create_sheet("Pics")
wb.save(sys.argv[1])
)py";

struct StatementOutcome {
  std::string name;
  ErrObject error;
};

class Events : public TabrixEvents {
 public:
  void FunctionAfterExectue(std::string name, std::int16_t, std::int32_t, ErrObject error) override {
    outcomes.push_back({name, error});
  }
  std::vector<StatementOutcome> outcomes;
};

class BadInputs : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::RunPython(kMakeTemplate, {folder_.File("template.xlsx")});
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(folder_.File("items.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE items (name TEXT, qty INTEGER, picture TEXT);"
                           "INSERT INTO items VALUES ('a', 1, 'missing.png'), ('b', 2, 'notapicture.png');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }

  std::string Definition(const std::string& fileKeys, const std::string& script,
                         const std::string& sources = "Name1=Items\r\nConnectionString1=Provider=SQLite;Data Source=items.db\r\n") {
    const std::string path = folder_.File("run.def");
    testing::WriteTextFile(path, "Foliowright Version 2.0\r\n[Data Source]\r\n" + sources + "[File]\r\n" + fileKeys +
                                     "LogFileName=run.log\r\n[SQL]\r\n" + script);
    return path;
  }
  std::string StandardFiles() const {
    return "ReportTemplateFileName=template.xlsx\r\nReportFileName=out\\report.xlsx\r\nReportFileType=xlOpenXMLWorkbook\r\n";
  }

  std::optional<AutomationError> Run(const std::string& definition) {
    Tabrix component;
    component.SetEventSink(&events_);
    ApplicationPtr application = platform::CreateSpreadsheetApplication();
    std::string file = definition;
    try {
      component.Foliowright(application, file);
    } catch (const AutomationError& error) {
      return error;
    }
    return std::nullopt;
  }

  // The run's error; fails the test when the run succeeded.
  AutomationError Failure(const std::string& definition) {
    std::optional<AutomationError> error = Run(definition);
    if (!error) {
      ADD_FAILURE() << "the run was expected to fail";
      return AutomationError(0, "", "");
    }
    return *error;
  }

  std::string Log() const {
    std::error_code error;
    return std::filesystem::exists(folder_.File("run.log"), error) ? testing::ReadTextFile(folder_.File("run.log")) : "";
  }

  TempFolder folder_{"tabrix-bad-inputs"};
  Events events_;
};

std::string Hex(std::int32_t number) { return AutomationError(number, "", "").HexNumber(); }

TEST_F(BadInputs, DefinitionFilesThatCannotBeUsed) {
  const std::string missing = folder_.File("nothing.def");
  AutomationError error = Failure(missing);
  EXPECT_EQ(Hex(error.Number()), "0x8004000B");
  EXPECT_EQ(error.Description(), "The file \"" + missing + "\" does not exist.");

  std::filesystem::create_directories(folder_.File("folder.def"));
  EXPECT_EQ(Hex(Failure(folder_.File("folder.def")).Number()), "0x8004000B");

  for (const std::string& content : {std::string(), std::string("foliowright Version 2.0\r\n"),
                                     std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), std::string(1 << 20, 'F')}) {
    testing::WriteTextFile(folder_.File("bad.def"), content);
    error = Failure(folder_.File("bad.def"));
    EXPECT_EQ(Hex(error.Number()), "0x8004000C");
    EXPECT_EQ(error.Description(), "The file \"" + folder_.File("bad.def") + "\" is not an Foliowright file.");
  }

  const std::string huge = folder_.File("huge.def");
  testing::WriteTextFile(huge, "Foliowright Version 2.0\r\n");
  ASSERT_EQ(::truncate(huge.c_str(), (64 << 20) + 1), 0);
  error = Failure(huge);
  EXPECT_EQ(Hex(error.Number()), "0x8004000D");
  EXPECT_EQ(error.Description(), "Error in reading the file \"" + huge + "\".");
}

TEST_F(BadInputs, FileKeysThatNameNothingUsable) {
  AutomationError error = Failure(Definition("ReportFileName=out\\r.xlsx\r\n", ""));
  EXPECT_EQ(Hex(error.Number()), "0x8004000E");
  EXPECT_EQ(error.Description(), "Report template file \"\" does not exist.");

  error = Failure(Definition("ReportTemplateFileName=nope.xlsx\r\nReportFileName=out\\r.xlsx\r\n", ""));
  EXPECT_EQ(Hex(error.Number()), "0x8004000E");
  EXPECT_EQ(error.Description(), "Report template file \"" + folder_.File("nope.xlsx") + "\" does not exist.");
  EXPECT_NE(Log().find("Error: Report template file \"" + folder_.File("nope.xlsx") + "\" does not exist."),
            std::string::npos);

  error = Failure(Definition("ReportTemplateFileName=template.xlsx\r\n", ""));
  EXPECT_EQ(Hex(error.Number()), "0x8004000F");
  EXPECT_EQ(error.Description(), "The report file is not named correctly.");

  // The report's folder cannot be made: a file stands where it would go.
  testing::WriteTextFile(folder_.File("blocked"), "a file");
  error = Failure(Definition("ReportTemplateFileName=template.xlsx\r\nReportFileName=blocked\\r.xlsx\r\n", ""));
  EXPECT_EQ(Hex(error.Number()), "0x80040010");
  EXPECT_EQ(error.Description().rfind("Failed to create the report file \"" + folder_.File("blocked/r.xlsx") + "\". ", 0), 0u)
      << error.Description();
}

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

TEST_F(BadInputs, TemplatesThatCannotBeOpened) {
  const std::string path = folder_.File("template.xlsx");
  const std::string prefix = "Failed to open the template file \"" + path + "\".'" + path + "' cannot be opened: ";
  struct Case {
    std::function<void()> make;
    std::string problem;
  };
  std::string deep;
  for (int i = 0; i < 1000; ++i) deep = "<x>" + deep + "</x>";
  const std::vector<Case> cases = {
      {[&] { testing::WriteTextFile(path, ""); }, "the file is not a zip package."},
      {[&] { testing::WriteTextFile(path, "Name,Qty\r\na,1\r\n"); }, "the file is not a zip package."},
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
    const AutomationError error = Failure(Definition(StandardFiles(), ""));
    EXPECT_EQ(Hex(error.Number()), "0x80040011");
    EXPECT_EQ(error.Description().rfind(prefix, 0), 0u) << error.Description();
    EXPECT_NE(error.Description().find(c.problem), std::string::npos) << error.Description();
    EXPECT_NE(Log().find("Error: Failed to open the template file \"" + path + "\"."), std::string::npos);
  }
}

TEST_F(BadInputs, DataSourcesThatCannotBeConnected) {
  const AutomationError error = Failure(Definition(
      StandardFiles(), "", "Name1=Nowhere\r\nConnectionString1=Driver={No Such Driver};Server=127.0.0.1\r\n"));
  EXPECT_EQ(error.Description().rfind("Failed to connect to database. DSN=Nowhere, Using a connection string. ", 0), 0u)
      << error.Description();
  EXPECT_NE(error.Description().find("No Such Driver"), std::string::npos) << error.Description();
  EXPECT_NE(Log().find("Error: Failed to connect to database. DSN=Nowhere, Using a connection string.\r\n"),
            std::string::npos) << Log();
  // The template was never opened, nothing was saved.
  EXPECT_FALSE(std::filesystem::exists(folder_.File("out/report.xlsx")));

  // A database file that is not one is refused when connecting, naming the file.
  testing::WriteTextFile(folder_.File("garbage.db"), std::string(4096, 'x'));
  const AutomationError garbage = Failure(Definition(
      StandardFiles(), "@q=EXECSQL(CONNECT=Garbage) SELECT 1\r\n",
      "Name1=Garbage\r\nConnectionString1=Provider=SQLite;Data Source=garbage.db\r\n"));
  EXPECT_EQ(garbage.Description(), "Failed to connect to database. DSN=Garbage, Using a connection string. "
                                   "file is not a database: \"" + folder_.File("garbage.db") + "\"");
}

TEST_F(BadInputs, BadStatementsFailAloneAndTheReportIsStillSaved) {
  std::string longList = "A3";
  for (int i = 0; i < 1024; ++i) longList += ",A3";
  std::string elevenGroups;
  for (int i = 1; i <= 11; ++i) elevenGroups += " GROUP=g" + std::to_string(i);
  const std::string script =
      "@unknown=FILL(CONNECT=Items) SELECT 1\r\n"
      "@noequals REPORT(SHEET=Data CELL=A3) SELECT 1\r\n"
      "@badparam=REPORT(SHEET=Data COLOR=red CELL=A3) SELECT 1\r\n"
      "@groups=REPORT(SHEET=Data CELL=A3" + elevenGroups + ") SELECT name FROM items\r\n"
      "@nosource=EXECSQL(CONNECT=Elsewhere) SELECT 1\r\n"
      "@nosheet=REPORT(SHEET=Nope CELL=A3) SELECT name FROM items\r\n"
      "@badcell=REPORT(SHEET=Data CELL=ZZZZ99) SELECT name FROM items\r\n"
      "@offsheet=REPORT(SHEET=Data TYPE=FIX CELL=XFD3) SELECT name, qty FROM items\r\n"
      "@smallrange=REPORT(SHEET=Data TYPE=FIX CELL=A3,B3 RANGE=A3:A9) SELECT name, qty FROM items\r\n"
      "@badsql=EXECSQL(CONNECT=Items) SELEKT nothing\r\n"
      "@picture=REPORT(SHEET=Pics CELL=A1 IMAGE=1) SELECT picture FROM items\r\n"
      "@good=REPORT(SHEET=Data CELL=A3,B3) SELECT name, qty FROM items ORDER BY name\r\n"
      // A list past its limit is a parse failure: the script ends there.
      "@longlist=REPORT(SHEET=Data CELL=" + longList + ") SELECT name FROM items\r\n"
      "@after=EXECSQL(CONNECT=Items) SELECT 1\r\n";
  ASSERT_EQ(Run(Definition(StandardFiles(), script)), std::nullopt);

  std::map<std::string, ErrObject> outcomes;
  for (const StatementOutcome& outcome : events_.outcomes) outcomes[outcome.name] = outcome.error;
  // Statements with syntax errors are dropped by the parser: no events, an entry in the log.
  const std::string log = Log();
  EXPECT_NE(log.find("Syntax error. Unknown function name \"FILL\"."), std::string::npos) << log;
  EXPECT_NE(log.find("Syntax error. Expected \"=\" after \"@noequals\"."), std::string::npos) << log;
  EXPECT_NE(log.find("Syntax error. Unknown parameter name \"COLOR\"."), std::string::npos) << log;
  EXPECT_NE(log.find("Error: Parse error in [longlist].\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Error Info: Subscript out of range"), std::string::npos) << log;
  EXPECT_NE(log.find("Too much parameter name \"GROUP\"."), std::string::npos) << log;
  EXPECT_NE(log.find("Connection error in [nosource]. Can not find data source \"Elsewhere\"."), std::string::npos) << log;
  for (const char* dropped : {"unknown", "noequals", "badparam", "longlist", "groups", "nosource", "after"})
    EXPECT_EQ(outcomes.count(dropped), 0u) << dropped;

  auto expectFailure = [&](const std::string& name, const std::string& hex, const std::string& text) {
    ASSERT_EQ(outcomes.count(name), 1u) << name;
    EXPECT_EQ(Hex(outcomes[name].Number), hex) << name << ": " << outcomes[name].Description;
    EXPECT_NE(outcomes[name].Description.find(text), std::string::npos) << name << ": " << outcomes[name].Description;
  };
  expectFailure("nosheet", "0x80040033", "Syntax error. The sheet \"Nope\" does not exist.");
  expectFailure("badcell", "0x80040071", "Syntax error. Failed to parse cell list.");
  expectFailure("smallrange", "0x80040079", "The range or copyrange should be A3:B3.");
  ASSERT_EQ(outcomes.count("picture"), 1u);
  EXPECT_NE(outcomes["picture"].Number, 0);
  EXPECT_NE(outcomes["picture"].Description.find("Failed to insert the image file \"" + folder_.File("missing.png") + "\"."),
            std::string::npos) << outcomes["picture"].Description;
  ASSERT_EQ(outcomes.count("offsheet"), 1u);
  EXPECT_NE(outcomes["offsheet"].Number, 0) << "XFD3 leaves no room for the second field";
  EXPECT_EQ(outcomes["offsheet"].Description,
            "Failed to execute function FixTableReport. Application-defined or object-defined error");
  ASSERT_EQ(outcomes.count("badsql"), 1u);
  EXPECT_NE(outcomes["badsql"].Number, 0);
  EXPECT_EQ(outcomes["good"].Number, 0) << outcomes["good"].Description;

  // The statement after all the failures filled its table and the report was saved.
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(folder_.File("out/report.xlsx"), true);
  auto data = book->WorksheetByName("Data");
  EXPECT_EQ(data->GetValue(3, 1).ToText(), "a");
  EXPECT_EQ(data->GetValue(4, 1).ToText(), "b");
  EXPECT_EQ(data->GetValue(5, 1).ToText(), "Total");
  EXPECT_NE(log.find("Close the log file."), std::string::npos);
}

}  // namespace
}  // namespace tabrix
