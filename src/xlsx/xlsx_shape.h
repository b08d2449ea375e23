// A picture shape on a worksheet (Shapes.AddPicture's result): its frame in points, written
// into its drawing anchor as cells and offsets whenever it changes.
#pragma once

#include <pugixml.hpp>

#include "tabrix/platform/spreadsheet.h"
#include "xlsx/drawing_part.h"

namespace tabrix::xlsx {

class XlsxWorksheet;

class XlsxShape final : public platform::Shape {
 public:
  XlsxShape(XlsxWorksheet* sheet, DrawingPart* drawing, pugi::xml_node anchor, double ownWidth, double ownHeight)
      : sheet_(sheet), drawing_(drawing), anchor_(anchor), ownWidth_(ownWidth), ownHeight_(ownHeight) {}

  double Left() const override { return left_; }
  double Top() const override { return top_; }
  double Width() const override { return width_; }
  double Height() const override { return height_; }
  void SetWidth(double points) override;
  void SetHeight(double points) override;
  void ScaleWidth(double factor, bool relativeToOriginalSize) override;
  void ScaleHeight(double factor, bool relativeToOriginalSize) override;
  int Placement() const override { return placement_; }
  void SetPlacement(int placement) override;

  // Positions a new shape.
  void Place(double left, double top, double width, double height);

 private:
  // Rewrites the anchor cells, offsets and the shape's own frame.
  void Write();

  // The anchor's nodes that Write sets, found once.
  struct AnchorNodes {
    pugi::xml_text column[2], columnOffset[2], row[2], rowOffset[2];  // from, to
    pugi::xml_attribute x, y, cx, cy, editAs;
  };
  void FindNodes();

  XlsxWorksheet* sheet_;
  DrawingPart* drawing_;
  AnchorNodes nodes_;
  bool nodesFound_ = false;
  pugi::xml_node anchor_;
  double ownWidth_, ownHeight_;
  double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  int placement_ = platform::kPlacementMoveAndSize;
  bool placed_ = false;  // listed in the drawing's anchor order
};

}  // namespace tabrix::xlsx
