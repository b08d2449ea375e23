// A defined name of a workbook (workbook- or sheet-scoped) as the workbook part holds it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tabrix::xlsx {

class XlsxWorksheet;

struct DefinedName {
  std::string name;
  XlsxWorksheet* scope = nullptr;  // nullptr = workbook scope
  std::string formula;             // without "="
  std::vector<std::pair<std::string, std::string>> attributes;  // hidden, comment, ...
  bool scopeLost = false;          // scoped to a sheet that is not a worksheet (kept by index)
  std::int32_t rawScope = -1;
};

}  // namespace tabrix::xlsx
