// Drawing parts: how anchors move with rows and columns, the row and column indexes over XML
// anchors and picture records, shape ids, and the part's text with the pictures written once at save.
#include "xlsx/drawing_part.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "tabrix/platform/spreadsheet.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

constexpr const char* kDrawingMain = "http://schemas.openxmlformats.org/drawingml/2006/main";
constexpr const char* kRelationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// The corner of an XML anchor ("from" or "to") as numbers, and the nodes holding them.
struct XmlPoint {
  pugi::xml_text column, columnOffset, row, rowOffset;
  explicit XmlPoint(pugi::xml_node point)
      : column(ChildByLocalName(point, "col").text()),
        columnOffset(ChildByLocalName(point, "colOff").text()),
        row(ChildByLocalName(point, "row").text()),
        rowOffset(ChildByLocalName(point, "rowOff").text()) {}
  AnchorPoint Read() const {
    return AnchorPoint{column.as_int(0), row.as_int(0), columnOffset.as_llong(0), rowOffset.as_llong(0)};
  }
  void Write(const AnchorPoint& was, const AnchorPoint& now) {
    if (now.column != was.column) column.set(now.column);
    if (now.row != was.row) row.set(now.row);
    if (now.columnOffset != was.columnOffset) columnOffset.set(static_cast<long long>(now.columnOffset));
    if (now.rowOffset != was.rowOffset) rowOffset.set(static_cast<long long>(now.rowOffset));
  }
};

// Moves a template anchor in its XML; false when it stays.
bool MoveXmlAnchor(pugi::xml_node anchor, const SheetEdit& edit, std::int32_t& key) {
  const AnchorMotion motion = DrawingPart::MotionOf(anchor);
  XmlPoint fromNodes(ChildByLocalName(anchor, "from")), toNodes(ChildByLocalName(anchor, "to"));
  const AnchorPoint fromWas = fromNodes.Read(), toWas = toNodes.Read();
  AnchorPoint from = fromWas, to = toWas;
  if (!MoveAnchorPoints(motion, from, to, edit)) return false;
  fromNodes.Write(fromWas, from);
  if (motion != AnchorMotion::StartOnly) toNodes.Write(toWas, to);
  key = AnchorLineKey(motion, from, to, edit.OnRows());
  return true;
}

using AnchorEntry = DrawingPart::AnchorEntry;

bool ByKey(const AnchorEntry& a, const AnchorEntry& b) { return a.key < b.key; }

// Gives a picture record its key in one index (entries with equal keys keep their order).
void PutPictureKey(std::vector<AnchorEntry>& index, std::uint32_t picture, std::int32_t key, bool isNew) {
  // The picture changed is almost always the newest one: look from the end.
  auto it = index.end();
  while (!isNew && it != index.begin()) {
    --it;
    if (!it->anchor && it->picture == picture) {
      if (it->key == key) return;
      index.erase(it);
      break;
    }
  }
  auto at = std::upper_bound(index.begin(), index.end(), key, [](std::int32_t k, const AnchorEntry& e) { return k < e.key; });
  index.insert(at, AnchorEntry{key, picture, pugi::xml_node()});
}

void AppendNumber(std::string& out, long long value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

long long Emu(double points) { return std::llround(points * 12700); }

}  // namespace

