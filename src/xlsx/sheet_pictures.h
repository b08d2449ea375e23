// The pictures of one worksheet: its drawing part (named by the sheet part, or created with the
// first picture) and the picture shapes added to it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "xlsx/drawing_part.h"
#include "xlsx/xlsx_shape.h"

namespace tabrix::xlsx {

class XlsxWorksheet;

// Largest picture file AddPicture embeds; the whole file is held in memory as a media part.
inline constexpr std::uint64_t kMaxPictureFileBytes = 256ull << 20;

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
  // Embeds a PNG, JPEG, GIF or BMP file and places it; a negative size keeps the picture's own.
  std::shared_ptr<platform::Shape> AddPicture(const std::string& file, double left, double top, double width,
                                              double height);

 private:
  // A file embedded before, by path: its status then, its media part and its own size.
  struct EmbeddedFile {
    std::uint64_t size = 0, inode = 0, device = 0;
    long long modified = 0, changed = 0;  // nanoseconds
    std::string mediaPart;
    double ownWidth = 0, ownHeight = 0;
    static EmbeddedFile Of(const struct stat& status, const std::string& mediaPart, double ownWidth,
                           double ownHeight);
    bool Same(const struct stat& status) const;
  };
  // Anchors an embedded media part's picture and makes its shape.
  std::shared_ptr<platform::Shape> Place(const std::string& mediaPart, double ownWidth, double ownHeight, double left,
                                         double top, double width, double height);

  XlsxWorksheet& sheet_;
  std::string drawingPart_;
  std::map<std::string, EmbeddedFile> embedded_;
  std::vector<std::shared_ptr<XlsxShape>> shapes_;
};

}  // namespace tabrix::xlsx
