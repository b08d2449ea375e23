// A drawing part of a worksheet: the anchors of its pictures and charts, with an index of the
// anchors by row so that row edits visit only the anchors they move.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "xlsx/package.h"

namespace tabrix::xlsx {

struct DrawingPart {
  std::string partName;
  pugi::xml_document xml;
  Relationships rels;
  bool modified = false;

  // Anchors ordered by the last row whose insertion or deletion moves them (1-based), so that
  // a row edit at k visits only the anchors at or below k. Built on first use.
  struct AnchorEntry {
    std::int32_t key;
    pugi::xml_node anchor;
  };
  std::vector<AnchorEntry> anchorsByRow;
  bool anchorsIndexed = false;
  unsigned maxShapeId = 0;
  bool shapeIdsKnown = false;
  std::map<std::string, std::string> imageRelations;  // media part -> relationship id
  // A new picture's anchor in this drawing's prefix, parsed once and copied for every picture.
  pugi::xml_document pictureAnchor;

  // The row key of an anchor (0 for anchors that rows never move).
  static std::int32_t AnchorKey(pugi::xml_node anchor);
  void IndexAnchors();
  // Records the new position of an anchor that was placed or resized.
  void UpdateAnchor(pugi::xml_node anchor, bool isNew = false) { UpdateAnchor(anchor, AnchorKey(anchor), isNew); }
  // The same when the caller knows the anchor's row key.
  void UpdateAnchor(pugi::xml_node anchor, std::int32_t key, bool isNew);
  unsigned NextShapeId();
};

}  // namespace tabrix::xlsx
