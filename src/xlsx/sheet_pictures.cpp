// Pictures of a worksheet: Shapes.AddPicture embeds a PNG, JPEG, GIF or BMP file into the
// sheet's drawing (created on first use); the shape is sized in points and anchored to cells.
#include "xlsx/sheet_pictures.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/stat.h>

#include "xlsx/engine_errors.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xlsx_worksheet.h"
#include "xlsx/xml_util.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace tabrix::xlsx {

namespace {

struct PictureInfo {
  std::string extension, contentType;
  int width = 0, height = 0;  // pixels
  double dpiX = 96, dpiY = 96;
};

std::uint32_t BigEndian32(const unsigned char* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// The picture's format from its signature, its size from its header, its resolution when the
// file records one.
std::optional<PictureInfo> InspectPicture(const std::string& bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  PictureInfo info;
  if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) {
    info.extension = "png";
    info.contentType = "image/png";
    // pHYs: pixels per unit, unit 1 = metre.
    for (std::size_t at = 8; at + 12 <= size;) {
      std::uint32_t length = BigEndian32(data + at);
      if (std::memcmp(data + at + 4, "pHYs", 4) == 0 && length >= 9 && at + 17 <= size && data[at + 16] == 1) {
        // Resolutions are stored per metre; 3780 means 96 dots per inch.
        info.dpiX = std::round(BigEndian32(data + at + 8) * 0.0254);
        info.dpiY = std::round(BigEndian32(data + at + 12) * 0.0254);
      }
      if (std::memcmp(data + at + 4, "IDAT", 4) == 0) break;
      at += 12 + static_cast<std::size_t>(length);
    }
  } else if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
    info.extension = "jpeg";
    info.contentType = "image/jpeg";
    // JFIF header: density units 1 = dots per inch, 2 = dots per centimetre.
    if (size >= 18 && std::memcmp(data + 6, "JFIF", 4) == 0) {
      int units = data[13];
      double x = (data[14] << 8) | data[15], y = (data[16] << 8) | data[17];
      if (units == 1 && x > 0 && y > 0) {
        info.dpiX = x;
        info.dpiY = y;
      } else if (units == 2 && x > 0 && y > 0) {
        info.dpiX = x * 2.54;
        info.dpiY = y * 2.54;
      }
    }
  } else if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
    info.extension = "gif";
    info.contentType = "image/gif";
  } else if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
    info.extension = "bmp";
    info.contentType = "image/bmp";
    if (size >= 46) {
      auto le32 = [&](std::size_t at) {
        return static_cast<std::int32_t>(data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (data[at + 3] << 24));
      };
      std::int32_t x = le32(38), y = le32(42);
      if (x > 0 && y > 0) {
        info.dpiX = std::round(x * 0.0254);
        info.dpiY = std::round(y * 0.0254);
      }
    }
  } else {
    return std::nullopt;
  }
  int components = 0;
  if (size > static_cast<std::size_t>(INT32_MAX) ||
      !stbi_info_from_memory(data, static_cast<int>(size), &info.width, &info.height, &components) ||
      info.width <= 0 || info.height <= 0)
    return std::nullopt;
  if (info.dpiX < 1 || info.dpiY < 1) info.dpiX = info.dpiY = 96;
  return info;
}

std::string QualifiedRoot(pugi::xml_node root, const char* local) {
  std::string name = root.name();
  std::size_t colon = name.find(':');
  return (colon == std::string::npos ? "" : name.substr(0, colon + 1)) + local;
}

}  // namespace

SheetPictures::EmbeddedFile SheetPictures::EmbeddedFile::Of(const struct stat& status, const std::string& mediaPart,
                                                            double ownWidth, double ownHeight) {
  EmbeddedFile file;
  file.size = static_cast<std::uint64_t>(status.st_size);
  file.inode = static_cast<std::uint64_t>(status.st_ino);
  file.device = static_cast<std::uint64_t>(status.st_dev);
  file.modified = status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec;
  file.changed = status.st_ctim.tv_sec * 1000000000LL + status.st_ctim.tv_nsec;
  file.mediaPart = mediaPart;
  file.ownWidth = ownWidth;
  file.ownHeight = ownHeight;
  return file;
}

