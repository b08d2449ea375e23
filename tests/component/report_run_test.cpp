// Whole report runs through Tabrix::Foliowright on real SQLite databases and .xlsx templates:
// the saved report read back, the run log line for line (without time prefixes), the events.
#include <gtest/gtest.h>

#include "component/run_driver.h"
#include "fixtures/run_fixture.h"
#include "fixtures/required_tools.h"
#include "support/paths.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix {
namespace {

using testing::LogTexts;
using testing::ReadText;
using testing::ReportRunTest;
using testing::ReadZipPart;
using Lines = std::vector<std::string>;

const std::string kReportFile =
    "ReportTemplateFileName=templates\\report.xlsx\r\n"
    "ReportFileName=out\\report_%Year%.xlsx\r\n"
    "ReportFileType=xlOpenXMLWorkbook\r\n"
    "LogFileName=logs\\run_%Year%.log\r\n";

Lines Banner() { return {"TabrixCom 1.4.0", kLegalNotice, "Open log file successfully."}; }

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::shared_ptr<platform::Workbook> OpenReport(const std::string& path) {
  return platform::CreateSpreadsheetApplication()->OpenWorkbook(path, true);
}

TEST_F(ReportRunTest, MultiStatementScriptWithParametersAndAFailingStatement) {
  const std::string templateBytes = ReadText(Template());
  const std::string definition = Definition(kReportFile,
                                            "/* stage one more row */\r\n"
                                            "@1=EXECSQL(CONNECT=Main)\r\n"
                                            "  INSERT INTO items (name, qty, grp)\r\n"
                                            "  VALUES ('extra', 5, 'g2')\r\n"
                                            "\r\n"
                                            "/* this one fails, the script goes on */\r\n"
                                            "@2=EXECSQL(CONNECT=Main) UPDATE nosuchtable SET a = 1\r\n"
                                            "@title=REPORT(SHEET=Data TYPE=FIX CELL=Title) SELECT 'Report %Year%'\r\n"
                                            "@items=REPORT(CONNECT=1 SHEET=Data RESERVE=2 CELL=A4,B4)\r\n"
                                            "SELECT name, qty FROM items\r\n"
                                            "WHERE qty >= %Min% /* small ones stay out */ ORDER BY name\r\n"
                                            "@year=NAME(NAME=RunYear) SELECT %Year%\r\n");
  ASSERT_EQ(Run(definition, "2009", "2"), std::nullopt);

  const std::string report = folder_.File("out/report_2009.xlsx");
  const std::string templatePath = Template();
  const Lines log = LogTexts(folder_.File("logs/run_2009.log"));
  ASSERT_EQ(log.size(), 25u) << ::testing::PrintToString(log);
  EXPECT_EQ(log[12].rfind("Error Info: ", 0), 0u);
  EXPECT_NE(log[12].find("nosuchtable"), std::string::npos) << log[12];
  Lines expected = Concat(Banner(), {
      "Connect to database successfully. DSN=Main, Using a connection string.",
      "Create the blank report file \"" + report + "\".",
      "Open the template file \"" + templatePath + "\".",
      "[1]    EXECSQL(CONNECT=Main)",
      // The empty line and the comment line each add their joining blank.
      "[1]    INSERT INTO items (name, qty, grp) VALUES ('extra', 5, 'g2')  ",
      "[1]    Success.",
      "[2]    EXECSQL(CONNECT=Main)",
      "[2]    UPDATE nosuchtable SET a = 1",
      "Error: Failed to excute function.",
      log[12],
      "[2]    Failure.",
      "[title]    REPORT(SHEET=Data TYPE=FIX CELL=Title)",
      "[title]    SELECT 'Report 2009'",
      "[title]    Success.",
      "[items]    REPORT(CONNECT=1 SHEET=Data RESERVE=2 CELL=A4,B4)",
      "[items]    SELECT name, qty FROM items WHERE qty >= 2  ORDER BY name",
      "[items]    Success.",
      "[year]    NAME(NAME=RunYear)",
      "[year]    SELECT 2009",
      "[year]    Success.",
      "Save the report file \"" + report + "\".",
      "Close the log file.",
  });
  EXPECT_EQ(log, expected);

  // Events: one connection, the template, five statements numbered 1..5 (the failed one too).
  ASSERT_EQ(events_.events.size(), 13u) << ::testing::PrintToString(events_.events);
  EXPECT_EQ(events_.events[0], "BeforeConnect Main user=");
  EXPECT_EQ(events_.events[1], "TemplateOpen");
  EXPECT_EQ(events_.events[2], "Before 1 0 1 INSERT INTO items (name, qty, grp) VALUES ('extra', 5, 'g2')  ");
  EXPECT_EQ(events_.events[3], "After 1 0 1 ok");
  EXPECT_EQ(events_.events[4], "Before 2 0 2 UPDATE nosuchtable SET a = 1");
  EXPECT_EQ(events_.events[5].rfind("After 2 0 2 0x", 0), 0u) << events_.events[5];
  EXPECT_NE(events_.errors[1].Number, 0);
  EXPECT_NE(events_.errors[1].Description.find("nosuchtable"), std::string::npos);
  EXPECT_EQ(events_.events[6], "Before title 2 3 SELECT 'Report 2009'");
  EXPECT_EQ(events_.events[7], "After title 2 3 ok");
  EXPECT_EQ(events_.events[9], "After items 2 4 ok");
  EXPECT_EQ(events_.events[10], "Before year 1 5 SELECT 2009");
  EXPECT_EQ(events_.events[11], "After year 1 5 ok");
  EXPECT_EQ(events_.events[12], "ReportComplete");
  // Progress of the two table statements: 0 after counting, then every record.
  EXPECT_EQ(events_.progressEvents,
            (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}, {0, 3}, {1, 3}, {2, 3}, {3, 3}}));

  // The report: title, the grown table, the total and the note moved below it.
  auto workbook = OpenReport(report);
  auto data = workbook->WorksheetByName("Data");
  EXPECT_EQ(data->GetValue(1, 1).ToText(), "Report 2009");
  EXPECT_EQ(data->GetValue(4, 1).ToText(), "apple");
  EXPECT_EQ(data->GetValue(4, 2).Number(), 3);
  EXPECT_EQ(data->GetValue(5, 1).ToText(), "cherry");
  EXPECT_EQ(data->GetValue(6, 1).ToText(), "extra");
  EXPECT_EQ(data->GetValue(6, 2).Number(), 5);
  EXPECT_EQ(data->GetValue(7, 1).ToText(), "Total");
  EXPECT_EQ(data->GetValue(7, 2).Number(), 15);  // the cached result of the moved formula
  EXPECT_EQ(data->GetValue(9, 1).ToText(), "note");
  EXPECT_NE(ReadZipPart(report, "xl/worksheets/sheet1.xml").find("SUM(B4:B6)"), std::string::npos);
  EXPECT_NE(ReadZipPart(report, "xl/workbook.xml").find("2009"), std::string::npos);  // RunYear holds 2009
  // The EXECSQL statement changed the database; the template is untouched.
  EXPECT_EQ(testing::QueryText(Database(), "SELECT COUNT(*) FROM items"), "4");
  EXPECT_EQ(ReadText(Template()), templateBytes);
  REQUIRE_LIBREOFFICE();
  // An independent reader, recalculating: the total covers the grown table.
  const auto rows = testing::ParseCsv(testing::LibreOfficeCsv(report, 1, true));
  ASSERT_GE(rows.size(), 9u);
  EXPECT_EQ(rows[0].at(0), "Report 2009");
  EXPECT_EQ(rows[3], (std::vector<std::string>{"apple", "3"}));
  EXPECT_EQ(rows[4], (std::vector<std::string>{"cherry", "7"}));
  EXPECT_EQ(rows[5], (std::vector<std::string>{"extra", "5"}));
  EXPECT_EQ(rows[6], (std::vector<std::string>{"Total", "15"}));
  EXPECT_EQ(rows[8].at(0), "note");
}

