// The common front half of the fixed and growing tables: argument checks, lists, record count,
// the first progress event, field cells and the template block.
#include "fill/table_preparation.h"

#include "fill/error_frame.h"
#include "tabrix/error_codes.h"

namespace tabrix::fill {

void RaiseObjectNotSet() {
  throw AutomationError(91, kProductName, "Object variable or With block variable not set");
}

namespace {

[[noreturn]] void RaiseCellOutOfSheet() {
  throw AutomationError(1004, kProductName, "Application-defined or object-defined error");
}

}  // namespace

std::int32_t CheckedRow(std::int64_t row) {
  if (row < 1 || row > platform::kMaxRows) RaiseCellOutOfSheet();
  return static_cast<std::int32_t>(row);
}

std::int32_t CheckedColumn(std::int64_t column) {
  if (column < 1 || column > platform::kMaxColumns) RaiseCellOutOfSheet();
  return static_cast<std::int32_t>(column);
}

void RaiseProgress(TabrixEvents* events, std::int32_t progress, std::int32_t recordCount) {
  if (events) events->FunctionProgress(progress, recordCount);
}

TablePlan PrepareTable(TabrixEvents* events, const RecordsetPtr& recordset,
                       const WorksheetPtr& worksheet, const std::string& cellList,
                       const std::string& rangeText, std::int16_t& fillOrder,
                       const std::string& imageList, const std::string& pageBreak) {
  if (!worksheet)
    PassThroughErrors([] { RaiseTabrixError(kErrWorksheetNotSet, "The Excel.Worksheet object is not set."); });
  if (!recordset) RaiseObjectNotSet();
  if (recordset->State() == platform::kStateClosed)
    PassThroughErrors([] { RaiseTabrixError(kErrRecordsetClosed, "The ADODB.Recordset object is closed."); });

  TablePlan plan;
  plan.RangeFillOrder = NormalizeFillOrder(fillOrder);

  const std::vector<std::string> cellEntries = SplitList(cellList);
  PassThroughErrors([&] { CheckCellList(cellEntries); });

  plan.ImageEntries = SplitList(imageList);
  plan.PageBreak = ParsePageBreak(pageBreak, 0);

  plan.RecordCount = CountRecords(*recordset);
  plan.FieldCount = recordset->GetFields().Count();
  RaiseProgress(events, 0, plan.RecordCount);

  plan.TemplateBlock = PassThroughErrors([&] {
    return ResolveFieldCells(*worksheet, plan.FieldCount, cellEntries, fillOrder, rangeText,
                             plan.Cells);
  });
  return plan;
}

}  // namespace tabrix::fill
