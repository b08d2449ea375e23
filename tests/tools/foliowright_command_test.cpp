// The foliowright program: runs, exit status, messages, options and password encoding.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "definition/password.h"
#include "fixtures/run_fixture.h"
#include "fixtures/office_tools.h"
#include "support/paths.h"

namespace tabrix {
namespace {

using testing::LogTexts;
using testing::ReadText;
using testing::ReportRunTest;
using testing::WriteText;

struct Result {
  int status = -1;
  std::string out, err;
};

class FoliowrightCommandTest : public ReportRunTest {
 protected:
  // Runs the program with a shell command line of arguments; stdout and stderr captured.
  Result Command(const std::string& arguments) {
    const std::string out = folder_.File("stdout.txt");
    const std::string err = folder_.File("stderr.txt");
    const std::string command =
        std::string(TABRIX_BINARY_DIR) + "/foliowright " + arguments + " >" + out + " 2>" + err + " </dev/null";
    Result result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadText(out);
    result.err = ReadText(err);
    return result;
  }

  std::string Definition(const std::string& script, const std::string& more = "") {
    return ReportRunTest::Definition(
        "ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\items_%Year%.xlsx\r\n" + more, script);
  }
};

TEST_F(FoliowrightCommandTest, RunsAReportWithParameters) {
  const std::string definition =
      Definition("@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items WHERE qty >= %Min%\r\n");
  const Result result = Command("'" + definition + "' 2015 2");
  EXPECT_EQ(result.status, 0) << result.err;
  const std::string report = folder_.File("out/items_2015.xlsx");
  EXPECT_EQ(result.out, "Report: " + report + "\nLog: " + (folder_.File("report.log")) + "\n");
  EXPECT_EQ(result.err, "");  // not a terminal: no progress display
  auto workbook = platform::CreateSpreadsheetApplication()->OpenWorkbook(report, true);
  auto sheet = workbook->WorksheetByName("Data");
  EXPECT_EQ(sheet->GetValue(4, 1).ToText(), "cherry");
  EXPECT_EQ(sheet->GetValue(5, 1).ToText(), "apple");
  EXPECT_EQ(sheet->GetValue(6, 1).ToText(), "Total");
}

TEST_F(FoliowrightCommandTest, VerboseEchoesTheRunLogAndQuietPrintsNothing) {
  const std::string definition = Definition("@1=EXECSQL() SELECT 1\r\n");
  Result result = Command("--verbose " + definition + " 2016");
  ASSERT_EQ(result.status, 0) << result.err;
  std::string expected;
  for (const std::string& line : LogTexts(folder_.File("report.log"))) expected += line + "\n";
  const std::string summary = "Report: " + (folder_.File("out/items_2016.xlsx")) + "\nLog: " + (folder_.File("report.log")) + "\n";
  EXPECT_EQ(result.out, expected + summary);

  result = Command("-q " + definition + " 2016");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
}

TEST_F(FoliowrightCommandTest, ShowsProgressOnATerminal) {
  // "script" gives the program a terminal; the progress goes to it through stderr.
  const std::string definition =
      Definition("@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items ORDER BY name\r\n");
  const std::string command = "script -qec \"" + std::string(TABRIX_BINARY_DIR) + "/foliowright " + definition +
                              " 2021 >/dev/null\" /dev/null </dev/null";
  const testing::CommandResult terminal = testing::RunCommand(command);
  ASSERT_EQ(terminal.exitCode, 0) << terminal.output;
  EXPECT_NE(terminal.output.find("@items: record 3 of 3 (100%)"), std::string::npos) << terminal.output;
  // The line is cleared again before the program ends.
  EXPECT_NE(terminal.output.rfind("\r\033[K"), std::string::npos);

  const testing::CommandResult quiet = testing::RunCommand(
      "script -qec \"" + std::string(TABRIX_BINARY_DIR) + "/foliowright --quiet " + definition + " 2022\" /dev/null </dev/null");
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.output.find("record"), std::string::npos) << quiet.output;
  EXPECT_TRUE(FileExists(folder_.File("out/items_2022.xlsx")));
}

TEST_F(FoliowrightCommandTest, AFailedRunExitsWithTheErrorOnStderr) {
  const std::string definition = ReportRunTest::Definition("ReportFileName=out\\r.xlsx\r\n", "");
  const Result result = Command(definition);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "foliowright: error 0x8004000E (TabrixCom): Report template file \"\" does not exist.\n"
            "foliowright: see the run log " + (folder_.File("report.log")) + "\n");

  const Result missing = Command(folder_.File("missing.def"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "foliowright: error 0x8004000B (TabrixCom): The file \"" + (folder_.File("missing.def")) +
                             "\" does not exist.\n");
}

TEST_F(FoliowrightCommandTest, AnotherConversionTable) {
  // A table whose only entry maps "Sheet" to comma-separated text.
  WriteText(folder_.File("my.cfg"), "Sheet\t6\tComma separated\tcsv\r\n");
  const std::string definition =
      Definition("@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items WHERE qty > 1\r\n",
                 "ReportFileType=sheet\r\n");
  Result result = Command("--fmtconv " + (folder_.File("my.cfg")) + " " + definition + " 2017");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadText(folder_.File("out/items_2017.xlsx")).rfind("PK", 0), std::string::npos);  // text, not a zip
  EXPECT_NE(ReadText(folder_.File("out/items_2017.xlsx")).find("cherry,7"), std::string::npos);

  // The default table beside the program knows no "sheet": the template's format is kept.
  result = Command(definition + " 2018");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadText(folder_.File("out/items_2018.xlsx")).rfind("PK", 0), 0u);

  // A table that does not exist is refused before anything runs.
  result = Command("--fmtconv " + (folder_.File("none.cfg")) + " " + definition + " 2019");
  EXPECT_EQ(result.status, 2);
  EXPECT_FALSE(FileExists(folder_.File("out/items_2019.xlsx")));
}

TEST_F(FoliowrightCommandTest, EncodesPasswordsThatTheReaderDecodes) {
  const Result result = Command("encode-password --user reporter 'S3cret pass'");
  ASSERT_EQ(result.status, 0) << result.err;
  ASSERT_FALSE(result.out.empty());
  const std::string encoded = result.out.substr(0, result.out.size() - 1);
  EXPECT_EQ(result.out.back(), '\n');
  EXPECT_NE(encoded, "S3cret pass");
  EXPECT_EQ(DecodePassword(encoded, "reporter"), "S3cret pass");
  EXPECT_NE(DecodePassword(encoded, "other"), "S3cret pass");
}

TEST_F(FoliowrightCommandTest, HelpVersionAndUsageErrors) {
  Result result = Command("--version");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "foliowright (Tabrix) 1.4.0\n");

  result = Command("--help");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("DEFINITION_FILE"), std::string::npos);
  EXPECT_NE(result.out.find("encode-password"), std::string::npos);

  EXPECT_EQ(Command("").status, 2);
  EXPECT_EQ(Command("a.def 1 2 3 4 5 6 7 8 9 10 11").status, 2);
  EXPECT_EQ(Command("--no-such-option a.def").status, 2);
  EXPECT_EQ(Command("encode-password secret").status, 2);  // --user is required
}

}  // namespace
}  // namespace tabrix
