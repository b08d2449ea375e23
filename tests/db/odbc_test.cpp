// The ODBC adapter against the PostgreSQL server of scripts/test-services.sh (PostgreSQL
// Unicode driver), and once against the SQLite ODBC driver.
#include <gtest/gtest.h>

#include "database_test_support.h"

namespace tabrix::platform {
namespace {

using testing::Env;
using testing::MakeSqliteFile;
using testing::OpenConnection;
using testing::Raised;
using testing::ReadRows;
using testing::ReadWhole;
using testing::SerialOf;
using testing::TempFolder;

std::shared_ptr<Connection> OpenPostgres() {
  return OpenConnection("User ID=;Password=;Data Source=" + Env("TABRIX_TEST_PG_DSN"), "tabrix");
}

TEST(PostgresOdbc, DataSourceNamesAndDsnLessStringsConnect) {
  REQUIRE_POSTGRESQL();
  // The string a run composes from a data source's name, user and password; Open passes them too.
  std::string dsn = Env("TABRIX_TEST_PG_DSN");
  std::string user = Env("TABRIX_TEST_PG_USER"), password = Env("TABRIX_TEST_PG_PASSWORD");
  auto connection = CreateConnection();
  connection->SetConnectionString("User ID=" + user + ";Password=" + password +
                                  ";Data Source=" + dsn);
  connection->Open("", user, password, -1);
  auto records = CreateRecordset();
  records->Open("SELECT current_user AS who", connection);
  EXPECT_EQ(records->GetFields().Item(0).Value(), Variant(user));
  records->Close();
  connection->Close();

  // A quoted password in the string itself, with Provider=MSDASQL.
  connection = OpenConnection("Provider=MSDASQL;DSN=" + dsn + ";UID=" + user + ";PWD={" +
                              password + "}");
  records->Open("SELECT 1 AS one", connection);
  EXPECT_EQ(records->GetFields().Item(0).Value(), Variant(1));
  records->Close();

  // Without a data-source name.
  connection = OpenConnection(Env("TABRIX_TEST_PG_CONNSTR"));
  records->Open("SELECT current_database() AS db", connection);
  EXPECT_EQ(records->GetFields().Item(0).Value(), Variant("postgres"));
}

TEST(PostgresOdbc, LoginFailuresKeepTheDriversMessage) {
  REQUIRE_POSTGRESQL();
  std::string dsn = Env("TABRIX_TEST_PG_DSN");
  AutomationError error = Raised([&] {
    OpenConnection("User ID=" + Env("TABRIX_TEST_PG_USER") + ";Password=wrong;Data Source=" + dsn);
  });
  EXPECT_EQ(error.Source(), "PostgreSQL Unicode");
  EXPECT_EQ(error.Description().rfind("[08001] ", 0), 0u) << error.Description();
  EXPECT_NE(error.Description().find("password authentication failed for user \"tabrix_secret\""),
            std::string::npos)
      << error.Description();
  EXPECT_NE(error.Number(), 0);

  error = Raised([&] { OpenConnection("User ID=u;Password=p;Data Source=NoSuchDataSource"); });
  EXPECT_EQ(error.Source(), "ODBC");
  EXPECT_EQ(error.Description(),
            "[IM002] [unixODBC][Driver Manager]Data source name not found and no default driver "
            "specified");
}

TEST(PostgresOdbc, EveryTypeAndNull) {
  REQUIRE_POSTGRESQL();
  auto connection = OpenPostgres();
  connection->Execute(
      "CREATE TEMP TABLE t (s smallint, i integer, b bigint, huge bigint, n numeric(10,2), "
      "wide numeric, r real, d double precision, f boolean, day date, tm time, "
      "ts timestamp, old date, txt text, vc varchar(20), bin bytea)");
  connection->Execute(
      "INSERT INTO t VALUES (-3, 2147483647, 4000000000, 1234567890123456789, 12345678.25, "
      "12345678901234567890.123456789, 1.5, -2.25e-5, true, '2024-02-29', '13:45:30', "
      "'2023-12-31 23:59:30.25', '1850-07-01', 'Grüße 日本 😀', 'varchar', '\\x00ff41'::bytea)");
  connection->Execute("INSERT INTO t (f) VALUES (false)");
  connection->Execute("INSERT INTO t DEFAULT VALUES");
  auto records = CreateRecordset();
  records->Open("SELECT * FROM t", connection);
  ASSERT_EQ(records->GetFields().Count(), 16);
  EXPECT_EQ(records->GetFields().Item(14).Name(), "vc");
  auto rows = ReadRows(*records);
  ASSERT_EQ(rows.size(), 3u);
  const auto& v = rows[0];
  EXPECT_EQ(v[0], Variant(-3));
  EXPECT_EQ(v[1], Variant(2147483647));
  EXPECT_EQ(v[2], Variant(4000000000.0));
  EXPECT_EQ(v[3], Variant("1234567890123456789"));
  EXPECT_EQ(v[4], Variant(12345678.25));
  EXPECT_EQ(v[5], Variant("12345678901234567890.123456789"));
  EXPECT_EQ(v[6], Variant(1.5));
  EXPECT_EQ(v[7], Variant(-2.25e-5));
  EXPECT_EQ(v[8], Variant(true));
  EXPECT_EQ(v[9], Variant::Date(SerialOf(2024, 2, 29)));
  EXPECT_EQ(v[10], Variant::Date((13 * 3600 + 45 * 60 + 30) / 86400.0));
  EXPECT_DOUBLE_EQ(v[11].Number(), SerialOf(2023, 12, 31, 23, 59, 30) + 0.25 / 86400);
  EXPECT_EQ(v[12], Variant("1850-07-01"));  // no serial before 1900
  EXPECT_EQ(v[13], Variant("Grüße 日本 😀"));
  EXPECT_EQ(v[14], Variant("varchar"));
  EXPECT_EQ(v[15], Variant::Bytes(std::string("\x00\xff" "A", 3)));
  EXPECT_EQ(rows[1][8], Variant(false));
  for (const auto& value : rows[2]) EXPECT_TRUE(value.IsNull()) << value.ToText();

  // Long types: PostgreSQL text is a long text type, bytea a long binary type.
  Fields& fields = records->GetFields();
  EXPECT_EQ(fields.Item(13).Attributes() & kFieldLong, kFieldLong);
  EXPECT_EQ(fields.Item(15).Attributes() & kFieldLong, kFieldLong);
  EXPECT_EQ(fields.Item(14).Attributes() & kFieldLong, 0);
  EXPECT_EQ(fields.Item(1).Attributes() & kFieldLong, 0);
  records->Close();

  // Fractions of seconds survive in times too.
  records->Open("SELECT '12:30:15.5'::time AS t", connection);
  EXPECT_EQ(fields.Item(0).Value(), Variant::Date((12 * 3600 + 30 * 60 + 15.5) / 86400));
}

TEST(PostgresOdbc, LongUnicodeTextArrivesInChunks) {
  REQUIRE_POSTGRESQL();
  auto connection = OpenPostgres();
  // 30000 characters of one, two, three and four UTF-8 bytes.
  auto records = CreateRecordset();
  records->Open("SELECT repeat('aé日😀', 7500) AS memo, 'short' AS label", connection);
  std::string unit = "aé日😀", expected;
  for (int i = 0; i < 7500; ++i) expected += unit;
  Field& memo = records->GetFields().Item(0);
  EXPECT_EQ(memo.Attributes() & kFieldLong, kFieldLong);
  int chunks = 0;
  EXPECT_EQ(ReadWhole(memo, &chunks), Variant(expected));
  EXPECT_EQ(chunks, 2);  // 16384 + 13616 characters
  EXPECT_EQ(records->GetFields().Item(1).Value(), Variant("short"));
}

TEST(PostgresOdbc, ErrorsEmptyResultsAndStatementsWithoutRows) {
  REQUIRE_POSTGRESQL();
  auto connection = OpenPostgres();
  auto records = CreateRecordset();
  AutomationError error = Raised([&] { records->Open("SELECT * FROM no_such_table", connection); });
  EXPECT_EQ(error.Source(), "PostgreSQL Unicode");
  EXPECT_EQ(error.Description().rfind("[42P01] ", 0), 0u) << error.Description();
  EXPECT_NE(error.Description().find("relation \"no_such_table\" does not exist"),
            std::string::npos)
      << error.Description();
  EXPECT_EQ(error.Description().find('\n'), std::string::npos);  // one line for the run log
  EXPECT_EQ(records->State(), kStateClosed);

  // The recordset opens again after the error: an empty result is at EOF at once.
  connection->Execute("CREATE TEMP TABLE e (id integer, name text)");
  records->Open("SELECT id, name FROM e", connection);
  EXPECT_TRUE(records->Eof());
  EXPECT_EQ(records->GetFields().Count(), 2);
  records->Close();

  // Statements that return no rows, and a failing one, through Execute.
  connection->Execute("UPDATE e SET name = 'x' WHERE id = 1");
  connection->Execute("DELETE FROM e");
  error = Raised([&] { connection->Execute("INSERT INTO e VALUES ('not a number')"); });
  EXPECT_EQ(error.Description().rfind("[22P02] ", 0), 0u) << error.Description();
  connection->Execute("INSERT INTO e VALUES (1, 'one'), (2, 'two')");
  records->Open("SELECT name FROM e ORDER BY id", connection);
  EXPECT_EQ(ReadRows(*records), (std::vector<std::vector<Variant>>{{Variant("one")}, {Variant("two")}}));
}

TEST(SqliteOdbc, TheSqliteOdbcDriverReadsARealFile) {
  TempFolder folder;
  MakeSqliteFile(folder.File("odbc.db"),
                 "CREATE TABLE t (id INTEGER, name TEXT, amount REAL, day DATE);"
                 "INSERT INTO t VALUES (1, 'Grüße', 2.5, '2024-03-01'), (2, NULL, NULL, NULL);");
  // A relative database file lies in the base folder.
  auto connection = OpenConnection("Driver=SQLite3;Database=odbc.db", "", "", folder.Path());
  auto records = CreateRecordset();
  records->Open("SELECT id, name, amount, day FROM t ORDER BY id", connection);
  auto rows = ReadRows(*records);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], Variant(1));
  EXPECT_EQ(rows[0][1], Variant("Grüße"));
  EXPECT_EQ(rows[0][2], Variant(2.5));
  EXPECT_EQ(rows[0][3], Variant::Date(SerialOf(2024, 3, 1)));
  for (const auto& value : rows[1]) {
    if (&value != &rows[1][0]) EXPECT_TRUE(value.IsNull()) << value.ToText();
  }
  AutomationError error = Raised([&] { connection->Execute("SELEC 1"); });
  EXPECT_EQ(error.Source(), "SQLite3");
  EXPECT_NE(error.Description().find("syntax error"), std::string::npos) << error.Description();
}

}  // namespace
}  // namespace tabrix::platform
