// The function script parser: statement boundaries, SQL text, normalised headers, parameter
// values and every syntax message, checked through the statements it hands over and the run log.
#include "script/statement_parser.h"

#include <gtest/gtest.h>

#include "component/run_context.h"
#include "fixtures/run_test_support.h"
#include "fixtures/office_tools.h"
#include "support/run_log.h"
#include "tabrix/platform/database.h"

namespace tabrix {
namespace {

using testing::LogTexts;
using testing::TempFolder;
using testing::WriteText;
using Lines = std::vector<std::string>;

struct Executed {
  StatementRecord record;
  std::string header, pageBreak, sql;
  bool hasConnection = false;
};

class StatementParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run_.DataSources[0].Name = "db1";
    run_.DataSources[1].Name = "Sales";
    run_.DataSources[2].Name = "Offline";
    run_.DataSourceCount = 3;
    run_.Connected[0] = run_.Connected[1] = true;
    run_.Connections[0] = platform::CreateConnection();  // handed over, never opened
  }

  std::vector<Executed> Parse(const std::string& script, const std::string& beforeScript = "[SQL]\r\n") {
    const std::string path = folder_.File("report.def");
    WriteText(path, "Foliowright Version 2.0\r\n[File]\r\nReportFileName=a.xlsx\r\n" + beforeScript + script);
    run_.Log = RunLog::Create(folder_.File("run.log"));
    std::vector<Executed> executed;
    ParseFunctionScript(run_, path, [&](const StatementRecord& record, ConnectionPtr connection, const std::string& header,
                                  const std::string& pageBreak, const std::string& sql) {
      executed.push_back({record, header, pageBreak, sql, connection != nullptr});
    });
    run_.Log->Close();
    return executed;
  }

  Lines Log() { return LogTexts(folder_.File("run.log")); }

  TempFolder folder_;
  RunContext run_;
};

TEST_F(StatementParserTest, WithoutAnExactSqlLineNoStatementRuns) {
  EXPECT_TRUE(Parse("@1=EXECSQL(CONNECT=db1) DELETE FROM t\r\n", "[sql]\r\n").empty());
  EXPECT_TRUE(Parse("@1=EXECSQL(CONNECT=db1) DELETE FROM t\r\n", "").empty());
  // Blanks around the section line do not matter; lines before it are not script text.
  auto executed = Parse("@1=EXECSQL() DELETE FROM t\r\n", "@0=EXECSQL() SELECT 0\r\n   [SQL]   \r\n");
  ASSERT_EQ(executed.size(), 1u);
  EXPECT_EQ(executed[0].record.Name, "1");
  EXPECT_TRUE(Log().empty());
}

TEST_F(StatementParserTest, SqlLinesAreJoinedAndStatementsEndAtTheNextStatementLine) {
  auto executed = Parse(
      "/* yearly figures */\r\n"
      "@1=EXECSQL(CONNECT=db1)\r\n"
      "UPDATE t SET a=1\r\n"
      "@2=EXECSQL(CONNECT=Sales)\r\n"
      "   SELECT a,\r\n"
      "\t  b\r\n"
      "  FROM t\r\n"
      "  @variable = 1\r\n"
      "@3=EXECSQL() SELECT 3\r\n");
  ASSERT_EQ(executed.size(), 3u);
  EXPECT_EQ(executed[0].sql, "UPDATE t SET a=1");
  EXPECT_EQ(executed[0].header, "[1]    EXECSQL(CONNECT=db1)");
  EXPECT_EQ(executed[0].record.DataSourceIndex, 0);
  EXPECT_TRUE(executed[0].hasConnection);
  EXPECT_EQ(executed[1].sql, "SELECT a, b FROM t");
  EXPECT_EQ(executed[1].record.DataSourceIndex, 1);
  EXPECT_FALSE(executed[1].hasConnection);  // the Sales row has no connection object here
  // A continuation line beginning with "@" starts a statement of its own; "@variable = 1" then
  // names an unknown function, so that statement is dropped with a message.
  EXPECT_EQ(executed[2].record.Name, "3");
  EXPECT_EQ(executed[2].sql, "SELECT 3");
  EXPECT_EQ(executed[2].header, "[3]    EXECSQL()");
  EXPECT_EQ(Log(), (Lines{"[variable]    1", "Error: Syntax error. Unknown function name \"1\"."}));
}

