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

void XlsxShape::FindNodes() {
  const char* points[] = {"from", "to"};
  for (int i = 0; i < 2; ++i) {
    pugi::xml_node point = ChildByLocalName(anchor_, points[i]);
    nodes_.column[i] = ChildByLocalName(point, "col").text();
    nodes_.columnOffset[i] = ChildByLocalName(point, "colOff").text();
    nodes_.row[i] = ChildByLocalName(point, "row").text();
    nodes_.rowOffset[i] = ChildByLocalName(point, "rowOff").text();
  }
  pugi::xml_node picture = ChildByLocalName(anchor_, "pic");
  pugi::xml_node frame = ChildByLocalName(ChildByLocalName(picture, "spPr"), "xfrm");
  pugi::xml_node off = ChildByLocalName(frame, "off"), ext = ChildByLocalName(frame, "ext");
  nodes_.x = off.attribute("x");
  nodes_.y = off.attribute("y");
  nodes_.cx = ext.attribute("cx");
  nodes_.cy = ext.attribute("cy");
  nodes_.editAs = anchor_.attribute("editAs");
  nodesFound_ = true;
}

void XlsxShape::Write() {
  sheet_->CheckAlive();
  if (!nodesFound_) FindNodes();
  const SheetLayout& layout = sheet_->Layout();
  static const char* kEditAs[] = {"", "twoCell", "oneCell", "absolute"};
  nodes_.editAs.set_value(kEditAs[placement_]);
  std::int32_t rows[2];
  auto setPoint = [&](int i, double x, double y) {
    auto [column, columnOffset] = layout.ColumnAt(x);
    auto [row, rowOffset] = layout.RowAt(y);
    rows[i] = row;
    nodes_.column[i].set(column - 1);
    nodes_.columnOffset[i].set(static_cast<long long>(std::llround(columnOffset * kEmuPerPoint)));
    nodes_.row[i].set(row - 1);
    nodes_.rowOffset[i].set(static_cast<long long>(std::llround(rowOffset * kEmuPerPoint)));
  };
  setPoint(0, left_, top_);
  setPoint(1, left_ + width_, top_ + height_);
  nodes_.x.set_value(static_cast<long long>(std::llround(left_ * kEmuPerPoint)));
  nodes_.y.set_value(static_cast<long long>(std::llround(top_ * kEmuPerPoint)));
  nodes_.cx.set_value(static_cast<long long>(std::llround(width_ * kEmuPerPoint)));
  nodes_.cy.set_value(static_cast<long long>(std::llround(height_ * kEmuPerPoint)));
  // The anchor's row key (as DrawingPart::AnchorKey reads it from the anchor): the rows whose
  // insertion or deletion moves it.
  std::int32_t key = placement_ == platform::kPlacementFreeFloating ? 0
                     : placement_ == platform::kPlacementMove  ? rows[0]
                                                                : std::max(rows[0], rows[1]);
  drawing_->UpdateAnchor(anchor_, key, !placed_);
  placed_ = true;
  drawing_->modified = true;
}

}  // namespace tabrix::xlsx
