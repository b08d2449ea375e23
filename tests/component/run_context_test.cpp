// Runs that each keep their own state: a run started from an event handler of another run with
// its own sink, RunReport's result (statement outcomes, early failures, paths),
// connections closed however a run ends, and the engine settings a run passes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "fixtures/run_fixture.h"
#include "tabrix/error_codes.h"
#include "tabrix/report_run.h"

namespace tabrix {
namespace {

using testing::LogTexts;
using testing::ReportRunTest;
using testing::ReadZipPart;
using Lines = std::vector<std::string>;

const std::string kFileKeys =
    "ReportTemplateFileName=templates\\report.xlsx\r\n"
    "ReportFileName=out\\%Year%.xlsx\r\n"
    "LogFileName=logs\\%Year%.log\r\n";

const std::string kItemsScript =
    "@title=REPORT(SHEET=Data TYPE=FIX CELL=Title) SELECT 'Report %Year%'\r\n"
    "@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items ORDER BY name\r\n";

WorkbookPtr OpenReport(const std::string& path) {
  return platform::CreateSpreadsheetApplication()->OpenWorkbook(path, true);
}

// Starts another report run on its own Tabrix object when the template of the outer run opens.
class NestingEvents : public testing::EventLog {
 public:
  void TemplateOpen(WorkbookPtr workbook) override {
    EventLog::TemplateOpen(workbook);
    Tabrix inner;
    inner.SetEventSink(&innerEvents);
    ApplicationPtr application = platform::CreateSpreadsheetApplication();
    std::string definition = innerDefinition;
    std::string year = "inner";
    try {
      inner.Foliowright(application, definition, year);
    } catch (const AutomationError& error) {
      innerError = error.Description();
    }
  }

