// Connecting and disconnecting the data sources of a run (see connections.h).
#include "component/connections.h"

#include "component/run_context.h"
#include "support/run_log.h"
#include "support/secret_wipe.h"
#include "tabrix/error.h"
#include "tabrix/platform/database.h"

namespace tabrix {
namespace {

// "， USER=" with the full-width comma U+FF0C.
constexpr const char* kUserSeparator = "\xEF\xBC\x8C USER=";

std::string DataSourceText(const DataSourceEntry& row) {
  std::string text = "DSN=" + row.Name;
  if (!row.User.empty()) text += kUserSeparator + row.User;
  return text;
}

void WriteLogLine(RunContext& run, const std::string& text) {
  if (run.Log) run.Log->WriteLine(text);
}

void WriteErrorEntry(RunContext& run, const std::string& message, const std::string& information) {
  if (!run.Log) return;
  try {
    run.Log->WriteErrorEntry(message, information);
  } catch (...) {
  }
}

// What makes two connections the same: definition folder (relative database files), connection
// string and login.
std::string ReuseKey(const RunContext& run, const DataSourceEntry& row) {
  std::string key = run.DefinitionFolder;
  for (const std::string* part : {&row.ConnectionString, &row.Name, &row.User, &row.Password}) {
    key += '\0';
    key += *part;
  }
  return key;
}

[[noreturn]] void RaiseObjectNotSet() {
  throw AutomationError(91, kProductName, "Object variable or With block variable not set");
}

}  // namespace

bool ConnectDataSource(RunContext& run, std::int16_t& index) {
  const auto i = static_cast<std::size_t>(index);
  if (index < 0 || index > kMaxDataSources) RaiseRuntimeError(kErrSubscriptOutOfRange);
  DataSourceEntry& row = run.DataSources[i];
  try {
    const ConnectionPtr created = platform::CreateConnection();
    run.Connections[i] = created;
    run.Recordsets[i] = platform::CreateRecordset();
    if (run.Events) run.Events->BeforeConnect(row.User, row.Password, row.Name, run.Connections[i]);
    ConnectionPtr connection = run.Connections[i];
    if (!connection) RaiseObjectNotSet();
    // A connection of the host's own (set in BeforeConnect) is used as given and never kept.
    ConnectionPtr kept;
    if (run.ConnectionReuse && connection == created) {
      run.ReuseKeys[i] = ReuseKey(run, row);
      kept = run.ConnectionReuse->Take(run.ReuseKeys[i]);
    }
    if (kept) {
      run.Connections[i] = kept;
    } else {
      connection->SetBaseFolder(run.DefinitionFolder);
      connection->SetConnectionString(!row.ConnectionString.empty()
                                          ? row.ConnectionString
                                          : "User ID=" + row.User + ";Password=" + row.Password +
                                                ";Data Source=" + row.Name);
      if (!row.User.empty())
        connection->Open("", row.User, row.Password, -1);
      else
        connection->Open("", "", "", -1);
    }
    if (!row.ConnectionString.empty())
      WriteLogLine(run, "Connect to database successfully. DSN=" + row.Name + ", Using a connection string.");
    else
      WriteLogLine(run, "Connect to database successfully. " + DataSourceText(row));
    return true;
  } catch (...) {
    const AutomationError error = ToAutomationError(std::current_exception());
    if (!row.ConnectionString.empty()) {
      const std::string message = "Failed to connect to database. DSN=" + row.Name + ", Using a connection string.";
      WriteErrorEntry(run, message, error.Description());
      RaiseWithDescription(error, message + " " + error.Description());
    }
    const std::string message = "Failed to connect to database. " + DataSourceText(row);
    WriteErrorEntry(run, message, error.Description());
    RaiseWithDescription(error, message + ". " + error.Description());
  }
}

bool DisconnectDataSource(RunContext& run, std::int16_t& index) {
  if (index < 0 || index > kMaxDataSources) RaiseRuntimeError(kErrSubscriptOutOfRange);
  const auto i = static_cast<std::size_t>(index);
  try {
    if (run.Connections[i] && run.Connections[i]->State() != platform::kStateClosed) {
      if (run.ConnectionReuse && !run.ReuseKeys[i].empty())
        run.ConnectionReuse->Keep(run.ReuseKeys[i], run.Connections[i]);
      else
        run.Connections[i]->Close();
    }
    run.Connections[i].reset();
    run.Recordsets[i].reset();
    return true;
  } catch (...) {
    const AutomationError error = ToAutomationError(std::current_exception());
    const std::string message = "Failed to disconnect from database. DSN=" + run.DataSources[i].Name;
    WriteErrorEntry(run, message, error.Description());
    RaiseWithDescription(error, message + ". " + error.Description());
  }
}

ConnectionCache::~ConnectionCache() { Close(); }

ConnectionPtr ConnectionCache::Take(const std::string& key) {
  for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
    if (entry->first != key) continue;
    ConnectionPtr connection = std::move(entry->second);
    WipeString(entry->first);
    entries_.erase(entry);
    try {
      if (connection && connection->State() != platform::kStateClosed) return connection;
    } catch (...) {
    }
    return nullptr;
  }
  return nullptr;
}

void ConnectionCache::Keep(std::string& key, ConnectionPtr connection) {
  entries_.emplace_back(key, std::move(connection));
  WipeString(key);
}

void ConnectionCache::Close() {
  for (auto& [key, connection] : entries_) {
    try {
      if (connection && connection->State() != platform::kStateClosed) connection->Close();
    } catch (...) {
    }
    connection.reset();
    WipeString(key);
  }
  entries_.clear();
}

}  // namespace tabrix
