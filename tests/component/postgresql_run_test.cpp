// Runs against the PostgreSQL server of scripts/test-services.sh over ODBC: a data source named
// by its DSN with a user and an encoded password, the composed connection string and its log line.
#include <gtest/gtest.h>

#include <cstdlib>

#include "definition/password.h"
#include "fixtures/run_fixture.h"
#include "fixtures/required_tools.h"

namespace tabrix {
namespace {

using testing::LogTexts;
using testing::ReportRunTest;
using Lines = std::vector<std::string>;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class PostgresqlRunTest : public ReportRunTest {
 protected:
  std::string Sources(const std::string& password) {
    return "EncryptPassword=Y\r\nName1=" + Env("TABRIX_TEST_PG_DSN") + "\r\nUser1=" + Env("TABRIX_TEST_PG_USER") +
           "\r\nPassword1=" + EncodePassword(password, Env("TABRIX_TEST_PG_USER")) + "\r\n";
  }
  const std::string keys_ =
      "ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\pg.xlsx\r\nLogFileName=pg.log\r\n";
};

TEST_F(PostgresqlRunTest, ConnectsWithTheDecodedPasswordAndFillsFromTheServer) {
  REQUIRE_POSTGRESQL();
  const std::string definition = Definition(
      keys_,
      "@make=EXECSQL() CREATE TEMPORARY TABLE fruit (name text, qty integer)\r\n"
      "@fill=EXECSQL() INSERT INTO fruit VALUES ('fig', 4), ('kiwi', 9), ('lime', 2)\r\n"
      "@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM fruit ORDER BY qty DESC\r\n",
      Sources(Env("TABRIX_TEST_PG_PASSWORD")));
  ASSERT_EQ(Run(definition), std::nullopt);
  const Lines log = LogTexts(folder_.File("pg.log"));
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[3], "Connect to database successfully. DSN=" + Env("TABRIX_TEST_PG_DSN") + "\xEF\xBC\x8C USER=" +
                        Env("TABRIX_TEST_PG_USER"));
  EXPECT_EQ(std::count(log.begin(), log.end(), "[items]    Success."), 1);
  auto workbook = platform::CreateSpreadsheetApplication()->OpenWorkbook(folder_.File("out/pg.xlsx"), true);
  auto sheet = workbook->WorksheetByName("Data");
  EXPECT_EQ(sheet->GetValue(4, 1).ToText(), "kiwi");
  EXPECT_EQ(sheet->GetValue(5, 1).ToText(), "fig");
  EXPECT_EQ(sheet->GetValue(6, 1).ToText(), "lime");
  EXPECT_EQ(sheet->GetValue(6, 2).Number(), 2);
}

TEST_F(PostgresqlRunTest, AWrongPasswordFailsTheConnection) {
  REQUIRE_POSTGRESQL();
  std::optional<AutomationError> error = Run(Definition(keys_, "", Sources("not the password")));
  ASSERT_TRUE(error);
  const std::string entry =
      "Failed to connect to database. DSN=" + Env("TABRIX_TEST_PG_DSN") + "\xEF\xBC\x8C USER=" + Env("TABRIX_TEST_PG_USER");
  EXPECT_EQ(error->Description().rfind(entry + ". ", 0), 0u) << error->Description();
  const Lines log = LogTexts(folder_.File("pg.log"));
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[3], "Error: " + entry);
  EXPECT_EQ(log[4], "Error Info: " + error->Description().substr(entry.size() + 2));
}

}  // namespace
}  // namespace tabrix
