// A worksheet of the native engine: the object model's Worksheet over the sheet part, with its
// cells, layout, merged areas and pictures as parts the engine's other classes work on.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tabrix/platform/spreadsheet.h"
#include "xlsx/cell_address.h"
#include "xlsx/edit_guards.h"
#include "xlsx/merged_areas.h"
#include "xlsx/package.h"
#include "xlsx/range_list.h"
#include "xlsx/sheet_cells.h"
#include "xlsx/sheet_layout.h"
#include "xlsx/sheet_pictures.h"
#include "xlsx/zip_archive.h"

namespace tabrix::xlsx {

class XlsxWorkbook;

class XlsxWorksheet final : public platform::Worksheet {
 public:
  XlsxWorksheet(XlsxWorkbook* book, std::string name);
  XlsxWorksheet(const XlsxWorksheet&) = delete;
  XlsxWorksheet& operator=(const XlsxWorksheet&) = delete;

  // platform::Worksheet
  std::string Name() const override { return name_; }
  std::shared_ptr<platform::Workbook> Parent() override;
  void Activate() override;
  void Protect(const std::optional<std::string>& password) override;
  void Delete() override;
  CellRect ResolveReference(std::string_view reference) override;
  Variant GetValue(std::int32_t row, std::int32_t column) override;
  void SetValue(std::int32_t row, std::int32_t column, const Variant& value) override;
  std::optional<std::string> CellFormula(std::int32_t row, std::int32_t column) override {
    return GetFormula(row, column);
  }
  void InsertCells(const CellRect& rect, platform::Shift shift) override;
  void DeleteCells(const CellRect& rect, platform::Shift shift) override;
  void CopyCells(const CellRect& source, std::int32_t destRow, std::int32_t destColumn) override;
  void AutoFill(const CellRect& source, const CellRect& destination, int fillType) override;
  void SetRowPageBreak(std::int32_t row, int type) override;
  void SetColumnPageBreak(std::int32_t column, int type) override;
  double CellLeft(std::int32_t column) override;
  double CellTop(std::int32_t row) override;
  double ColumnWidthPoints(std::int32_t column) override;
  double RowHeightPoints(std::int32_t row) override;
  CellRect MergeArea(std::int32_t row, std::int32_t column) override;
  std::shared_ptr<platform::Shape> AddPicture(const std::string& file, bool linkToFile,
                                              bool saveWithDocument, double left, double top,
                                              double width, double height) override;
  void AutoFitColumns() override;

  // Engine extensions (tests, formula evaluation, text output).
  // Puts a formula ("=A1+1" or "A1+1") into a cell; the cached value becomes `cached`.
  void SetFormula(std::int32_t row, std::int32_t column, std::string_view formula,
                  const Variant& cached = Variant());
  // The formula text of a cell ("=..."), empty when it holds none.
  std::string GetFormula(std::int32_t row, std::int32_t column);
  // Sets the cached value of a formula cell (keeps the formula).
  void SetCachedValue(std::int32_t row, std::int32_t column, const Variant& value);
  // The text the cell displays (its value rendered with its number format).
  std::string DisplayText(std::int32_t row, std::int32_t column);
  std::uint32_t CellStyle(std::int32_t row, std::int32_t column);
  void SetCellStyle(std::int32_t row, std::int32_t column, std::uint32_t style);
  // Merges the rectangle; merged areas it overlaps are replaced.
  void Merge(const CellRect& rect);
  const std::vector<CellRect>& Merges() const { return merges_.List(); }
  const std::vector<PageBreak>& RowBreaks() const { return layout_.RowBreaks(); }
  const std::vector<PageBreak>& ColumnBreaks() const { return layout_.ColumnBreaks(); }
  void SetColumnWidth(std::int32_t column, double characters);
  double ColumnWidthCharacters(std::int32_t column) const { return layout_.ColumnWidthCharacters(column); }
  void SetRowHeight(std::int32_t row, double points);
  bool IsProtected() const;
  XlsxWorkbook& Book() const;

