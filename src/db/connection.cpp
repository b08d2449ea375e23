// The Connection handed out by CreateConnection: keeps the connection string and the base
// folder, and on Open chooses the adapter: SQLite for "Provider=SQLite", ODBC for the rest
// (other providers become the ODBC driver that serves their databases, see provider_translation).
#include <utility>

#include "db/connection_string.h"
#include "db/database_errors.h"
#include "db/driver_connection.h"
#include "db/provider_translation.h"
#include "tabrix/platform/database.h"

namespace tabrix::platform {
namespace {

class StandardConnection final : public Connection {
 public:
  void SetConnectionString(const std::string& text) override {
    if (driver_) RaiseObjectOpen("Connection");
    connectionString_ = text;
  }
  std::string ConnectionString() const override { return connectionString_; }
  void SetBaseFolder(const std::string& folder) override { baseFolder_ = folder; }

  void Open(const std::string& connectionString, const std::string& user,
            const std::string& password, int /*options*/) override {
    if (driver_) RaiseObjectOpen("Connection");
    if (!connectionString.empty()) connectionString_ = connectionString;
    auto items = ParseConnectionString(connectionString_);
    if (NamesSqliteProvider(items)) {
      driver_ = OpenSqliteConnection(items, baseFolder_);
      return;
    }
    driver_ = OpenOdbcConnection(TranslateProvider(items, baseFolder_, InstalledOdbcDrivers).items,
                                 user, password, baseFolder_);
  }

  int State() const override { return driver_ ? kStateOpen : kStateClosed; }

  void Close() override {
    if (!driver_) RaiseObjectClosed("Connection");
    driver_.reset();
  }

  void Execute(const std::string& commandText, int /*options*/) override {
    if (!driver_) RaiseObjectClosed("Connection");
    driver_->Execute(commandText);
  }

  std::unique_ptr<QueryResult> Query(const std::string& sql) override {
    if (!driver_) RaiseConnectionUnusable("Recordset");
    return driver_->Query(sql);
  }

 private:
  std::string connectionString_;
  std::string baseFolder_;
  std::unique_ptr<DriverConnection> driver_;
};

}  // namespace

std::shared_ptr<Connection> CreateConnection() { return std::make_shared<StandardConnection>(); }

std::vector<std::string> ConnectionStringWarnings(const std::string& connectionString) {
  try {
    auto items = ParseConnectionString(connectionString);
    if (NamesSqliteProvider(items)) return {};
    return TranslateProvider(items, "", nullptr).warnings;
  } catch (...) {
    return {};  // a malformed string fails when it is opened, with its own message
  }
}

}  // namespace tabrix::platform
