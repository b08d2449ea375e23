// Reading and searching the format-conversion table (fmtconv.cfg).
#include "definition/conversion_table.h"

#include <vector>

#include "definition/profile_file.h"
#include "support/paths.h"
#include "support/text_case.h"
#include "support/text_lines.h"
#include "tabrix/error.h"
#include "tabrix/variant.h"

namespace tabrix {

namespace {

std::string TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

// The whole number of a numeric text, rounded half to even; false when it is out of range.
bool WholeNumber(std::string_view text, std::int32_t& value) {
  try {
    value = ToInt32(Variant(text));
    return true;
  } catch (const AutomationError&) {
    return false;
  }
}

}  // namespace

void LoadConversionTable(std::vector<ConvEntry>& table, const std::string& path) {
  table.clear();
  TextLineReader reader;
  if (!reader.Open(path)) return;
  std::string line;
  while (reader.ReadLine(line, 1 << 16)) {
    std::vector<std::string_view> fields = SplitTabs(line);
    if (fields.size() < 4) continue;
    const std::string name = TrimSpaces(fields[0]);
    if (!name.empty() && name.front() == ';') continue;
    // A 258th entry ends the reading, as a failure to store it would.
    if (static_cast<int>(table.size()) >= kMaxConvEntries) break;
    ConvEntry entry;
    entry.Name = name;
    if (IsNumeric(fields[1])) {
      // A number beyond the 32-bit range fails the conversion, which ends the reading.
      if (!WholeNumber(fields[1], entry.FileFormat)) break;
      entry.HasFileFormat = true;
    }
    entry.Description = TrimSpaces(fields[2]);
    entry.Extra = TrimSpaces(fields[3]);
    table.push_back(std::move(entry));
  }
}

int FindConvEntry(const std::vector<ConvEntry>& table, std::string_view reportFileType) {
  if (reportFileType.empty()) return -1;
  if (IsNumeric(reportFileType)) {
    std::int32_t number = 0;
    if (!WholeNumber(reportFileType, number)) return -1;
    for (std::size_t i = 0; i < table.size(); ++i)
      if (table[i].FileFormat == number) return static_cast<int>(i);
    return -1;
  }
  const std::string folded = CaseFolded(reportFileType);
  for (std::size_t i = 0; i < table.size(); ++i)
    if (CaseFolded(table[i].Name) == folded) return static_cast<int>(i);
  return -1;
}

std::string DefaultConversionTablePath() {
  const std::string beside = ComponentFolder() + "/" + kConversionTableFileName;
#ifdef TABRIX_DATA_FROM_BIN
  // An installed program finds the table in the data folder (<prefix>/share/tabrix).
  if (!FileExists(beside)) {
    const std::string installed =
        AbsolutePath(std::string(TABRIX_DATA_FROM_BIN) + "/" + kConversionTableFileName, ComponentFolder());
    if (FileExists(installed)) return installed;
  }
#endif
  return beside;
}

}  // namespace tabrix
