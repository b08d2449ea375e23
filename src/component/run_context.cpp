// Releasing what a run holds when it ends: connections, workbook, log and secrets.
#include "component/run_context.h"

#include "support/run_log.h"
#include "support/secret_wipe.h"

namespace tabrix {

RunContext::RunContext() = default;

RunContext::~RunContext() { Release(); }

void RunContext::Release() {
  for (std::size_t i = 0; i < Connections.size(); ++i) {
    try {
      if (Recordsets[i] && Recordsets[i]->State() != platform::kStateClosed) Recordsets[i]->Close();
    } catch (...) {
    }
    try {
      if (Connections[i] && Connections[i]->State() != platform::kStateClosed) Connections[i]->Close();
    } catch (...) {
    }
    Recordsets[i].reset();
    Connections[i].reset();
    Connected[i] = false;
  }
  ReportWorkbook.reset();
  if (Log) {
    try {
      Log->Close();
    } catch (...) {
    }
    Log.reset();
  }
  for (std::string& key : ReuseKeys) WipeString(key);
  for (DataSourceEntry& row : DataSources) {
    WipeString(row.Password);
    WipeString(row.ConnectionString);
  }
  WipeString(ProtectionPassword);
}

}  // namespace tabrix