bool SheetPictures::EmbeddedFile::Same(const struct stat& status) const {
  EmbeddedFile now = Of(status, std::string(), 0, 0);
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
  if (file.find("://") != std::string::npos) fail("pictures are embedded from files only, not from \"" + file + "\".");
  // A file embedded already and unchanged since (same size, inode and times) is not read again:
  // one status call instead of opening and reading the file for every record.
  struct stat status {};
  const bool stated = ::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode);
  if (stated) {
    auto known = embedded_.find(file);
    if (known != embedded_.end() && known->second.Same(status) && book.Parts().Has(known->second.mediaPart))
      return Place(known->second.mediaPart, known->second.ownWidth, known->second.ownHeight, left, top, width, height);
  }
  std::error_code error;
  if (file.empty() || !std::filesystem::is_regular_file(file, error))
    fail("the specified file wasn't found: \"" + file + "\".");
  std::string bytes;
  {
    std::ifstream in(file, std::ios::binary);
    auto size = std::filesystem::file_size(file, error);
    if (!in || error) fail("the file \"" + file + "\" cannot be read.");
    if (size > kMaxPictureFileBytes)
      fail("the file \"" + file + "\" is larger than " + std::to_string(kMaxPictureFileBytes >> 20) + " MiB.");
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (!in) fail("the file \"" + file + "\" cannot be read.");
  }
  std::optional<PictureInfo> info = InspectPicture(bytes);
  if (!info) fail("the file \"" + file + "\" is not a PNG, JPEG, GIF or BMP picture.");

  // The picture's bytes become a media part (once per distinct picture).
  const std::string mediaPart = book.EmbedMedia(bytes, info->extension, info->contentType);
  const double ownWidth = info->width * 72.0 / info->dpiX;
  const double ownHeight = info->height * 72.0 / info->dpiY;
  if (stated) embedded_[file] = EmbeddedFile::Of(status, mediaPart, ownWidth, ownHeight);
  return Place(mediaPart, ownWidth, ownHeight, left, top, width, height);
}

std::shared_ptr<platform::Shape> SheetPictures::Place(const std::string& mediaPart, double ownWidth, double ownHeight,
                                                      double left, double top, double width, double height) {
  DrawingPart* drawing = Drawing(true);
  if (drawing->imageRelations.empty())
    for (const Relationship& rel : drawing->rels.All())
      if (!rel.external && RelationshipTypeIs(rel.type, reltype::kImage))
        drawing->imageRelations[ResolvePartTarget(drawing->partName, rel.target)] = rel.id;
  std::string& relId = drawing->imageRelations[mediaPart];
  if (relId.empty()) relId = drawing->rels.Add(reltype::kImage, RelativeTarget(drawing->partName, mediaPart));

  // Shape ids are unique within the drawing.
  pugi::xml_node root = drawing->xml.document_element();
  const unsigned id = drawing->NextShapeId();
  if (!drawing->pictureAnchor.document_element()) {
    const std::string p = QualifiedRoot(root, "");
    std::string xml =
        "<" + p + "twoCellAnchor editAs=\"twoCell\" xmlns" + (p.empty() ? "" : ":" + p.substr(0, p.size() - 1)) +
        "=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\">"
        "<" + p + "from><" + p + "col>0</" + p + "col><" + p + "colOff>0</" + p + "colOff><" + p + "row>0</" + p +
        "row><" + p + "rowOff>0</" + p + "rowOff></" + p + "from>"
        "<" + p + "to><" + p + "col>0</" + p + "col><" + p + "colOff>0</" + p + "colOff><" + p + "row>0</" + p +
        "row><" + p + "rowOff>0</" + p + "rowOff></" + p + "to>"
        "<" + p + "pic><" + p + "nvPicPr><" + p + "cNvPr id=\"0\" name=\"\"/><" + p +
        "cNvPicPr><a:picLocks xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" noChangeAspect=\"1\"/></" +
        p + "cNvPicPr></" + p + "nvPicPr>"
        "<" + p + "blipFill><a:blip xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" r:embed=\"\"/>"
        "<a:stretch xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><a:fillRect/></a:stretch></" + p +
        "blipFill><" + p + "spPr><a:xfrm xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">"
        "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/></a:xfrm>"
        "<a:prstGeom xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" prst=\"rect\"><a:avLst/>"
        "</a:prstGeom></" + p + "spPr></" + p + "pic><" + p + "clientData/></" + p + "twoCellAnchor>";
    drawing->pictureAnchor.load_string(xml.c_str());
    // The namespace is declared on the drawing's root already.
    drawing->pictureAnchor.document_element().remove_attribute(
        p.empty() ? "xmlns" : ("xmlns:" + p.substr(0, p.size() - 1)).c_str());
  }
  pugi::xml_node anchor = root.append_copy(drawing->pictureAnchor.document_element());
  pugi::xml_node picture = ChildByLocalName(anchor, "pic");
  pugi::xml_node properties = ChildByLocalName(ChildByLocalName(picture, "nvPicPr"), "cNvPr");
  properties.attribute("id").set_value(id);
  properties.attribute("name").set_value(("Picture " + std::to_string(id - 1 > 0 ? id - 1 : 1)).c_str());
  ChildByLocalName(ChildByLocalName(picture, "blipFill"), "blip").attribute("r:embed").set_value(relId.c_str());

  auto shape = std::make_shared<XlsxShape>(&sheet_, drawing, anchor, ownWidth, ownHeight);
  // A negative size keeps the picture's own size (as -1 does in the object model).
  shape->Place(left, top, width < 0 ? ownWidth : width, height < 0 ? ownHeight : height);
  shapes_.push_back(shape);
  return shape;
}

}  // namespace tabrix::xlsx