bool MoveAnchorPoints(AnchorMotion motion, AnchorPoint& from, AnchorPoint& to, const SheetEdit& edit) {
  const bool rows = edit.OnRows();
  auto index = [&](AnchorPoint& point) -> std::int32_t& { return rows ? point.row : point.column; };
  auto offset = [&](AnchorPoint& point) -> std::int64_t& { return rows ? point.rowOffset : point.columnOffset; };
  // A corner in deleted cells goes to the start of the cell after them.
  auto move = [&](AnchorPoint& point) {
    ShiftedIndex moved = ShiftIndex(index(point) + 1, edit);
    bool changed = moved.Index - 1 != index(point);
    index(point) = moved.Index - 1;
    if (moved.Deleted && offset(point) != 0) {
      offset(point) = 0;
      changed = true;
    }
    return changed;
  };
  switch (motion) {
    case AnchorMotion::Fixed:
      return false;
    case AnchorMotion::StartOnly:
      return move(from);
    case AnchorMotion::WithCells: {
      const bool first = move(from);
      return move(to) || first;
    }
    case AnchorMotion::WithStart: {
      const std::int32_t start = index(from) + 1;
      const std::int32_t delta = ShiftIndex(start, edit).Index - start;
      if (delta == 0) return false;
      index(from) += delta;
      index(to) = std::max(0, index(to) + delta);
      return true;
    }
  }
  return false;
}

std::int32_t AnchorLineKey(AnchorMotion motion, const AnchorPoint& from, const AnchorPoint& to, bool rows) {
  const std::int32_t start = rows ? from.row : from.column, end = rows ? to.row : to.column;
  switch (motion) {
    case AnchorMotion::Fixed:
      return 0;
    case AnchorMotion::WithCells:
      return std::max(start, end) + 1;
    default:
      return start + 1;
  }
}

AnchorMotion PictureRecord::Motion() const {
  return placement == platform::kPlacementFreeFloating ? AnchorMotion::Fixed
         : placement == platform::kPlacementMove      ? AnchorMotion::WithStart
                                                       : AnchorMotion::WithCells;
}

AnchorMotion DrawingPart::MotionOf(pugi::xml_node anchor) {
  std::string_view kind = LocalName(anchor.name());
  if (kind == "oneCellAnchor") return AnchorMotion::StartOnly;
  if (kind != "twoCellAnchor") return AnchorMotion::Fixed;
  std::string_view editAs = anchor.attribute("editAs").value();
  if (editAs == "absolute") return AnchorMotion::Fixed;
  return editAs == "oneCell" ? AnchorMotion::WithStart : AnchorMotion::WithCells;
}

std::int32_t DrawingPart::AnchorKey(pugi::xml_node anchor, bool rows) {
  return AnchorLineKey(MotionOf(anchor), XmlPoint(ChildByLocalName(anchor, "from")).Read(),
                       XmlPoint(ChildByLocalName(anchor, "to")).Read(), rows);
}

void DrawingPart::IndexAnchors() {
  if (anchorsIndexed) return;
  anchorsByRow.clear();
  anchorsByColumn.clear();
  auto add = [&](pugi::xml_node anchor) {
    anchorsByRow.push_back({AnchorKey(anchor, true), 0, anchor});
    anchorsByColumn.push_back({AnchorKey(anchor, false), 0, anchor});
  };
  for (pugi::xml_node anchor : xml.document_element().children()) {
    if (LocalName(anchor.name()) == "AlternateContent") {
      for (pugi::xml_node choice : anchor.children())
        for (pugi::xml_node inner : choice.children()) add(inner);
      continue;
    }
    add(anchor);
  }
  for (std::uint32_t i = 0; i < pictures.size(); ++i) {
    const PictureRecord& picture = pictures[i];
    anchorsByRow.push_back({AnchorLineKey(picture.Motion(), picture.from, picture.to, true), i, pugi::xml_node()});
    anchorsByColumn.push_back({AnchorLineKey(picture.Motion(), picture.from, picture.to, false), i, pugi::xml_node()});
  }
  std::stable_sort(anchorsByRow.begin(), anchorsByRow.end(), ByKey);
  std::stable_sort(anchorsByColumn.begin(), anchorsByColumn.end(), ByKey);
  anchorsIndexed = true;
}

void DrawingPart::UpdatePictureKeys(std::uint32_t picture, bool isNew) {
  if (!anchorsIndexed) return;  // IndexAnchors reads the records when it runs
  const PictureRecord& record = pictures[picture];
  PutPictureKey(anchorsByRow, picture, AnchorLineKey(record.Motion(), record.from, record.to, true), isNew);
  PutPictureKey(anchorsByColumn, picture, AnchorLineKey(record.Motion(), record.from, record.to, false), isNew);
}