TEST_F(ReportRunTest, EarlyFailuresEndTheRunWithTheirNumberAndLog) {
  const std::string missing = folder_.File("templates/missing.xlsx");
  struct Case {
    std::string fileKeys, hex, description;
    bool logged;  // the entry follows the banner in the log (beside the definition)
  };
  const std::vector<Case> cases = {
      // An empty template name: only the banner is logged.
      {"ReportFileName=out\\r.xlsx\r\n", "0x8004000E", "Report template file \"\" does not exist.", false},
      {"ReportTemplateFileName=templates\\missing.xlsx\r\nReportFileName=out\\r.xlsx\r\n", "0x8004000E",
       "Report template file \"" + missing + "\" does not exist.", true},
      {"ReportTemplateFileName=templates\\report.xlsx\r\n", "0x8004000F", "The report file is not named correctly.",
       true},
  };
  for (const Case& c : cases) {
    const std::optional<AutomationError> error = Run(Definition(c.fileKeys, ""));
    ASSERT_TRUE(error) << c.description;
    EXPECT_EQ(error->HexNumber(), c.hex);
    EXPECT_EQ(error->Source(), "TabrixCom");
    EXPECT_EQ(error->Description(), c.description);
    EXPECT_EQ(LogTexts(folder_.File("report.log")),
              c.logged ? Concat(Banner(), {"Error: " + c.description}) : Banner());
  }
  EXPECT_TRUE(events_.events.empty());

  // A definition file that does not exist: no log at all.
  const std::optional<AutomationError> error = Run(folder_.File("nothing.def"));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->HexNumber(), "0x8004000B");
  EXPECT_EQ(error->Description(), "The file \"" + (folder_.File("nothing.def")) + "\" does not exist.");
  EXPECT_FALSE(FileExists(folder_.File("nothing.log")));
}

