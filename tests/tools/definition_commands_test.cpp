// foliowright check and describe: findings on real broken definition files and templates, and
// the description of a definition file with its passwords hidden.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <sstream>

#include "fixtures/required_tools.h"
#include "fixtures/run_fixture.h"
#include "tabrix/password.h"

namespace tabrix {
namespace {

using testing::ReadText;
using testing::ReportRunTest;
using testing::WriteText;

struct Output {
  int status = -1;
  std::vector<std::string> lines;
  std::string err;
};

class DefinitionCommandsTest : public ReportRunTest {
 protected:
  Output Command(const std::string& arguments) {
    const std::string out = folder_.File("stdout.txt"), err = folder_.File("stderr.txt");
    const std::string command = std::string(TABRIX_BINARY_DIR) + "/foliowright " + arguments + " >" + out + " 2>" + err;
    const int raw = std::system(command.c_str());
    Output result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::istringstream text(ReadText(out));
    for (std::string line; std::getline(text, line);) result.lines.push_back(line);
    result.err = ReadText(err);
    return result;
  }
};

// One broken definition: File keys, script, parameters given, and the findings expected as
// "line: words the message holds" (line 0: no line). Lines of the files written by Definition():
// 6 and 7 the File keys, 12 Name2 (%Min%, no default), 14 the first script line.
struct BrokenCase {
  const char* name;
  std::string fileKeys;
  std::string script;
  std::string parameters;
  std::vector<std::string> expected;
  std::string dataSources = "";  // empty: the test database as data source Main
};

TEST_F(DefinitionCommandsTest, CheckFindsEachMistakeOnItsLine) {
  const std::string files = "ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\r.xlsx\r\n";
  const std::string table = "@t=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4)\r\nSELECT name, qty FROM items\r\n";
  const std::vector<BrokenCase> cases = {
      {"clean", files, table, "2000 1", {}},
      {"misspelled template key",
       "ReportTemplateFile=templates\\report.xlsx\r\nReportFileName=out\\r.xlsx\r\n",
       table,
       "2000 1",
       {"6: unknown key ReportTemplateFile in [File] (did you mean ReportTemplateFileName?)",
        "0: no template: [File] needs ReportTemplateFileName"}},
      {"missing template and unknown type",
       "ReportTemplateFileName=templates\\nothere.xlsx\r\nReportFileName=out\\r.xlsx\r\nReportFileType="
       "xlOpenXMLWorkbok\r\n",
       table,
       "2000 1",
       {"6: the template", "8: unknown ReportFileType xlOpenXMLWorkbok (did you mean xlOpenXMLWorkbook?)"}},
      {"type does not match the extension",
       files + "ReportFileType=xlTypePDF\r\n",
       table,
       "2000 1",
       {"8: ReportFileType xlTypePDF saves PDF (.pdf) but ReportFileName ends in .xlsx"}},
      {"parameters",
       files,
       table,
       "2000",
       {"12: parameter %Min% gets no value: give it on the command line or set Default2"}},
      {"too many parameters",
       files,
       table,
       "2000 1 3",
       {"12: 3 parameter values given, but the file names 2 parameters"}},
      {"unknown option",
       files,
       "@t=REPORT(SHEET=Data CELL=A4,B4 RESERV=2)\r\nSELECT name, qty FROM items\r\n",
       "2000 1",
       {"14: @t: Syntax error. Unknown parameter name \"RESERV\" (did you mean RESERVE?)"}},
      {"missing parenthesis",
       files,
       "@t=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4\r\nSELECT name, qty FROM items\r\n",
       "2000 1",
       {"14: @t: Syntax error. Unknown parameter name \"SELECT\" -- missing ')' before SELECT"}},
      {"unclosed comment", files, "/* open\r\n" + table, "2000 1", {"14: comment /* is never closed"}},
      {"unclosed quote and parenthesis",
       files,
       "@t=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4)\r\nSELECT name, COUNT(qty FROM items WHERE name = 'a\r\n",
       "2000 1",
       {"15: @t: the SQL text has 1 unclosed '('", "15: unclosed single quote"}},
      {"sheet, cell and name",
       files,
       "@a=REPORT(SHEET=Dat CELL=A4,B4)\r\nSELECT name, qty FROM items\r\n"
       "@b=REPORT(SHEET=Data CELL=A4,Qty)\r\nSELECT name, qty FROM items\r\n"
       "@c=NAME(NAME=RunYer)\r\nSELECT 1\r\n",
       "2000 1",
       {"14: @a: the template has no sheet \"Dat\"; its sheets are: Data, Groups, Other",
        "16: @b: CELL entry \"Qty\" is neither a cell nor a workbook name of sheet Data",
        "18: @c: the template has no workbook name \"RunYer\""}},
      {"range, page breaks and a parameter in the head",
       files,
       "@t=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4 RANGE=B4:C4 PAGEBREAK=1G1)\r\nSELECT name, qty FROM items\r\n"
       "@u=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4 PAGEBREAK=%Min%)\r\nSELECT name, qty FROM items\r\n",
       "2000 1",
       {"14: @t: RANGE B4:C4 does not contain the cells A4:B4",
        "14: @t: PAGEBREAK 1G1 gives no page breaks: group breaks need a grouped table",
        "16: @u: parameter %Min% stands in the statement's head, where parameters are not replaced",
        "16: @u: PAGEBREAK %Min% gives no page breaks"}},
      {"plain password with EncryptPassword=Y",
       files,
       table,
       "2000 1",
       {"8: Password2 is not in encoded form although EncryptPassword=Y; encode it with foliowright "
        "encode-password --user reporter"},
       "EncryptPassword=Y\r\nName1=Main\r\nConnectionString1=Provider=SQLite;Data Source=data\\items.db\r\n"
       "Name2=Pg\r\nUser2=reporter\r\nPassword2=secret\r\n"},
      {"a number the parser cannot take ends the script",
       files,
       "@big=REPORT(SHEET=Data CELL=A4,B4 RESERVE=99999)\r\nSELECT name, qty FROM items\r\n" + table,
       "2000 1",
       {"14: @big: Parse error in [big] (Overflow); the script ends here: this statement and every later one are "
        "skipped"}},
      {"total that will not grow",
       files,
       "@t=REPORT(SHEET=Data CELL=A5,B5)\r\nSELECT name, qty FROM items\r\n",
       "2000 1",
       {"14: @t: Data!B6 =SUM(B4:B5) sums exactly the template row 5 of a growing table and will not grow with it; "
        "reserve one more row"}},
  };
  for (const BrokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string definition =
        c.dataSources.empty() ? Definition(c.fileKeys, c.script) : Definition(c.fileKeys, c.script, c.dataSources);
    const Output result = Command("check '" + definition + "' " + c.parameters);
    EXPECT_EQ(result.status, c.expected.empty() ? 0 : 4) << result.err;
    std::string found;
    for (const std::string& line : result.lines) found += line + "\n";
    EXPECT_EQ(result.lines.size(), c.expected.size()) << found;
    for (const std::string& expected : c.expected) {
      const std::string line = expected.substr(0, expected.find(": "));
      const std::string prefix = definition + (line == "0" ? ": " : ":" + line + ": ");
      const std::string words = expected.substr(expected.find(": ") + 2);
      const bool found = std::any_of(result.lines.begin(), result.lines.end(), [&](const std::string& l) {
        return l.rfind(prefix, 0) == 0 && l.find(words) != std::string::npos;
      });
      EXPECT_TRUE(found) << "expected " << prefix << "..." << words;
    }
  }
}

TEST_F(DefinitionCommandsTest, CheckFindsGroupFootersThatWillNotGrowAndPassesTheFixedTemplate) {
  REQUIRE_PYTHON_MODULE("openpyxl", "python3-openpyxl");
  // A group footer summing exactly its detail row, and the same footer with a blank row to reach.
  const std::string script = std::string("/usr/bin/python3 -c \"") +
                             "from openpyxl import Workbook\n"
                             "wb = Workbook(); ws = wb.active; ws.title = 'G'\n"
                             "ws['A3'] = 'key'; ws['B4'] = 0; ws['A5'] = 'sum'; ws['B5'] = '=SUBTOTAL(9,B4:B4)'\n"
                             "ws['A7'] = 'all'; ws['B7'] = '=SUBTOTAL(9,B3:B5)'\n"
                             "wb.save('" +
                             folder_.File("templates/stuck.xlsx") +
                             "')\n"
                             "ws['A5'] = None; ws['B5'] = None; ws['A6'] = 'sum'; ws['B6'] = '=SUBTOTAL(9,B4:B5)'\n"
                             "ws['B7'] = None; ws['A8'] = 'all'; ws['B8'] = '=SUBTOTAL(9,B3:B7)'\n"
                             "wb.save('" +
                             folder_.File("templates/grows.xlsx") + "')\"";
  ASSERT_EQ(std::system(script.c_str()), 0);
  auto statement = [](const std::string& lastRow) {
    return "@g=REPORT(SHEET=G CELL=A3,B4 GROUP=grp GROUPRANGE=A3:B" + lastRow + ")\r\nSELECT grp, qty FROM items\r\n";
  };
  const std::string stuck =
      Definition("ReportTemplateFileName=templates\\stuck.xlsx\r\nReportFileName=r.xlsx\r\n", statement("5"));
  Output result = Command("check " + stuck + " 1 1");
  EXPECT_EQ(result.status, 4);
  ASSERT_EQ(result.lines.size(), 2u) << result.lines.front();
  EXPECT_EQ(result.lines[0].substr(0, stuck.size() + 4), stuck + ":14:");
  EXPECT_NE(result.lines[0].find("G!B5 =SUBTOTAL(9,B4:B4) sums exactly the template row 4 of the detail block"),
            std::string::npos);
  EXPECT_NE(result.lines[1].find("G!B7 =SUBTOTAL(9,B3:B5) sums exactly the template rows 3:5 of group 1"),
            std::string::npos);

  const std::string grows =
      Definition("ReportTemplateFileName=templates\\grows.xlsx\r\nReportFileName=r.xlsx\r\n", statement("6"));
  result = Command("check " + grows + " 1 1");
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.lines.empty()) << result.lines.front();
}

TEST_F(DefinitionCommandsTest, CheckRefusesWhatIsNoDefinitionFile) {
  const std::string utf16 = folder_.File("utf16.def");
  WriteText(utf16, std::string("\xFF\xFE"
                               "F\0o\0l\0",
                               8));
  Output result = Command("check " + utf16);
  EXPECT_EQ(result.status, 4);
  ASSERT_EQ(result.lines.size(), 1u);
  EXPECT_EQ(result.lines[0], utf16 + ":1: the file is UTF-16 text (or holds NUL bytes); save it as UTF-8 text");

  result = Command("check " + folder_.File("missing.def"));
  EXPECT_EQ(result.status, 4);
  EXPECT_EQ(result.lines,
            std::vector<std::string>{folder_.File("missing.def") + ": the file does not exist (or cannot be read)"});

  result = Command("check");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("Usage: foliowright check"), std::string::npos);
}

