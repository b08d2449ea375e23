// The spreadsheet operations the report engines rely on: application, workbooks, worksheets,
// ranges, names and picture shapes. The native workbook engine (src/platform/xlsx) implements
// them over .xlsx files; a host may pass its own worksheet or workbook to the public methods.
//
// Every operation may fail with an AutomationError carrying the engine's number, source and
// description, as the spreadsheet application would raise it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tabrix/office_converter.h"
#include "tabrix/variant.h"

namespace tabrix::platform {

// Constants of the spreadsheet object model.
enum Shift : int {
  kShiftDown = -4121,
  kShiftToRight = -4161,
  kShiftUp = -4162,
  kShiftToLeft = -4159,
};
inline constexpr int kFillCopy = 1;            // AutoFill type: copy
inline constexpr int kPageBreakManual = -4135;  // Rows(r).PageBreak / Columns(c).PageBreak
inline constexpr int kAccessModeNoChange = 1;  // SaveAs access mode
inline constexpr int kPlacementMoveAndSize = 1;
inline constexpr int kPlacementMove = 2;
inline constexpr int kPlacementFreeFloating = 3;

inline constexpr std::int32_t kMaxRows = 1048576;
inline constexpr std::int32_t kMaxColumns = 16384;

// A rectangle of cells, 1-based and inclusive. A rectangle spanning every column is a set of
// entire rows, one spanning every row a set of entire columns.
struct CellRect {
  std::int32_t row1 = 1, col1 = 1, row2 = 1, col2 = 1;

  std::int32_t Rows() const { return row2 - row1 + 1; }
  std::int32_t Columns() const { return col2 - col1 + 1; }
  bool IsEntireRows() const { return col1 == 1 && col2 == kMaxColumns; }
  bool IsEntireColumns() const { return row1 == 1 && row2 == kMaxRows; }
  friend bool operator==(const CellRect&, const CellRect&) = default;
};

// "A1" style column letters (1 -> "A", 16384 -> "XFD").
std::string ColumnLetters(std::int32_t column);
// A1 address of a rectangle: "B2", "B2:D5", "$B$2:$D$5", whole rows "5:7", whole columns "F:H".
std::string FormatAddress(const CellRect& rect, bool rowAbsolute, bool columnAbsolute);

class Application;
class Workbook;
class Worksheet;
class Range;

// A placed picture.
class Shape {
 public:
  virtual ~Shape() = default;
  virtual double Left() const = 0;
  virtual double Top() const = 0;
  virtual double Width() const = 0;
  virtual double Height() const = 0;
  virtual void SetWidth(double points) = 0;
  virtual void SetHeight(double points) = 0;
  // Scales relative to the picture's own size (factor 1 restores it).
  virtual void ScaleWidth(double factor, bool relativeToOriginalSize) = 0;
  virtual void ScaleHeight(double factor, bool relativeToOriginalSize) = 0;
  virtual int Placement() const = 0;
  virtual void SetPlacement(int placement) = 0;  // 1 move and size, 2 move, 3 free-floating
};

class Worksheet : public std::enable_shared_from_this<Worksheet> {
 public:
  virtual ~Worksheet() = default;

  virtual std::string Name() const = 0;
  virtual std::shared_ptr<Workbook> Parent() = 0;
  virtual void Activate() = 0;
  // Protects the sheet; std::nullopt protects without a password.
  virtual void Protect(const std::optional<std::string>& password) = 0;
  // Removes the sheet from its workbook; the object is unusable afterwards.
  virtual void Delete() = 0;

  // Resolves an A1 reference ("B2", "B2:D5", "$B$2", "5:7", "$F:$H", "$F:$F:$H:$H",
  // "'Sheet 2'!A1", a defined name). Raises the application's error for a text it rejects.
  // Only references to this sheet are accepted.
  virtual CellRect ResolveReference(std::string_view reference) = 0;

  // Cell values. Reading a formula cell gives its cached (or computed) value.
  virtual Variant GetValue(std::int32_t row, std::int32_t column) = 0;
  virtual void SetValue(std::int32_t row, std::int32_t column, const Variant& value) = 0;
  // Range.Formula of one cell: "=..." for a formula cell, "" for any other cell. A worksheet
  // that does not show its formulas answers std::nullopt, and callers then assume the worst.
  virtual std::optional<std::string> CellFormula(std::int32_t /*row*/, std::int32_t /*column*/) {
    return std::nullopt;
  }

  // Structure: cells shift as the application shifts them and every reference follows.
  virtual void InsertCells(const CellRect& rect, Shift shift) = 0;   // kShiftDown / kShiftToRight
  virtual void DeleteCells(const CellRect& rect, Shift shift) = 0;   // kShiftUp / kShiftToLeft
  // Range.Copy(destination cell): values, formulas, formats, merges of `source`.
  virtual void CopyCells(const CellRect& source, std::int32_t destRow, std::int32_t destColumn) = 0;
  // Range.AutoFill(destination, type): `destination` starts with `source` and repeats it.
  virtual void AutoFill(const CellRect& source, const CellRect& destination, int fillType) = 0;

  // Rows(row).PageBreak / Columns(column).PageBreak.
  virtual void SetRowPageBreak(std::int32_t row, int type) = 0;
  virtual void SetColumnPageBreak(std::int32_t column, int type) = 0;

  // Geometry in points.
  virtual double CellLeft(std::int32_t column) = 0;
  virtual double CellTop(std::int32_t row) = 0;
  virtual double ColumnWidthPoints(std::int32_t column) = 0;
  virtual double RowHeightPoints(std::int32_t row) = 0;
  // The merged area that holds the cell, or the cell itself.
  virtual CellRect MergeArea(std::int32_t row, std::int32_t column) = 0;

