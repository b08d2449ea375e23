// The native workbook engine's objects: application, workbook, worksheets, names and picture
// shapes over an .xlsx package held in memory.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/cell_address.h"
#include "xlsx/formula_index.h"
#include "xlsx/package.h"
#include "xlsx/sheet_cells.h"
#include "xlsx/string_table.h"
#include "xlsx/style_sheet.h"
#include "xlsx/zip_archive.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx {

// File-format codes of the object model.
inline constexpr std::int32_t kFormatCsv = 6;
inline constexpr std::int32_t kFormatText = -4158;
inline constexpr std::int32_t kFormatXlsx = 51;
inline constexpr std::int32_t kFormatXlsm = 52;
inline constexpr std::int32_t kFormatXltm = 53;
inline constexpr std::int32_t kFormatXltx = 54;

// Largest picture file AddPicture embeds; the whole file is held in memory as a media part.
inline constexpr std::uint64_t kMaxPictureFileBytes = 256ull << 20;

class XlsxWorkbook;
class XlsxWorksheet;

// Width of a digit as a fraction of the font size ("Calibri" 0.507, "Arial" 0.556, ...).
double DigitWidthEm(const std::string& font);
// Pixels (96 dpi) the widest line of the text takes in that font.
double TextWidthPixels(std::string_view text, const std::string& font, double points, bool bold,
                       double digitEmOfFont);

// The parts of a new workbook with one empty sheet.
PackageParts BlankPackage(const std::string& sheetName);
struct DrawingPart;

// One formula of the workbook. Cells refer to formulas by index; the text never starts with "=".
struct Formula {
  enum Type : std::uint8_t { kNormal, kArray, kDataTable };
  std::string text;
  XlsxWorksheet* sheet = nullptr;  // the sheet the formula lives on (nullptr once released)
  Type type = kNormal;
  CellRect ref{};                  // array and data-table formulas: the cells they cover
  std::string attributes;          // further attributes of <f> as written in the file
  bool prefixed = false;           // some reference names a sheet: indexed workbook-wide
};

struct ColumnInfo {
  std::int32_t min = 1, max = 1;
  double width = 0;   // characters; 0 = default width
  std::uint32_t style = 0;
  bool hidden = false, customWidth = false, bestFit = false, collapsed = false;
  std::uint8_t outlineLevel = 0;
  bool hasStyle = false;
};

struct PageBreak {
  std::int32_t id = 0;  // the break comes after row (column) id
  std::int32_t min = 0, max = 0;
  bool manual = true;
  bool pivot = false;
};

class XlsxShape;

class XlsxWorksheet final : public platform::Worksheet {
 public:
  XlsxWorksheet(XlsxWorkbook* book, std::string name);

  // platform::Worksheet
  std::string Name() const override { return name_; }
  std::shared_ptr<platform::Workbook> Parent() override;
  void Activate() override;
  void Protect(const std::optional<std::string>& password) override;
  void Delete() override;
  CellRect ResolveReference(std::string_view reference) override;
  Variant GetValue(std::int32_t row, std::int32_t column) override;
  void SetValue(std::int32_t row, std::int32_t column, const Variant& value) override;
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
  const std::vector<CellRect>& Merges() const { return merges_; }
  const std::vector<PageBreak>& RowBreaks() const { return rowBreaks_; }
  const std::vector<PageBreak>& ColumnBreaks() const { return columnBreaks_; }
  void SetColumnWidth(std::int32_t column, double characters);
  double ColumnWidthCharacters(std::int32_t column) const;
  void SetRowHeight(std::int32_t row, double points);
  SheetCells& Cells() { return cells_; }
  bool IsProtected() const;
  XlsxWorkbook& Book() const;

 private:
  friend class XlsxWorkbook;
  friend class XlsxShape;
  friend class StructureEditor;
  friend class BlockCopier;

  void LoadXml(const std::string& bytes);
  void LoadSheetData(pugi::xml_node sheetData);
  std::string SaveXml(const std::vector<std::uint32_t>& stringRemap);
  void AppendSheetData(std::string& out, const std::vector<std::uint32_t>& stringRemap);
  pugi::xml_node Root() { return xml_.document_element(); }
  // The child of the worksheet element with that local name, created in schema order.
  pugi::xml_node EnsureChild(std::string_view localName);
  void CheckAlive() const;
  void CheckCell(std::int32_t row, std::int32_t column) const;
  Variant CellValue(const Cell& cell) const;
  void ClearFormula(Cell& cell);
  void WriteValue(Cell& cell, const Variant& value, bool keepFormula);
  double MaxDigitWidth() const;
  // Merged areas are kept ordered by first row (then column); the window of those that may
  // reach rows first..last.
  std::pair<std::vector<CellRect>::iterator, std::vector<CellRect>::iterator> MergesNear(std::int32_t first,
                                                                                          std::int32_t last);
  void SortMerges();
  // The 1-based column (row) that holds the point x (y) and the distance from its start.
  std::pair<std::int32_t, double> ColumnAt(double x);
  std::pair<std::int32_t, double> RowAt(double y);
  DrawingPart* Drawing(bool create);
  void ShiftDrawingAnchors(bool rows, std::int32_t at, std::int32_t count, std::int32_t bandFirst,
                           std::int32_t bandLast);

