// The fixed-table fill: each record goes into the next copy of the template block; nothing is
// inserted or deleted.
#include "fill/fixed_table_report.h"

#include <exception>

#include "fill/cell_values.h"
#include "fill/error_frame.h"
#include "fill/table_preparation.h"

namespace tabrix::fill {

void RunFixTableReport(TabrixEvents* events, const RecordsetPtr& recordset,
                       const WorksheetPtr& worksheet, const std::string& cellList,
                       const std::string& rangeText, std::int16_t copy, std::int16_t& fillOrder,
                       const std::string& imageList, const std::string& pageBreak) {
  RunFramed("Failed to execute function FixTableReport. ", [&] {
    TablePlan plan = PrepareTable(events, recordset, worksheet, cellList, rangeText, fillOrder,
                                  imageList, pageBreak);
    platform::Worksheet& sheet = *worksheet;
    platform::Recordset& records = *recordset;

    PassThroughErrors([&] {
      try {
        for (std::int32_t index : ResolveImageFieldIndexes(records, plan.ImageEntries))
          plan.Cells[static_cast<size_t>(index)].IsImage = true;
      } catch (...) {
        RaiseImageListError(std::current_exception());
      }
    });

    const std::int32_t n = plan.RecordCount;
    if (n < 1) return;
    const std::string imageFolder = plan.ImageEntries.empty() ? std::string() : ImageFolder(sheet);

    const bool byRows = plan.ByRows(fillOrder);
    const std::int64_t step = plan.Step(fillOrder);
    const Block& block = plan.TemplateBlock;

    if (copy != 0 && n >= 2) {
      const platform::CellRect source{block.MinRow, block.MinCol, block.MaxRow, block.MaxCol};
      platform::CellRect destination = source;
      if (byRows)
        destination.row2 = CheckedRow((n - 1) * step + block.MaxRow);
      else
        destination.col2 = CheckedColumn((n - 1) * step + block.MaxCol);
      sheet.AutoFill(source, destination, platform::kFillCopy);
    }

    platform::Fields& fields = records.GetFields();
    const std::int32_t fieldCount = plan.FieldCount;
    const std::int16_t perPage = plan.PageBreak.RecordsPerPage;
    std::int64_t offset = 0;
    for (std::int32_t r = 0; r < n; ++r) {
      RaiseProgress(events, r + 1, n);
      for (std::int32_t i = 0; i < fieldCount; ++i) {
        const FieldCell& cell = plan.Cells[static_cast<size_t>(i)];
        const std::int32_t row = byRows ? CheckedRow(cell.Row + offset) : cell.Row;
        const std::int32_t column = byRows ? cell.Column : CheckedColumn(cell.Column + offset);
        if (cell.IsImage) {
          // The option text is read from this record's own block (copied or not).
          ImageOptions options = ParseImageOptions(ReadOptionText(sheet, row, column));
          ClearCell(sheet, row, column);
          const Variant value = ReadFieldValue(fields.Item(i));
          PutFieldImage(sheet, row, column, value, options, imageFolder);
        } else {
          WriteFieldValue(sheet, row, column, ReadFieldValue(fields.Item(i)));
        }
      }
      // A break follows every full page of records, the last record included.
      if (perPage > 0 && (r + 1) % perPage == 0) {
        if (byRows)
          SetRowPageBreak(sheet, CheckedRow(block.MaxRow + offset + 1));
        else
          SetColumnPageBreak(sheet, CheckedColumn(block.MaxCol + offset + 1));
      }
      offset += step;
      records.MoveNext();
    }
  });
}

}  // namespace tabrix::fill
