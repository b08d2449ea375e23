// The grouped-table report: the method frame around the level table and the record loop.
#include "group/grouped_report.h"

#include <cstdlib>
#include <vector>

#include "fill/cell_references.h"
#include "fill/cell_values.h"
#include "group/error_frames.h"
#include "group/group_fill.h"
#include "tabrix/error.h"
#include "tabrix/error_codes.h"
#include "tabrix/variant.h"

namespace tabrix::group {
namespace {

constexpr std::int32_t kObjectNotSet = 91;

bool IsBlankText(const std::string& text) {
  return text.find_first_not_of(' ') == std::string::npos;
}

// The groups in use: they end at the first group whose text is blank; later pairs are ignored.
std::vector<GroupText> ReadGroups(const GroupTexts& texts) {
  std::vector<GroupText> groups;
  for (int g = 0; g < kMaxGroups; ++g) {
    const std::string& keys = texts[static_cast<std::size_t>(2 * g)];
    if (IsBlankText(keys)) break;
    groups.push_back(GroupText{fill::SplitList(keys), texts[static_cast<std::size_t>(2 * g + 1)]});
  }
  return groups;
}

// Marks the listed image fields and takes their picture options out of their template cells,
// one entry after the other. The first entry decides whether entries are 1-based field numbers
// or field names.
void ResolveImageFields(platform::Recordset& recordset, platform::Worksheet& sheet,
                        const std::vector<std::string>& entries,
                        std::vector<fill::FieldCell>& cells,
                        std::vector<fill::ImageOptions>& options) {
  const bool numericList = fill::IsNumericImageList(entries);
  for (const std::string& entry : entries) {
    try {
      const auto index =
          static_cast<std::size_t>(fill::ImageFieldIndex(recordset, entry, numericList));
      fill::FieldCell& cell = cells[index];
      cell.IsImage = true;
      options[index] = fill::ParseImageOptions(fill::ReadOptionText(sheet, cell.Row, cell.Column));
      fill::ClearCell(sheet, cell.Row, cell.Column);
    } catch (...) {
      fill::RaiseImageListError(std::current_exception());
    }
  }
}

// An empty recordset: NoData 1 deletes the outermost level block, 2 the worksheet; anything
// else leaves the template as it is.
void ApplyNoData(platform::Worksheet& sheet, const LevelTable& table, std::int16_t noData,
                 bool recordsGoDown, bool rangeFill) {
  if (noData == 2) {
    sheet.Delete();
    return;
  }
  if (noData != 1) return;
  const GroupLevel& outer = table.Levels.front();
  platform::CellRect rect{outer.MinRow, outer.MinCol, outer.MaxRow, outer.MaxCol};
  if (!rangeFill) {
    rect = recordsGoDown ? platform::CellRect{outer.MinRow, 1, outer.MaxRow, platform::kMaxColumns}
                         : platform::CellRect{1, outer.MinCol, platform::kMaxRows, outer.MaxCol};
  }
  sheet.DeleteCells(rect, recordsGoDown ? platform::kShiftUp : platform::kShiftToLeft);
}

}  // namespace

void RunGroupTableReport(TabrixEvents* events, const RecordsetPtr& recordset,
                         const WorksheetPtr& worksheet, const std::string& cellList,
                         const std::string& range, std::int16_t& fillOrder,
                         const std::string& imageList, const std::string& pageBreak,
                         std::int16_t noData, const GroupTexts& groupTexts) {
  if (!worksheet) RaiseTabrixError(kErrWorksheetNotSet, "The Excel.Worksheet object is not set.");
  const int state = InGeneralFrame([&] {
    if (!recordset)
      throw AutomationError(kObjectNotSet, kProductName,
                            "Object variable or With block variable not set");
    return recordset->State();
  });
  if (state == platform::kStateClosed)
    RaiseTabrixError(kErrRecordsetClosed, "The ADODB.Recordset object is closed.");

  bool rangeFill = false;
  std::vector<std::string> cellEntries;
  InGeneralFrame([&] {
    rangeFill = fill::NormalizeFillOrder(fillOrder);
    cellEntries = fill::SplitList(cellList);
  });
  fill::CheckCellList(cellEntries);

  std::vector<std::string> imageEntries;
  std::vector<GroupText> groups;
  FillPlan plan;
  std::int32_t fieldCount = 0;
  InGeneralFrame([&] {
    imageEntries = fill::SplitList(imageList);
    groups = ReadGroups(groupTexts);
    plan.PageBreaks = fill::ParsePageBreak(pageBreak, static_cast<std::int16_t>(groups.size()));
    plan.RecordCount = fill::CountRecords(*recordset);
    fieldCount = recordset->GetFields().Count();
    if (events) events->FunctionProgress(0, plan.RecordCount);
  });
  plan.RecordsGoDown = fillOrder == 0;
  plan.RangeFill = rangeFill;
  plan.HasImageList = !imageEntries.empty();
  // The record-by-record fill, kept for the tests that compare the planned fill with it.
  plan.PlanRuns = std::getenv("TABRIX_GROUP_FILL_BY_RECORD") == nullptr;

  std::vector<fill::FieldCell> cells =
      InFrame(kCellListFrame, "Syntax error. Failed to parse cell list. ", [&] {
        return fill::LocateFieldCells(*worksheet, fieldCount, cellEntries, fillOrder);
      });

  const LevelTable table = ResolveGroupLevels(*recordset, *worksheet, cells, groups, range);

  std::vector<fill::ImageOptions> imageOptions(cells.size());
  ResolveImageFields(*recordset, *worksheet, imageEntries, cells, imageOptions);

  InGeneralFrame([&] {
    if (plan.RecordCount <= 0)
      ApplyNoData(*worksheet, table, noData, plan.RecordsGoDown, plan.RangeFill);
    else
      FillGroups(events, *recordset, *worksheet, table, cells, imageOptions, plan);
  });
}

}  // namespace tabrix::group
