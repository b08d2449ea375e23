// The ODBC adapter: every connection string that does not name Provider=SQLite, through the
// unixODBC driver manager and its wide-character (UTF-16) functions.
//
// Column types become Variants as follows:
// - TINYINT..BIGINT: numbers (beyond 15 significant digits their decimal text).
// - REAL, FLOAT, DOUBLE: numbers.
// - NUMERIC, DECIMAL: read as text; a number within 15 significant digits, otherwise the
//   decimal text, so that no digit is lost.
// - BIT, and columns whose type name is bool/boolean (drivers that hand Booleans over as text):
//   Booleans.
// - DATE, TIMESTAMP: dates; TIME: the time of day as a fraction of a day. They are read as
//   ODBC's date text and converted here; values without a serial (before 1900, PostgreSQL's
//   "infinity") arrive as that text.
// - BINARY, VARBINARY, LONGVARBINARY: byte strings; these are long fields.
// - Everything else (CHAR, VARCHAR, LONGVARCHAR and their wide forms, GUID, intervals...): text.
//   LONGVARCHAR and WLONGVARCHAR are long fields, as is any column holding a text longer than
//   255 bytes.
// Errors keep the driver's native number (the unspecified provider failure when it gives 0),
// the driver's name as source (the Driver of the string or of the data-source name, "ODBC" when
// neither is known) and "[SQLSTATE] message", its line breaks turned into blanks so that it
// stays one line of the run log.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "db/columnar_result.h"
#include "db/database_errors.h"
#include "db/database_values.h"
#include "db/driver_connection.h"
#include "db/odbc/wide_text.h"
#include "db/provider_translation.h"

namespace tabrix::platform {
namespace {

using odbc::FromWide;
using odbc::ToWide;
using odbc::WideString;

SQLHENV Environment() {
  static SQLHENV environment = SQL_NULL_HENV;
  static std::once_flag once;
  std::call_once(once, [] {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
      environment = SQL_NULL_HENV;
      return;
    }
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
  });
  if (environment == SQL_NULL_HENV)
    RaiseProviderError(0, "ODBC", "The ODBC driver manager could not be initialised.");
  return environment;
}

// "[SQLSTATE] message" of the handle's first diagnostic record, and its native number.
[[noreturn]] void RaiseDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle,
                                   const std::string& source, const std::string& context) {
  SQLWCHAR state[6] = {0};
  SQLINTEGER native = 0;
  std::vector<SQLWCHAR> message(1024);
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLGetDiagRecW(handleType, handle, 1, state, &native, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
  if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
    message.resize(static_cast<std::size_t>(length) + 1);
    rc = SQLGetDiagRecW(handleType, handle, 1, state, &native, message.data(),
                        static_cast<SQLSMALLINT>(message.size()), &length);
  }
  if (!SQL_SUCCEEDED(rc)) RaiseProviderError(0, source, context + " failed without a message.");
  std::string text = FromWide(message.data(), std::min<std::size_t>(
                                                  static_cast<std::size_t>(length), message.size()));
  std::string oneLine;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!oneLine.empty() && oneLine.back() != ' ') oneLine += ' ';
    } else {
      oneLine += c;
    }
  }
  while (!oneLine.empty() && oneLine.back() == ' ') oneLine.pop_back();
  text = std::move(oneLine);
  RaiseProviderError(native, source, "[" + FromWide(state, 5) + "] " + text);
}

// The listings walk a position kept in the shared environment: one walker at a time.
std::mutex& ListingMutex() {
  static std::mutex walking;
  return walking;
}

// The Driver entry of a data-source name, "" when the name is not defined.
std::string DriverOfDataSource(const std::string& dsn) {
  SQLHENV environment = Environment();
  SQLWCHAR name[SQL_MAX_DSN_LENGTH + 1];
  SQLWCHAR description[512];
  SQLSMALLINT nameLength = 0, descriptionLength = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
  };
  std::string wanted = lower(dsn);
  std::lock_guard<std::mutex> lock(ListingMutex());
  while (SQL_SUCCEEDED(SQLDataSourcesW(environment, direction, name, SQL_MAX_DSN_LENGTH + 1,
                                       &nameLength, description, 512, &descriptionLength))) {
    direction = SQL_FETCH_NEXT;
    if (lower(FromWide(name, static_cast<std::size_t>(nameLength))) == wanted)
      return FromWide(description, static_cast<std::size_t>(descriptionLength));
  }
  return std::string();
}