TEST_F(ReportRunTest, AFailingConnectionEndsTheRunAndNamesTheUser) {
  const std::string definition =
      Definition(kReportFile, "@1=EXECSQL() SELECT 1\r\n",
                 "Name1=Main\r\nConnectionString1=Provider=SQLite;Data Source=data\\items.db\r\n"
                 "Name2=NoSuchDsn\r\nUser2=u\r\nPassword2=p\r\n");
  std::optional<AutomationError> error = Run(definition, "2010");
  ASSERT_TRUE(error);
  // The provider's number, the component's source, the composed description.
  EXPECT_NE(error->Number(), 0);
  EXPECT_EQ(error->Source(), "TabrixCom");
  const std::string prefix = "Failed to connect to database. DSN=NoSuchDsn\xEF\xBC\x8C USER=u. ";
  EXPECT_EQ(error->Description().rfind(prefix, 0), 0u) << error->Description();
  const Lines log = LogTexts(folder_.File("logs/run_2010.log"));
  ASSERT_EQ(log.size(), 6u) << ::testing::PrintToString(log);
  EXPECT_EQ(Lines(log.begin(), log.begin() + 5),
            Concat(Banner(), {"Connect to database successfully. DSN=Main, Using a connection string.",
                              "Error: Failed to connect to database. DSN=NoSuchDsn\xEF\xBC\x8C USER=u"}));
  EXPECT_EQ(log[5], "Error Info: " + error->Description().substr(prefix.size()));
  EXPECT_EQ(events_.events, (Lines{"BeforeConnect Main user=", "BeforeConnect NoSuchDsn user=u"}));
  // Nothing was created: the run ended before the template step.
  EXPECT_FALSE(FileExists(folder_.File("out/report_2010.xlsx")));
}

TEST_F(ReportRunTest, BeforeConnectMayChangeTheLoginAndTheConnection) {
  auto host = std::make_shared<testing::HostConnection>(Database());
  events_.onBeforeConnect = [&](std::string& user, std::string& password, std::string&, ConnectionPtr& connection) {
    EXPECT_EQ(password, "pw");
    user = "admin";
    password = "changed";
    connection = host;
  };
  const std::string definition =
      Definition(kReportFile, "@n=REPORT(SHEET=Data TYPE=FIX CELL=A1) SELECT COUNT(*) FROM items\r\n",
                 "Name1=Main\r\nUser1=u\r\nPassword1=pw\r\n");
  ASSERT_EQ(Run(definition, "2011"), std::nullopt);
  // The changed login is written back into the row: the connection is opened with it, the log
  // shows it, and the run closes the host's connection at its end.
  EXPECT_EQ(host->openedUser, "admin");
  EXPECT_EQ(host->openedPassword, "changed");
  EXPECT_EQ(LogTexts(folder_.File("logs/run_2011.log")).at(3),
            "Connect to database successfully. DSN=Main\xEF\xBC\x8C USER=admin");
  EXPECT_EQ(host->opens, 1);
  EXPECT_EQ(host->closes, 1);
  EXPECT_EQ(OpenReport(folder_.File("out/report_2011.xlsx"))->WorksheetByName("Data")->GetValue(1, 1).Number(), 3);
}