  XlsxWorkbook* book_;
  std::weak_ptr<XlsxWorkbook> bookRef_;
  std::string name_;
  std::string partName_;
  std::string relId_;
  bool deleted_ = false;
  pugi::xml_document xml_;
  Relationships rels_;
  bool hasRels_ = false;
  SheetCells cells_;
  std::vector<CellRect> merges_;
  std::int32_t tallestMerge_ = 1;   // upper bound of merge heights (for insertion lookups)
  std::int32_t widestMerge_ = 1;
  std::vector<ColumnInfo> columns_;  // sorted, not overlapping
  std::vector<PageBreak> rowBreaks_, columnBreaks_;
  pugi::xml_node rowBreaksNode_, columnBreaksNode_;  // attributes of the original elements
  double defaultRowHeight_ = 15;
  double defaultColumnWidth_ = 0;  // characters; 0 = from baseColWidth
  std::int32_t baseColumnWidth_ = 8;
  std::string drawingPart_;        // part name of the sheet's drawing, when it has one
  std::vector<std::shared_ptr<XlsxShape>> shapes_;
};

// A sheet entry of the workbook: a worksheet, or another kind of sheet kept as it is.
struct SheetEntry {
  std::string name;
  std::string relId;
  std::shared_ptr<XlsxWorksheet> worksheet;  // nullptr for chart sheets and others
};

struct DefinedName {
  std::string name;
  XlsxWorksheet* scope = nullptr;  // nullptr = workbook scope
  std::string formula;             // without "="
  std::vector<std::pair<std::string, std::string>> attributes;  // hidden, comment, ...
  bool scopeLost = false;          // scoped to a sheet that is not a worksheet (kept by index)
  std::int32_t rawScope = -1;
};

// A drawing part: anchors of pictures and charts of one sheet.
struct DrawingPart {
  std::string partName;
  pugi::xml_document xml;
  Relationships rels;
  bool modified = false;

  // Anchors ordered by the last row whose insertion or deletion moves them (1-based), so that
  // a row edit at k visits only the anchors at or below k. Built on first use.
  struct AnchorEntry {
    std::int32_t key;
    pugi::xml_node anchor;
  };
  std::vector<AnchorEntry> anchorsByRow;
  bool anchorsIndexed = false;
  unsigned maxShapeId = 0;
  bool shapeIdsKnown = false;
  std::map<std::string, std::string> imageRelations;  // media part -> relationship id

  // The row key of an anchor (0 for anchors that rows never move).
  static std::int32_t AnchorKey(pugi::xml_node anchor);
  void IndexAnchors();
  // Records the new position of an anchor that was placed or resized.
  void UpdateAnchor(pugi::xml_node anchor, bool isNew = false);
  unsigned NextShapeId();
};

class XlsxNames final : public platform::Names {
 public:
  explicit XlsxNames(XlsxWorkbook* book) : book_(book) {}
  std::int32_t Count() override;
  bool Exists(std::string_view name) override;
  void SetValue(std::string_view name, const Variant& value) override;

 private:
  XlsxWorkbook* book_;
};

class XlsxWorkbook final : public platform::Workbook {
 public:
  XlsxWorkbook(std::shared_ptr<platform::Application> application, std::string fullName);
  ~XlsxWorkbook() override;

  // Opens the file at `path` (.xlsx/.xlsm/.xltx/.xltm, or a text file) into a new workbook.
  static std::shared_ptr<XlsxWorkbook> Open(std::shared_ptr<platform::Application> application,
                                            const std::string& path);
  // A new workbook of one empty sheet.
  static std::shared_ptr<XlsxWorkbook> CreateBlank(std::shared_ptr<platform::Application> application,
                                                   const std::string& sheetName);

  // platform::Workbook
  std::string FullName() const override { return fullName_; }
  std::string Name() const override;
  std::int32_t FileFormat() const override { return fileFormat_; }
  void SaveAs(const std::string& path, std::optional<std::int32_t> fileFormat,
              int accessMode = platform::kAccessModeNoChange) override;
  std::int32_t WorksheetCount() override;
  std::shared_ptr<platform::Worksheet> WorksheetAt(std::int32_t index) override;
  std::shared_ptr<platform::Worksheet> WorksheetByName(std::string_view name) override;
  std::shared_ptr<platform::Worksheet> ActiveSheet() override;
  platform::Names& GetNames() override { return names_; }
  std::shared_ptr<platform::Application> GetApplication() override { return application_; }
  // The settings of the engine application the workbook belongs to (defaults without one).
  const platform::ApplicationSettings& Settings() const;

