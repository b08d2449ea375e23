// An open connection of one adapter (SQLite or ODBC). The Connection object behind
// CreateConnection keeps the connection string and state and hands the work to one of these.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/connection_string.h"
#include "tabrix/platform/database.h"

namespace tabrix::platform {

class DriverConnection {
 public:
  virtual ~DriverConnection() = default;
  // Runs statements; rows they return are discarded. Raises the provider's error.
  virtual void Execute(const std::string& sql) = 0;
  // Runs a query; all of its rows. A statement that returns no rows gives a result without
  // fields. Raises the provider's error.
  virtual std::unique_ptr<QueryResult> Query(const std::string& sql) = 0;
};

// "Provider=SQLite": Data Source (resolved against baseFolder when relative), Mode.
std::unique_ptr<DriverConnection> OpenSqliteConnection(
    const std::vector<ConnectionStringItem>& items, const std::string& baseFolder);

// Any other string, through the ODBC driver manager. Files named by DBQ, and by Database for
// the SQLite drivers, are resolved against baseFolder when relative.
std::unique_ptr<DriverConnection> OpenOdbcConnection(
    std::vector<ConnectionStringItem> items, const std::string& user, const std::string& password,
    const std::string& baseFolder);

}  // namespace tabrix::platform
