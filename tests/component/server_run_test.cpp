// Runs against the servers of scripts/test-services.sh over ODBC: PostgreSQL as a data source
// named by its DSN with a user and an encoded password, MariaDB through connection strings as
// report authors write them (an ADO provider, or an ODBC driver), and their log lines. A refused
// login: the run test of a data source that fails and the ODBC tests.
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

const char* const kFruitScript =
    "@make=EXECSQL() CREATE TEMPORARY TABLE fruit (name varchar(10), qty integer)\r\n"
    "@fill=EXECSQL() INSERT INTO fruit VALUES ('fig', 4), ('kiwi', 9), ('lime', 2)\r\n"
    "@items=REPORT(SHEET=Data RESERVE=2 CELL=A4,B4) SELECT name, qty FROM fruit ORDER BY qty DESC\r\n";

// The report of kFruitScript: the fruit by quantity, largest first.
void ExpectFruitReport(const std::string& report) {
  auto workbook = platform::CreateSpreadsheetApplication()->OpenWorkbook(report, true);
  auto sheet = workbook->WorksheetByName("Data");
  EXPECT_EQ(sheet->GetValue(4, 1).ToText(), "kiwi");
  EXPECT_EQ(sheet->GetValue(5, 1).ToText(), "fig");
  EXPECT_EQ(sheet->GetValue(6, 1).ToText(), "lime");
  EXPECT_EQ(sheet->GetValue(6, 2).Number(), 2);
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
  const std::string definition = Definition(keys_, kFruitScript, Sources(Env("TABRIX_TEST_PG_PASSWORD")));
  ASSERT_EQ(Run(definition), std::nullopt);
  const Lines log = LogTexts(folder_.File("pg.log"));
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[3], "Connect to database successfully. DSN=" + Env("TABRIX_TEST_PG_DSN") + "\xEF\xBC\x8C USER=" +
                        Env("TABRIX_TEST_PG_USER"));
  EXPECT_EQ(std::count(log.begin(), log.end(), "[items]    Success."), 1);
  ExpectFruitReport(folder_.File("out/pg.xlsx"));
}

TEST_F(ReportRunTest, FillsFromMariaDbThroughAProviderStringAndADriverString) {
  REQUIRE_MARIADB();
  const std::string login = "User ID=" + Env("TABRIX_TEST_MARIADB_USER") + ";Password=\"" +
                            Env("TABRIX_TEST_MARIADB_PASSWORD") + "\"";
  const std::string strings[] = {
      "Provider=MySQLProv;Location=127.0.0.1;Port=" + Env("TABRIX_TEST_MARIADB_PORT") +
          ";Data Source=tabrix;" + login,
      "Driver={MariaDB Unicode};Server=localhost;Socket=" + Env("TABRIX_TEST_MARIADB_SOCKET") +
          ";Database=tabrix;" + login,
  };
  for (const std::string& text : strings) {
    const std::string definition =
        Definition("ReportTemplateFileName=templates\\report.xlsx\r\nReportFileName=out\\my.xlsx\r\n"
                   "LogFileName=my.log\r\n",
                   kFruitScript, "Name1=Shop\r\nConnectionString1=" + text + "\r\n");
    ASSERT_EQ(Run(definition), std::nullopt) << text;
    const Lines log = LogTexts(folder_.File("my.log"));
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[3], "Connect to database successfully. DSN=Shop, Using a connection string.");
    EXPECT_EQ(std::count(log.begin(), log.end(), "[items]    Success."), 1) << text;
    ExpectFruitReport(folder_.File("out/my.xlsx"));
  }
}

}  // namespace
}  // namespace tabrix
