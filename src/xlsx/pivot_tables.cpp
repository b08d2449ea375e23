// Pivot table parts of a worksheet: their locations are found through the sheet's relationships
// and moved like any other range of the sheet.
#include "xlsx/pivot_tables.h"

#include "xlsx/cell_address.h"
#include "xlsx/formula_references.h"
#include "xlsx/package.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {
constexpr const char* kPivotTableRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/pivotTable";
}  // namespace

std::vector<pugi::xml_node> PivotLocations(XlsxWorksheet& sheet) {
  std::vector<pugi::xml_node> locations;
  if (!sheet.HasRels()) return locations;
  for (const Relationship& rel : sheet.Rels().All()) {
    if (rel.external || !RelationshipTypeIs(rel.type, kPivotTableRelationship)) continue;
    pugi::xml_document* part = sheet.Book().EditablePart(ResolvePartTarget(sheet.PartName(), rel.target));
    if (!part) continue;
    if (pugi::xml_node location = ChildByLocalName(part->document_element(), "location"))
      locations.push_back(location);
  }
  return locations;
}

void MovePivotLocations(XlsxWorksheet& sheet, const SheetEdit& edit) {
  for (pugi::xml_node location : PivotLocations(sheet)) {
    pugi::xml_attribute ref = location.attribute("ref");
    auto rect = ParseArea(ref.value());
    if (!rect) continue;
    // A pivot table is never cut (checked before the edit); deleting all of it keeps the part.
    if (auto moved = ShiftRect(*rect, edit)) ref.set_value(FormatRef(*moved).c_str());
  }
}

}  // namespace tabrix::xlsx