unsigned DrawingPart::NextShapeId() {
  if (!shapeIdsKnown) {
    std::vector<pugi::xml_node> stack{xml.document_element()};
    while (!stack.empty()) {
      pugi::xml_node node = stack.back();
      stack.pop_back();
      for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        if (LocalName(child.name()) == "cNvPr") maxShapeId = std::max(maxShapeId, child.attribute("id").as_uint());
        stack.push_back(child);
      }
    }
    shapeIdsKnown = true;
  }
  return ++maxShapeId;
}

std::uint32_t DrawingPart::MediaFor(const std::string& mediaPart, const std::string& svgPart, double ownWidth,
                                    double ownHeight) {
  auto [it, fresh] = mediaIndex.try_emplace(mediaPart, static_cast<std::uint32_t>(pictureMedia.size()));
  if (!fresh) return it->second;
  // A media part the drawing shows already keeps its relationship.
  auto relationTo = [&](const std::string& part) {
    for (const Relationship& rel : rels.All())
      if (!rel.external && RelationshipTypeIs(rel.type, reltype::kImage) && ResolvePartTarget(partName, rel.target) == part)
        return rel.id;
    return rels.Add(reltype::kImage, RelativeTarget(partName, part));
  };
  PictureMedia media;
  media.relId = relationTo(mediaPart);
  if (!svgPart.empty()) media.svgRelId = relationTo(svgPart);
  media.ownWidth = ownWidth;
  media.ownHeight = ownHeight;
  pictureMedia.push_back(std::move(media));
  return it->second;
}

std::uint64_t DrawingPart::Move(const SheetEdit& edit) {
  IndexAnchors();
  const bool rows = edit.OnRows();
  auto moveEntry = [&](AnchorEntry& entry) {
    if (entry.anchor) {
      if (MoveXmlAnchor(entry.anchor, edit, entry.key)) modified = true;
      return;
    }
    PictureRecord& picture = pictures[entry.picture];
    if (MoveAnchorPoints(picture.Motion(), picture.from, picture.to, edit))
      entry.key = AnchorLineKey(picture.Motion(), picture.from, picture.to, rows);
  };
  // Only anchors reaching the edited line move, and only their keys in the edited direction
  // change (by the same amount for insertions).
  std::vector<AnchorEntry>& index = rows ? anchorsByRow : anchorsByColumn;
  auto first = std::lower_bound(index.begin(), index.end(), edit.First,
                                [](const AnchorEntry& e, std::int32_t k) { return e.key < k; });
  for (auto it = first; it != index.end(); ++it) moveEntry(*it);
  if (!std::is_sorted(first, index.end(), ByKey)) std::stable_sort(first, index.end(), ByKey);
  if (first != index.begin() && first != index.end() && (first - 1)->key > first->key)
    std::inplace_merge(index.begin(), first, index.end(), ByKey);
  return static_cast<std::uint64_t>(index.end() - first);
}