  // The sheet's parts for the engine's own classes (workbook, structure editor, copies).
  SheetCells& Cells() { return cells_; }
  SheetLayout& Layout() { return layout_; }
  const SheetLayout& Layout() const { return layout_; }
  MergedAreas& MergedCells() { return merges_; }
  SheetPictures& Pictures() { return pictures_; }
  // The sheet part's XML (cells, columns, merges and breaks are held apart while loaded).
  pugi::xml_node Root() { return xml_.document_element(); }
  // The child of the worksheet element with that local name, created in schema order.
  pugi::xml_node EnsureChild(std::string_view localName);
  // Where the sheet lives in the package.
  const std::string& PartName() const { return partName_; }
  const std::string& RelationshipId() const { return relId_; }
  void SetPart(std::string partName, std::string relationshipId);
  const Relationships& Rels() const { return rels_; }
  bool HasRels() const { return hasRels_; }
  // The sheet's relationships for changes; they are written with the sheet from then on.
  Relationships& EditRels();
  // Reads the sheet part, whose text `read` hands out in consecutive pieces to its callback
  // (until the text ends or the callback returns false); it may be asked for the text twice.
  using PartReader = std::function<void(const std::function<bool(std::string_view)>& piece)>;
  void LoadXml(const PartReader& read);
  // The sheet part as saved, deflated while it is written.
  DeflatedPart SaveXml(const std::vector<std::uint32_t>& stringRemap);
  // Raises the engine's error once the sheet (or its workbook) is gone.
  void CheckAlive() const;
  // Called by the workbook when the sheet is deleted or the workbook closes.
  void Detach() { deleted_ = true; }
  // Releases the formula a cell holds, if any.
  void ClearFormula(Cell& cell);
  // The parsed form of a reference list attribute of the sheet XML (conditional format and
  // validation sqref), kept while the sheet is edited and written back by WriteRangeLists.
  RangeList& RangeListOf(pugi::xml_attribute attribute);
  // The same for an xm:sqref element of the extension list (its text is the list).
  RangeList& RangeListOf(pugi::xml_node sqrefElement);
  // Called before the attribute's node leaves the XML.
  void ForgetRangeList(pugi::xml_attribute attribute) { rangeLists_.erase(attribute.internal_object()); }
  // Writes the changed lists back into their attributes and elements.
  void WriteRangeLists();
  // The references the extension list holds (x14 conditional formats and validations,
  // sparklines), found once: reference lists (xm:sqref) and formulas (xm:f).
  struct ExtensionReferences {
    std::vector<pugi::xml_node> formatLists;  // of conditional formats and validations
    std::vector<pugi::xml_node> otherLists;   // sparklines and other extensions
    std::vector<pugi::xml_node> formulas;
  };
  const ExtensionReferences& ExtensionRefs();
  // Lookups kept for the checks of refused edits and the table header hook.
  SheetGuardCache& GuardCache() { return guardCache_; }

 private:
  struct SheetDataWalk;
  void LoadRoot(SheetDataWalk& walk, std::exception_ptr rowsError);
  void AppendSheetData(StreamedPart& part, const std::vector<std::uint32_t>& stringRemap);
  void CheckCell(std::int32_t row, std::int32_t column) const;
  Variant CellValue(const Cell& cell) const;
  void WriteValue(Cell& cell, const Variant& value, bool keepFormula);

  XlsxWorkbook* book_;
  std::string name_;
  std::string partName_;
  std::string relId_;
  bool deleted_ = false;
  pugi::xml_document xml_;
  Relationships rels_;
  bool hasRels_ = false;
  SheetCells cells_;
  SheetLayout layout_;
  MergedAreas merges_;
  SheetPictures pictures_{*this};
  std::unordered_map<const void*, RangeList> rangeLists_;  // by attribute or element
  std::optional<ExtensionReferences> extensionRefs_;
  SheetGuardCache guardCache_;
};

}  // namespace tabrix::xlsx
