// The known keys of the definition file's keyed sections.
#include "definition/definition_keys.h"

#include <cctype>

namespace tabrix {

const std::map<std::string, std::vector<std::string>>& DefinitionSectionKeys() {
  static const std::map<std::string, std::vector<std::string>> keys = {
      {"data source", {"EncryptPassword", "Name#", "ConnectionString#", "User#", "Password#"}},
      {"file",
       {"ReportTemplateFileName", "ReportFileName", "ReportFileType", "ProtectReport", "ProtectionPassword",
        "LogFileName"}},
      {"parameter", {"Name#", "Title#", "Default#"}},
  };
  return keys;
}

std::pair<std::string, int> SplitKeyNumber(const std::string& key) {
  std::size_t digits = key.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(key[digits - 1]))) --digits;
  if (digits == key.size() || key.size() - digits > 3) return {key, 0};
  return {key.substr(0, digits), std::stoi(key.substr(digits))};
}

}  // namespace tabrix
