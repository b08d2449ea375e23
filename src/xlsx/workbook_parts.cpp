// Parts the engine edits besides sheets: drawings, and parts with cell references (charts,
// pivot caches, tables, comments), parsed on first use and written back when saving; the
// references held parsed across edits.
#include <algorithm>
#include <functional>

#include "xlsx/engine_errors.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

constexpr const char* kChartType = "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";
constexpr const char* kChartExType = "application/vnd.ms-office.chartex+xml";
constexpr const char* kPivotCacheType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.pivotCacheDefinition+xml";

}  // namespace

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
        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"/>");
    drawing->modified = true;
  }
  DrawingPart* result = drawing.get();
  drawings_[partName] = std::move(drawing);
  return result;
}

std::string XlsxWorkbook::EmbedMedia(const std::string& bytes, const std::string& extension,
                                     const std::string& contentType) {
  std::size_t key = std::hash<std::string>{}(bytes) ^ bytes.size();
  std::string& mediaPart = media_[key];
  if (mediaPart.empty() || !parts_.Has(mediaPart) || parts_.data[mediaPart] != bytes) {
    mediaPart = NewPartName("xl/media/image", "." + extension);
    parts_.Put(mediaPart, bytes);
    contentTypes_.EnsureDefault(extension, contentType);
  }
  return mediaPart;
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

HeldReferences& XlsxWorkbook::Held() {
  if (!held_) held_ = std::make_unique<HeldReferences>(*this);
  return *held_;
}

void XlsxWorkbook::SettleHeldReferences() {
  if (held_) held_->WriteBack();
}

void XlsxWorkbook::ForgetHeldReferences() {
  SettleHeldReferences();
  held_.reset();
}

}  // namespace tabrix::xlsx