  std::string innerDefinition;
  std::string innerError;
  testing::EventLog innerEvents;
};

TEST_F(ReportRunTest, ARunStartedFromAnEventHandlerLeavesTheOuterRunIntact) {
  // The inner run has a definition of its own in another folder: other parameters, other data
  // source rows, other report and log.
  ASSERT_EQ(std::system(("mkdir -p " + folder_.File("inner/templates") + " && cp " + Template() + " " +
                         folder_.File("inner/templates/"))
                            .c_str()),
            0);
  testing::WriteText(folder_.File("inner/inner.def"),
                     "Foliowright Version 2.0\r\n[Data Source]\r\nName1=Inner\r\n"
                     "ConnectionString1=Provider=SQLite;Data Source=" + Database() + "\r\n[File]\r\n" + kFileKeys +
                         "[Parameter]\r\nName1=%Year%\r\n[SQL]\r\n"
                         "@only=REPORT(SHEET=Data TYPE=FIX CELL=Title) SELECT 'Inner %Year%'\r\n");
  NestingEvents events;
  events.innerDefinition = folder_.File("inner/inner.def");
  Tabrix outer;
  outer.SetEventSink(&events);
  ApplicationPtr application = platform::CreateSpreadsheetApplication();
  std::string definition = Definition(kFileKeys, kItemsScript);
  std::string year = "outer";
  ASSERT_NO_THROW(outer.Foliowright(application, definition, year));
  EXPECT_EQ(events.innerError, "");

  // The outer run went on with its own connection, parameters, workbook and log.
  WorkbookPtr report = OpenReport(folder_.File("out/outer.xlsx"));
  auto data = report->WorksheetByName("Data");
  EXPECT_EQ(data->GetValue(1, 1).ToText(), "Report outer");
  EXPECT_EQ(data->GetValue(4, 1).ToText(), "apple");
  EXPECT_EQ(data->GetValue(6, 1).ToText(), "cherry");
  const Lines log = LogTexts(folder_.File("logs/outer.log"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Close the log file.");
  EXPECT_NE(std::find(log.begin(), log.end(), "[items]    Success."), log.end()) << ::testing::PrintToString(log);
  // Each object's events went to its own sink, numbered within its own run.
  EXPECT_EQ(events.events, (Lines{"BeforeConnect Main user=", "TemplateOpen", "Before title 2 1 SELECT 'Report outer'",
                                  "After title 2 1 ok",
                                  "Before items 2 2 SELECT name, qty FROM items ORDER BY name",
                                  "After items 2 2 ok", "ReportComplete"}));
  EXPECT_EQ(events.innerEvents.events,
            (Lines{"BeforeConnect Inner user=", "TemplateOpen", "Before only 2 1 SELECT 'Inner inner'",
                   "After only 2 1 ok", "ReportComplete"}));
  // The inner run saved its own report beside its own definition.
  EXPECT_EQ(OpenReport(folder_.File("inner/out/inner.xlsx"))->WorksheetByName("Data")->GetValue(1, 1).ToText(), "Inner inner");
  EXPECT_EQ(LogTexts(folder_.File("inner/logs/inner.log")).back(), "Close the log file.");
}

TEST_F(ReportRunTest, RunReportListsEachStatementsOutcome) {
  const std::string definition = Definition(kFileKeys,
                                            "@fill=EXECSQL(CONNECT=Main) INSERT INTO items VALUES ('date', 2, 'g3')\r\n"
                                            "@broken=EXECSQL(CONNECT=Main) UPDATE nosuchtable SET a = 1\r\n" +
                                                kItemsScript);
  testing::EventLog events;
  RunOptions options;
  options.Events = &events;
  std::vector<std::string> logLines;
  options.LogEcho = [&](const std::string& line) { logLines.push_back(line); };
  const RunResult result = RunReport(definition, {"2020"}, options);
  ASSERT_TRUE(result.Succeeded()) << result.Error.Description;
  EXPECT_EQ(result.ReportPath, folder_.File("out/2020.xlsx"));
  EXPECT_EQ(result.LogPath, folder_.File("logs/2020.log"));
  EXPECT_EQ(logLines, LogTexts(result.LogPath));  // every log line echoed
  EXPECT_EQ(events.events.back(), "ReportComplete");

  ASSERT_EQ(result.Statements.size(), 4u);
  const StatementOutcome& fill = result.Statements[0];
  EXPECT_EQ(fill.Name, "fill");
  EXPECT_EQ(fill.Type, 0);
  EXPECT_EQ(fill.Records, 0);
  EXPECT_EQ(fill.Error.Number, 0);
  const StatementOutcome& broken = result.Statements[1];
  EXPECT_EQ(broken.Number, 2);
  EXPECT_NE(broken.Error.Number, 0);
  EXPECT_NE(broken.Error.Description.find("nosuchtable"), std::string::npos) << broken.Error.Description;
  EXPECT_EQ(result.Statements[2].Records, 1);
  // Four items (three and the inserted one) filled by the last statement.
  const StatementOutcome& items = result.Statements[3];
  EXPECT_EQ(items.Number, 4);
  EXPECT_EQ(items.Name, "items");
  EXPECT_EQ(items.Type, 2);
  EXPECT_EQ(items.Records, 4);
  EXPECT_EQ(items.Error.Number, 0);
  EXPECT_EQ(OpenReport(result.ReportPath)->WorksheetByName("Data")->GetValue(7, 1).ToText(), "date");
}

TEST_F(ReportRunTest, AnEarlyFailureReturnsItsNumberAndTheLogAndClosesTheConnection) {
  auto host = std::make_shared<testing::HostConnection>(Database());
  testing::EventLog events;
  events.onBeforeConnect = [&](std::string&, std::string&, std::string&, ConnectionPtr& connection) {
    connection = host;
  };
  RunOptions options;
  options.Events = &events;

  // A template that is no workbook: the run fails at the template step, after connecting.
  testing::WriteText(Template(), "not a workbook");
  const RunResult failed = RunReport(Definition(kFileKeys, kItemsScript), {"2021"}, options);
  EXPECT_EQ(failed.Error.Number, kErrOpenTemplate);
  EXPECT_EQ(failed.Error.Source, "TabrixCom");
  EXPECT_EQ(failed.LogPath, folder_.File("logs/2021.log"));
  const Lines log = LogTexts(failed.LogPath);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "Error: Failed to open the template file \"" + Template() + "\".");
  EXPECT_TRUE(failed.Statements.empty());
  EXPECT_EQ(host->opens, 1);
  EXPECT_EQ(host->closes, 1);
  EXPECT_EQ(host->State(), platform::kStateClosed);
}

// The formula cell of the grown table in the saved sheet: whether it carries a computed value.
bool TotalHasCachedValue(const std::string& report) {
  static const std::regex total(R"(<c r="B7"[^>]*><f>SUM\(B4:B6\)</f><v>11</v>)");
  return std::regex_search(ReadZipPart(report, "xl/worksheets/sheet1.xml"), total);
}

TEST_F(ReportRunTest, EngineSettingsComeFromTheRunOptions) {
  const std::string definition = Definition(kFileKeys, kItemsScript);
  RunOptions options;
  ASSERT_TRUE(RunReport(definition, {"calc"}, options).Succeeded());
  EXPECT_TRUE(TotalHasCachedValue(folder_.File("out/calc.xlsx")));
  options.Recalculate = false;
  ASSERT_TRUE(RunReport(definition, {"nocalc"}, options).Succeeded());
  EXPECT_FALSE(TotalHasCachedValue(folder_.File("out/nocalc.xlsx")));
  EXPECT_NE(ReadZipPart(folder_.File("out/nocalc.xlsx"), "xl/worksheets/sheet1.xml").find("SUM(B4:B6)"),
            std::string::npos);

  // The converter program named in the options is the one a conversion looks for.
  options.Recalculate = true;
  options.ConversionTable = std::string(TABRIX_SOURCE_DIR) + "/data/fmtconv.cfg";
  // A program that only notes that it ran and fails.
  const std::string program = folder_.File("bin/soffice");
  std::filesystem::create_directories(folder_.File("bin"));
  testing::WriteText(program, "#!/bin/sh\necho \"$@\" > '" + folder_.File("bin/called") + "'\nexit 3\n");
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  options.ConverterProgram = program;
  testing::EventLog events;
  options.Events = &events;
  const RunResult converted = RunReport(
      Definition(kFileKeys + "ReportFileType=xlExcel8\r\n", kItemsScript), {"xls"}, options);
  EXPECT_EQ(converted.Error.Number, kErrUnsupportedFormat);
  EXPECT_TRUE(std::filesystem::exists(folder_.File("bin/called")));
  // (The failed save's log entry: the format runs without a converter.)
  // The script ran, the save failed: no ReportComplete.
  EXPECT_EQ(events.events.back(), "After items 2 2 ok");
}

}  // namespace
}  // namespace tabrix
