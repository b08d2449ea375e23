// The common front half of the fixed and variable tables: argument checks, lists, record count,
// the first progress event, field cells and template block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fill/cell_references.h"
#include "tabrix/tabrix.h"

namespace tabrix::fill {

struct TablePlan {
  bool RangeFillOrder = false;           // ROWRANGE or COLRANGE was asked for
  std::vector<std::string> ImageEntries;
  PageBreakSpec PageBreak;
  std::int32_t RecordCount = 0;
  std::int32_t FieldCount = 0;
  std::vector<FieldCell> Cells;
  Block TemplateBlock;

  bool ByRows(std::int16_t fillOrder) const { return fillOrder == 0; }
  // Distance between two records' blocks in the direction records advance.
  std::int32_t Step(std::int16_t fillOrder) const {
    return fillOrder == 0 ? TemplateBlock.MaxRow - TemplateBlock.MinRow + 1
                          : TemplateBlock.MaxCol - TemplateBlock.MinCol + 1;
  }
};

void RaiseProgress(TabrixEvents* events, std::int32_t progress, std::int32_t recordCount);

// Runs inside the engine's error frame (error_frame.h). Normalises `fillOrder` in place.
// Image fields are left to the engine.
TablePlan PrepareTable(TabrixEvents* events, const RecordsetPtr& recordset,
                       const WorksheetPtr& worksheet, const std::string& cellList,
                       const std::string& rangeText, std::int16_t& fillOrder,
                       const std::string& imageList, const std::string& pageBreak);

}  // namespace tabrix::fill
