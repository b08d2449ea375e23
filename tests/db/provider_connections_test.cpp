// Provider strings against real drivers: the MariaDB and PostgreSQL servers of
// scripts/test-services.sh, and the FreeTDS and mdbtools drivers (no server or file here: the
// error must come from the mapped driver itself).
#include <gtest/gtest.h>

#include "database_test_support.h"
#include "db/connection_string.h"

namespace tabrix::platform {
namespace {

using testing::Env;
using testing::OpenConnection;
using testing::Raised;
using testing::ReadRows;
using testing::SerialOf;
using testing::TempFolder;

Variant QueryOne(const std::shared_ptr<Connection>& connection, const std::string& sql) {
  auto records = CreateRecordset();
  records->Open(sql, connection);
  return records->GetFields().Item(0).Value();
}

TEST(ProviderConnections, MySqlAndMariaDbProvidersReachTheMariaDbServer) {
  REQUIRE_MARIADB();
  const std::string port = Env("TABRIX_TEST_MARIADB_PORT");
  const std::string login = ";User ID=" + Env("TABRIX_TEST_MARIADB_USER") + ";Password={" +
                            Env("TABRIX_TEST_MARIADB_PASSWORD") + "}";
  const std::string strings[] = {
      "Provider=MySQLProv;Location=127.0.0.1;Port=" + port + ";Data Source=tabrix" + login,
      "Provider=MySQL Provider;Data Source=127.0.0.1," + port + ";Initial Catalog=tabrix" + login,
      "Provider=MariaDB Provider;Data Source=" + Env("TABRIX_TEST_MARIADB_SOCKET") +
          ";Initial Catalog=tabrix;Persist Security Info=False" + login,
  };
  for (const std::string& text : strings) {
    auto connection = OpenConnection(text);
    EXPECT_EQ(QueryOne(connection, "SELECT DATABASE()"), Variant("tabrix")) << text;
  }

  // The values of the common column types, through the MariaDB driver.
  auto connection = OpenConnection(strings[1]);
  connection->Execute(
      "CREATE TEMPORARY TABLE t (i INT, b BIGINT, n DECIMAL(12,2), d DOUBLE, f BOOLEAN, day DATE, "
      "at DATETIME, txt VARCHAR(40), bin VARBINARY(8), nothing INT)");
  connection->Execute(
      "INSERT INTO t VALUES (-7, 4000000000, 12345.25, 0.125, TRUE, '2024-02-29', "
      "'2023-12-31 23:59:30', 'Gr\xC3\xBC\xC3\x9F" "e', X'00FF', NULL)");
  auto records = CreateRecordset();
  records->Open("SELECT * FROM t", connection);
  const std::vector<Variant> row = ReadRows(*records).at(0);
  EXPECT_EQ(row, (std::vector<Variant>{Variant(-7), Variant(4000000000.0), Variant(12345.25),
                                       Variant(0.125), Variant(1), Variant::Date(SerialOf(2024, 2, 29)),
                                       Variant::Date(SerialOf(2023, 12, 31, 23, 59, 30)),
                                       Variant("Gr\xC3\xBC\xC3\x9F" "e"),
                                       Variant::Bytes(std::string("\x00\xFF", 2)), Variant::Null()}));

  // A wrong password: the driver's own message, with the driver as source.
  AutomationError error = Raised([&] { OpenConnection(strings[1] + ";Password=wrong"); });
  EXPECT_EQ(error.Source(), "MariaDB Unicode");
  EXPECT_NE(error.Description().find("Access denied for user 'tabrix'"), std::string::npos)
      << error.Description();
}

TEST(ProviderConnections, PostgreSqlProvidersReachThePostgreSqlServer) {
  REQUIRE_POSTGRESQL();
  const auto odbc = ParseConnectionString(Env("TABRIX_TEST_PG_CONNSTR"));
  const std::string socketFolder = FindConnectionValue(odbc, "servername").value();
  const std::string port = FindConnectionValue(odbc, "port").value();
  for (const std::string& text :
       {"Provider=PostgreSQL OLE DB Provider;Data Source=" + socketFolder + ";Port=" + port +
            ";location=postgres;User ID=tabrix",
        "Provider=PGNP.1;Data Source=" + socketFolder + ";Initial Catalog=postgres;User ID=tabrix;"
            "Extended Properties=\"PORT=" + port + "\""}) {
    auto connection = OpenConnection(text);
    EXPECT_EQ(QueryOne(connection, "SELECT current_database() || '/' || current_user"),
              Variant("postgres/tabrix"))
        << text;
  }
}

TEST(ProviderConnections, SqlServerAndAccessProvidersReachTheirDrivers) {
  // No SQL Server here: FreeTDS itself reports that nothing answers on the port.
  AutomationError error = Raised([] {
    OpenConnection("Provider=SQLOLEDB;Data Source=127.0.0.1,9;Initial Catalog=x;User ID=u;"
                   "Password=p");
  });
  EXPECT_EQ(error.Source(), "FreeTDS") << error.Description();

  // No Access file: the mdbtools driver reports the file, taken from the base folder.
  TempFolder folder;
  error = Raised([&] {
    OpenConnection("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=data\\Sales.accdb", "", "",
                   folder.Path());
  });
  EXPECT_EQ(error.Source(), "MDBTools") << error.Description();
  EXPECT_EQ(error.Description(),
            "The database file \"" + folder.File("data/Sales.accdb") + "\" does not exist.");
  // A file that is not an Access database: the driver's refusal.
  testing::MakeSqliteFile(folder.File("not-access.mdb"), "CREATE TABLE t (x)");
  error = Raised([&] {
    OpenConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=not-access.mdb", "", "",
                   folder.Path());
  });
  EXPECT_EQ(error.Source(), "MDBTools") << error.Description();
  EXPECT_EQ(error.Description(), "Opening the database file \"" + folder.File("not-access.mdb") +
                                     "\" failed without a message.");
}

}  // namespace
}  // namespace tabrix::platform
