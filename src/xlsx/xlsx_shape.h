// A picture shape on a worksheet (Shapes.AddPicture's result): a handle on the picture's record
// in its drawing, whose frame in points is turned into anchor cells and offsets when it changes.
#pragma once

#include "tabrix/platform/spreadsheet.h"
#include "xlsx/drawing_part.h"

namespace tabrix::xlsx {

class XlsxWorksheet;

class XlsxShape final : public platform::Shape {
 public:
  XlsxShape(XlsxWorksheet* sheet, DrawingPart* drawing, std::uint32_t picture)
      : sheet_(sheet), drawing_(drawing), picture_(picture) {}

  double Left() const override { return Record().left; }
  double Top() const override { return Record().top; }
  double Width() const override { return Record().width; }
  double Height() const override { return Record().height; }
  void SetWidth(double points) override;
  void SetHeight(double points) override;
  void ScaleWidth(double factor, bool relativeToOriginalSize) override;
  void ScaleHeight(double factor, bool relativeToOriginalSize) override;
  int Placement() const override { return Record().placement; }
  void SetPlacement(int placement) override;

  // Positions a new shape.
  void Place(double left, double top, double width, double height);

 private:
  PictureRecord& Record() const { return drawing_->pictures[picture_]; }
  const PictureMedia& Media() const { return drawing_->pictureMedia[Record().media]; }
  // Sets the anchor cells and offsets from the frame.
  void Anchor(bool isNew = false);

  XlsxWorksheet* sheet_;
  DrawingPart* drawing_;
  std::uint32_t picture_;
};

}  // namespace tabrix::xlsx
