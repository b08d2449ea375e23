// Helpers of the format tests: environment variables set for one test, stand-in converter
// programs, file signatures, and the templates the legacy-format tests start from.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/office_tools.h"

namespace tabrix::testing {

// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A shell script made runnable, standing in for the converter program.
inline std::string WriteScript(const std::string& path, const std::string& body) {
  WriteTextFile(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0755);
  return path;
}

inline std::string FileStart(const std::string& path, std::size_t count) {
  std::string text = ReadTextFile(path);
  return text.substr(0, std::min(count, text.size()));
}

// The signature of the binary Excel formats (a compound document).
inline bool IsCompoundDocument(const std::string& path) {
  return FileStart(path, 8) == std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
}

inline bool IsZip(const std::string& path) { return FileStart(path, 4) == "PK\x03\x04"; }

// The entries of a folder, by name.
inline std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// An .xlsx template written by openpyxl: a title, a header row, two reserved record rows (a
// growing table's template block A4:C4 and the row after it), a totals row summing both, a note
// below with a workbook name, and a second sheet.
inline void MakeSalesTemplate(const std::string& path) {
  RunPython(R"PY(
import sys, openpyxl
from openpyxl.workbook.defined_name import DefinedName
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Sales"
ws["A1"] = "Sales by region"
ws["A3"] = "Region"; ws["B3"] = "Units"; ws["C3"] = "Amount"
ws["A6"] = "Total"; ws["B6"] = "=SUM(B4:B5)"; ws["C6"] = "=SUM(C4:C5)"
ws["A8"] = "Prepared by"
ws["B8"] = "nobody"
ws.column_dimensions["A"].width = 18
wb.defined_names.append(DefinedName("PreparedBy", attr_text="Sales!$B$8"))
notes = wb.create_sheet("Notes")
notes["A1"] = "Second sheet"
wb.save(sys.argv[1])
)PY",
            {path});
}

}  // namespace tabrix::testing
