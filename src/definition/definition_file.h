// The report definition file: header check, keyed sections into the run's context, and
// the loading steps of a Foliowright run that raise the definition-file errors.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tabrix {

struct RunContext;

// First token of the header line.
inline constexpr const char* kDefinitionHeaderToken = "Foliowright";
// Larger files are refused by ReadDefinitionFile (a definition file is a few kilobytes).
inline constexpr std::uint64_t kMaxDefinitionFileBytes = 64ull << 20;

// -1: the file cannot be opened for reading (missing, a folder, no permission);
//  0: the first token of the first line is exactly "Foliowright";
//  1: anything else (other token or case, empty file).
int CheckDefinitionHeader(const std::string& path);

// Reads sections "Data Source", "File" and "Parameter" into `run`: data sources
// (decoding passwords when EncryptPassword is Y), file names, protection, parameters; empties
// TemplatePath, ReportPath and LogPath. False when the file cannot be read as a whole.
bool ReadDefinitionFile(RunContext& run, const std::string& path);

// True when some line has `key` (exact case) as first token and "=" as second token.
bool KeyLineExists(const std::string& path, std::string_view key);

// The loading steps of Foliowright for the definition file: DefinitionFilePath = absolute form
// of `fwfFile` (against the current directory), header check, read. Raises 0x8004000B
// "The file \"<path>\" does not exist.", 0x8004000C "The file \"<path>\" is not an Foliowright
// file." or 0x8004000D "Error in reading the file \"<path>\".".
void LoadDefinitionFile(RunContext& run, std::string_view fwfFile);

// Stores Param1..Param10 as the values of parameter rows 0..9, whatever the parameter count.
void StoreRunParameters(RunContext& run, const std::array<std::string, 10>& params);

}  // namespace tabrix
