// The foliowright program: runs, exit statuses, messages and hints for an author's mistakes,
// parameter defaults, options and password encoding.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "definition/password.h"
#include "fixtures/run_fixture.h"
#include "fixtures/office_tools.h"
#include "fixtures/required_tools.h"
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
  // Runs the program with a shell command line of arguments and the given standard input;
  // stdout and stderr captured.
  Result Command(const std::string& arguments, const std::string& input = "") {
    const std::string out = folder_.File("stdout.txt");
    const std::string err = folder_.File("stderr.txt");
    const std::string in = folder_.File("stdin.txt");
    WriteText(in, input);
    const std::string command =
        std::string(TABRIX_BINARY_DIR) + "/foliowright " + arguments + " >" + out + " 2>" + err + " <" + in;
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

TEST_F(FoliowrightCommandTest, VerboseEchoesTheRunLog) {
  const std::string definition = Definition("@1=EXECSQL() SELECT 1\r\n");
  Result result = Command("--verbose " + definition + " 2016");
  ASSERT_EQ(result.status, 0) << result.err;
  std::string expected;
  for (const std::string& line : LogTexts(folder_.File("report.log"))) expected += line + "\n";
  const std::string summary = "Report: " + (folder_.File("out/items_2016.xlsx")) + "\nLog: " + (folder_.File("report.log")) + "\n";
  EXPECT_EQ(result.out, expected + summary);
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
  EXPECT_EQ(quiet.output, "");  // neither progress nor the summary
  EXPECT_TRUE(FileExists(folder_.File("out/items_2022.xlsx")));
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

  // (A type the default table does not know: the author's mistakes below.)
  // A table that does not exist is refused before anything runs.
  result = Command("--fmtconv " + (folder_.File("none.cfg")) + " " + definition + " 2019");
  EXPECT_EQ(result.status, 2);
  EXPECT_FALSE(FileExists(folder_.File("out/items_2019.xlsx")));
}

TEST_F(FoliowrightCommandTest, EncodesPasswordsThatTheReaderDecodes) {
  // As an argument, or as the first line of standard input (kept out of history and process list).
  for (const Result& result : {Command("encode-password --user reporter 'S3cret pass'"),
                               Command("encode-password --user reporter", "S3cret pass\r\nignored\n")}) {
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_FALSE(result.out.empty());
    const std::string encoded = result.out.substr(0, result.out.size() - 1);
    EXPECT_EQ(result.out.back(), '\n');
    EXPECT_NE(encoded, "S3cret pass");
    EXPECT_EQ(DecodePassword(encoded, "reporter"), "S3cret pass");
    EXPECT_NE(DecodePassword(encoded, "other"), "S3cret pass");
  }
  const Result none = Command("encode-password --user reporter");
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err, "foliowright: encode-password: no password given (argument, prompt or standard input)\n");

  // On a terminal it asks without echo ("script" gives it one; the typed text comes back only
  // through the terminal's echo, which the program turns off).
  const testing::CommandResult prompted = testing::RunCommand(
      "(sleep 1; printf 'typed secret\\n') | script -qec \"" + std::string(TABRIX_BINARY_DIR) +
      "/foliowright encode-password --user reporter\" /dev/null");
  ASSERT_EQ(prompted.exitCode, 0) << prompted.output;
  EXPECT_NE(prompted.output.find("Password for reporter: "), std::string::npos) << prompted.output;
  EXPECT_EQ(prompted.output.find("typed secret"), std::string::npos) << prompted.output;
  EXPECT_NE(prompted.output.find(EncodePassword("typed secret", "reporter")), std::string::npos) << prompted.output;
}

