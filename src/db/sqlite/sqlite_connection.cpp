// The embedded SQLite adapter ("Provider=SQLite;Data Source=<file>[;Mode=Read|ReadWrite|
// ReadWriteCreate]").
//
// SQLite values carry their own type: INTEGER and REAL become numbers (integers beyond 15
// significant digits their decimal text), TEXT text, BLOB byte strings, NULL Null. The column's
// declared type refines this where it says more, because SQLite stores dates and Booleans as
// text or numbers:
// - DATE, DATETIME, TIME, TIMESTAMP (and names starting with DATETIME or TIMESTAMP): ISO 8601
//   text becomes a date (a time of day alone its fraction of a day), a REAL a Julian day number
//   and an INTEGER Unix time, SQLite's own date forms. Values that are none of these, or lie
//   before 1900, stay as they are.
// - BOOLEAN, BOOL, BIT: numbers become True when not 0, the texts true/false, t/f, yes/no, 1/0
//   Booleans; other values stay as they are.
// Only columns taken straight from a table have a declared type; computed columns keep the
// stored types. A column is a long field when its declared type names a BLOB, when it holds a
// byte string, or when one of its texts is longer than 255 bytes.
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "db/columnar_result.h"
#include "db/database_errors.h"
#include "db/database_values.h"
#include "db/driver_connection.h"
#include "support/utf8.h"
#include "tabrix/error.h"

namespace tabrix::platform {
namespace {

constexpr const char* kSource = "SQLite";

enum class DeclaredKind { kPlain, kDate, kBoolean };

std::string Upper(std::string_view text) {
  std::string out;
  for (char c : text) out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return out;
}

DeclaredKind KindOfDeclaredType(const char* declared) {
  if (!declared) return DeclaredKind::kPlain;
  std::string type = Upper(declared);
  std::size_t cut = type.find_first_of("( ");
  std::string name = type.substr(0, cut);
  if (name == "DATE" || name == "DATETIME" || name == "TIME" || name == "TIMESTAMP" ||
      name.rfind("DATETIME", 0) == 0 || name.rfind("TIMESTAMP", 0) == 0)
    return DeclaredKind::kDate;
  if (name == "BOOLEAN" || name == "BOOL" || name == "BIT") return DeclaredKind::kBoolean;
  return DeclaredKind::kPlain;
}

[[noreturn]] void RaiseSqlite(sqlite3* db, int code) {
  std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  int number = db ? sqlite3_extended_errcode(db) : code;
  RaiseProviderError(number, kSource, message);
}

class SqliteStatement {
 public:
  SqliteStatement() = default;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  ~SqliteStatement() { sqlite3_finalize(statement_); }
  sqlite3_stmt** Out() { return &statement_; }
  sqlite3_stmt* Get() const { return statement_; }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// Text of a value as UTF-8. SQLite stores whatever bytes it is given; bytes that are not UTF-8
// (legacy 8-bit text) become U+FFFD here, so no later step meets them (support/utf8.h).
std::string_view TextOf(sqlite3_value* value) {
  thread_local std::string repaired;
  const char* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  const std::string_view view(text, static_cast<std::size_t>(sqlite3_value_bytes(value)));
  if (utf8::IsWellFormed(view)) return view;
  repaired = utf8::Repaired(view);
  return repaired;
}

void AppendDateValue(sqlite3_value* value, int type, ResultColumn& column) {
  double serial;
  if (type == SQLITE_TEXT) {
    std::string_view view = TextOf(value);
    if (SerialFromIsoText(view, serial))
      column.AppendDate(serial);
    else
      column.AppendText(view);
  } else if (type == SQLITE_FLOAT) {
    double number = sqlite3_value_double(value);
    if (SerialFromJulianDay(number, serial))
      column.AppendDate(serial);
    else
      column.AppendNumber(number);
  } else {  // SQLITE_INTEGER
    sqlite3_int64 number = sqlite3_value_int64(value);
    if (SerialFromUnixTime(static_cast<double>(number), serial))
      column.AppendDate(serial);
    else
      column.Append(IntegerToVariant(number));
  }
}

void AppendBooleanValue(sqlite3_value* value, int type, ResultColumn& column) {
  if (type == SQLITE_TEXT) {
    std::string_view view = TextOf(value);
    bool flag;
    if (BooleanFromText(view, flag))
      column.AppendBoolean(flag);
    else
      column.AppendText(view);
  } else {
    column.AppendBoolean(sqlite3_value_double(value) != 0.0);
  }
}

class SqliteConnection final : public DriverConnection {
 public:
  explicit SqliteConnection(sqlite3* db) : db_(db) {}
  ~SqliteConnection() override { sqlite3_close_v2(db_); }

  void Execute(const std::string& sql) override {
    char* error = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
      std::string message = error ? error : sqlite3_errstr(rc);
      sqlite3_free(error);
      RaiseProviderError(sqlite3_extended_errcode(db_), kSource, message);
    }
  }

