// Connection strings: "key=value;key=value". Keys are compared without regard to case and
// trimmed of blanks, as are values; a value may be quoted with double quotes ("" inside stands
// for one quote), single quotes, or ODBC braces ("}}" inside stands for one brace) so that it can
// hold ";". "Provider=SQLite" selects the embedded SQLite adapter; every other string is turned
// into an ODBC connection string.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix::platform {

struct ConnectionStringItem {
  std::string key;  // as written, trimmed
  std::string value;  // unquoted, trimmed (blanks inside quotes kept)
};

// Splits a connection string into its items, in order. Empty segments are skipped. Raises an
// AutomationError (source "Connection") for a segment without "=", an empty key, an unterminated
// quote or text after a closing quote.
std::vector<ConnectionStringItem> ParseConnectionString(std::string_view text);

// Value of the last item whose key equals `key` (without regard to case and inner blank runs).
std::optional<std::string> FindConnectionValue(const std::vector<ConnectionStringItem>& items,
                                               std::string_view key);

// A key compared without regard to case and inner blank runs: lower case, trimmed, every run of
// blanks one blank ("User  ID" -> "user id").
std::string NormalizeConnectionKey(std::string_view key);

// What becomes of a key that only ADO knows. kQuiet: its work is done otherwise here (Provider,
// Mode, Connect Timeout, Prompt, OLE DB Services, Integrated Security=False); kMeaningless: it
// has no meaning on this platform (Integrated Security=SSPI, Persist Security Info, Jet OLEDB:
// options...), so it is dropped with a warning. Both are left out of the ODBC string.
enum class AdoKeyUse { kOdbc, kQuiet, kMeaningless };
AdoKeyUse ClassifyConnectionKey(const ConnectionStringItem& item);

// True when the string's Provider is "SQLite".
bool NamesSqliteProvider(const std::vector<ConnectionStringItem>& items);

// The ODBC connection string for SQLDriverConnect. ADO keys are translated: "Data Source" becomes
// DSN (or SERVER when the string names a Driver), "User ID" UID, "Password" PWD, "Initial
// Catalog" DATABASE, "Extended Properties" contributes its own items; the ADO-only keys (see
// ClassifyConnectionKey) are dropped. Every other key passes through. A later item overrides an earlier one with the same key; a non-empty `user` or
// `password` overrides UID / PWD; empty UID and PWD are left out. Values that need it are
// enclosed in braces.
std::string ComposeOdbcConnectionString(const std::vector<ConnectionStringItem>& items,
                                        const std::string& user, const std::string& password);

// A file named in a connection string: "\\" read as "/", a relative name taken from `baseFolder`
// (when not empty), the result normalised. The current directory is never consulted here.
std::string ResolveConnectionFile(const std::string& name, const std::string& baseFolder);

// The ODBC form of one value: as it stands, or in braces when it holds ";", braces, or leading
// or trailing blanks.
std::string QuoteOdbcValue(const std::string& value);

}  // namespace tabrix::platform
