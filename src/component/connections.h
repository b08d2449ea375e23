// Data-source connections of a run: one ADO-style connection and recordset per data-source row.
#pragma once

#include <cstdint>

namespace tabrix {

// Connects row `index` of this thread's data-source table after the host has seen the login data
// in BeforeConnect. Raises (keeping the provider's number and source) after logging the failure.
bool ConnectDataSource(std::int16_t& index);

// Closes row `index`'s connection and releases its objects.
bool DisconnectDataSource(std::int16_t& index);

}  // namespace tabrix