  // Shapes.AddPicture(file, linkToFile, saveWithDocument, left, top, width, height).
  virtual std::shared_ptr<Shape> AddPicture(const std::string& file, bool linkToFile,
                                            bool saveWithDocument, double left, double top,
                                            double width, double height) = 0;

  // Columns.AutoFit over the whole sheet.
  virtual void AutoFitColumns() = 0;

  // Convenience range objects over this sheet.
  Range GetRange(std::string_view reference);
  Range GetRange(const Range& topLeft, const Range& bottomRight);
  Range Cells(std::int32_t row, std::int32_t column);
  Range Rows(std::int32_t row);
  Range Columns(std::int32_t column);
};

// Range: a rectangle on a worksheet, with the object model's members. A value type.
class Range {
 public:
  Range(std::shared_ptr<Worksheet> sheet, CellRect rect) : sheet_(std::move(sheet)), rect_(rect) {}

  const CellRect& Rect() const { return rect_; }
  std::shared_ptr<Worksheet> GetWorksheet() const { return sheet_; }

  std::int32_t Row() const { return rect_.row1; }
  std::int32_t Column() const { return rect_.col1; }
  std::int32_t RowsCount() const { return rect_.Rows(); }
  std::int32_t ColumnsCount() const { return rect_.Columns(); }
  std::string Address(bool rowAbsolute = true, bool columnAbsolute = true) const {
    return FormatAddress(rect_, rowAbsolute, columnAbsolute);
  }

  Variant Value() const { return sheet_->GetValue(rect_.row1, rect_.col1); }
  void SetValue(const Variant& value) const { sheet_->SetValue(rect_.row1, rect_.col1, value); }

  void Insert(Shift shift) const { sheet_->InsertCells(rect_, shift); }
  void Delete(Shift shift) const { sheet_->DeleteCells(rect_, shift); }
  void Copy(const Range& destination) const {
    sheet_->CopyCells(rect_, destination.rect_.row1, destination.rect_.col1);
  }
  void AutoFill(const Range& destination, int fillType) const {
    sheet_->AutoFill(rect_, destination.rect_, fillType);
  }
  void SetPageBreak(int type) const {
    if (rect_.IsEntireColumns() && !rect_.IsEntireRows())
      sheet_->SetColumnPageBreak(rect_.col1, type);
    else
      sheet_->SetRowPageBreak(rect_.row1, type);
  }

  double Left() const { return sheet_->CellLeft(rect_.col1); }
  double Top() const { return sheet_->CellTop(rect_.row1); }
  double Width() const;
  double Height() const;
  Range MergeArea() const { return Range(sheet_, sheet_->MergeArea(rect_.row1, rect_.col1)); }

 private:
  std::shared_ptr<Worksheet> sheet_;
  CellRect rect_;
};

// The workbook's defined names.
class Names {
 public:
  virtual ~Names() = default;
  virtual std::int32_t Count() = 0;
  virtual bool Exists(std::string_view name) = 0;
  // Names(name).Value = value: the name then holds that constant. Raises when absent.
  virtual void SetValue(std::string_view name, const Variant& value) = 0;
};

class Workbook : public std::enable_shared_from_this<Workbook> {
 public:
  virtual ~Workbook() = default;

  virtual std::string FullName() const = 0;  // full path of the file it was opened from or saved to
  virtual std::string Name() const = 0;      // file name part of FullName
  virtual std::int32_t FileFormat() const = 0;
  // SaveAs(file, format or omitted, access mode). Raises when the format cannot be written.
  virtual void SaveAs(const std::string& path, std::optional<std::int32_t> fileFormat,
                      int accessMode = kAccessModeNoChange) = 0;

  virtual std::int32_t WorksheetCount() = 0;
  // Worksheets(1-based index) / Worksheets(name, case-insensitive); raise "Subscript out of range".
  virtual std::shared_ptr<Worksheet> WorksheetAt(std::int32_t index) = 0;
  virtual std::shared_ptr<Worksheet> WorksheetByName(std::string_view name) = 0;
  virtual std::shared_ptr<Worksheet> ActiveSheet() = 0;
  virtual Names& GetNames() = 0;
  virtual std::shared_ptr<Application> GetApplication() = 0;
};

class Application : public std::enable_shared_from_this<Application> {
 public:
  virtual ~Application() = default;
  virtual std::string Version() const = 0;  // "16.0"
  // Workbooks.Open(file, ReadOnly:=...). The file itself is never written.
  virtual std::shared_ptr<Workbook> OpenWorkbook(const std::string& path, bool readOnly) = 0;
};

// Settings of the native workbook engine; each workbook follows its application's settings.
struct ApplicationSettings {
  // Compute every formula and store the results as cached values when a workbook is saved.
  bool Recalculate = true;
  // The LibreOffice program used for formats the engine does not read or write itself; empty:
  // the environment variable TABRIX_OFFICE_PROGRAM, then soffice on the PATH.
  std::string ConverterProgram;
  // Longest time one conversion may take; 0: TABRIX_OFFICE_TIMEOUT (seconds), then 300.
  int ConverterTimeoutSeconds = 0;
  // LibreOffice processes kept up to serve the conversions (tabrix/office_converter.h); null:
  // one process per conversion with the two settings above. When set, its own program and
  // timeout apply.
  std::shared_ptr<OfficeConverter> Converter;
  // Keep the parts of every package opened read-only in memory and open the same file again from
  // there while its modification time and size stay the same: for a host that opens one template
  // for many reports. Such an application may open workbooks on several threads at once.
  bool ShareOpenedPackages = false;
};

// The native workbook engine.
std::shared_ptr<Application> CreateSpreadsheetApplication(const ApplicationSettings& settings = {});

}  // namespace tabrix::platform
