// The growing-table fill: inserts or deletes record blocks so the table holds every record,
// then writes the values, pictures and page breaks.
#include "fill/variable_table_report.h"

#include <algorithm>
#include <exception>

#include "fill/cell_values.h"
#include "fill/error_frame.h"
#include "fill/table_preparation.h"

namespace tabrix::fill {
namespace {

// How the table's blocks are inserted and deleted: entire rows or columns, or with a range
// fill order only the cells of the template block's band (its columns for ROW, its rows for
// COL), so that neighbouring cells outside the band stay where they are.
class BlockSpace {
 public:
  BlockSpace(platform::Worksheet& sheet, const Block& block, bool byRows, bool bandOnly)
      : sheet_(sheet), block_(block), byRows_(byRows), bandOnly_(bandOnly) {}

  // Inserts `blocks` blocks of `step` rows or columns directly after the template block.
  void InsertAfterTemplate(std::int64_t blocks, std::int64_t step) {
    if (byRows_) {
      const std::int32_t first = CheckedRow(block_.MaxRow + std::int64_t{1});
      const std::int32_t last = CheckedRow(blocks * step + block_.MaxRow);
      if (bandOnly_) {
        sheet_.InsertCells(platform::CellRect{first, block_.MinCol, last, block_.MaxCol},
                           platform::kShiftDown);
      } else {
        sheet_.InsertCells(sheet_.ResolveReference(RowsText(first, last)), platform::kShiftDown);
      }
    } else {
      const std::int32_t first = CheckedColumn(block_.MaxCol + std::int64_t{1});
      const std::int32_t last = CheckedColumn(blocks * step + block_.MaxCol);
      if (bandOnly_) {
        sheet_.InsertCells(platform::CellRect{block_.MinRow, first, block_.MaxRow, last},
                           platform::kShiftToRight);
      } else {
        sheet_.InsertCells(sheet_.ResolveReference(ColumnsText(first, last)),
                           platform::kShiftToRight);
      }
    }
  }

  // Deletes the template block's area `blocks` times over in one edit: the blocks behind it move
  // up or left into its place. Deleting the same place again after the first deletion removes
  // the lines that moved there, so one deletion of all those lines gives the same sheet.
  void DeleteTemplateBlocks(std::int64_t blocks = 1) {
    if (byRows_) {
      const std::int32_t last = CheckedRow(block_.MinRow + blocks * (block_.MaxRow - block_.MinRow + 1) - 1);
      if (bandOnly_)
        sheet_.DeleteCells(platform::CellRect{block_.MinRow, block_.MinCol, last, block_.MaxCol}, platform::kShiftUp);
      else
        sheet_.DeleteCells(sheet_.ResolveReference(RowsText(block_.MinRow, last)), platform::kShiftUp);
    } else {
      const std::int32_t last = CheckedColumn(block_.MinCol + blocks * (block_.MaxCol - block_.MinCol + 1) - 1);
      if (bandOnly_)
        sheet_.DeleteCells(platform::CellRect{block_.MinRow, block_.MinCol, block_.MaxRow, last},
                           platform::kShiftToLeft);
      else
        sheet_.DeleteCells(sheet_.ResolveReference(ColumnsText(block_.MinCol, last)), platform::kShiftToLeft);
    }
  }

  platform::CellRect TemplateRect() const {
    return platform::CellRect{block_.MinRow, block_.MinCol, block_.MaxRow, block_.MaxCol};
  }

 private:
  // Entire rows as "first:last".
  static std::string RowsText(std::int32_t first, std::int32_t last) {
    return std::to_string(first) + ":" + std::to_string(last);
  }
  // Entire columns as the two columns' addresses joined by ":" ("$F:$F:$H:$H").
  static std::string ColumnsText(std::int32_t first, std::int32_t last) {
    auto address = [](std::int32_t column) {
      return platform::FormatAddress(platform::CellRect{1, column, platform::kMaxRows, column},
                                     true, true);
    };
    return address(first) + ":" + address(last);
  }