DeflatedPart DrawingPart::Serialize() const {
  const std::string base = !modified && !original.empty() ? original : SerializeXml(xml);
  // The pictures' anchors are deflated as they are written: a drawing of a picture per record
  // never holds its whole text.
  StreamedPart part;
  std::string& out = part.Buffer();
  if (pictures.empty()) {
    out = base;
    return part.Finish();
  }
  // The anchors go before the end tag of the root, or replace the "/>" closing an empty root.
  pugi::xml_node root = xml.document_element();
  const std::string rootName = root.name();
  std::size_t splice = base.find_last_not_of(" \t\r\n");
  const bool emptyRoot = splice != std::string::npos && splice > 0 && base[splice] == '>' && base[splice - 1] == '/';
  if (emptyRoot) splice -= 1;
  else splice = std::min(base.rfind("</"), base.size());

  // The anchors take the root's prefix; the a: and r: namespaces are declared where the root
  // does not declare them.
  const std::size_t colon = rootName.find(':');
  const std::string p = colon == std::string::npos ? "" : rootName.substr(0, colon + 1);
  auto declared = [&](const char* prefix, const char* uri) {
    return std::string_view(root.attribute(prefix).value()) == uri;
  };
  const std::string a = declared("xmlns:a", kDrawingMain) ? "" : std::string(" xmlns:a=\"") + kDrawingMain + "\"";
  const std::string r =
      declared("xmlns:r", kRelationships) ? "" : std::string(" xmlns:r=\"") + kRelationships + "\"";

  out.append(base, 0, splice);
  if (emptyRoot) out.append(">");
  auto open = [&](const char* name) { out.append("<").append(p).append(name).append(">"); };
  auto close = [&](const char* name) { out.append("</").append(p).append(name).append(">"); };
  auto value = [&](const char* name, long long number) {
    open(name);
    AppendNumber(out, number);
    close(name);
  };
  auto point = [&](const char* name, const AnchorPoint& at) {
    open(name);
    value("col", at.column);
    value("colOff", at.columnOffset);
    value("row", at.row);
    value("rowOff", at.rowOffset);
    close(name);
  };
  static const char* kEditAs[] = {"twoCell", "twoCell", "oneCell", "absolute"};
  for (const PictureRecord& picture : pictures) {
    const PictureMedia& media = pictureMedia[picture.media];
    out.append("<").append(p).append("twoCellAnchor editAs=\"").append(kEditAs[picture.placement & 3]).append("\">");
    point("from", picture.from);
    point("to", picture.to);
    open("pic");
    open("nvPicPr");
    out.append("<").append(p).append("cNvPr id=\"");
    AppendNumber(out, picture.id);
    out.append("\" name=\"Picture ");
    AppendNumber(out, picture.id > 1 ? picture.id - 1 : 1);
    out.append("\"/>");
    open("cNvPicPr");
    out.append("<a:picLocks").append(a).append(" noChangeAspect=\"1\"/>");
    close("cNvPicPr");
    close("nvPicPr");
    open("blipFill");
    out.append("<a:blip").append(a).append(r).append(" r:embed=\"").append(media.relId).append("\"");
    if (media.svgRelId.empty()) {
      out.append("/>");
    } else {
      // The blip shows the PNG rendering; its extension names the SVG itself.
      out.append("><a:extLst><a:ext uri=\"{96DAC541-7B7A-43D3-8B79-37D633B846F1}\"><asvg:svgBlip "
                 "xmlns:asvg=\"http://schemas.microsoft.com/office/drawing/2016/SVG/main\" r:embed=\"");
      out.append(media.svgRelId).append("\"/></a:ext></a:extLst></a:blip>");
    }
    out.append("<a:stretch").append(a).append("><a:fillRect/></a:stretch>");
    close("blipFill");
    open("spPr");
    out.append("<a:xfrm").append(a).append("><a:off x=\"");
    AppendNumber(out, Emu(picture.left));
    out.append("\" y=\"");
    AppendNumber(out, Emu(picture.top));
    out.append("\"/><a:ext cx=\"");
    AppendNumber(out, Emu(picture.width));
    out.append("\" cy=\"");
    AppendNumber(out, Emu(picture.height));
    out.append("\"/></a:xfrm><a:prstGeom").append(a).append(" prst=\"rect\"><a:avLst/></a:prstGeom>");
    close("spPr");
    close("pic");
    out.append("<").append(p).append("clientData/>");
    close("twoCellAnchor");
    part.Spill();
  }
  if (emptyRoot) out.append("</").append(rootName).append(">").append(base, splice + 2, std::string::npos);
  else out.append(base, splice, std::string::npos);
  return part.Finish();
}

}  // namespace tabrix::xlsx