  // Engine internals shared by the worksheets.
  StringTable& Strings() { return strings_; }
  StyleSheet& Styles() { return styles_; }
  std::vector<Formula>& Formulas() { return formulas_; }
  // Adds a formula of a sheet and indexes it by the rows and columns it reaches.
  std::uint32_t AddFormula(XlsxWorksheet* sheet, std::string text);
  void ReleaseFormula(std::uint32_t index);
  // Formulas of a sheet whose references name no sheet, and formulas (of any sheet) with
  // sheet-qualified references.
  FormulaIndex& LocalFormulas(const XlsxWorksheet* sheet) { return localFormulas_[sheet]; }
  FormulaIndex& PrefixedFormulas() { return prefixedFormulas_; }
  // Measures a formula's reach; used after its text changed.
  FormulaIndex::Reach MeasureFormula(std::uint32_t index);
  std::vector<DefinedName>& DefinedNames() { return definedNames_; }
  const DefinedName* FindName(std::string_view name, const XlsxWorksheet* preferredScope) const;
  XlsxWorksheet* FindWorksheet(std::string_view name) const;
  std::vector<std::shared_ptr<XlsxWorksheet>> Worksheets() const;
  PackageParts& Parts() { return parts_; }
  ContentTypes& Types() { return contentTypes_; }
  DrawingPart* LoadDrawing(const std::string& partName);
  // A part name not used yet: "xl/media/image" + n + extension.
  std::string NewPartName(const std::string& prefix, const std::string& extension);
  void SetActive(XlsxWorksheet* sheet);
  void RemoveSheet(XlsxWorksheet* sheet);
  // Parsed XML of a part that references cells (charts, tables), loaded once and saved back.
  pugi::xml_document* EditablePart(const std::string& partName);

  // Parts outside the sheets that hold cell references (charts, pivot caches), parsed once:
  // their formula elements and pivot sources.
  struct ReferenceNodes {
    std::vector<pugi::xml_node> formulas;
    std::vector<pugi::xml_node> pivotSources;
  };
  std::map<std::string, ReferenceNodes>& ReferencingParts();

  // Writes the package as .xlsx-family bytes into a zip file at `path`.
  void WritePackage(const std::string& path, std::int32_t format);
  bool Date1904() const { return date1904_; }

 private:
  friend class XlsxWorksheet;
  friend class StructureEditor;

  void LoadPackage(PackageParts parts);
  void LoadText(const std::string& path, std::int32_t format);
  void LoadDefinedNames();
  void SaveWorkbookXml(std::int32_t format);
  void SaveSharedStrings(std::vector<std::uint32_t>& remap);
  void WriteTextFile(const std::string& path, std::int32_t format);

  std::shared_ptr<platform::Application> application_;
  std::string fullName_;
  std::string openedPath_;  // the file the workbook was opened from: never written
  std::int32_t fileFormat_ = kFormatXlsx;
  bool date1904_ = false;
  PackageParts parts_;
  ContentTypes contentTypes_;
  std::string workbookPart_;
  pugi::xml_document workbookXml_;
  Relationships workbookRels_;
  StringTable strings_;
  StyleSheet styles_;
  std::string stylesPart_;
  std::string sharedStringsPart_;
  std::vector<Formula> formulas_;
  std::map<const XlsxWorksheet*, FormulaIndex> localFormulas_;
  FormulaIndex prefixedFormulas_;
  std::vector<SheetEntry> sheets_;
  std::vector<DefinedName> definedNames_;
  XlsxWorksheet* active_ = nullptr;
  XlsxNames names_{this};
  std::map<std::string, std::unique_ptr<DrawingPart>> drawings_;
  std::map<std::string, std::unique_ptr<pugi::xml_document>> editedParts_;
  std::optional<std::map<std::string, ReferenceNodes>> referencingParts_;
  std::size_t specialFormulas_ = 0;
  std::map<std::size_t, std::string> media_;  // picture content hash -> media part
  std::map<std::string, int> nextPartNumber_;  // array and data-table formulas (their ranges move too)
};

class XlsxApplication final : public platform::Application {
 public:
  explicit XlsxApplication(platform::ApplicationSettings settings = {}) : settings_(std::move(settings)) {}
  std::string Version() const override { return "16.0"; }
  std::shared_ptr<platform::Workbook> OpenWorkbook(const std::string& path, bool readOnly) override;

  const platform::ApplicationSettings& Settings() const { return settings_; }
  platform::ApplicationSettings& Settings() { return settings_; }

 private:
  platform::ApplicationSettings settings_;
};


}  // namespace tabrix::xlsx
