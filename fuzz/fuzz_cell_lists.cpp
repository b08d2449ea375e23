// Cell lists, image lists, picture options and page-break texts of the fill engines.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fill/cell_references.h"
#include "fuzz/support/fuzz_support.h"

using namespace tabrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  const auto highestLevel = static_cast<std::int16_t>(input.Byte() % 12);
  const std::string_view text = input.Rest();

  fuzz::ExpectOnlyAutomationErrors("SplitList", [&] {
    const auto entries = fill::SplitList(text);
    fuzz::Require(entries.size() <= static_cast<std::size_t>(fill::kMaxListEntries),
                  "list within its entry limit");
    (void)fill::IsNumericImageList(entries);
    fill::CheckCellList(entries);
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
