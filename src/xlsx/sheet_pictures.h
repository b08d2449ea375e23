// The pictures of one worksheet: its drawing part (named by the sheet part, or created with the
// first picture) and the picture shapes added to it.
#pragma once

#include <map>
#include <memory>
#include <string>

#include <sys/stat.h>

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
  // A picture's media parts (an SVG keeps its own text beside its PNG rendering) and its own size.
  struct EmbeddedMedia {
    std::string part, svgPart;
    double ownWidth = 0, ownHeight = 0;
  };
  // A file embedded before, by path: its status then and what it became.
  struct EmbeddedFile {
    std::uint64_t size = 0, inode = 0, device = 0;
    long long modified = 0, changed = 0;  // nanoseconds
    EmbeddedMedia media;
    static EmbeddedFile Of(const struct stat& status, const EmbeddedMedia& media);
    bool Same(const struct stat& status) const;
  };
  // Anchors an embedded picture and makes its shape.
  std::shared_ptr<platform::Shape> Place(const EmbeddedMedia& media, double left, double top, double width,
                                         double height);

  XlsxWorksheet& sheet_;
  std::string drawingPart_;
  std::map<std::string, EmbeddedFile> embedded_;
};

}  // namespace tabrix::xlsx
