// The provider table: which ODBC driver (and Debian package) serves each ADO provider's
// databases here, and how the provider's keys become that driver's keys.
#include "db/provider_translation.h"

#include <algorithm>

#include "db/database_errors.h"
#include "tabrix/error.h"

namespace tabrix::platform {
namespace {

enum class Family { kOdbc, kSqlServer, kAccess, kPostgreSql, kMySql };

struct Provider {
  const char* prefix;  // normalized provider names starting with it ("sqlncli" for SQLNCLI11)
  Family family;
};

// Longer prefixes first where one starts another.
constexpr Provider kProviders[] = {
    {"sqloledb", Family::kSqlServer},
    {"sqlncli", Family::kSqlServer},
    {"msoledbsql", Family::kSqlServer},
    {"microsoft.jet.oledb", Family::kAccess},
    {"microsoft.ace.oledb", Family::kAccess},
    {"msdasql", Family::kOdbc},
    {"postgresql", Family::kPostgreSql},
    {"pgnp", Family::kPostgreSql},
    {"mysqlprov", Family::kMySql},
    {"mysql", Family::kMySql},
    {"mariadb", Family::kMySql},
};

struct Driver {
  const char* registeredName;  // the name the Debian package gives the driver in odbcinst.ini
  const char* package;
  const char* description;
  std::vector<const char*> matches;  // lower-case parts of driver names, in order of preference
};

const Driver& DriverOf(Family family) {
  static const Driver kSqlServer{"FreeTDS", "tdsodbc", "FreeTDS ODBC driver", {"freetds"}};
  static const Driver kAccess{"MDBTools", "odbc-mdbtools", "mdbtools ODBC driver", {"mdbtools"}};
  static const Driver kPostgreSql{"PostgreSQL Unicode", "odbc-postgresql", "psqlODBC driver",
                                  {"postgresql unicode", "postgresql"}};
  static const Driver kMySql{"MariaDB Unicode", "odbc-mariadb", "MariaDB ODBC driver",
                             {"mariadb unicode", "mariadb", "mysql"}};
  switch (family) {
    case Family::kSqlServer: return kSqlServer;
    case Family::kAccess: return kAccess;
    case Family::kPostgreSql: return kPostgreSql;
    default: return kMySql;
  }
}

std::string FindDriver(const Driver& driver, const std::string& provider,
                       const DriverList& installedDrivers) {
  if (!installedDrivers) return driver.registeredName;
  const std::vector<std::string> installed = installedDrivers();
  for (const char* match : driver.matches) {
    for (const std::string& name : installed)
      if (NormalizeConnectionKey(name).find(match) != std::string::npos) return name;
  }
  throw AutomationError(kErrProviderFailure, "Connection",
                        "Provider=" + provider + " is served here by the " + driver.description +
                            " (\"" + driver.registeredName +
                            "\"), which is not installed: install the Debian package " +
                            driver.package + ".");
}

// "host,port", "host:port" (not for "host\instance" or a bare IPv6 address) and "tcp:host".
void SplitServer(std::string server, std::string& host, std::string& port) {
  if (NormalizeConnectionKey(server.substr(0, 4)) == "tcp:") server.erase(0, 4);
  host = server;
  port.clear();
  std::size_t split = server.rfind(',');
  if (split == std::string::npos && std::count(server.begin(), server.end(), ':') == 1)
    split = server.find(':');
  if (split == std::string::npos) return;
  std::string digits = server.substr(split + 1);
  digits.erase(std::remove(digits.begin(), digits.end(), ' '), digits.end());
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), ::isdigit)) return;
  host = server.substr(0, split);
  while (!host.empty() && host.back() == ' ') host.pop_back();
  port = digits;
}

class Translator {
 public:
  Translator(Family family, std::string provider, const std::string& baseFolder)
      : family_(family), provider_(std::move(provider)), baseFolder_(baseFolder) {}

