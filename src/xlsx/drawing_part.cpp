// Drawing parts: the row index of anchors and shape ids.
#include "xlsx/drawing_part.h"

#include <algorithm>

#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

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

void DrawingPart::UpdateAnchor(pugi::xml_node anchor, std::int32_t key, bool isNew) {
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
  AnchorEntry entry{key, anchor};
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

}  // namespace tabrix::xlsx
