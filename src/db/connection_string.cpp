// Connection strings: parsing "key=value" lists, and the rules that pick the driver and resolve
// relative file names against the definition folder.
#include "db/connection_string.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "db/database_errors.h"
#include "tabrix/error.h"

namespace tabrix::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

[[noreturn]] void RaiseBadFormat(std::string_view text, const std::string& why) {
  throw AutomationError(kErrProviderFailure, "Connection",
                        "The connection string is not valid (" + why + "): " + std::string(text));
}

}  // namespace

std::string NormalizeConnectionKey(std::string_view key) {
  std::string out;
  bool blank = false;
  for (char c : Trim(key)) {
    if (IsBlank(c)) {
      blank = true;
      continue;
    }
    if (blank && !out.empty()) out += ' ';
    blank = false;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

AdoKeyUse ClassifyConnectionKey(const ConnectionStringItem& item) {
  static const char* const kQuietKeys[] = {"provider", "mode", "connect timeout", "prompt",
                                           "ole db services"};
  static const char* const kMeaninglessKeys[] = {
      "persist security info", "auto translate", "packet size", "use procedure for prepare",
      "network library", "general timeout", "locale identifier", "use encryption for data",
      "tag with column collation when possible", "datatypecompatibility"};
  const std::string key = NormalizeConnectionKey(item.key);
  for (const char* quiet : kQuietKeys)
    if (key == quiet) return AdoKeyUse::kQuiet;
  for (const char* meaningless : kMeaninglessKeys)
    if (key == meaningless) return AdoKeyUse::kMeaningless;
  if (key.rfind("jet oledb:", 0) == 0) return AdoKeyUse::kMeaningless;
  if (key == "integrated security") {
    const std::string value = NormalizeConnectionKey(item.value);
    return value == "false" || value == "no" || value.empty() ? AdoKeyUse::kQuiet
                                                               : AdoKeyUse::kMeaningless;
  }
  return AdoKeyUse::kOdbc;
}

namespace {

struct OdbcItem {
  std::string normalized;
  std::string key;
  std::string value;
};

void SetOdbcItem(std::vector<OdbcItem>& items, const std::string& key, const std::string& value) {
  std::string normalized = NormalizeConnectionKey(key);
  for (auto& item : items) {
    if (item.normalized == normalized) {
      item.value = value;
      return;
    }
  }
  items.push_back({normalized, key, value});
}

void AddTranslated(std::vector<OdbcItem>& out, const std::vector<ConnectionStringItem>& items,
                   int depth) {
  bool hasDriver = FindConnectionValue(items, "driver").has_value();
  bool hasDsn = FindConnectionValue(items, "dsn").has_value();
  bool hasServer = FindConnectionValue(items, "server").has_value() ||
                   FindConnectionValue(items, "servername").has_value();
  for (const auto& item : items) {
    if (ClassifyConnectionKey(item) != AdoKeyUse::kOdbc) continue;
    std::string key = NormalizeConnectionKey(item.key);
    if (key == "data source") {
      if (!hasDriver && !hasDsn)
        SetOdbcItem(out, "DSN", item.value);
      else if (hasDriver && !hasServer)
        SetOdbcItem(out, "SERVER", item.value);
    } else if (key == "user id") {
      SetOdbcItem(out, "UID", item.value);
    } else if (key == "password") {
      SetOdbcItem(out, "PWD", item.value);
    } else if (key == "initial catalog") {
      SetOdbcItem(out, "DATABASE", item.value);
    } else if (key == "extended properties") {
      if (depth < 4) AddTranslated(out, ParseConnectionString(item.value), depth + 1);
    } else {
      SetOdbcItem(out, std::string(Trim(item.key)), item.value);
    }
  }
}

}  // namespace

std::vector<ConnectionStringItem> ParseConnectionString(std::string_view text) {
  std::vector<ConnectionStringItem> items;
  size_t i = 0, n = text.size();
  while (i < n) {
    // Key: up to "=" (or the end of the segment, which is an error unless it is blank).
    size_t keyStart = i;
    while (i < n && text[i] != '=' && text[i] != ';') ++i;
    std::string_view key = Trim(text.substr(keyStart, i - keyStart));
    if (i >= n || text[i] == ';') {
      if (!key.empty()) RaiseBadFormat(text, "\"" + std::string(key) + "\" has no \"=\"");
      ++i;
      continue;
    }
    if (key.empty()) RaiseBadFormat(text, "a value without a key");
    ++i;  // "="
    while (i < n && IsBlank(text[i])) ++i;
    std::string value;
    if (i < n && (text[i] == '"' || text[i] == '\'' || text[i] == '{')) {
      char open = text[i];
      char close = open == '{' ? '}' : open;
      ++i;
      bool closed = false;
      while (i < n) {
        if (text[i] == close) {
          if (i + 1 < n && text[i + 1] == close) {
            value += close;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += text[i++];
      }
      if (!closed)
        RaiseBadFormat(text, "the value of \"" + std::string(key) + "\" has no closing " + close);
      while (i < n && IsBlank(text[i])) ++i;
      if (i < n && text[i] != ';')
        RaiseBadFormat(text, "text after the quoted value of \"" + std::string(key) + "\"");
    } else {
      size_t valueStart = i;
      while (i < n && text[i] != ';') ++i;
      value = std::string(Trim(text.substr(valueStart, i - valueStart)));
    }
    ++i;  // ";" or past the end
    items.push_back({std::string(key), std::move(value)});
  }
  return items;
}

std::optional<std::string> FindConnectionValue(const std::vector<ConnectionStringItem>& items,
                                               std::string_view key) {
  std::string wanted = NormalizeConnectionKey(key);
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    if (NormalizeConnectionKey(it->key) == wanted) return it->value;
  }
  return std::nullopt;
}

bool NamesSqliteProvider(const std::vector<ConnectionStringItem>& items) {
  auto provider = FindConnectionValue(items, "provider");
  return provider && NormalizeConnectionKey(*provider) == "sqlite";
}

std::string ResolveConnectionFile(const std::string& name, const std::string& baseFolder) {
  std::string path = name;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  std::filesystem::path file(path);
  if (file.is_relative() && !baseFolder.empty()) file = std::filesystem::path(baseFolder) / file;
  return file.lexically_normal().string();
}

std::string QuoteOdbcValue(const std::string& value) {
  bool needsBraces = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  for (char c : value) {
    if (c == ';' || c == '{' || c == '}') needsBraces = true;
  }
  if (!needsBraces) return value;
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

std::string ComposeOdbcConnectionString(const std::vector<ConnectionStringItem>& items,
                                        const std::string& user, const std::string& password) {
  std::vector<OdbcItem> odbc;
  AddTranslated(odbc, items, 0);
  if (!user.empty()) SetOdbcItem(odbc, "UID", user);
  if (!password.empty()) SetOdbcItem(odbc, "PWD", password);
  std::string out;
  for (const auto& item : odbc) {
    if ((item.normalized == "uid" || item.normalized == "pwd") && item.value.empty()) continue;
    if (!out.empty()) out += ';';
    out += item.key + "=" + QuoteOdbcValue(item.value);
  }
  return out;
}

}  // namespace tabrix::platform
