// ADO provider names in connection strings ("Provider=SQLOLEDB", "Microsoft.ACE.OLEDB.12.0",
// "PGNP.1", "MySQLProv"...) and the ODBC drivers that serve the same databases here: the table,
// the key translations each provider needs, and the lookup of the driver in unixODBC's list.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "db/connection_string.h"

namespace tabrix::platform {

struct ProviderTranslation {
  // Items for ComposeOdbcConnectionString: a Driver entry and the provider's keys as the driver
  // knows them. Keys no provider translation touches (Initial Catalog, Extended Properties, the
  // driver's own keys...) are left for ComposeOdbcConnectionString.
  std::vector<ConnectionStringItem> items;
  // One line each for keys dropped because they have no meaning here, and for a provider that
  // is not in the table.
  std::vector<std::string> warnings;
};

// Translates a string whose Provider is one of the table's (any other string is returned as it
// stands, with a warning for an unknown provider). A relative Access file is taken from
// `baseFolder`. The Driver entry is the first name that `installedDrivers` lists (asked only when
// a driver is needed) that the provider's driver goes by; without `installedDrivers` it is the
// name the Debian package registers. A provider whose driver is not listed raises an
// AutomationError naming the Debian package to install. A string that names its own Driver or
// DSN keeps it.
using DriverList = std::function<std::vector<std::string>()>;
ProviderTranslation TranslateProvider(const std::vector<ConnectionStringItem>& items,
                                      const std::string& baseFolder,
                                      const DriverList& installedDrivers);

// The driver names of unixODBC's driver list (odbcinst.ini), as SQLDrivers gives them.
std::vector<std::string> InstalledOdbcDrivers();

}  // namespace tabrix::platform
