// Tests of connections and recordsets over real SQLite database files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "database_test_support.h"

namespace tabrix::platform {
namespace {

using testing::MakeSqliteFile;
using testing::OpenConnection;
using testing::Raised;
using testing::ReadRows;
using testing::ReadWhole;
using testing::SerialOf;
using testing::TempFolder;

std::string SqliteString(const std::string& file, const std::string& extra = "") {
  return "Provider=SQLite;Data Source=" + file + extra;
}

TEST(Sqlite, ValuesTakeTheirStoredOrDeclaredType) {
  TempFolder folder;
  MakeSqliteFile(folder.File("types.db"),
                 "CREATE TABLE t (i INTEGER, r REAL, s TEXT, b BLOB, d DATE, dt DATETIME, "
                 "ts TIMESTAMP, tm TIME, f BOOLEAN, n NUMERIC, big INTEGER, plain);"
                 "INSERT INTO t VALUES (42, 2.5, 'Grüße, 日本 😀', x'00FF10', '2024-02-29', "
                 "'2023-12-31 23:59:30', 2460000.5, '06:30', 1, 12.75, 1234567890123456789,"
                 " '2024-01-01');"
                 "INSERT INTO t VALUES (-7, -0.125, '', x'', '1900-02-28', '2024-01-05T08:00:00Z', "
                 "1700000000, '23:59:59', 'false', 100, 999999999999999, 5);"
                 "INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
                 "NULL, NULL, NULL);"
                 "INSERT INTO t VALUES (0, 0, 'x', NULL, 'not a date', '1899-12-31', NULL, NULL, "
                 "'maybe', NULL, NULL, NULL);");
  auto connection = OpenConnection(SqliteString(folder.File("types.db")));
  auto records = CreateRecordset();
  records->Open("SELECT * FROM t", connection);
  ASSERT_EQ(records->GetFields().Count(), 12);
  EXPECT_EQ(records->GetFields().Item(4).Name(), "d");
  auto rows = ReadRows(*records);
  ASSERT_EQ(rows.size(), 4u);

  EXPECT_EQ(rows[0][0], Variant(42));
  EXPECT_EQ(rows[0][1], Variant(2.5));
  EXPECT_EQ(rows[0][2], Variant("Grüße, 日本 😀"));
  EXPECT_EQ(rows[0][3], Variant::Bytes(std::string("\x00\xFF\x10", 3)));
  EXPECT_EQ(rows[0][4], Variant::Date(SerialOf(2024, 2, 29)));
  EXPECT_EQ(rows[0][4].ToText(), "2024-02-29");
  EXPECT_EQ(rows[0][5], Variant::Date(SerialOf(2023, 12, 31, 23, 59, 30)));
  EXPECT_EQ(rows[0][6].Type(), VariantType::Date);  // Julian day 2460000.5 = 2023-02-25
  EXPECT_EQ(rows[0][6].ToText(), "2023-02-25");
  EXPECT_EQ(rows[0][7], Variant::Date(6.5 / 24));
  EXPECT_EQ(rows[0][8], Variant(true));
  EXPECT_EQ(rows[0][9], Variant(12.75));
  EXPECT_EQ(rows[0][10], Variant("1234567890123456789"));  // more digits than a double keeps
  EXPECT_EQ(rows[0][11], Variant("2024-01-01"));  // no declared type: stays text

  EXPECT_EQ(rows[1][0], Variant(-7));
  EXPECT_EQ(rows[1][2], Variant(""));
  EXPECT_EQ(rows[1][3], Variant::Bytes(""));
  EXPECT_EQ(rows[1][4], Variant::Date(59));  // before the spreadsheet's 1900-02-29
  EXPECT_EQ(rows[1][5], Variant::Date(SerialOf(2024, 1, 5, 8)));
  EXPECT_EQ(rows[1][6].ToText(), "2023-11-14 22:13:20");  // Unix time 1700000000
  EXPECT_EQ(rows[1][8], Variant(false));
  EXPECT_EQ(rows[1][10], Variant(999999999999999.0));

  for (const auto& value : rows[2]) EXPECT_TRUE(value.IsNull()) << value.ToText();

  EXPECT_EQ(rows[3][4], Variant("not a date"));
  EXPECT_EQ(rows[3][5], Variant("1899-12-31"));  // no serial before 1900
  EXPECT_EQ(rows[3][8], Variant("maybe"));
}

TEST(Sqlite, RelativeFilesLieInTheBaseFolderAndModesAreKept) {
  TempFolder folder;
  std::filesystem::create_directories(folder.File("data"));
  MakeSqliteFile(folder.File("data/sales.db"), "CREATE TABLE s (v); INSERT INTO s VALUES (1);");
  std::string before = std::filesystem::current_path().string();

  // Relative to the base folder, with "\" as separator, never through the current directory.
  auto connection = OpenConnection("Provider=SQLite;Data Source=data\\sales.db", "", "",
                                   folder.Path());
  EXPECT_EQ(std::filesystem::current_path().string(), before);
  connection->Execute("INSERT INTO s VALUES (2)");
  connection->Close();

  // Read-only: reading works, writing is refused with SQLite's message.
  auto readOnly = OpenConnection("Provider=SQLite;Data Source=data/sales.db;Mode=Read", "", "",
                                 folder.Path());
  auto records = CreateRecordset();
  records->Open("SELECT count(*) AS n FROM s", readOnly);
  EXPECT_EQ(records->GetFields().Item(0).Value(), Variant(2));
  AutomationError error = Raised([&] { readOnly->Execute("INSERT INTO s VALUES (3)"); });
  EXPECT_EQ(error.Source(), "SQLite");
  EXPECT_NE(error.Description().find("readonly"), std::string::npos) << error.Description();

  // A missing file is an error unless it may be created.
  error = Raised([&] { OpenConnection(SqliteString("missing.db"), "", "", folder.Path()); });
  EXPECT_NE(error.Description().find(folder.File("missing.db")), std::string::npos)
      << error.Description();
  EXPECT_FALSE(std::filesystem::exists(folder.File("missing.db")));
  OpenConnection(SqliteString("new.db", ";Mode=ReadWriteCreate"), "", "", folder.Path());
  EXPECT_TRUE(std::filesystem::exists(folder.File("new.db")));

  // A file that is no database fails at Open.
  std::ofstream(folder.File("junk.db")) << "this is not a database, not at all, really not";
  error = Raised([&] { OpenConnection(SqliteString(folder.File("junk.db"))); });
  EXPECT_NE(error.Description().find("not a database"), std::string::npos) << error.Description();

  error = Raised([&] { OpenConnection("Provider=SQLite;Data Source=x.db;Mode=Sometimes"); });
  EXPECT_NE(error.Description().find("Mode"), std::string::npos);
}

TEST(Sqlite, StatementsQueriesErrorsAndTheCursorsEnds) {
  auto connection = OpenConnection("Provider=SQLite;Data Source=:memory:");
  EXPECT_EQ(connection->State(), kStateOpen);
  // A batch through Execute; the rows of a query run through Execute are discarded.
  connection->Execute("CREATE TABLE t (v INTEGER, w TEXT); INSERT INTO t VALUES (1, 'a'); "
                      "INSERT INTO t VALUES (2, 'b'), (3, 'c'); SELECT * FROM t;");
  connection->Execute("UPDATE t SET v = 3 WHERE v = 99");  // changes no row

  // SQL errors keep SQLite's number, source and message; the recordset opens again after one.
  AutomationError error = Raised([&] { connection->Execute("SELEC 1"); });
  EXPECT_EQ(error.Number(), 1);  // SQLITE_ERROR
  EXPECT_EQ(error.Source(), "SQLite");
  EXPECT_EQ(error.Description(), "near \"SELEC\": syntax error");
  auto records = CreateRecordset();
  error = Raised([&] { records->Open("SELECT * FROM nowhere", connection); });
  EXPECT_EQ(error.Description(), "no such table: nowhere");
  EXPECT_EQ(records->State(), kStateClosed);

  // An empty result is at EOF at once and has no current record.
  records->Open("SELECT v, w FROM t WHERE v > 10", connection);
  EXPECT_TRUE(records->Eof());
  EXPECT_EQ(records->GetFields().Item(1).Name(), "w");
  error = Raised([&] { records->GetFields().Item(0).Value(); });
  EXPECT_NE(error.Description().find("current record"), std::string::npos);
  EXPECT_NE(Raised([&] { records->MoveNext(); }).Number(), 0);
  records->Close();

  // Statements before the query run first.
  records->Open("UPDATE t SET w = 'z' WHERE v = 2; SELECT v, w FROM t ORDER BY v", connection);
  error = Raised([&] { records->Open("SELECT 1", connection); });
  EXPECT_EQ(error.Description(), "Operation is not allowed when the object is open.");
  Field& first = records->GetFields().Item(0);
  EXPECT_EQ(ReadRows(*records).size(), 3u);
  records->MoveFirst();
  EXPECT_EQ(first.Value(), Variant(1));  // the reference stays valid and follows the cursor
  records->MoveNext();
  EXPECT_EQ(first.Value(), Variant(2));
  EXPECT_EQ(records->GetFields().Item(1).Value(), Variant("z"));
  EXPECT_EQ(Raised([&] { records->GetFields().Item(2); }).Source(), "Fields");
  EXPECT_EQ(Raised([&] { records->GetFields().Item(-1); }).Source(), "Fields");
  records->Close();
  EXPECT_EQ(records->GetFields().Count(), 0);
  EXPECT_EQ(Raised([&] { records->Eof(); }).Description(),
            "Operation is not allowed when the object is closed.");
  EXPECT_EQ(Raised([&] { first.Value(); }).Description(),
            "Operation is not allowed when the object is closed.");

  // A statement without rows leaves the recordset closed.
  records->Open("DELETE FROM t WHERE v = 1", connection);
  EXPECT_EQ(records->State(), kStateClosed);

  connection->Close();
  EXPECT_EQ(connection->State(), kStateClosed);
  error = Raised([&] { connection->Execute("SELECT 1"); });
  EXPECT_EQ(error.Description(), "Operation is not allowed when the object is closed.");
  error = Raised([&] { records->Open("SELECT 1", connection); });
  EXPECT_NE(error.Description().find("connection cannot be used"), std::string::npos);
}

TEST(Sqlite, LongTextAndBytesAreReadInChunks) {
  TempFolder folder;
  // 20000 characters, many of them two or four bytes long in UTF-8.
  std::string unit = "aé😀";
  std::string longText;
  for (int i = 0; i < 20000 / 3; ++i) longText += unit;
  longText += "zz";
  std::string blob(70000, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7);
  MakeSqliteFile(folder.File("long.db"), "CREATE TABLE t (id INTEGER, memo TEXT, short TEXT, data BLOB)");
  {
    sqlite3* db;
    sqlite3_open(folder.File("long.db").c_str(), &db);
    sqlite3_stmt* insert;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
    sqlite3_bind_int(insert, 1, 1);
    sqlite3_bind_text(insert, 2, longText.data(), static_cast<int>(longText.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert, 3, "short", -1, SQLITE_STATIC);
    sqlite3_bind_blob(insert, 4, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
    ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_reset(insert);
    sqlite3_bind_int(insert, 1, 2);
    sqlite3_bind_null(insert, 2);
    sqlite3_bind_text(insert, 3, "s2", -1, SQLITE_STATIC);
    sqlite3_bind_null(insert, 4);
    ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_finalize(insert);
    sqlite3_close(db);
  }
  auto connection = OpenConnection(SqliteString(folder.File("long.db"), ";Mode=Read"));
  auto records = CreateRecordset();
  records->Open("SELECT id, memo, short, data FROM t ORDER BY id", connection);
  Fields& fields = records->GetFields();
  EXPECT_EQ(fields.Item(0).Attributes() & kFieldLong, 0);
  EXPECT_EQ(fields.Item(1).Attributes() & kFieldLong, kFieldLong);
  EXPECT_EQ(fields.Item(2).Attributes() & kFieldLong, 0);
  EXPECT_EQ(fields.Item(3).Attributes() & kFieldLong, kFieldLong);

  int chunks = 0;
  EXPECT_EQ(ReadWhole(fields.Item(1), &chunks), Variant(longText));
  EXPECT_EQ(chunks, 2);  // 20000 characters: 16384 + 3616
  EXPECT_TRUE(fields.Item(1).GetChunk(16384).IsNull());  // stays at the end
  chunks = 0;
  EXPECT_EQ(ReadWhole(fields.Item(3), &chunks), Variant::Bytes(blob));
  EXPECT_EQ(chunks, 5);
  EXPECT_EQ(fields.Item(1).Value(), Variant(longText));  // Value is still whole

  // Moving on starts the next record's chunks; a Null gives Null at once.
  records->MoveNext();
  EXPECT_TRUE(fields.Item(1).GetChunk(16384).IsNull());
  EXPECT_EQ(fields.Item(2).GetChunk(1), Variant("s"));
  EXPECT_EQ(fields.Item(2).GetChunk(5), Variant("2"));
  EXPECT_TRUE(fields.Item(2).GetChunk(5).IsNull());
  records->MoveFirst();
  EXPECT_EQ(fields.Item(1).GetChunk(3), Variant(unit));
}

TEST(Sqlite, ManyRowsKeepEveryValueInPlace) {
  // Enough rows for several storage blocks, with values of every kind and size between them.
  auto connection = OpenConnection("Provider=SQLite;Data Source=:memory:");
  connection->Execute(
      "CREATE TABLE t AS WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
      "WHERE i < 9999) SELECT i, CASE WHEN i % 7 = 0 THEN NULL ELSE 'row ' || i END AS label, "
      "i * 0.5 AS half, CASE WHEN i % 1000 = 999 THEN printf('%.*c', 20000 + i, 'x') "
      "WHEN i % 3 = 0 THEN zeroblob(i % 50) ELSE i END AS mixed FROM n");
  auto records = CreateRecordset();
  records->Open("SELECT * FROM t ORDER BY i", connection);
  Fields& fields = records->GetFields();
  EXPECT_EQ(fields.Item(3).Attributes() & kFieldLong, kFieldLong);
  int row = 0;
  for (int pass = 0; pass < 2; ++pass) {  // a second pass after MoveFirst reads the same
    records->MoveFirst();
    for (row = 0; !records->Eof(); ++row, records->MoveNext()) {
      ASSERT_EQ(fields.Item(0).Value(), Variant(row));
      if (row % 7 == 0)
        ASSERT_TRUE(fields.Item(1).Value().IsNull());
      else
        ASSERT_EQ(fields.Item(1).Value(), Variant("row " + std::to_string(row)));
      ASSERT_EQ(fields.Item(2).Value(), Variant(row * 0.5));
      Variant mixed = fields.Item(3).Value();
      if (row % 1000 == 999)
        ASSERT_EQ(mixed, Variant(std::string(static_cast<size_t>(20000 + row), 'x')));
      else if (row % 3 == 0)
        ASSERT_EQ(mixed, Variant::Bytes(std::string(static_cast<size_t>(row % 50), '\0')));
      else
        ASSERT_EQ(mixed, Variant(row));
    }
    EXPECT_EQ(row, 10000);
  }
}

}  // namespace
}  // namespace tabrix::platform
