// Tests of connection strings: keys and quoted values, malformed strings, ADO keys as ODBC keys.
#include <gtest/gtest.h>

#include "database_test_support.h"
#include "db/connection_string.h"

namespace tabrix::platform {
namespace {

using testing::Raised;

TEST(ConnectionString, KeysAreTrimmedAndMatchedWithoutCaseValuesMayBeQuoted) {
  auto items = ParseConnectionString(
      "  provider = SQLite ; DATA  SOURCE= \" a;b \"\"c\"\".db \" ;; Mode={Read;}}x} ;"
      "Extended Properties='k=v;w'; Empty=");
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].key, "provider");
  EXPECT_EQ(items[0].value, "SQLite");
  EXPECT_EQ(FindConnectionValue(items, "Data Source").value(), " a;b \"c\".db ");
  EXPECT_EQ(FindConnectionValue(items, "MODE").value(), "Read;}x");
  EXPECT_EQ(FindConnectionValue(items, "extended properties").value(), "k=v;w");
  EXPECT_EQ(FindConnectionValue(items, "empty").value(), "");
  EXPECT_FALSE(FindConnectionValue(items, "Password").has_value());
  EXPECT_TRUE(NamesSqliteProvider(items));
  EXPECT_FALSE(NamesSqliteProvider(ParseConnectionString("Provider=MSDASQL;DSN=x")));

  // The last of repeated keys wins.
  EXPECT_EQ(FindConnectionValue(ParseConnectionString("DSN=a;dsn=b"), "DSN").value(), "b");
}

TEST(ConnectionString, MalformedStringsAreClearErrors) {
  for (const char* text : {"Data Source", "DSN=a;UID", "=x", "PWD=\"open", "PWD={x", "PWD=\"a\"b"}) {
    AutomationError error = Raised([&] { ParseConnectionString(text); });
    EXPECT_NE(error.Description().find("connection string is not valid"), std::string::npos)
        << text << ": " << error.Description();
  }
}

TEST(ConnectionString, AdoKeysBecomeOdbcKeys) {
  // The string a run composes for a data source without a connection string.
  EXPECT_EQ(ComposeOdbcConnectionString(
                ParseConnectionString("User ID=u;Password=p;Data Source=Sales"), "", ""),
            "UID=u;PWD=p;DSN=Sales");
  // Empty login fields are left to the data-source name.
  EXPECT_EQ(ComposeOdbcConnectionString(
                ParseConnectionString("User ID=;Password=;Data Source=Sales"), "", ""),
            "DSN=Sales");
  // Open's user and password win over the string's when given.
  EXPECT_EQ(ComposeOdbcConnectionString(
                ParseConnectionString("Provider=MSDASQL;User ID=u;Password=p;Data Source=S"),
                "admin", ""),
            "UID=admin;PWD=p;DSN=S");
  EXPECT_EQ(ComposeOdbcConnectionString(ParseConnectionString("DSN=S"), "admin", "x;y"),
            "DSN=S;UID=admin;PWD={x;y}");
  // ODBC keys pass through; with a Driver, Data Source names the server.
  EXPECT_EQ(ComposeOdbcConnectionString(
                ParseConnectionString("Driver={PostgreSQL Unicode};Data Source=db1;Port=5432;"
                                      "Initial Catalog=sales;Persist Security Info=False"),
                "", ""),
            "Driver=PostgreSQL Unicode;SERVER=db1;Port=5432;DATABASE=sales");
  // Extended Properties carries an ODBC string of its own.
  EXPECT_EQ(ComposeOdbcConnectionString(
                ParseConnectionString("Provider=MSDASQL.1;Extended Properties=\"DSN=S;UID=u\""),
                "", ""),
            "DSN=S;UID=u");
  EXPECT_EQ(QuoteOdbcValue("a}b"), "{a}}b}");
  EXPECT_EQ(QuoteOdbcValue(" lead"), "{ lead}");
}

}  // namespace
}  // namespace tabrix::platform
