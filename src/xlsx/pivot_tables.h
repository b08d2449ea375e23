// The pivot tables drawn on a worksheet: the <location> of each pivot table part the sheet
// relates to, checked before a structural edit and moved with the cells after it.
#pragma once

#include <pugixml.hpp>

#include <vector>

namespace tabrix::xlsx {

class XlsxWorksheet;
struct SheetEdit;

// The <location> elements of the sheet's pivot tables (their "ref" is the report's range).
std::vector<pugi::xml_node> PivotLocations(XlsxWorksheet& sheet);

// Moves every pivot table's location by the edit, as its cells move.
void MovePivotLocations(XlsxWorksheet& sheet, const SheetEdit& edit);

}  // namespace tabrix::xlsx
