// Parts the engine edits besides sheets: drawings, and parts with cell references (charts,
// pivot caches, tables, comments), parsed on first use and written back when saving.
#include <algorithm>

#include "xlsx/engine_errors.h"
#include "xlsx/workbook_document.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

constexpr const char* kChartType = "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";
constexpr const char* kChartExType = "application/vnd.ms-office.chartex+xml";
constexpr const char* kPivotCacheType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.pivotCacheDefinition+xml";

}  // namespace

std::int32_t DrawingPart::AnchorKey(pugi::xml_node anchor) {
  std::string_view kind = LocalName(anchor.name());
  auto row = [&](const char* point) {
    return ChildByLocalName(ChildByLocalName(anchor, point), "row").text().as_int(0) + 1;
  };
  if (kind == "twoCellAnchor") {
    std::string_view editAs = anchor.attribute("editAs").value();
    if (editAs == "absolute") return 0;
    if (editAs == "oneCell") return row("from");
    return std::max(row("from"), row("to"));
  }
  if (kind == "oneCellAnchor") return row("from");
  return 0;
}

void DrawingPart::IndexAnchors() {
  if (anchorsIndexed) return;
  anchorsByRow.clear();
  for (pugi::xml_node anchor : xml.document_element().children()) {
    if (LocalName(anchor.name()) == "AlternateContent") {
      for (pugi::xml_node choice : anchor.children())
        for (pugi::xml_node inner : choice.children()) anchorsByRow.push_back({AnchorKey(inner), inner});
      continue;
    }
    anchorsByRow.push_back({AnchorKey(anchor), anchor});
  }
  std::stable_sort(anchorsByRow.begin(), anchorsByRow.end(),
                   [](const AnchorEntry& a, const AnchorEntry& b) { return a.key < b.key; });
  anchorsIndexed = true;
}

void DrawingPart::UpdateAnchor(pugi::xml_node anchor, bool isNew) {
  if (!anchorsIndexed) return;
  // The anchor changed is almost always the newest one: look from the end.
  auto it = anchorsByRow.end();
  while (!isNew && it != anchorsByRow.begin()) {
    --it;
    if (it->anchor == anchor) {
      anchorsByRow.erase(it);
      break;
    }
  }
  AnchorEntry entry{AnchorKey(anchor), anchor};
  auto at = std::upper_bound(anchorsByRow.begin(), anchorsByRow.end(), entry.key,
                             [](std::int32_t key, const AnchorEntry& e) { return key < e.key; });
  anchorsByRow.insert(at, entry);
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

DrawingPart* XlsxWorkbook::LoadDrawing(const std::string& partName) {
  auto it = drawings_.find(partName);
  if (it != drawings_.end()) return it->second.get();
  auto drawing = std::make_unique<DrawingPart>();
  drawing->partName = partName;
  if (parts_.Has(partName)) {
    try {
      ParseXml(drawing->xml, parts_.data[partName], partName);
      std::string relsName = RelationshipsPartName(partName);
      if (parts_.Has(relsName)) drawing->rels.Load(parts_.data[relsName], relsName);
    } catch (const std::exception& e) {
      // Drawings are read on first use: a damaged one is reported against the workbook's file.
      RaiseEngineError("'" + fullName_ + "' has a damaged part: " + e.what() + ".");
    }
  } else {
    drawing->xml.load_string(
        "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"/>");
    drawing->modified = true;
  }
  DrawingPart* result = drawing.get();
  drawings_[partName] = std::move(drawing);
  return result;
}

pugi::xml_document* XlsxWorkbook::EditablePart(const std::string& partName) {
  auto it = editedParts_.find(partName);
  if (it != editedParts_.end()) return it->second.get();
  if (!parts_.Has(partName)) return nullptr;
  auto doc = std::make_unique<pugi::xml_document>();
  // A part that does not parse (old VML) is left exactly as it is.
  if (!doc->load_buffer(parts_.data[partName].data(), parts_.data[partName].size(),
                        pugi::parse_default | pugi::parse_ws_pcdata_single))
    return nullptr;
  pugi::xml_document* result = doc.get();
  editedParts_[partName] = std::move(doc);
  return result;
}

std::map<std::string, XlsxWorkbook::ReferenceNodes>& XlsxWorkbook::ReferencingParts() {
  if (referencingParts_) return *referencingParts_;
  referencingParts_.emplace();
  for (const std::string& name : parts_.order) {
    std::string type = contentTypes_.TypeOf(name);
    bool chart = type == kChartType || type == kChartExType;
    bool pivot = type == kPivotCacheType;
    if (!chart && !pivot) continue;
    pugi::xml_document* doc = EditablePart(name);
    if (!doc) continue;
    ReferenceNodes nodes;
    std::vector<pugi::xml_node> stack{doc->document_element()};
    while (!stack.empty()) {
      pugi::xml_node node = stack.back();
      stack.pop_back();
      for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        std::string_view local = LocalName(child.name());
        if (chart && local == "f") nodes.formulas.push_back(child);
        else if (pivot && local == "worksheetSource") nodes.pivotSources.push_back(child);
        else stack.push_back(child);
      }
    }
    (*referencingParts_)[name] = std::move(nodes);
  }
  return *referencingParts_;
}

}  // namespace tabrix::xlsx
