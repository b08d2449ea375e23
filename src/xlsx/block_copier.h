// Copies blocks of cells within a worksheet: Range.Copy to a destination cell, and
// Range.AutoFill with the copy type as repeated copies of the source block.
#pragma once

#include <cstdint>

#include "xlsx/cell_address.h"

namespace tabrix::xlsx {

class XlsxWorksheet;
class XlsxWorkbook;

class BlockCopier {
 public:
  explicit BlockCopier(XlsxWorksheet& sheet);

  // Values, formulas (relative references translated), formats, merged areas, row properties
  // of entire rows, and the conditional formats and validations of the source cells.
  void Copy(const CellRect& source, std::int32_t destRow, std::int32_t destColumn);
  // Fills the destination (the source extended along rows or columns) with copies of the source.
  void Fill(const CellRect& source, const CellRect& destination);

 private:
  XlsxWorksheet& sheet_;
  XlsxWorkbook& book_;
};

}  // namespace tabrix::xlsx