  platform::Worksheet& sheet_;
  Block block_;
  bool byRows_;
  bool bandOnly_;
};

}  // namespace

void RunVarTableReport(TabrixEvents* events, const RecordsetPtr& recordset,
                       const WorksheetPtr& worksheet, const std::string& cellList,
                       const std::string& rangeText, std::int16_t copy, std::int16_t reserve,
                       std::int16_t& fillOrder, const std::string& imageList,
                       const std::string& pageBreak, std::int16_t noData) {
  // "VarTableReprot" is misspelt on purpose: hosts match this prefix exactly.
  RunFramed("Failed to execute function VarTableReprot. ", [&] {
    TablePlan plan = PrepareTable(events, recordset, worksheet, cellList, rangeText, fillOrder,
                                  imageList, pageBreak);
    platform::Worksheet& sheet = *worksheet;
    platform::Recordset& records = *recordset;

    // Image fields take their options from their template cells once, in list order; each
    // option cell is cleared as soon as it has been read.
    std::vector<ImageOptions> imageOptions(plan.Cells.size());
    PassThroughErrors([&] {
      try {
        const bool numeric = IsNumericImageList(plan.ImageEntries);
        for (const std::string& entry : plan.ImageEntries) {
          const std::int32_t index = ImageFieldIndex(records, entry, numeric);
          FieldCell& cell = plan.Cells[static_cast<size_t>(index)];
          cell.IsImage = true;
          imageOptions[static_cast<size_t>(index)] =
              ParseImageOptions(ReadOptionText(sheet, cell.Row, cell.Column));
          ClearCell(sheet, cell.Row, cell.Column);
        }
      } catch (...) {
        RaiseImageListError(std::current_exception());
      }
    });

    const std::int64_t n = plan.RecordCount;
    const std::int64_t reserved = reserve;
    const std::string imageFolder =
        (n >= 1 && !plan.ImageEntries.empty()) ? ImageFolder(sheet) : std::string();

    const bool byRows = plan.ByRows(fillOrder);
    const std::int64_t step = plan.Step(fillOrder);
    const Block& block = plan.TemplateBlock;
    BlockSpace space(sheet, block, byRows, plan.RangeFillOrder);

    // Making space: all missing blocks in one insertion, all surplus blocks in one deletion.
    // The template block is always the one deleted, so the reserved blocks behind it move up
    // (or left) and the last reserved block ends at the template position. With fewer records
    // than reserved blocks but at least two, exactly one block per record is left (R - n
    // deletions); with none or one record a single block remains (R - 1 deletions).
    if (n > reserved) {
      space.InsertAfterTemplate(n - reserved, step);
    } else if (reserved > std::max<std::int64_t>(n, 1)) {
      space.DeleteTemplateBlocks(reserved - std::max<std::int64_t>(n, 1));
    }

    // The template block is repeated over itself and the inserted blocks (never over the other
    // reserved blocks); with no inserted block there is nothing to copy.
    if (copy != 0 && n >= 2 && n > reserved) {
      const platform::CellRect source = space.TemplateRect();
      platform::CellRect destination = source;
      if (byRows)
        destination.row2 = CheckedRow((n - reserved) * step + block.MaxRow);
      else
        destination.col2 = CheckedColumn((n - reserved) * step + block.MaxCol);
      sheet.AutoFill(source, destination, platform::kFillCopy);
    }

    platform::Fields& fields = records.GetFields();
    const std::int32_t fieldCount = plan.FieldCount;
    const std::int32_t recordCount = plan.RecordCount;
    const std::int16_t perPage = plan.PageBreak.RecordsPerPage;
    std::int64_t offset = 0;
    for (std::int32_t r = 0; r < recordCount; ++r) {
      RaiseProgress(events, r + 1, recordCount);
      for (std::int32_t i = 0; i < fieldCount; ++i) {
        const FieldCell& cell = plan.Cells[static_cast<size_t>(i)];
        const std::int32_t row = byRows ? CheckedRow(cell.Row + offset) : cell.Row;
        const std::int32_t column = byRows ? cell.Column : CheckedColumn(cell.Column + offset);
        if (cell.IsImage) {
          const Variant value = ReadFieldValue(fields.Item(i));
          PutFieldImage(sheet, row, column, value, imageOptions[static_cast<size_t>(i)],
                        imageFolder);
        } else {
          WriteFieldValue(sheet, row, column, ReadFieldValue(fields.Item(i)));
        }
      }
      // A break goes above every record that starts a new page; none follows the last record.
      if (perPage > 0 && r >= 1 && r % perPage == 0) {
        if (byRows)
          SetRowPageBreak(sheet, CheckedRow(block.MinRow + offset));
        else
          SetColumnPageBreak(sheet, CheckedColumn(block.MinCol + offset));
      }
      offset += step;
      records.MoveNext();
    }

    if (n >= 1) return;
    switch (noData) {
      case kNoDataDeleteRange:
        space.DeleteTemplateBlocks();
        break;
      case kNoDataDeleteSheet:
        sheet.Delete();
        break;
      default:
        break;  // the template block stays, its image option cells cleared
    }
  });
}

}  // namespace tabrix::fill
