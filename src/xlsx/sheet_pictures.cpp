// Pictures of a worksheet: Shapes.AddPicture embeds a picture (file or URL, see picture_source.h)
// into the sheet's drawing (created on first use); the shape is sized in points and anchored to cells.
#include "xlsx/sheet_pictures.h"

#include <optional>

#include <sys/stat.h>

#include "xlsx/engine_errors.h"
#include "xlsx/picture_source.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xlsx_worksheet.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

std::string QualifiedRoot(pugi::xml_node root, const char* local) {
  std::string name = root.name();
  std::size_t colon = name.find(':');
  return (colon == std::string::npos ? "" : name.substr(0, colon + 1)) + local;
}

}  // namespace

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
  DrawingPart* drawing = Drawing(true);
  if (drawing->imageRelations.empty())
    for (const Relationship& rel : drawing->rels.All())
      if (!rel.external && RelationshipTypeIs(rel.type, reltype::kImage))
        drawing->imageRelations[ResolvePartTarget(drawing->partName, rel.target)] = rel.id;
  auto imageRelation = [&](const std::string& mediaPart) {
    std::string& id = drawing->imageRelations[mediaPart];
    if (id.empty()) id = drawing->rels.Add(reltype::kImage, RelativeTarget(drawing->partName, mediaPart));
    return id;
  };
  const std::string relId = imageRelation(media.part);

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
  pugi::xml_node blip = ChildByLocalName(ChildByLocalName(picture, "blipFill"), "blip");
  blip.attribute("r:embed").set_value(relId.c_str());
  if (!media.svgPart.empty()) {
    // An SVG picture: the blip shows its PNG rendering, the blip's extension names the SVG itself.
    const std::string svg =
        "<a:extLst xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><a:ext "
        "uri=\"{96DAC541-7B7A-43D3-8B79-37D633B846F1}\"><asvg:svgBlip "
        "xmlns:asvg=\"http://schemas.microsoft.com/office/drawing/2016/SVG/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" r:embed=\"" +
        imageRelation(media.svgPart) + "\"/></a:ext></a:extLst>";
    pugi::xml_document fragment;
    fragment.load_string(svg.c_str());
    pugi::xml_node extLst = blip.append_copy(fragment.document_element());
    extLst.remove_attribute("xmlns:a");  // declared on the blip
    ChildByLocalName(ChildByLocalName(extLst, "ext"), "svgBlip").remove_attribute("xmlns:r");
  }

  const double ownWidth = media.ownWidth, ownHeight = media.ownHeight;
  auto shape = std::make_shared<XlsxShape>(&sheet_, drawing, anchor, ownWidth, ownHeight);
  // A negative size keeps the picture's own size (as -1 does in the object model).
  shape->Place(left, top, width < 0 ? ownWidth : width, height < 0 ? ownHeight : height);
  shapes_.push_back(shape);
  return shape;
}

}  // namespace tabrix::xlsx
