// The format-conversion table: report file types (names or numbers) and the file-format numbers
// they are saved with, read from "fmtconv.cfg" into the run's table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix {

inline constexpr const char* kConversionTableFileName = "fmtconv.cfg";

// One row of the format-conversion table.
struct ConvEntry {
  std::string Name;
  std::int32_t FileFormat = 0;
  bool HasFileFormat = false;
  std::string Description;
  std::string Extra;
};

inline constexpr int kMaxConvEntries = 257;

// Empties the table, then reads tab-separated lines "name, number, description, extra" (further
// fields ignored; lines with fewer than four fields and lines whose first field starts with ";"
// skipped). Stops after 257 entries or at a read error; a missing file leaves the table empty.
void LoadConversionTable(std::vector<ConvEntry>& table, const std::string& path);

// Position of the entry for a report file type: by number when the text is numeric, otherwise
// by name without regard to case; the first match wins; -1 when none (or the text is empty).
int FindConvEntry(const std::vector<ConvEntry>& table, std::string_view reportFileType);

// "fmtconv.cfg" in the folder of the running program; for an installed program without one
// there, the installed table (<prefix>/share/tabrix/fmtconv.cfg seen from <prefix>/bin).
std::string DefaultConversionTablePath();

}  // namespace tabrix
