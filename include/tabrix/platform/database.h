// The database operations the report engines rely on: connections, recordsets and fields.
// SQLite (embedded) and ODBC adapters sit behind them (src/platform/sqlite, src/platform/odbc).
// Failures are AutomationErrors carrying the provider's number, source and message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tabrix/variant.h"

namespace tabrix::platform {

inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpen = 1;
inline constexpr std::int32_t kFieldLong = 0x80;  // Field.Attributes bit of long text/binary fields

// The rows of one query, as a connection delivers them to a recordset.
class QueryResult {
 public:
  virtual ~QueryResult() = default;
  virtual std::int32_t FieldCount() const = 0;
  virtual std::string FieldName(std::int32_t field) const = 0;
  virtual std::int32_t FieldAttributes(std::int32_t field) const = 0;
  virtual std::int64_t RecordCount() const = 0;
  // Value of a field of a record (0-based); Null for SQL NULL. May raise.
  virtual Variant Value(std::int64_t record, std::int32_t field) const = 0;
};

class Connection {
 public:
  virtual ~Connection() = default;
  virtual void SetConnectionString(const std::string& text) = 0;
  virtual std::string ConnectionString() const = 0;
  // Folder that relative file names in the connection string are resolved against.
  virtual void SetBaseFolder(const std::string& folder) = 0;
  // Open(connection string or "" for the one set, user, password, options).
  virtual void Open(const std::string& connectionString, const std::string& user,
                    const std::string& password, int options = -1) = 0;
  virtual int State() const = 0;
  virtual void Close() = 0;
  // Runs a statement; any rows it returns are discarded.
  virtual void Execute(const std::string& commandText, int options = -1) = 0;
  // Runs a query and returns all of its rows.
  virtual std::unique_ptr<QueryResult> Query(const std::string& sql) = 0;
};

class Field {
 public:
  virtual ~Field() = default;
  virtual std::string Name() const = 0;
  virtual std::int32_t Attributes() const = 0;
  virtual Variant Value() const = 0;
  // The next piece of a long field (text or bytes); Null or empty at the end.
  virtual Variant GetChunk(std::int32_t size) = 0;
};

class Fields {
 public:
  virtual ~Fields() = default;
  virtual std::int32_t Count() const = 0;
  virtual Field& Item(std::int32_t index) = 0;  // 0-based; raises for an index out of range
};

class Recordset {
 public:
  virtual ~Recordset() = default;
  // Open(source SQL, active connection, cursor type, lock type, options): a static cursor on the
  // first record.
  virtual void Open(const std::string& source, std::shared_ptr<Connection> activeConnection,
                    int cursorType = -1, int lockType = -1, int options = -1) = 0;
  virtual int State() const = 0;
  virtual void Close() = 0;
  virtual bool Eof() const = 0;  // EOF of the object model
  virtual void MoveFirst() = 0;
  virtual void MoveNext() = 0;
  virtual Fields& GetFields() = 0;
};

// A new, closed connection: SQLite for "Provider=SQLite;...", ODBC for every other string.
std::shared_ptr<Connection> CreateConnection();
// Keys of a connection string that are dropped because they have no meaning here (Integrated
// Security=SSPI, Persist Security Info...) and a provider that is not known, one line each.
// Nothing for a malformed string.
std::vector<std::string> ConnectionStringWarnings(const std::string& connectionString);
// A new, closed recordset.
std::shared_ptr<Recordset> CreateRecordset();
// A recordset open on the first of `rows`: rows the host gathered itself, from data that was
// never in a database. Closing it releases them.
std::shared_ptr<Recordset> CreateRecordset(std::unique_ptr<QueryResult> rows);

}  // namespace tabrix::platform
