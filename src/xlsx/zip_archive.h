// Reading and writing the zip container of a workbook package.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tabrix::xlsx {

// Largest inflated size accepted for one part; a larger part is treated as malformed input.
inline constexpr std::uint64_t kMaxPartSize = 1ull << 30;
// Largest number of entries accepted in one package.
inline constexpr std::uint64_t kMaxPartCount = 100000;

// The parts of a package, by name, in the order they appeared in the archive.
struct PackageParts {
  std::vector<std::string> order;
  std::map<std::string, std::string> data;

  bool Has(const std::string& name) const { return data.count(name) != 0; }
  // Adds or replaces a part (new parts go to the end of the order).
  void Put(const std::string& name, std::string bytes);
  void Remove(const std::string& name);
};

// Reads every part of the zip file. Throws std::runtime_error with a description of the
// problem (not a zip file, damaged entry, part too large).
PackageParts ReadZipFile(const std::string& path);

// Writes the parts as a zip file at `path` (replacing it). `fastParts` are compressed with the
// fastest level (large sheet data); everything else with the default level.
void WriteZipFile(const std::string& path, const PackageParts& parts,
                  const std::vector<std::string>& fastParts);

}  // namespace tabrix::xlsx