  void Add(const ConnectionStringItem& item) {
    const std::string key = NormalizeConnectionKey(item.key);
    if (family_ == Family::kSqlServer &&
        (key == "data source" || key == "server" || key == "address" || key == "addr" ||
         key == "network address")) {
      Server("Server", item.value);
    } else if (family_ == Family::kSqlServer && key == "application name") {
      Set("APP", item.value);
    } else if (family_ == Family::kSqlServer && key == "workstation id") {
      Set("WSID", item.value);
    } else if (family_ == Family::kAccess && key == "data source") {
      Set("DBQ", item.value.empty() ? item.value : ResolveConnectionFile(item.value, baseFolder_));
    } else if (family_ == Family::kAccess && (key == "user id" || key == "password")) {
      // Workgroup logins: the mdbtools driver opens a file without one.
      if (!item.value.empty() && NormalizeConnectionKey(item.value) != "admin")
        warnings_.push_back(item.key + " is ignored: the mdbtools driver opens Access files "
                            "without a workgroup login");
    } else if (family_ == Family::kPostgreSql && (key == "data source" || key == "server" ||
                                                  key == "host")) {
      Server("Servername", item.value);
    } else if (family_ == Family::kPostgreSql && key == "location") {
      Set("Database", item.value);
    } else if (family_ == Family::kMySql && key == "data source" && mySqlProv()) {
      Set("Database", item.value);  // MySQLProv: Location is the server, Data Source the database
    } else if (family_ == Family::kMySql &&
               (key == "location" || key == "data source" || key == "server" || key == "host")) {
      if (!item.value.empty() && item.value.front() == '/') {
        Set("Server", "localhost");
        Set("Socket", item.value);
      } else {
        Server("Server", item.value);
      }
    } else if (key == "user id" || key == "uid" || key == "user") {
      Set("UID", item.value);
    } else if (key == "password" || key == "pwd") {
      Set("PWD", item.value);
    } else {
      items_.push_back(item);
    }
  }

  std::vector<ConnectionStringItem> Finish(const std::string& driver) {
    if (family_ == Family::kSqlServer && !FindConnectionValue(items_, "tds_version"))
      items_.push_back({"TDS_Version", "7.4"});
    items_.insert(items_.begin(), {"Driver", driver});
    return std::move(items_);
  }

  std::vector<std::string>& Warnings() { return warnings_; }

 private:
  bool mySqlProv() const { return NormalizeConnectionKey(provider_).rfind("mysqlprov", 0) == 0; }

  void Set(const std::string& key, const std::string& value) { items_.push_back({key, value}); }

  void Server(const std::string& key, const std::string& value) {
    std::string host, port;
    SplitServer(value, host, port);
    if (family_ == Family::kSqlServer) {
      // "." and "(local)" name this machine, alone or before "\instance".
      const std::size_t instance = std::min(host.find('\\'), host.size());
      const std::string machine = NormalizeConnectionKey(host.substr(0, instance));
      if (machine == "." || machine == "(local)") host = "localhost" + host.substr(instance);
    }
    Set(key, host);
    if (!port.empty()) Set("Port", port);
  }

  Family family_;
  std::string provider_;
  const std::string& baseFolder_;
  std::vector<ConnectionStringItem> items_;
  std::vector<std::string> warnings_;
};

}  // namespace

ProviderTranslation TranslateProvider(const std::vector<ConnectionStringItem>& items,
                                      const std::string& baseFolder,
                                      const DriverList& installedDrivers) {
  ProviderTranslation out;
  const std::string provider = FindConnectionValue(items, "provider").value_or("");
  const std::string name = NormalizeConnectionKey(provider);
  Family family = Family::kOdbc;
  bool known = name.empty();
  for (const Provider& entry : kProviders) {
    if (name.rfind(entry.prefix, 0) == 0) {
      family = entry.family;
      known = true;
      break;
    }
  }
  if (!known)
    out.warnings.push_back("Provider=" + provider +
                           " is not a provider known here: the string is handed to the ODBC "
                           "driver manager with its other keys");
  const bool ownDriver = FindConnectionValue(items, "driver") || FindConnectionValue(items, "dsn");
  if (ownDriver) family = Family::kOdbc;

  Translator translator(family, provider, baseFolder);
  for (const ConnectionStringItem& item : items) {
    const AdoKeyUse use = ClassifyConnectionKey(item);
    if (use == AdoKeyUse::kMeaningless)
      out.warnings.push_back(
          item.key + "=" + item.value +
          (NormalizeConnectionKey(item.key) == "integrated security"
               ? " is ignored: there are no Windows logins here; give User ID and Password"
               : " has no meaning here and is ignored"));
    if (use != AdoKeyUse::kOdbc) continue;
    if (family == Family::kOdbc)
      out.items.push_back(item);
    else
      translator.Add(item);
  }
  if (family != Family::kOdbc)
    out.items = translator.Finish(FindDriver(DriverOf(family), provider, installedDrivers));
  for (std::string& warning : translator.Warnings()) out.warnings.push_back(std::move(warning));
  return out;
}

}  // namespace tabrix::platform
