// Cell lists, image lists, picture options and page-break texts of the fill engines; cell lists
// and ranges resolved on a worksheet of the workbook engine (references, whole rows and
// columns, sheet-qualified references, defined names).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fill/cell_references.h"
#include "fuzz/support/fuzz_support.h"
#include "xlsx/xlsx_workbook.h"

using namespace tabrix;

namespace {

std::shared_ptr<platform::Worksheet> Sheet() {
  static std::shared_ptr<platform::Application> application = platform::CreateSpreadsheetApplication();
  static std::shared_ptr<xlsx::XlsxWorkbook> book = xlsx::XlsxWorkbook::CreateBlank(application, "Sheet1");
  return book->WorksheetAt(1);
}

bool OnSheet(std::int32_t row, std::int32_t column) {
  return row >= 1 && row <= platform::kMaxRows && column >= 1 && column <= platform::kMaxColumns;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  const auto highestLevel = static_cast<std::int16_t>(input.Byte() % 12);
  const std::int32_t fieldCount = input.Byte() % 8;
  const std::string range(input.ShortString(24));
  const std::string_view text = input.Rest();

  fuzz::ExpectOnlyAutomationErrors("cell list", [&] {
    const auto entries = fill::SplitList(text);
    fuzz::Require(entries.size() <= static_cast<std::size_t>(fill::kMaxListEntries),
                  "list within its entry limit");
    (void)fill::IsNumericImageList(entries);
    fill::CheckCellList(entries);
    std::vector<fill::FieldCell> cells;
    const auto sheet = Sheet();
    const fill::Block block =
        fill::ResolveFieldCells(*sheet, fieldCount, entries, static_cast<std::int16_t>(highestLevel & 1), range, cells);
    fuzz::Require(cells.size() == static_cast<std::size_t>(fieldCount), "one cell per field");
    // Listed cells are on the sheet; cells placed beside them may run past its edge, which the
    // engines check before they write.
    for (std::size_t i = 0; i < cells.size() && i < entries.size(); ++i)
      if (!entries[i].empty()) fuzz::Require(OnSheet(cells[i].Row, cells[i].Column), "listed cell on the sheet");
    fuzz::Require(block.MinRow <= block.MaxRow && block.MinCol <= block.MaxCol, "block is a rectangle");
  });
  fuzz::ExpectOnlyAutomationErrors("ParsePageBreak", [&] {
    const fill::PageBreakSpec spec = fill::ParsePageBreak(text, highestLevel);
    fuzz::Require(spec.RecordsPerPage >= 0, "records per page not negative");
    fuzz::Require(spec.GroupBreakCount >= 0, "group break count not negative");
    fuzz::Require(spec.GroupBreakLevel >= 0 && spec.GroupBreakLevel <= highestLevel,
                  "group break level within the levels");
  });
  fuzz::ExpectOnlyAutomationErrors("ParseImageOptions", [&] {
    const fill::ImageOptions options = fill::ParseImageOptions(text);
    fuzz::Require(options.Placement >= 1 && options.Placement <= 3, "placement is 1, 2 or 3");
  });
  std::int16_t order = static_cast<std::int16_t>(highestLevel - 4);
  (void)fill::NormalizeFillOrder(order);
  fuzz::Require(order == 0 || order == 1, "fill order normalised");
  return 0;
}
