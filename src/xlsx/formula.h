// One formula of a workbook as the workbook's formula table holds it; cells refer to formulas
// by their index in that table.
#pragma once

#include <cstdint>
#include <string>

#include "xlsx/cell_address.h"

namespace tabrix::xlsx {

class XlsxWorksheet;

// The text never starts with "=".
struct Formula {
  enum Type : std::uint8_t { kNormal, kArray, kDataTable };
  std::string text;
  XlsxWorksheet* sheet = nullptr;  // the sheet the formula lives on (nullptr once released)
  Type type = kNormal;
  CellRect ref{};                  // array and data-table formulas: the cells they cover
  std::string attributes;          // further attributes of <f> as written in the file
  bool prefixed = false;           // some reference names a sheet: indexed workbook-wide
  bool anchored = false;           // held by the sheet's anchored formulas: `text` is stale
};

}  // namespace tabrix::xlsx