TEST_F(DefinitionCommandsTest, DescribeListsParametersSourcesAndStatementsWithoutPasswords) {
  const std::string sources =
      "EncryptPassword=Y\r\nName1=Main\r\nConnectionString1=Provider=SQLite;Data Source=data\\items.db;PWD=s3cret\r\n"
      "Name2=Pg\r\nUser2=reporter\r\nPassword2=" +
      EncodePassword("hunter2", "reporter") + "\r\n";
  const std::string definition = Definition(
      "ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\r_%Year%.xlsx\r\nReportFileType="
      "xlTypePDF\r\n",
      "@run=EXECSQL(CONNECT=Pg)\r\nUPDATE x SET y = 1\r\n"
      "@list=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4)\r\nSELECT name, qty FROM items\r\n"
      "@groups=REPORT(SHEET=Groups CELL=A2,A3 GROUP=grp)\r\nSELECT grp, name FROM items\r\n"
      "@year=NAME(NAME=RunYear)\r\nSELECT 2000\r\n"
      "@bad=REPORT(SHEET=Data CELL=A4 WRONG=1)\r\nSELECT 1\r\n"
      "/* retired:\r\n@old=EXECSQL()\r\nSELECT 1 */\r\n",
      sources);
  const Output result = Command("describe " + definition);
  EXPECT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> expected = {
      "Definition: " + definition,
      "Template: templates\\report.xlsx",
      "Report: out\\r_%Year%.xlsx (type xlTypePDF)",
      "Log: (beside the definition file)",
      "Protection: none",
      "Parameters:",
      "  1. %Year%  \"Year\"  default 1999",
      "  2. %Min%  default (none)",
      "Data sources:",
      "  1. Main  connection string Provider=SQLite;Data Source=data\\items.db;PWD=***  password hidden",
      "  2. Pg  user reporter  password hidden (encoded)",
      "Statements:",
      "  line 19  @run  EXECSQL  SQL command  on Pg",
      "  line 21  @list  REPORT  growing table  Data!A4,B4  on Main",
      "  line 23  @groups  REPORT  grouped table (1 group)  Groups!A2,A3  on Main",
      "  line 25  @year  NAME  workbook names  RunYear  on Main",
      "  (1 more statement head the parser refuses: run foliowright check)",
  };
  EXPECT_EQ(result.lines, expected);
  const std::string all = ReadText(folder_.File("stdout.txt"));
  EXPECT_EQ(all.find("s3cret"), std::string::npos);
  EXPECT_EQ(all.find("hunter2"), std::string::npos);

  EXPECT_EQ(Command("describe " + folder_.File("none.def")).status, 1);
}

}  // namespace
}  // namespace tabrix
