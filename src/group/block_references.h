// Whether a block of the template can be repeated by one insertion and one fill instead of one
// insertion and one copy per repetition: the grouped fill asks this of its record block.
#pragma once

#include <cstdint>
#include <string_view>

#include "tabrix/platform/spreadsheet.h"

namespace tabrix::group {

// A formula's relative lines (rows when `down`, columns otherwise) all lie in [first, last],
// and none belongs to a reference on another sheet. Absolute lines may point anywhere.
bool RelativeLinesStayWithin(std::string_view formula, bool down, std::int32_t first,
                             std::int32_t last);

// Every formula of `block` keeps its relative lines inside the block's lines. False as well
// when the worksheet does not show its formulas.
bool BlockStaysInside(platform::Worksheet& sheet, const platform::CellRect& block, bool down);

}  // namespace tabrix::group