TEST_F(FoliowrightCommandTest, HelpVersionAndUsageErrors) {
  Result result = Command("--version");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "foliowright (Tabrix) 1.4.0\n");

  // Help texts as written, without generated option-type markers.
  result = Command("--help");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("Usage: foliowright [OPTIONS] DEFINITION_FILE [PARAM1 ... PARAM10]"), std::string::npos);
  result = Command("encode-password --help");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("Usage: foliowright encode-password --user USER [PASSWORD]"), std::string::npos);
  for (const char* artefact : {"TEXT", "REQUIRED", "Positionals", ":FILE"})
    EXPECT_EQ(result.out.find(artefact), std::string::npos) << artefact;

  const std::vector<std::pair<std::string, std::string>> usage = {
      {"", "foliowright: a definition file is required (see foliowright --help)\n"},
      {"a.def 1 2 3 4 5 6 7 8 9 10 11", ""},
      {"--no-such-option a.def", "foliowright: The following argument was not expected: --no-such-option (see foliowright --help)\n"},
      {"encode-password secret", "foliowright: --user is required (see foliowright --help)\n"},
      {"-q -v a.def", "foliowright: --quiet excludes --verbose (see foliowright --help)\n"},
  };
  for (const auto& [arguments, message] : usage) {
    result = Command(arguments);
    EXPECT_EQ(result.status, 2) << arguments;
    if (!message.empty()) EXPECT_EQ(result.err, message) << arguments;
  }
}


// The 1-based line of the file that contains `text`; 0 when none does.
int LineOf(const std::string& path, const std::string& text) {
  std::istringstream lines(ReadText(path));
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number)
    if (line.find(text) != std::string::npos) return number;
  return 0;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// An office package with one part of the given name (a word-processor document, say).
void WritePackage(const std::string& path, const std::string& part) {
  testing::RunPython("import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                     "    z.writestr('[Content_Types].xml', '<Types/>')\n"
                     "    z.writestr(sys.argv[2], '<document/>')\n",
                     {path, part});
}