TEST_F(StatementParserTest, HeadIsNormalisedAndMaySpanLines) {
  auto executed = Parse(
      "@7 = report( connect = db1 sheet='Sheet 1' cell=A1, B1 )\r\n"
      "SELECT a, b FROM t\r\n"
      "@8=REPORT(\r\n"
      "  CONNECT=db1 SHEET='Sheet 1'\r\n"
      "  CELL=A1,\r\n"
      "  B1) SELECT a, b FROM t\r\n");
  ASSERT_EQ(executed.size(), 2u);
  EXPECT_EQ(executed[0].header, "[7]    REPORT(CONNECT=db1 SHEET='Sheet 1' CELL=A1,B1)");
  EXPECT_EQ(executed[1].header, "[8]    REPORT(CONNECT=db1 SHEET='Sheet 1' CELL=A1,B1)");
  for (const Executed& e : executed) {
    EXPECT_EQ(e.record.FunctionType, kFunctionReport);
    EXPECT_EQ(e.record.Sheet, "Sheet 1");
    EXPECT_EQ(e.record.ListText, "A1,B1");
    EXPECT_EQ(e.sql, "SELECT a, b FROM t");
  }
}

TEST_F(StatementParserTest, ParameterValuesOfAReportStatement) {
  auto executed = Parse(
      "@a=REPORT(SHEET=2 TYPE=fix FILLORDER=colrange CELL=A1,B1 CELL=C1,,\"E 1\" COPYRANGE=A1:F2 RESERVE=2.4 "
      "IMAGE=Photo,,3 PAGEBREAK=5R PAGEBREAK='1G2',,x NODATA=delsheet) SELECT 1\r\n"
      "@b=REPORT(RANGE=A1:B2 RESERVE=abc NODATA=nothing FILLORDER=ROW) SELECT 2\r\n"
      "@c=REPORT(RESERVE=3 TYPE=VAR) SELECT 3\r\n");
  ASSERT_EQ(executed.size(), 3u);
  const StatementRecord& a = executed[0].record;
  EXPECT_EQ(a.Sheet, "2");
  EXPECT_EQ(a.Type, 1);
  EXPECT_EQ(a.FillOrder, 3);
  EXPECT_EQ(a.ListText, "C1,,\"E 1\"");  // the second CELL replaces the first, quotes kept
  EXPECT_EQ(a.RangeText, "A1:F2");
  EXPECT_EQ(a.Copy, 1);
  EXPECT_EQ(a.Reserve, 2);
  EXPECT_EQ(a.ImageListText, "Photo,,3");
  EXPECT_EQ(a.PageBreakText, "5R,1G2,x");  // items accumulate, quotes removed
  EXPECT_EQ(executed[0].pageBreak, "5R,1G2,x");
  EXPECT_EQ(a.NoData, 2);
  const StatementRecord& b = executed[1].record;
  EXPECT_EQ(b.RangeText, "A1:B2");
  EXPECT_EQ(b.Copy, 0);
  EXPECT_EQ(b.Reserve, 1);
  EXPECT_EQ(b.NoData, 0);
  EXPECT_EQ(b.FillOrder, 0);
  EXPECT_EQ(b.Type, 0);
  EXPECT_EQ(executed[2].record.Reserve, 1);
  EXPECT_TRUE(Log().empty());
}

TEST_F(StatementParserTest, GroupsAndTheirRanges) {
  auto executed = Parse(
      "@g=REPORT(TYPE=FIX GROUP=region GROUPRANGE=A5:H6 GROUP=customer,order GROUPRANGE=A6:H6) SELECT 1\r\n"
      "@f=REPORT(GROUP=region TYPE=FIX) SELECT 2\r\n");
  ASSERT_EQ(executed.size(), 2u);
  const StatementRecord& g = executed[0].record;
  EXPECT_EQ(g.GroupCount, 2);
  EXPECT_EQ(g.Type, 0);  // a GROUP after TYPE=FIX makes it a variable table again
  EXPECT_EQ(g.GroupText[0], "region");
  EXPECT_EQ(g.GroupRange[0], "A5:H6");
  EXPECT_EQ(g.GroupText[1], "customer,order");
  EXPECT_EQ(g.GroupRange[1], "A6:H6");
  EXPECT_EQ(g.GroupText[2], "");
  EXPECT_EQ(executed[1].record.Type, 1);  // ... and a TYPE=FIX after it a fixed one
  EXPECT_EQ(executed[1].record.GroupCount, 1);
}

