// Picture shapes: size and placement changes set the picture record's anchor from the sheet's
// geometry (points to cells and EMU offsets); the drawing writes it when the workbook is saved.
#include "xlsx/xlsx_shape.h"

#include <algorithm>
#include <cmath>

#include "xlsx/engine_errors.h"
#include "xlsx/xlsx_worksheet.h"

namespace tabrix::xlsx {

namespace {

constexpr double kEmuPerPoint = 12700;

}  // namespace

void XlsxShape::SetWidth(double points) {
  sheet_->CheckAlive();
  Record().width = std::max(0.0, points);
  Anchor();
}

void XlsxShape::SetHeight(double points) {
  sheet_->CheckAlive();
  Record().height = std::max(0.0, points);
  Anchor();
}

void XlsxShape::ScaleWidth(double factor, bool relativeToOriginalSize) {
  sheet_->CheckAlive();
  Record().width = std::max(0.0, (relativeToOriginalSize ? Media().ownWidth : Record().width) * factor);
  Anchor();
}

void XlsxShape::ScaleHeight(double factor, bool relativeToOriginalSize) {
  sheet_->CheckAlive();
  Record().height = std::max(0.0, (relativeToOriginalSize ? Media().ownHeight : Record().height) * factor);
  Anchor();
}

void XlsxShape::SetPlacement(int placement) {
  sheet_->CheckAlive();
  if (placement < platform::kPlacementMoveAndSize || placement > platform::kPlacementFreeFloating)
    RaiseApplicationDefined();
  Record().placement = static_cast<std::uint8_t>(placement);
  Anchor();
}

void XlsxShape::Place(double left, double top, double width, double height) {
  PictureRecord& record = Record();
  record.left = left;
  record.top = top;
  record.width = width;
  record.height = height;
  Anchor(true);
}

void XlsxShape::Anchor(bool isNew) {
  const SheetLayout& layout = sheet_->Layout();
  PictureRecord& record = Record();
  auto setPoint = [&](AnchorPoint& point, double x, double y) {
    auto [column, columnOffset] = layout.ColumnAt(x);
    auto [row, rowOffset] = layout.RowAt(y);
    point.column = column - 1;
    point.columnOffset = std::llround(columnOffset * kEmuPerPoint);
    point.row = row - 1;
    point.rowOffset = std::llround(rowOffset * kEmuPerPoint);
  };
  setPoint(record.from, record.left, record.top);
  setPoint(record.to, record.left + record.width, record.top + record.height);
  drawing_->UpdatePictureKeys(picture_, isNew);
}

}  // namespace tabrix::xlsx