class StatementHandle {
 public:
  explicit StatementHandle(SQLHDBC connection, const std::string& source) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_)))
      RaiseDiagnostics(SQL_HANDLE_DBC, connection, source, "Allocating a statement");
  }
  StatementHandle(const StatementHandle&) = delete;
  StatementHandle& operator=(const StatementHandle&) = delete;
  ~StatementHandle() { SQLFreeHandle(SQL_HANDLE_STMT, handle_); }
  SQLHSTMT Get() const { return handle_; }

 private:
  SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

enum class Reader { kInteger, kDouble, kExact, kBoolean, kTimestamp, kTime, kText, kBinary };

struct ColumnReader {
  Reader reader;
  bool longType;
};

ColumnReader ReaderFor(SQLSMALLINT type, const std::string& typeName) {
  std::string name;
  for (char c : typeName) name += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (name == "bool" || name == "boolean") return {Reader::kBoolean, false};
  switch (type) {
    case SQL_BIT: return {Reader::kBoolean, false};
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: return {Reader::kInteger, false};
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: return {Reader::kDouble, false};
    case SQL_NUMERIC:
    case SQL_DECIMAL: return {Reader::kExact, false};
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME:   // ODBC 2 date
    case SQL_TIMESTAMP:  // ODBC 2 timestamp
      return {Reader::kTimestamp, false};
    case SQL_TYPE_TIME:
    case SQL_TIME: return {Reader::kTime, false};
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return {Reader::kBinary, true};
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR: return {Reader::kText, true};
    default: return {Reader::kText, false};
  }
}

class OdbcConnection final : public DriverConnection {
 public:
  OdbcConnection(SQLHDBC connection, std::string source)
      : connection_(connection), source_(std::move(source)) {}
  ~OdbcConnection() override {
    SQLDisconnect(connection_);
    SQLFreeHandle(SQL_HANDLE_DBC, connection_);
  }

  void Execute(const std::string& sql) override {
    StatementHandle statement(connection_, source_);
    Run(statement.Get(), sql);
    // Every result of a batch is consumed, so that all of its statements run.
    SQLRETURN rc;
    while (SQL_SUCCEEDED(rc = SQLMoreResults(statement.Get()))) {
    }
    if (rc == SQL_ERROR) RaiseDiagnostics(SQL_HANDLE_STMT, statement.Get(), source_, "Execute");
  }