  // Statements before the first one that returns columns are run; that one gives the rows.
  std::unique_ptr<QueryResult> Query(const std::string& sql) override {
    const char* next = sql.c_str();
    const char* end = next + sql.size();
    while (next < end) {
      SqliteStatement statement;
      const char* tail = nullptr;
      int rc = sqlite3_prepare_v2(db_, next, static_cast<int>(end - next), statement.Out(), &tail);
      if (rc != SQLITE_OK) RaiseSqlite(db_, rc);
      next = tail;
      if (!statement.Get()) continue;  // blank or comment
      if (sqlite3_column_count(statement.Get()) == 0) {
        while ((rc = sqlite3_step(statement.Get())) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) RaiseSqlite(db_, rc);
        continue;
      }
      return ReadRows(statement.Get());
    }
    return std::make_unique<ColumnarResult>(std::vector<std::string>{});
  }

 private:
  std::unique_ptr<QueryResult> ReadRows(sqlite3_stmt* statement) {
    int count = sqlite3_column_count(statement);
    std::vector<std::string> names;
    std::vector<DeclaredKind> kinds;
    for (int i = 0; i < count; ++i) {
      const char* name = sqlite3_column_name(statement, i);
      names.emplace_back(name ? name : "");
      kinds.push_back(KindOfDeclaredType(sqlite3_column_decltype(statement, i)));
    }
    auto result = std::make_unique<ColumnarResult>(std::move(names));
    for (int i = 0; i < count; ++i) {
      const char* declared = sqlite3_column_decltype(statement, i);
      if (declared && Upper(declared).find("BLOB") != std::string::npos)
        result->AddAttributes(i, kFieldLong);
    }
    std::vector<ResultColumn*> columns;
    for (int i = 0; i < count; ++i) columns.push_back(&result->Column(i));

    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      for (int i = 0; i < count; ++i) {
        ResultColumn& column = *columns[static_cast<std::size_t>(i)];
        // The column's value object: cheaper to ask than the statement, and valid until the
        // next step.
        sqlite3_value* value = sqlite3_column_value(statement, i);
        int type = sqlite3_value_type(value);
        if (type == SQLITE_NULL) {
          column.AppendNull();
          continue;
        }
        DeclaredKind kind = kinds[static_cast<std::size_t>(i)];
        if (kind == DeclaredKind::kDate && type != SQLITE_BLOB) {
          AppendDateValue(value, type, column);
          continue;
        }
        if (kind == DeclaredKind::kBoolean && type != SQLITE_BLOB) {
          AppendBooleanValue(value, type, column);
          continue;
        }
        switch (type) {
          case SQLITE_INTEGER: {
            sqlite3_int64 number = sqlite3_value_int64(value);
            if (number < 1000000000000000 && number > -1000000000000000)
              column.AppendNumber(static_cast<double>(number));
            else
              column.Append(IntegerToVariant(number));
            break;
          }
          case SQLITE_FLOAT:
            column.AppendNumber(sqlite3_value_double(value));
            break;
          case SQLITE_TEXT:
            column.AppendText(TextOf(value));
            break;
          default: {  // SQLITE_BLOB
            const void* data = sqlite3_value_blob(value);
            int size = sqlite3_value_bytes(value);
            column.AppendBytes(std::string_view(static_cast<const char*>(data),
                                                static_cast<std::size_t>(size)));
            break;
          }
        }
      }
      result->CommitRow();
    }
    if (rc != SQLITE_DONE) RaiseSqlite(db_, rc);
    return result;
  }

  sqlite3* db_;
};

}  // namespace

std::unique_ptr<DriverConnection> OpenSqliteConnection(
    const std::vector<ConnectionStringItem>& items, const std::string& baseFolder) {
  std::string dataSource = FindConnectionValue(items, "data source").value_or("");
  if (dataSource.empty()) {
    throw AutomationError(kErrProviderFailure, kSource,
                          "No database file is given (\"Data Source\" is missing or empty).");
  }
  std::string mode = Upper(FindConnectionValue(items, "mode").value_or(""));
  std::string compact;
  for (char c : mode) {
    if (c != ' ') compact += c;
  }
  int flags;
  if (compact == "READ")
    flags = SQLITE_OPEN_READONLY;
  else if (compact == "READWRITECREATE")
    flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  else if (compact.empty() || compact == "READWRITE" || compact == "WRITE" ||
           compact.rfind("SHARE", 0) == 0)
    flags = SQLITE_OPEN_READWRITE;
  else
    throw AutomationError(kErrProviderFailure, kSource,
                          "Unknown Mode \"" + mode + "\" (Read, ReadWrite or ReadWriteCreate).");

  std::string path = dataSource == ":memory:" ? dataSource : ResolveConnectionFile(dataSource, baseFolder);
  if (dataSource != ":memory:" && !(flags & SQLITE_OPEN_CREATE)) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
      RaiseProviderError(SQLITE_CANTOPEN, kSource,
                         "The database file \"" + path + "\" does not exist.");
    }
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    int number = db ? sqlite3_extended_errcode(db) : rc;
    sqlite3_close_v2(db);
    RaiseProviderError(number, kSource, message + ": \"" + path + "\"");
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, 5000);
  // Reading the schema now turns a file that is not a database into an error of Open.
  rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = sqlite3_errmsg(db);
    int number = sqlite3_extended_errcode(db);
    sqlite3_close_v2(db);
    RaiseProviderError(number, kSource, message + ": \"" + path + "\"");
  }
  return std::make_unique<SqliteConnection>(db);
}

}  // namespace tabrix::platform