// Each mistake a report author makes: the exit status and the lines on stderr that say what
// happened and how to fix it (every expected line must appear as a whole line).
TEST_F(FoliowrightCommandTest, MistakesGetTheirExitStatusAndMessages) {
  const std::string good = "@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items\r\n";
  struct Case {
    std::string name;
    std::function<std::string()> definition;  // writes the definition; returns the arguments
    int status;
    std::function<std::vector<std::string>()> expected;
  };
  std::string path;  // the definition the current case wrote
  auto line = [&](const std::string& text) { return std::to_string(LineOf(path, text)); };
  const std::string sheets = "\"Data\", \"Groups\", \"Other\"";
  const std::vector<Case> cases = {
      {"a clean run", [&] { return (path = Definition(good)) + " 2001 0"; }, 0, [] { return std::vector<std::string>{}; }},
      {"statements that fail",
       [&] {
         return (path = Definition(good + "@nosheet=REPORT(SHEET=Dta CELL=A4) SELECT name FROM items\r\n"
                                          "@badcell=REPORT(SHEET=Data CELL=ZZZZ99) SELECT name FROM items\r\n"
                                          "@badsql=EXECSQL() SELEKT nothing\r\n")) + " 2002 0";
       },
       3,
       [&] {
         return std::vector<std::string>{
             "foliowright: 3 of 4 statements failed:",
             "  @nosheet: error 0x80040033: Syntax error. The sheet \"Dta\" does not exist.",
             "  @badcell: error 0x80040071: Syntax error. Failed to parse cell list. Method 'Range' of object "
             "'_Worksheet' failed",
             "  @badsql: error 0x00000001: near \"SELEKT\": syntax error",
             "foliowright: hint: @nosheet: the template's sheets are " + sheets,
             "foliowright: hint: @badcell: the CELL entry \"ZZZZ99\" is not a cell of the sheet \"Data\" (columns A to "
             "XFD, rows 1 to 1048576, or a defined name)"};
       }},
      {"a missing \")\"",
       [&] { return (path = Definition("@items=REPORT(SHEET=Data CELL=A4,B4 SELECT name, qty FROM items\r\n")) + " 2003 0"; },
       3,
       [&] {
         const std::string where = "@items (line " + line("@items") + ")";
         return std::vector<std::string>{
             "foliowright: 1 of 1 statement failed:",
             "  " + where + ": not run: Syntax error. Unknown parameter name \"SELECT\".",
             "foliowright: hint: " + where + ": missing \")\" before SELECT: the option list ends with \")\", then the "
             "SQL follows"};
       }},
      {"a misspelt option and function",
       [&] {
         return (path = Definition("@items=REPORT(SHEET=Data CELLS=A4,B4) SELECT name FROM items\r\n"
                                   "@other=REPROT(SHEET=Data CELL=A4) SELECT name FROM items\r\n")) + " 2012 0";
       },
       3,
       [&] {
         return std::vector<std::string>{
             "foliowright: hint: @items (line " + line("@items") + "): did you mean the option CELL?",
             "foliowright: hint: @other (line " + line("@other") +
                 "): the functions are EXECSQL, NAME and REPORT; did you mean REPORT?"};
       }},
      {"a comment that is never closed",
       [&] {
         return (path = Definition(good + "/* the next one is off for now\r\n@off=EXECSQL() SELECT 1\r\n"
                                          "@later=EXECSQL() SELECT 2\r\n")) + " 2004 0";
       },
       3,
       [&] {
         const std::string comment = line("/*");
         const std::string reason = ": not run: It stands inside the comment opened with \"/*\" on line " + comment +
                                    ", which is never closed.";
         return std::vector<std::string>{
             "foliowright: 2 of 3 statements failed:", "  @off (line " + line("@off") + ")" + reason,
             "  @later (line " + line("@later") + ")" + reason,
             "foliowright: hint: line " + comment +
                 ": \"/*\" opens a comment that is never closed, so the rest of the script is ignored; close it "
                 "with \"*/\""};
       }},
      {"a misspelt key",
       [&] {
         path = ReportRunTest::Definition("ReportTemplateFile=templates\\report.xlsx\r\nReportFileName=out\\r.xlsx\r\n",
                                          good);
         return path;
       },
       1,
       [&] {
         return std::vector<std::string>{
             "foliowright: error 0x8004000E (TabrixCom): Report template file \"\" does not exist.",
             "foliowright: warning: line " + line("ReportTemplateFile=") +
                 ": unknown key \"ReportTemplateFile\" in [File]; did you mean \"ReportTemplateFileName\"?",
             "foliowright: hint: [File] has no ReportTemplateFileName value: name the template workbook there",
             "foliowright: see the run log " + folder_.File("report.log")};
       }},
      {"a template that is not there",
       [&] {
         return path = ReportRunTest::Definition(
                    "ReportTemplateFileName=report.xlsx\r\nReportFileName=out\\r.xlsx\r\n", good);
       },
       1,
       [&] {
         return std::vector<std::string>{"foliowright: hint: a relative template path is taken from the definition "
                                         "file's folder \"" + folder_.Path() + "\""};
       }},
      {"a file without the header line",
       [&] {
         WriteText(path = folder_.File("plain.def"), "Foliowrite Version 2.0\r\n[File]\r\n");
         return path;
       },
       1,
       [&] {
         return std::vector<std::string>{
             "foliowright: hint: the first line of a definition file starts with \"Foliowright\" (exactly so), "
             "found \"Foliowrite Version 2.0\""};
       }},
      {"a definition file saved as UTF-16",
       [&] {
         const std::string text = "Foliowright Version 2.0\r\n[File]\r\n";
         std::string utf16 = "\xFF\xFE";
         for (char c : text) utf16 += std::string{c, '\0'};
         WriteText(path = folder_.File("utf16.def"), utf16);
         return path;
       },
       1,
       [&] {
         return std::vector<std::string>{
             "foliowright: error 0x8004000C (TabrixCom): The file \"" + path + "\" is not an Foliowright file.",
             "foliowright: hint: the definition file is UTF-16 text; save it as UTF-8 (with or without a byte-order "
             "mark)"};
       }},
      {"a definition file in Latin-1",
       [&] {
         path = Definition(good);
         std::string text = ReadText(path);
         text.replace(text.find("Title1=Year"), 11, "Title1=Ann\xE9" "e");
         WriteText(path, text);
         return path + " 2005 0";
       },
       0,
       [&] {
         return std::vector<std::string>{
             "foliowright: warning: line " + line("Title1=") +
             ": the definition file is not UTF-8 text (its other characters are read as Windows-1252); save it as "
             "UTF-8"};
       }},
      {"ADO keys that mean nothing here",
       [&] {
         return path = ReportRunTest::Definition(
                    "ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\r.xlsx\r\n", good,
                    "Name1=Main\r\nConnectionString1=Provider=MSDASQL;Driver=SQLite3;Database=data\\items.db;"
                    "Integrated Security=SSPI;Persist Security Info=False\r\n");
       },
       0,
       [&] {
         const std::string where = "foliowright: warning: line " + line("ConnectionString1=") + ": ConnectionString1: ";
         return std::vector<std::string>{
             where + "Integrated Security=SSPI is ignored: there are no Windows logins here; give User ID and Password",
             where + "Persist Security Info=False has no meaning here and is ignored"};
       }},
      {"a word-processor document as template",
       [&] {
         WritePackage(folder_.File("templates/letter.xlsx"), "word/document.xml");
         return path = ReportRunTest::Definition(
                    "ReportTemplateFileName=templates\\letter.xlsx\r\nReportFileName=out\\r.xlsx\r\n", good);
       },
       1,
       [&] {
         return std::vector<std::string>{"foliowright: hint: the template \"" + folder_.File("templates/letter.xlsx") +
                                         "\" is a word-processor document, not a workbook: a template is a "
                                         "spreadsheet (.xlsx, .xlsm, .xltx, .xls, .ods, .csv ...)"};
       }},
      {"an unknown report file type", [&] { return (path = Definition(good, "ReportFileType=xlsx\r\n")) + " 2006 0"; }, 0,
       [&] {
         return std::vector<std::string>{
             "foliowright: warning: the report file type \"xlsx\" is not in the format-conversion table: the report "
             "is saved in the template's format"};
       }},
      {"a type that does not match the extension", [&] { return "--type xlCSV " + (path = Definition(good)) + " 2007 0"; },
       0,
       [&] {
         return std::vector<std::string>{
             "foliowright: warning: the report file type \"xlCSV\" writes .csv files (CSV (Comma delimited)), but "
             "the report is named .xlsx"};
       }},
      {"parameters not given take their defaults", [&] { return path = Definition(good); }, 0,
       [&] {
         return std::vector<std::string>{
             "foliowright: parameter 1 %Year% (Year) not given: its default \"1999\" is used",
             "foliowright: parameter 2 %Min% not given: it is empty (no Default2)"};
       }},
      {"more values than parameters", [&] { return (path = Definition(good)) + " 2008 1 extra"; }, 2,
       [&] {
         return std::vector<std::string>{"foliowright: " + path +
                                         " has 2 parameters (%Year%, %Min%), but 3 values were given (see "
                                         "foliowright --help)"};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result result = Command(c.definition());
    EXPECT_EQ(result.status, c.status) << result.err;
    const std::vector<std::string> lines = SplitLines(result.err);
    const std::vector<std::string> expected = c.expected();
    for (const std::string& text : expected)
      EXPECT_NE(std::find(lines.begin(), lines.end(), text), lines.end()) << text << "\nstderr:\n" << result.err;
    if (expected.empty()) EXPECT_EQ(result.err, "");
    // Exit 0 and 3 saved the report; 1 and 2 did not.
    const std::string report = c.status == 0 || c.status == 3 ? result.out.substr(8, result.out.find('\n') - 8) : "";
    if (!report.empty()) EXPECT_TRUE(FileExists(report)) << report;
  }
  // The defaults were used: the report is named for Default1.
  EXPECT_TRUE(FileExists(folder_.File("out/items_1999.xlsx")));
  EXPECT_FALSE(FileExists(folder_.File("out/items_2008.xlsx")));
}

// One definition gives a workbook and, with --output and --type, a CSV file beside it; a failed
// run leaves the previous report as it was.
TEST_F(FoliowrightCommandTest, OutputAndTypeOverrideTheDefinition) {
  const std::string definition =
      Definition("@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items ORDER BY name\r\n");
  Result result = Command(definition + " 2010 0");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadText(folder_.File("out/items_2010.xlsx")).rfind("PK", 0), 0u);

  // Relative to the current directory, not the definition's folder.
  const std::string relative =
      std::filesystem::relative(folder_.File("csv"), std::filesystem::current_path()).string() + "/items_%Year%.csv";
  result = Command("--output " + relative + " --type xlCSV " + definition + " 2010 0");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string csv = folder_.File("csv/items_2010.csv");
  EXPECT_NE(result.out.find("Report: " + csv + "\n"), std::string::npos) << result.out;
  EXPECT_NE(ReadText(csv).find("apple,3\r\nbanana,1\r\ncherry,7\r\n"), std::string::npos) << ReadText(csv);

  // A template that cannot be opened: exit 1, the report from before byte for byte.
  const std::string report = folder_.File("out/items_2010.xlsx");
  const std::string before = ReadText(report);
  WriteText(folder_.File("templates/report.xlsx"), "broken");
  result = Command(definition + " 2010 0");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(ReadText(report), before);
}

// The same definition saved as PDF through LibreOffice, the converted file renamed into place.
TEST_F(FoliowrightCommandTest, APdfBesideTheWorkbook) {
  REQUIRE_LIBREOFFICE();
  const std::string definition =
      Definition("@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM items ORDER BY name\r\n");
  const Result result = Command("-q --type xlTypePDF --output " + folder_.File("out/items.pdf") + " " + definition +
                                " 2011 0");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(ReadText(folder_.File("out/items.pdf")).rfind("%PDF", 0), 0u);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.File("out")))
    names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"items.pdf"});  // no temporary file left
}