  std::unique_ptr<QueryResult> Query(const std::string& sql) override {
    StatementHandle statement(connection_, source_);
    SQLHSTMT handle = statement.Get();
    Run(handle, sql);
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(handle, &count)))
      RaiseDiagnostics(SQL_HANDLE_STMT, handle, source_, "Query");
    while (count == 0) {
      SQLRETURN rc = SQLMoreResults(handle);
      if (rc == SQL_NO_DATA) return std::make_unique<ColumnarResult>(std::vector<std::string>{});
      if (!SQL_SUCCEEDED(rc)) RaiseDiagnostics(SQL_HANDLE_STMT, handle, source_, "Query");
      if (!SQL_SUCCEEDED(SQLNumResultCols(handle, &count)))
        RaiseDiagnostics(SQL_HANDLE_STMT, handle, source_, "Query");
    }
    return ReadRows(handle, count);
  }

 private:
  void Run(SQLHSTMT statement, const std::string& sql) {
    WideString text = ToWide(sql);
    SQLRETURN rc = SQLExecDirectW(statement, text.data(), static_cast<SQLINTEGER>(text.size()));
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc))
      RaiseDiagnostics(SQL_HANDLE_STMT, statement, source_, "Execute");
  }

  std::unique_ptr<QueryResult> ReadRows(SQLHSTMT statement, SQLSMALLINT count) {
    std::vector<std::string> names;
    std::vector<ColumnReader> readers;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
      SQLWCHAR name[1024];
      SQLSMALLINT nameLength = 0, type = 0, decimals = 0, nullable = 0;
      SQLULEN size = 0;
      if (!SQL_SUCCEEDED(SQLDescribeColW(statement, i, name, 1024, &nameLength, &type, &size,
                                         &decimals, &nullable)))
        RaiseDiagnostics(SQL_HANDLE_STMT, statement, source_, "Describing a column");
      SQLWCHAR typeName[256];
      SQLSMALLINT typeNameLength = 0;
      std::string typeText;
      if (SQL_SUCCEEDED(SQLColAttributeW(statement, i, SQL_DESC_TYPE_NAME, typeName,
                                         sizeof typeName, &typeNameLength, nullptr)))
        typeText = FromWide(typeName, std::min<std::size_t>(typeNameLength / sizeof(SQLWCHAR), 255));
      names.push_back(FromWide(name, std::min<std::size_t>(static_cast<std::size_t>(nameLength), 1023)));
      readers.push_back(ReaderFor(type, typeText));
    }
    auto result = std::make_unique<ColumnarResult>(std::move(names));
    for (SQLSMALLINT i = 0; i < count; ++i) {
      if (readers[static_cast<std::size_t>(i)].longType) result->AddAttributes(i, kFieldLong);
    }
    SQLRETURN rc;
    while (SQL_SUCCEEDED(rc = SQLFetch(statement))) {
      for (SQLSMALLINT i = 0; i < count; ++i)
        ReadValue(statement, static_cast<SQLUSMALLINT>(i + 1),
                  readers[static_cast<std::size_t>(i)].reader, result->Column(i));
      result->CommitRow();
    }
    if (rc != SQL_NO_DATA) RaiseDiagnostics(SQL_HANDLE_STMT, statement, source_, "Fetch");
    return result;
  }

  // Reads a character or binary value whole, piece by piece; false for NULL.
  bool ReadPieces(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT cType, std::string& out) {
    const std::size_t terminator = cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : cType == SQL_C_CHAR ? 1 : 0;
    buffer_.resize(32768);
    out.clear();
    for (bool first = true;; first = false) {
      SQLLEN indicator = 0;
      SQLRETURN rc = SQLGetData(statement, column, cType, buffer_.data(),
                                static_cast<SQLLEN>(buffer_.size()), &indicator);
      if (rc == SQL_NO_DATA) return !first;
      if (!SQL_SUCCEEDED(rc)) RaiseDiagnostics(SQL_HANDLE_STMT, statement, source_, "Reading a value");
      if (indicator == SQL_NULL_DATA) return false;
      std::size_t usable = buffer_.size() - terminator;
      if (indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > usable) {
        out.append(buffer_.data(), usable);
        if (rc == SQL_SUCCESS) return true;
        continue;
      }
      out.append(buffer_.data(), static_cast<std::size_t>(indicator));
      return true;
    }
  }

  template <typename T>
  bool ReadFixed(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT cType, T& value) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(statement, column, cType, &value, sizeof value, &indicator);
    if (!SQL_SUCCEEDED(rc)) RaiseDiagnostics(SQL_HANDLE_STMT, statement, source_, "Reading a value");
    return indicator != SQL_NULL_DATA;
  }

  std::string ReadText(SQLHSTMT statement, SQLUSMALLINT column, bool& isNull) {
    isNull = !ReadPieces(statement, column, SQL_C_WCHAR, pieces_);
    if (isNull) return std::string();
    return FromWide(reinterpret_cast<const SQLWCHAR*>(pieces_.data()),
                    pieces_.size() / sizeof(SQLWCHAR));
  }

  void ReadValue(SQLHSTMT statement, SQLUSMALLINT column, Reader reader, ResultColumn& out) {
    switch (reader) {
      case Reader::kInteger: {
        SQLBIGINT value = 0;
        if (!ReadFixed(statement, column, SQL_C_SBIGINT, value)) return out.AppendNull();
        return out.Append(IntegerToVariant(value));
      }
      case Reader::kDouble: {
        SQLDOUBLE value = 0;
        if (!ReadFixed(statement, column, SQL_C_DOUBLE, value)) return out.AppendNull();
        return out.AppendNumber(value);
      }
      case Reader::kExact: {
        bool isNull;
        std::string text = ReadText(statement, column, isNull);
        if (isNull) return out.AppendNull();
        return out.Append(ExactNumberToVariant(text));
      }
      case Reader::kBoolean: {
        bool isNull;
        std::string text = ReadText(statement, column, isNull);
        if (isNull) return out.AppendNull();
        bool value;
        if (BooleanFromText(text, value)) return out.AppendBoolean(value);
        return out.AppendText(text);
      }
      case Reader::kTimestamp:
      case Reader::kTime: {
        // Read as the text ODBC defines for dates and times (yyyy-mm-dd hh:mm:ss.fff), so that
        // fractions of seconds survive and values without a serial (pre-1900, "infinity")
        // arrive as the driver writes them.
        bool isNull;
        std::string text = ReadText(statement, column, isNull);
        if (isNull) return out.AppendNull();
        double serial;
        if (SerialFromIsoText(text, serial)) return out.AppendDate(serial);
        return out.AppendText(text);
      }
      case Reader::kBinary: {
        if (!ReadPieces(statement, column, SQL_C_BINARY, pieces_)) return out.AppendNull();
        return out.AppendBytes(pieces_);
      }
      case Reader::kText: {
        bool isNull;
        std::string text = ReadText(statement, column, isNull);
        if (isNull) return out.AppendNull();
        return out.AppendText(text);
      }
    }
  }

  SQLHDBC connection_;
  std::string source_;
  std::vector<char> buffer_;
  std::string pieces_;
};

}  // namespace

