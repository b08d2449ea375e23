// Growing conditional-format and validation ranges over inserted rows or columns that take the
// formatting of the row above (column to the left).
#include "xlsx/format_extension.h"

#include <algorithm>

#include "xlsx/cell_address.h"
#include "xlsx/formula_references.h"

namespace tabrix::xlsx {

bool ExtendSqrefOverInserted(std::string_view sqref, const SheetEdit& edit, std::string& out) {
  if (!edit.IsInsert() || edit.First <= 1) return false;
  std::vector<CellRect> rects = ParseSqref(sqref);
  const bool rows = edit.OnRows();
  const std::int32_t limit = rows ? kMaxRows : kMaxColumns;
  bool grown = false;
  for (CellRect& rect : rects) {
    std::int32_t& end = rows ? rect.row2 : rect.col2;
    std::int32_t across1 = rows ? rect.col1 : rect.row1, across2 = rows ? rect.col2 : rect.row2;
    if (end != edit.First - 1) continue;
    if (edit.HasBand() && (across1 < edit.BandFirst || across2 > edit.BandLast)) continue;
    end = static_cast<std::int32_t>(std::min<std::int64_t>(static_cast<std::int64_t>(end) + edit.Count, limit));
    grown = true;
  }
  if (!grown) return false;
  out = FormatSqref(rects);
  return true;
}

}  // namespace tabrix::xlsx
