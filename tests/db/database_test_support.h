// Helpers of the database tests: SQLite files made with the SQLite library
// itself, the servers started by scripts/test-services.sh, and reading recordsets.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "fixtures/office_tools.h"
#include "fixtures/required_tools.h"
#include "tabrix/error.h"
#include "tabrix/platform/database.h"
#include "tabrix/variant.h"

namespace tabrix {
// Readable values in test failures.
inline void PrintTo(const Variant& value, std::ostream* out) {
  static const char* const kTypes[] = {"Empty", "Null", "Boolean", "Number", "Currency",
                                       "Date", "Text", "Bytes"};
  *out << kTypes[static_cast<int>(value.Type())] << "(" << value.ToText() << ")";
}
}  // namespace tabrix

namespace tabrix::platform::testing {

using tabrix::testing::TempFolder;

// Creates (or extends) a SQLite database file by running `sql` with the SQLite library.
inline void MakeSqliteFile(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
}

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

inline std::shared_ptr<Connection> OpenConnection(const std::string& connectionString,
                                                  const std::string& user = "",
                                                  const std::string& password = "",
                                                  const std::string& baseFolder = "") {
  auto connection = CreateConnection();
  connection->SetBaseFolder(baseFolder);
  connection->SetConnectionString(connectionString);
  connection->Open("", user, password, -1);
  return connection;
}

// The value the report engines read: long fields assembled from 16384-character chunks.
inline Variant ReadWhole(Field& field, int* chunks = nullptr) {
  if (!(field.Attributes() & kFieldLong)) return field.Value();
  std::string text;
  bool bytes = false;
  for (;;) {
    Variant chunk = field.GetChunk(16384);
    if (chunk.IsNull() || chunk.Text().empty()) break;
    bytes = chunk.Type() == VariantType::Bytes;
    text += chunk.Text();
    if (chunks) ++*chunks;
  }
  return bytes ? Variant::Bytes(text) : Variant(text);
}

// Every record from the current position on, field values as Value gives them.
inline std::vector<std::vector<Variant>> ReadRows(Recordset& records) {
  std::vector<std::vector<Variant>> rows;
  while (!records.Eof()) {
    std::vector<Variant> row;
    for (int i = 0; i < records.GetFields().Count(); ++i)
      row.push_back(records.GetFields().Item(i).Value());
    rows.push_back(std::move(row));
    records.MoveNext();
  }
  return rows;
}

// Runs `action`, which must raise an AutomationError, and returns it.
template <typename Action>
AutomationError Raised(Action action) {
  try {
    action();
  } catch (const AutomationError& error) {
    return error;
  }
  ADD_FAILURE() << "no AutomationError was raised";
  return AutomationError(0, "", "");
}

// Serial of a civil date in the spreadsheet's 1900 date system, counted independently of the
// adapters: days from 1899-12-31 by walking the calendar.
inline double SerialOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  long serial = 0;
  for (int y = 1900; y < year; ++y) serial += leap(y) ? 366 : 365;
  for (int m = 1; m < month; ++m) serial += days[m - 1] + (m == 2 && leap(year) ? 1 : 0);
  serial += day;
  if (serial >= 60) ++serial;  // the spreadsheet's 1900-02-29
  return static_cast<double>(serial) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

}  // namespace tabrix::platform::testing
