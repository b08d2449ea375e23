// Picture shapes: size and placement changes rewrite the drawing anchor from the sheet's
// geometry (points to cells and EMU offsets).
#include "xlsx/xlsx_shape.h"

#include <algorithm>
#include <cmath>

#include "xlsx/engine_errors.h"
#include "xlsx/xlsx_worksheet.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

constexpr double kEmuPerPoint = 12700;

}  // namespace

void XlsxShape::SetWidth(double points) {
  width_ = std::max(0.0, points);
  Write();
}

void XlsxShape::SetHeight(double points) {
  height_ = std::max(0.0, points);
  Write();
}

void XlsxShape::ScaleWidth(double factor, bool relativeToOriginalSize) {
  width_ = std::max(0.0, (relativeToOriginalSize ? ownWidth_ : width_) * factor);
  Write();
}

void XlsxShape::ScaleHeight(double factor, bool relativeToOriginalSize) {
  height_ = std::max(0.0, (relativeToOriginalSize ? ownHeight_ : height_) * factor);
  Write();
}

void XlsxShape::SetPlacement(int placement) {
  if (placement < platform::kPlacementMoveAndSize || placement > platform::kPlacementFreeFloating)
    RaiseApplicationDefined();
  placement_ = placement;
  Write();
}

void XlsxShape::Place(double left, double top, double width, double height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  placed_ = false;
  Write();
}

void XlsxShape::Write() {
  sheet_->CheckAlive();
  const SheetLayout& layout = sheet_->Layout();
  static const char* kEditAs[] = {"", "twoCell", "oneCell", "absolute"};
  anchor_.attribute("editAs").set_value(kEditAs[placement_]);
  auto setPoint = [&](const char* which, double x, double y) {
    pugi::xml_node point = ChildByLocalName(anchor_, which);
    auto [column, columnOffset] = layout.ColumnAt(x);
    auto [row, rowOffset] = layout.RowAt(y);
    ChildByLocalName(point, "col").text().set(column - 1);
    ChildByLocalName(point, "colOff").text().set(static_cast<long long>(std::llround(columnOffset * kEmuPerPoint)));
    ChildByLocalName(point, "row").text().set(row - 1);
    ChildByLocalName(point, "rowOff").text().set(static_cast<long long>(std::llround(rowOffset * kEmuPerPoint)));
  };
  setPoint("from", left_, top_);
  setPoint("to", left_ + width_, top_ + height_);
  pugi::xml_node picture = ChildByLocalName(anchor_, "pic");
  pugi::xml_node frame = ChildByLocalName(ChildByLocalName(picture, "spPr"), "xfrm");
  pugi::xml_node off = ChildByLocalName(frame, "off"), ext = ChildByLocalName(frame, "ext");
  off.attribute("x").set_value(static_cast<long long>(std::llround(left_ * kEmuPerPoint)));
  off.attribute("y").set_value(static_cast<long long>(std::llround(top_ * kEmuPerPoint)));
  ext.attribute("cx").set_value(static_cast<long long>(std::llround(width_ * kEmuPerPoint)));
  ext.attribute("cy").set_value(static_cast<long long>(std::llround(height_ * kEmuPerPoint)));
  drawing_->UpdateAnchor(anchor_, !placed_);
  placed_ = true;
  drawing_->modified = true;
}

}  // namespace tabrix::xlsx