TEST_F(ReportRunTest, WithoutDataSourcesOrConversionTableTheRunWarnsAndStillSaves) {
  RunOptions options;
  options.ConversionTable = folder_.File("none/fmtconv.cfg");
  const std::string definition = Definition(kReportFile, "@t=REPORT(SHEET=Data TYPE=FIX CELL=A1) SELECT 'x'\r\n", "");
  const RunResult result = RunReport(definition, {"2012"}, options);
  ASSERT_TRUE(result.Succeeded()) << result.Error.Description;
  // The statement without a data source failed; the run did not.
  ASSERT_EQ(result.Statements.size(), 1u);
  EXPECT_EQ(result.Statements[0].Name, "t");
  EXPECT_EQ(result.Statements[0].Error.Number, 91);
  const std::string report = folder_.File("out/report_2012.xlsx");
  const Lines log = LogTexts(folder_.File("logs/run_2012.log"));
  ASSERT_EQ(log.size(), 14u) << ::testing::PrintToString(log);
  EXPECT_EQ(log[3], "Warning: The file \"" + (folder_.File("none/fmtconv.cfg")) +
                        "\" does not exist. You can not convert file format.");
  EXPECT_EQ(log[4], "Warning: None of data sources is defined.");
  EXPECT_EQ(log[7], "[t]    REPORT(SHEET=Data TYPE=FIX CELL=A1)");
  EXPECT_EQ(log[9], "Error: Failed to excute function.");
  EXPECT_EQ(log[10], "Error Info: Object variable or With block variable not set");
  EXPECT_EQ(log[11], "[t]    Failure.");
  // The type is not found in the empty table: saved in the template's format.
  EXPECT_EQ(log[12], "Save the report file \"" + report + "\".");
  EXPECT_EQ(ReadText(report).rfind("PK", 0), 0u);
}

TEST_F(ReportRunTest, StatementFailuresOfTheExecutor) {
  const std::string definition = Definition(
      kReportFile,
      "@a=REPORT(SHEET=Nope CELL=A4) SELECT name FROM items\r\n"
      "@b=REPORT(SHEET=9 CELL=A4) SELECT name FROM items\r\n"
      "@c=REPORT(SHEET=2 TYPE=FIX CELL=C1) SELECT 'second sheet'\r\n"
      "@d=NAME() SELECT 1\r\n"
      "@e=REPORT(SHEET=Data TYPE=FIX CELL=A1) SELECT * FROM nosuchtable\r\n"
      "@f=REPORT(SHEET=Data TYPE=FIX CELL=C2) SELECT 'the recordset was closed again'\r\n");
  ASSERT_EQ(Run(definition, "2013"), std::nullopt);
  const Lines log = LogTexts(folder_.File("logs/run_2013.log"));
  ASSERT_GE(log.size(), 30u) << ::testing::PrintToString(log);
  EXPECT_EQ(Lines(log.begin() + 6, log.begin() + 27),
            (Lines{"[a]    REPORT(SHEET=Nope CELL=A4)",
                   "[a]    SELECT name FROM items",
                   "Error: Syntax error. The sheet \"Nope\" does not exist.",
                   "[a]    Failure.",
                   "[b]    REPORT(SHEET=9 CELL=A4)",
                   "[b]    SELECT name FROM items",
                   "Error: Syntax error. The sheet 9 does not exist.",
                   "[b]    Failure.",
                   "[c]    REPORT(SHEET=2 TYPE=FIX CELL=C1)",
                   "[c]    SELECT 'second sheet'",
                   "[c]    Success.",
                   "[d]    NAME()",
                   "[d]    SELECT 1",
                   "Error: Syntax error. There is a lack of the parameter \"NAME\".",
                   "[d]    Failure.",
                   "[e]    REPORT(SHEET=Data TYPE=FIX CELL=A1)",
                   "[e]    SELECT * FROM nosuchtable",
                   "Error: Failed to excute function.",
                   log[24],
                   "[e]    Failure.",
                   "[f]    REPORT(SHEET=Data TYPE=FIX CELL=C2)"}));
  EXPECT_EQ(log[28], "[f]    Success.");
  ASSERT_EQ(events_.errors.size(), 6u);
  EXPECT_EQ(AutomationError(events_.errors[0].Number, "", "").HexNumber(), "0x80040033");
  EXPECT_EQ(events_.errors[0].Source, "TabrixCom");
  EXPECT_EQ(events_.errors[0].Description, "Syntax error. The sheet \"Nope\" does not exist.");
  EXPECT_EQ(events_.errors[1].Description, "Syntax error. The sheet 9 does not exist.");
  EXPECT_EQ(AutomationError(events_.errors[3].Number, "", "").HexNumber(), "0x80040065");
  EXPECT_EQ(events_.errors[5].Number, 0);

  auto workbook = OpenReport(folder_.File("out/report_2013.xlsx"));
  EXPECT_EQ(workbook->WorksheetByName("Groups")->GetValue(1, 3).ToText(), "second sheet");
  EXPECT_EQ(workbook->WorksheetByName("Data")->GetValue(2, 3).ToText(), "the recordset was closed again");
}

}  // namespace
}  // namespace tabrix