TEST_F(StatementParserTest, SyntaxErrorsDropOnlyTheirStatement) {
  auto executed = Parse(
      "@1 EXECSQL() SELECT 1\r\n"
      "@2=SELECT(CONNECT=db1) SELECT 2\r\n"
      "  continuation of an ignored statement\r\n"
      "@3=EXECSQL CONNECT=db1) SELECT 3\r\n"
      "@4=EXECSQL(SHEET=x) SELECT 4\r\n"
      "@5=REPORT(SHEET=a,b) SELECT 5\r\n"
      "@6=REPORT(SHEET x) SELECT 6\r\n"
      "@7=REPORT(TYPE=FIXED) SELECT 7\r\n"
      "@8=REPORT(FILLORDER=DOWN) SELECT 8\r\n"
      "@9=REPORT(GROUPRANGE=A1 GROUP=a) SELECT 9\r\n"
      "@10=REPORT(CONNECT=Nowhere) SELECT 10\r\n"
      "@11=REPORT(CONNECT=Offline) SELECT 11\r\n"
      "@12=NAME(CELL=A1) SELECT 12\r\n"
      "@13=EXECSQL(CONNECT=db1 \r\n"
      "@14=EXECSQL(CONNECT=2) SELECT 14\r\n");
  ASSERT_EQ(executed.size(), 1u);
  EXPECT_EQ(executed[0].record.Name, "14");
  EXPECT_EQ(executed[0].record.DataSourceIndex, 1);  // no source is named 2: the second one
  EXPECT_EQ(Log(), (Lines{
                       "[1]    ",
                       "Error: Syntax error. Expected \"=\" after \"@1\".",
                       "[2]    SELECT",
                       "Error: Syntax error. Unknown function name \"SELECT\".",
                       "[3]    EXECSQL",
                       "Error: Syntax error. Expected \"(\" after a function name.",
                       "[4]    EXECSQL(SHEET",
                       "Error: Syntax error. Unknown parameter name \"SHEET\".",
                       "[5]    REPORT(SHEET=a",
                       "Error: Syntax error. Unexpected character \",\" for the parameter \"SHEET\".",
                       "[6]    REPORT(SHEET",
                       "Error: Syntax error. Expected \"=\" after the parameter name \"SHEET\".",
                       "[7]    REPORT(TYPE=FIXED",
                       "Error: Syntax error. Unknown value \"FIXED\" for the parameter \"TYPE\".",
                       "[8]    REPORT(FILLORDER=DOWN",
                       "Error: Syntax error. Unknown value \"DOWN\" for the parameter \"FILLORDER\".",
                       "[9]    REPORT(GROUPRANGE=A1",
                       "Error: Syntax error. Parameter \"GROUPRANGE\" must follow parameter \"GROUP\".",
                       "[10]    REPORT(CONNECT=Nowhere",
                       "Error: Connection error in [10]. Can not find data source \"Nowhere\".",
                       "[11]    REPORT(CONNECT=Offline",
                       "Error: Connection error in [11]. Can not connect to the data source \"Offline\".",
                       "[12]    NAME(CELL",
                       "Error: Syntax error. Unknown parameter name \"CELL\".",
                   }));
}

TEST_F(StatementParserTest, AnEleventhGroupDropsTheStatement) {
  std::string groups;
  for (int i = 1; i <= 11; ++i) groups += " GROUP=g" + std::to_string(i);
  auto executed = Parse("@x=REPORT(" + groups.substr(1) + ") SELECT 1\r\n@y=EXECSQL() SELECT 2\r\n");
  ASSERT_EQ(executed.size(), 1u);
  EXPECT_EQ(executed[0].record.Name, "y");
  const Lines log = Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "[x]    REPORT(" + groups.substr(1, groups.size() - 11) + " GROUP");
  EXPECT_EQ(log[1],
            "Error: Too much parameter name \"GROUP\". The number of parameter \"GROUP\" can not be more than 10.");
}

