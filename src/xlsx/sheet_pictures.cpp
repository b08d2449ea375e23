// Pictures of a worksheet: Shapes.AddPicture embeds a picture (file or URL, see picture_source.h)
// into the sheet's drawing (created on first use) as a picture record sized in points and anchored to cells.
#include "xlsx/sheet_pictures.h"

#include <optional>

#include <sys/stat.h>

#include "xlsx/engine_errors.h"
#include "xlsx/picture_source.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xlsx_worksheet.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

SheetPictures::EmbeddedFile SheetPictures::EmbeddedFile::Of(const struct stat& status, const EmbeddedMedia& media) {
  EmbeddedFile file;
  file.size = static_cast<std::uint64_t>(status.st_size);
  file.inode = static_cast<std::uint64_t>(status.st_ino);
  file.device = static_cast<std::uint64_t>(status.st_dev);
  file.modified = status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec;
  file.changed = status.st_ctim.tv_sec * 1000000000LL + status.st_ctim.tv_nsec;
  file.media = media;
  return file;
}

bool SheetPictures::EmbeddedFile::Same(const struct stat& status) const {
  EmbeddedFile now = Of(status, EmbeddedMedia{});
  return now.size == size && now.inode == inode && now.device == device && now.modified == modified &&
         now.changed == changed;
}

DrawingPart* SheetPictures::Drawing(bool create) {
  XlsxWorkbook& book = sheet_.Book();
  if (!drawingPart_.empty()) return book.LoadDrawing(drawingPart_);
  if (!create) return nullptr;
  drawingPart_ = book.NewPartName("xl/drawings/drawing", ".xml");
  DrawingPart* drawing = book.LoadDrawing(drawingPart_);
  book.Types().SetOverride(drawingPart_, contenttype::kDrawing);
  std::string id = sheet_.EditRels().Add(reltype::kDrawing, RelativeTarget(sheet_.PartName(), drawingPart_));
  // The sheet names its drawing through a relationship id.
  pugi::xml_node root = sheet_.Root();
  std::string prefix;
  for (pugi::xml_attribute a : root.attributes()) {
    std::string_view name = a.name();
    if (name.rfind("xmlns:", 0) == 0 &&
        std::string_view(a.value()) == "http://schemas.openxmlformats.org/officeDocument/2006/relationships")
      prefix = std::string(name.substr(6));
  }
  if (prefix.empty()) {
    prefix = "r";
    while (root.attribute(("xmlns:" + prefix).c_str())) prefix += "r";
    root.append_attribute(("xmlns:" + prefix).c_str()) =
        "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  }
  pugi::xml_node node = sheet_.EnsureChild("drawing");
  node.append_attribute((prefix + ":id").c_str()) = id.c_str();
  return drawing;
}

std::shared_ptr<platform::Shape> SheetPictures::AddPicture(const std::string& file, double left, double top,
                                                           double width, double height) {
  XlsxWorkbook& book = sheet_.Book();
  auto fail = [&](const std::string& problem) {
    RaiseEngineError("Method 'AddPicture' of object 'Shapes' failed: " + problem);
  };
  // A file embedded already and unchanged since (same size, inode and times) is not read again:
  // one status call instead of opening and reading the file for every record. URLs are fetched
  // every time.
  struct stat status {};
  const bool stated = file.find("://") == std::string::npos && ::stat(file.c_str(), &status) == 0 &&
                      S_ISREG(status.st_mode);
  if (stated) {
    auto known = embedded_.find(file);
    if (known != embedded_.end() && known->second.Same(status) && book.Parts().Has(known->second.media.part))
      return Place(known->second.media, left, top, width, height);
  }
  std::optional<PreparedPicture> picture = PreparePicture(ReadPictureSource(file, fail));
  if (!picture)
    fail("the file \"" + file + "\" is not a PNG, JPEG, GIF, BMP, TIFF, EMF, WMF, SVG or WebP picture.");

  // The picture's bytes become a media part (once per distinct picture); an SVG keeps its own
  // text in a second part beside its PNG rendering.
  EmbeddedMedia media;
  media.part = book.EmbedMedia(picture->bytes, picture->extension, picture->contentType);
  if (!picture->svg.empty()) media.svgPart = book.EmbedMedia(picture->svg, "svg", "image/svg+xml");
  media.ownWidth = picture->widthPoints;
  media.ownHeight = picture->heightPoints;
  if (stated) embedded_[file] = EmbeddedFile::Of(status, media);
  return Place(media, left, top, width, height);
}

std::shared_ptr<platform::Shape> SheetPictures::Place(const EmbeddedMedia& media, double left, double top,
                                                      double width, double height) {
  // The picture is a record of the drawing; its anchor is written when the workbook is saved.
  DrawingPart* drawing = Drawing(true);
  PictureRecord record;
  record.media = drawing->MediaFor(media.part, media.svgPart, media.ownWidth, media.ownHeight);
  record.id = drawing->NextShapeId();
  drawing->pictures.push_back(record);
  auto shape =
      std::make_shared<XlsxShape>(&sheet_, drawing, static_cast<std::uint32_t>(drawing->pictures.size() - 1));
  // A negative size keeps the picture's own size (as -1 does in the object model).
  shape->Place(left, top, width < 0 ? media.ownWidth : width, height < 0 ? media.ownHeight : height);
  return shape;
}

}  // namespace tabrix::xlsx
