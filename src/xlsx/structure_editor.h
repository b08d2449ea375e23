// One insertion or deletion of rows or columns (entire, or cells of a band) on a worksheet,
// with everything that refers to the moved cells.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <vector>

#include "xlsx/formula_references.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {

class StructureEditor {
 public:
  StructureEditor(XlsxWorksheet& sheet, const SheetEdit& edit);
  // Checks that the application would allow the edit, then applies it.
  void Run();

 private:
  void CheckAllowed();
  void ReleaseCells(std::vector<Cell>::iterator first, std::vector<Cell>::iterator last);
  void MoveCells();
  void MoveEntireRows();
  void MoveBandCellsAlongRows();
  void MoveCellsAlongColumns();
  void MoveColumnInfo();
  void MoveRowBreaks(std::vector<PageBreak>& breaks);
  void MoveMerges();
  void MoveFormulas();
  bool ShiftSqrefAttribute(pugi::xml_attribute attribute);
  bool ShiftRangeList(RangeList& list);
  void MoveSheetXml();
  void MoveDrawing();
  void MoveSheetParts();
  void MoveTable(pugi::xml_node table);
  void MoveWorkbookParts();

  XlsxWorksheet& sheet_;
  XlsxWorkbook& book_;
  SheetEdit edit_;
  const std::string sheetName_;
};

}  // namespace tabrix::xlsx
