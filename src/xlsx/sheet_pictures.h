// The pictures of one worksheet: its drawing part (named by the sheet part, or created with the
// first picture) and the picture shapes added to it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "xlsx/drawing_part.h"
#include "xlsx/picture_source.h"
#include "xlsx/xlsx_shape.h"

namespace tabrix::xlsx {

class XlsxWorksheet;

class SheetPictures {
 public:
  explicit SheetPictures(XlsxWorksheet& sheet) : sheet_(sheet) {}
  SheetPictures(const SheetPictures&) = delete;
  SheetPictures& operator=(const SheetPictures&) = delete;

  // Part name of the sheet's drawing; empty when it has none.
  const std::string& DrawingPartName() const { return drawingPart_; }
  void SetDrawingPartName(std::string partName) { drawingPart_ = std::move(partName); }
  // The sheet's drawing; with `create` a new one when the sheet has none (else nullptr).
  DrawingPart* Drawing(bool create);
  // Embeds a picture from a file or URL and places it; a negative size keeps the picture's own.
  std::shared_ptr<platform::Shape> AddPicture(const std::string& file, double left, double top, double width,
                                              double height);

 private:
  XlsxWorksheet& sheet_;
  std::string drawingPart_;
  std::vector<std::shared_ptr<XlsxShape>> shapes_;
};

}  // namespace tabrix::xlsx
