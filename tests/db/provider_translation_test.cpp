// Tests of the provider table: each provider's strings as the ODBC strings its driver receives,
// the warnings for dropped keys, and the message that names a missing driver's package.
#include <gtest/gtest.h>

#include "database_test_support.h"
#include "db/provider_translation.h"

namespace tabrix::platform {
namespace {

using testing::Raised;

// Names as unixODBC lists them with every driver package installed (the ANSI PostgreSQL driver
// first: the Unicode one is preferred wherever it stands).
const std::vector<std::string> kDrivers = {"PostgreSQL ANSI", "PostgreSQL Unicode", "SQLite3",
                                           "MariaDB Unicode", "MDBTools", "FreeTDS"};

std::string Translated(const std::string& text, std::vector<std::string>* warnings = nullptr,
                       const std::vector<std::string>& drivers = kDrivers) {
  ProviderTranslation translation =
      TranslateProvider(ParseConnectionString(text), "/defs", [&] { return drivers; });
  if (warnings) *warnings = translation.warnings;
  return ComposeOdbcConnectionString(translation.items, "", "");
}

TEST(ProviderTranslation, EveryProviderBecomesItsDriversString) {
  struct Case {
    const char* text;
    const char* odbc;
    std::vector<std::string> warnings;
  };
  const Case cases[] = {
      // SQL Server: FreeTDS, "host,port" split, "(local)" is this machine, TDS 7.4 unless given.
      {"Provider=SQLOLEDB.1;Data Source=db1,1433;Initial Catalog=Sales;User ID=sa;Password=pw;"
       "Persist Security Info=False",
       "Driver=FreeTDS;Server=db1;Port=1433;DATABASE=Sales;UID=sa;PWD=pw;TDS_Version=7.4",
       {"Persist Security Info=False has no meaning here and is ignored"}},
      {"Provider=SQLNCLI11;Server=tcp:(local)\\SQLEXPRESS;Database=Shop;Integrated Security=SSPI",
       "Driver=FreeTDS;Server=localhost\\SQLEXPRESS;Database=Shop;TDS_Version=7.4",
       {"Integrated Security=SSPI is ignored: there are no Windows logins here; give User ID and "
        "Password"}},
      {"Provider=MSOLEDBSQL;Data Source=sql.example.com;Initial Catalog=x;User ID=u;Password=p;"
       "TDS_Version=7.3;Application Name=Reports;Integrated Security=False",
       "Driver=FreeTDS;Server=sql.example.com;DATABASE=x;UID=u;PWD=p;TDS_Version=7.3;APP=Reports",
       {}},
      // Access: mdbtools, the file taken from the definition folder, the default login dropped.
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=data\\Sales.mdb;User ID=Admin;Password=;"
       "Jet OLEDB:Database Password=x",
       "Driver=MDBTools;DBQ=/defs/data/Sales.mdb",
       {"Jet OLEDB:Database Password=x has no meaning here and is ignored"}},
      {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/srv/Stock.accdb;Mode=Read;User ID=clerk",
       "Driver=MDBTools;DBQ=/srv/Stock.accdb",
       {"User ID is ignored: the mdbtools driver opens Access files without a workgroup login"}},
      // MSDASQL: the ODBC keys as written, Data Source a data-source name.
      {"Provider=MSDASQL.1;Persist Security Info=True;Data Source=Sales;User ID=u",
       "DSN=Sales;UID=u",
       {"Persist Security Info=True has no meaning here and is ignored"}},
      {"Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=h;Database=d",
       "Driver=PostgreSQL Unicode;Server=h;Database=d", {}},
      // PostgreSQL: psqlODBC; Location is the database, the port after ":" or in Extended Properties.
      {"Provider=PostgreSQL OLE DB Provider;Data Source=pg.local:5433;location=sales;User ID=u;"
       "password=p",
       "Driver=PostgreSQL Unicode;Servername=pg.local;Port=5433;Database=sales;UID=u;PWD=p", {}},
      {"Provider=PGNP.1;Data Source=localhost;Initial Catalog=sales;User ID=u;Password=p;"
       "Extended Properties=\"PORT=5432\"",
       "Driver=PostgreSQL Unicode;Servername=localhost;DATABASE=sales;UID=u;PWD=p;PORT=5432", {}},
      // MySQL and MariaDB: MySQLProv's Location is the server and its Data Source the database; a
      // socket file is a local server.
      {"Provider=MySQLProv;Location=db.local;Data Source=shop;User Id=u;Password=p",
       "Driver=MariaDB Unicode;Server=db.local;Database=shop;UID=u;PWD=p", {}},
      {"Provider=MySQL Provider;Data Source=db.local,3307;Initial Catalog=shop;User ID=u",
       "Driver=MariaDB Unicode;Server=db.local;Port=3307;DATABASE=shop;UID=u", {}},
      {"Provider=MariaDB Provider;Data Source=/run/mysqld/mysqld.sock;Initial Catalog=shop",
       "Driver=MariaDB Unicode;Server=localhost;Socket=/run/mysqld/mysqld.sock;DATABASE=shop", {}},
      // A string with its own Driver keeps it; an unknown provider is left to the driver manager.
      {"Provider=SQLOLEDB;Driver={FreeTDS};Data Source=h;Port=1", "Driver=FreeTDS;SERVER=h;Port=1",
       {}},
      {"Provider=OraOLEDB.Oracle;Data Source=ORCL;User ID=u", "DSN=ORCL;UID=u",
       {"Provider=OraOLEDB.Oracle is not a provider known here: the string is handed to the ODBC "
        "driver manager with its other keys"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> warnings;
    EXPECT_EQ(Translated(c.text, &warnings), c.odbc) << c.text;
    EXPECT_EQ(warnings, c.warnings) << c.text;
  }
}

TEST(ProviderTranslation, AMissingDriverNamesItsDebianPackage) {
  const std::vector<std::string> onlySqlite = {"SQLite3"};
  struct Case {
    const char* text;
    const char* start;
    const char* end;
  };
  const Case cases[] = {
      {"Provider=SQLNCLI11;Data Source=h", "Provider=SQLNCLI11 is served here by the FreeTDS ODBC "
       "driver (\"FreeTDS\"), which is not installed", "install the Debian package tdsodbc."},
      {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=a.accdb",
       "Provider=Microsoft.ACE.OLEDB.12.0 is served here by the mdbtools", "package odbc-mdbtools."},
      {"Provider=PostgreSQL;Data Source=h", "Provider=PostgreSQL is served here by the psqlODBC",
       "package odbc-postgresql."},
      {"Provider=MariaDB Provider;Data Source=h", "Provider=MariaDB Provider is served here by the "
       "MariaDB", "package odbc-mariadb."},
  };
  for (const Case& c : cases) {
    AutomationError error = Raised([&] { Translated(c.text, nullptr, onlySqlite); });
    const std::string description = error.Description();
    EXPECT_EQ(description.rfind(c.start, 0), 0u) << description;
    EXPECT_TRUE(description.ends_with(c.end)) << description;
    EXPECT_EQ(error.Source(), "Connection");
  }
  // The MySQL providers take MySQL's own ODBC driver where MariaDB's is not installed.
  EXPECT_EQ(Translated("Provider=MySQLProv;Location=h;Data Source=d", nullptr,
                       {"MySQL ODBC 8.0 Unicode Driver"}),
            "Driver=MySQL ODBC 8.0 Unicode Driver;Server=h;Database=d");
}

}  // namespace
}  // namespace tabrix::platform