std::vector<std::string> InstalledOdbcDrivers() {
  SQLHENV environment = Environment();
  SQLWCHAR name[512];
  SQLWCHAR attributes[2048];
  SQLSMALLINT nameLength = 0, attributesLength = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  std::vector<std::string> names;
  std::lock_guard<std::mutex> lock(ListingMutex());
  while (SQL_SUCCEEDED(SQLDriversW(environment, direction, name, 512, &nameLength, attributes,
                                   2048, &attributesLength))) {
    direction = SQL_FETCH_NEXT;
    names.push_back(FromWide(name, std::min<std::size_t>(static_cast<std::size_t>(nameLength), 511)));
  }
  return names;
}

std::unique_ptr<DriverConnection> OpenOdbcConnection(
    std::vector<ConnectionStringItem> items, const std::string& user, const std::string& password,
    const std::string& baseFolder) {
  // Relative database files lie in the base folder, as for the SQLite adapter.
  std::string driverName;
  for (char c : FindConnectionValue(items, "driver").value_or(""))
    driverName += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  bool sqliteDriver = driverName.find("sqlite") != std::string::npos;
  for (auto& item : items) {
    std::string key;
    for (char c : item.key)
      if (c != ' ') key += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (!item.value.empty() && item.value != ":memory:" &&
        (key == "dbq" || (key == "database" && sqliteDriver)))
      item.value = ResolveConnectionFile(item.value, baseFolder);
  }
  std::string text = ComposeOdbcConnectionString(items, user, password);
  auto parsed = ParseConnectionString(text);
  std::string source;
  if (auto driver = FindConnectionValue(parsed, "driver")) {
    source = *driver;
  } else if (auto dsn = FindConnectionValue(parsed, "dsn")) {
    source = DriverOfDataSource(*dsn);
  }
  if (source.empty()) source = "ODBC";
  // Drivers that read a file (mdbtools among them) fail without a message when it is missing.
  std::string context = "Connecting";
  if (auto file = FindConnectionValue(parsed, "dbq"); file && !file->empty()) {
    std::error_code ignored;
    if (!std::filesystem::exists(*file, ignored))
      RaiseProviderError(0, source, "The database file \"" + *file + "\" does not exist.");
    context = "Opening the database file \"" + *file + "\"";
  }

  SQLHENV environment = Environment();
  SQLHDBC connection = SQL_NULL_HDBC;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection)))
    RaiseDiagnostics(SQL_HANDLE_ENV, environment, source, "Allocating a connection");
  SQLSetConnectAttrW(connection, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(30), 0);
  WideString wide = ToWide(text);
  SQLWCHAR completed[2048];
  SQLSMALLINT completedLength = 0;
  SQLRETURN rc = SQLDriverConnectW(connection, nullptr, wide.data(),
                                   static_cast<SQLSMALLINT>(wide.size()), completed, 2048,
                                   &completedLength, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    try {
      RaiseDiagnostics(SQL_HANDLE_DBC, connection, source, context);
    } catch (...) {
      SQLFreeHandle(SQL_HANDLE_DBC, connection);
      throw;
    }
  }
  return std::make_unique<OdbcConnection>(connection, source);
}

}  // namespace tabrix::platform