// A login that fails with EncryptPassword=Y points to encode-password.
TEST_F(FoliowrightCommandTest, APlainPasswordWhereAnEncodedOneBelongs) {
  const char* dsn = std::getenv("TABRIX_TEST_PG_DSN");
  const char* user = std::getenv("TABRIX_TEST_PG_USER");
  const char* password = std::getenv("TABRIX_TEST_PG_PASSWORD");
  const bool server = dsn && user && password && *dsn && *user;
  if (!server && std::getenv("TABRIX_REQUIRE_PG") && std::string(std::getenv("TABRIX_REQUIRE_PG")) == "1")
    FAIL() << "The PostgreSQL test server is not running.";
  REQUIRE_TOOL(server, "The PostgreSQL test server (scripts/test-services.sh)", "postgresql");
  const std::string definition = ReportRunTest::Definition(
      "ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\pg.xlsx\r\n", "@one=EXECSQL() SELECT 1\r\n",
      std::string("EncryptPassword=Y\r\nName1=") + dsn + "\r\nUser1=" + user + "\r\nPassword1=" + password + "\r\n");
  const Result result = Command(definition);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("foliowright: error "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(std::string("foliowright: hint: EncryptPassword=Y: Password1 does not hold an encoded "
                                        "password; write there what `foliowright encode-password --user ") +
                            user + "` prints\n"),
            std::string::npos)
      << result.err;
}

}  // namespace
}  // namespace tabrix