TEST_F(StatementParserTest, CommentsHideTextAcrossLines) {
  auto executed = Parse(
      "@1=EXECSQL(/* the first source */ CONNECT=db1) UPDATE t /* a\r\n"
      "@2=EXECSQL() hidden\r\n"
      "*/ SET a = '/* kept */' /* gone */ WHERE b = 1\r\n"
      "/*\r\n"
      "@3=EXECSQL() SELECT 3\r\n"
      "*/\r\n"
      "@4=EXECSQL(CONNECT=\r\n"
      "  /* value follows */ Sales) SELECT 4\r\n");
  ASSERT_EQ(executed.size(), 2u);
  EXPECT_EQ(executed[0].header, "[1]    EXECSQL(CONNECT=db1)");
  // Comments are cut out without a replacement; a line that is all comment still adds its
  // joining blank.
  EXPECT_EQ(executed[0].sql, "UPDATE t  SET a = '/* kept */'  WHERE b = 1  ");
  EXPECT_EQ(executed[1].record.Name, "4");
  EXPECT_EQ(executed[1].record.DataSourceIndex, 1);
  EXPECT_EQ(executed[1].sql, "SELECT 4");
}

TEST_F(StatementParserTest, StatementsWithoutSqlTextAreNotExecuted) {
  auto executed = Parse(
      "@1=EXECSQL(CONNECT=db1)\r\n"
      "@2=EXECSQL(CONNECT=db1\r\n"
      "@3=EXECSQL(CONNECT=db1) /* only a comment */\r\n");
  EXPECT_TRUE(executed.empty());
  EXPECT_TRUE(Log().empty());
}

TEST_F(StatementParserTest, ListLimitOf1024CellsOverAllCellParametersEndsTheScript) {
  std::string cells = "A1";
  for (int i = 2; i <= 1024; ++i) cells += ",A" + std::to_string(i);
  auto executed = Parse("@ok=EXECSQL() SELECT 1\r\n"
                        "@max=REPORT(CELL=" + cells + ") SELECT 2\r\n"
                        "@over=REPORT(CELL=" + cells + " CELL=B1) SELECT 3\r\n"
                        "@after=EXECSQL() SELECT 4\r\n");
  // The statements before run; the failing one and everything after it do not.
  ASSERT_EQ(executed.size(), 2u);
  EXPECT_EQ(executed[0].record.Name, "ok");
  EXPECT_EQ(executed[1].record.ListText, cells);
  const Lines log = Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1], "Error: Parse error in [over].");
  EXPECT_EQ(log[2], "Error Info: Subscript out of range");
}

TEST_F(StatementParserTest, SixteenBitValuesOutOfRangeEndTheScript) {
  auto executed = Parse("@r=REPORT(RESERVE=40000) SELECT 1\r\n@n=EXECSQL() SELECT 2\r\n");
  EXPECT_TRUE(executed.empty());
  EXPECT_EQ(Log(), (Lines{"[r]    REPORT(RESERVE=40000", "Error: Parse error in [r].", "Error Info: Overflow"}));

  executed = Parse("@c=EXECSQL(CONNECT=70000) SELECT 1\r\n");
  EXPECT_TRUE(executed.empty());
  EXPECT_EQ(Log(), (Lines{"[c]    EXECSQL(CONNECT=70000", "Error: Parse error in [c].", "Error Info: Overflow"}));
}

TEST_F(StatementParserTest, AMissingDefinitionFileIsAParseError) {
  run_.Log = RunLog::Create(folder_.File("run.log"));
  ParseFunctionScript(run_, folder_.File("missing.def"), [](auto&&...) { FAIL(); });
  run_.Log->Close();
  const Lines log = Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "");
  EXPECT_EQ(log[1], "Error: Parse error in [].");
  EXPECT_EQ(log[2].rfind("Error Info: ", 0), 0u);
}

TEST(FindDataSourceTest, NameFirstThenNumber) {
  RunContext run;
  run.DataSources[0].Name = "2";
  run.DataSources[1].Name = "Main";
  run.DataSourceCount = 2;
  EXPECT_EQ(FindDataSource(run, "2"), 0);
  EXPECT_EQ(FindDataSource(run, "Main"), 1);
  EXPECT_EQ(FindDataSource(run, "main"), -1);  // names compare with case
  EXPECT_EQ(FindDataSource(run, "1"), 0);
  EXPECT_EQ(FindDataSource(run, "1.6"), 1);
  EXPECT_EQ(FindDataSource(run, "3"), -1);
  EXPECT_EQ(FindDataSource(run, "0"), -1);
  EXPECT_THROW(FindDataSource(run, "99999"), AutomationError);
}

}  // namespace
}  // namespace tabrix
