// Data-source connections of a run: one ADO-style connection and recordset per data-source row.
#pragma once

#include <cstdint>

namespace tabrix {

struct RunContext;

// Connects row `index` of the run's data-source table after the host has seen the login data
// in BeforeConnect. Raises (keeping the provider's number and source) after logging the failure.
bool ConnectDataSource(RunContext& run, std::int16_t& index);

// Closes row `index`'s connection and releases its objects.
bool DisconnectDataSource(RunContext& run, std::int16_t& index);

}  // namespace tabrix
