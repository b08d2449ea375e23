// Reading the report definition file into a run's context (see definition_file.h).
#include "definition/definition_file.h"

#include <sys/stat.h>

#include "component/run_context.h"
#include "definition/password.h"
#include "definition/profile_file.h"
#include "script/tokenizer.h"
#include "support/paths.h"
#include "support/text_lines.h"
#include "tabrix/error.h"
#include "tabrix/error_codes.h"

namespace tabrix {

namespace {

constexpr const char* kDataSourceSection = "Data Source";
constexpr const char* kFileSection = "File";
constexpr const char* kParameterSection = "Parameter";

// Header and key lines need only their first tokens; longer lines keep their head.
constexpr std::size_t kScannedLineBytes = 1 << 16;

std::string Trimmed(std::string_view text) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  return std::string(text);
}

bool IsYes(const std::string& value) {
  const std::string flag = Trimmed(value);
  return flag == "Y" || flag == "y";
}

}  // namespace

int CheckDefinitionHeader(const std::string& path) {
  TextLineReader reader;
  if (!reader.Open(path)) return -1;
  std::string line;
  if (!reader.ReadLine(line, kScannedLineBytes)) return reader.Failed() ? -1 : 1;
  int position = 1;
  const int result = GetToken(line, position, false) == kDefinitionHeaderToken ? 0 : 1;
  // "Version <n>" may follow; nothing uses the format version.
  if (GetToken(line, position, false) == "Version") (void)GetToken(line, position, false);
  return result;
}

bool KeyLineExists(const std::string& path, std::string_view key) {
  TextLineReader reader;
  if (!reader.Open(path)) return false;
  std::string line;
  while (reader.ReadLine(line, kScannedLineBytes)) {
    int position = 1;
    if (GetToken(line, position, false) == key && GetToken(line, position, false) == "=")
      return true;
  }
  return false;
}

bool ReadDefinitionFile(RunContext& state, const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uint64_t>(info.st_size) > kMaxDefinitionFileBytes)
    return false;

  ProfileFile profile;
  if (!profile.Load(path, {kDataSourceSection, kFileSection, kParameterSection})) return false;

  state.EncryptPassword = IsYes(profile.Get(kDataSourceSection, "EncryptPassword"));

  state.DataSourceCount = 0;
  for (int n = 1; n <= kMaxDataSources; ++n) {
    const std::string number = std::to_string(n);
    const std::string name = profile.Get(kDataSourceSection, "Name" + number);
    if (name.empty()) break;
    DataSourceEntry& entry = state.DataSources[static_cast<std::size_t>(n - 1)];
    entry = DataSourceEntry{};
    entry.Name = name;
    entry.ConnectionString = Trimmed(profile.Get(kDataSourceSection, "ConnectionString" + number));
    if (entry.ConnectionString.empty()) {
      entry.User = profile.Get(kDataSourceSection, "User" + number);
      const std::string password = profile.Get(kDataSourceSection, "Password" + number);
      if (!password.empty())
        entry.Password = state.EncryptPassword ? DecodePassword(password, entry.User) : password;
    }
    state.DataSourceCount = static_cast<std::int16_t>(n);
  }

  state.ReportTemplateFileName = Trimmed(profile.Get(kFileSection, "ReportTemplateFileName"));
  state.ReportFileName = Trimmed(profile.Get(kFileSection, "ReportFileName"));
  state.ReportFileType = Trimmed(profile.Get(kFileSection, "ReportFileType"));
  state.ProtectReport = false;
  state.NoProtectionPassword = true;
  state.ProtectionPassword.clear();
  state.ProtectReport = IsYes(profile.Get(kFileSection, "ProtectReport"));
  // The password counts only when a "ProtectionPassword =" line stands somewhere in the file;
  // its value then comes from section File, even when empty there.
  if (state.ProtectReport && KeyLineExists(path, "ProtectionPassword")) {
    state.ProtectionPassword = profile.Get(kFileSection, "ProtectionPassword");
    state.NoProtectionPassword = false;
  }
  state.LogFileName = Trimmed(profile.Get(kFileSection, "LogFileName"));
  state.TemplatePath.clear();
  state.ReportPath.clear();
  state.LogPath.clear();

  state.ParameterCount = 0;
  for (int n = 1; n <= kMaxParameters; ++n) {
    const std::string number = std::to_string(n);
    const std::string name = profile.Get(kParameterSection, "Name" + number);
    if (name.empty()) break;
    ParameterEntry& entry = state.Parameters[static_cast<std::size_t>(n - 1)];
    entry = ParameterEntry{};
    entry.Name = name;
    entry.Title = profile.Get(kParameterSection, "Title" + number);
    entry.Value = profile.Get(kParameterSection, "Default" + number);
    state.ParameterCount = static_cast<std::int16_t>(n);
  }
  return true;
}

void LoadDefinitionFile(RunContext& state, std::string_view fwfFile) {
  state.DefinitionFilePath = AbsolutePath(fwfFile);
  const std::string& path = state.DefinitionFilePath;
  switch (CheckDefinitionHeader(path)) {
    case -1:
      RaiseTabrixError(kErrDefinitionFileMissing, "The file \"" + path + "\" does not exist.");
    case 1:
      // "an Foliowright file" is the message hosts know, word for word.
      RaiseTabrixError(kErrNotDefinitionFile, "The file \"" + path + "\" is not an Foliowright file.");
    default:
      break;
  }
  if (!ReadDefinitionFile(state, path)) RaiseTabrixError(kErrDefinitionFileUnreadable, "Error in reading the file \"" + path + "\".");
}

void StoreRunParameters(RunContext& state, const std::array<std::string, 10>& params) {
  for (std::size_t i = 0; i < params.size(); ++i) state.Parameters[i].Value = params[i];
}

}  // namespace tabrix
