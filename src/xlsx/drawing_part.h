// A drawing part of a worksheet: the template's anchors (pictures, charts, shapes) as XML, the
// pictures the engine placed as compact records written out at save, and an index of both by
// row and one by column so that an edit visits only the anchors it moves.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "xlsx/formula_references.h"
#include "xlsx/package.h"
#include "xlsx/zip_archive.h"

namespace tabrix::xlsx {

// One corner of an anchor: a 0-based cell and the offset into it in EMU.
struct AnchorPoint {
  std::int32_t column = 0, row = 0;
  std::int64_t columnOffset = 0, rowOffset = 0;
};

// How an anchor follows the cells under it.
enum class AnchorMotion : std::uint8_t {
  Fixed,       // absolute: never moves
  WithStart,   // moves with its top-left cell, keeping its size (oneCell, oneCellAnchor)
  WithCells,   // both corners move and the frame stretches (twoCell)
  StartOnly,   // a oneCellAnchor: only its one point exists
};

// Moves the corners of an anchor for an edit; false when nothing changed.
bool MoveAnchorPoints(AnchorMotion motion, AnchorPoint& from, AnchorPoint& to, const SheetEdit& edit);
// The last row (rows = true) or column (1-based) whose insertion or deletion moves the anchor;
// 0 when rows (columns) never move it.
std::int32_t AnchorLineKey(AnchorMotion motion, const AnchorPoint& from, const AnchorPoint& to, bool rows);

// A picture the engine placed, written as a twoCellAnchor when the drawing is saved.
struct PictureRecord {
  AnchorPoint from, to;
  double left = 0, top = 0, width = 0, height = 0;  // the frame in points
  std::uint32_t id = 0;                             // shape id within the drawing
  std::uint32_t media = 0;                          // index into DrawingPart::pictureMedia
  std::uint8_t placement = 1;                       // platform::kPlacement*
  AnchorMotion Motion() const;
};

// A media part as the drawing's pictures show it.
struct PictureMedia {
  std::string relId, svgRelId;  // svgRelId: an SVG's own text beside its PNG rendering
  double ownWidth = 0, ownHeight = 0;
};

struct DrawingPart {
  std::string partName;
  pugi::xml_document xml;
  Relationships rels;
  // The XML document changed (the part is serialized again rather than kept as read).
  bool modified = false;
  std::string original;  // the bytes read, taken from the package at the first save

  // Anchors by the last row (column) whose insertion or deletion moves them (1-based), so that
  // an edit at k visits only the anchors at or after k: an XML anchor of the template, or a
  // picture record when `anchor` is empty. Built on first use.
  struct AnchorEntry {
    std::int32_t key;
    std::uint32_t picture;
    pugi::xml_node anchor;
  };
  std::vector<AnchorEntry> anchorsByRow, anchorsByColumn;
  bool anchorsIndexed = false;
  unsigned maxShapeId = 0;
  bool shapeIdsKnown = false;

  std::vector<PictureRecord> pictures;
  std::vector<PictureMedia> pictureMedia;
  std::map<std::string, std::uint32_t> mediaIndex;  // media part -> index into pictureMedia

  // How an XML anchor moves and where its corners are.
  static AnchorMotion MotionOf(pugi::xml_node anchor);
  static std::int32_t AnchorKey(pugi::xml_node anchor, bool rows);
  void IndexAnchors();
  // Records the new keys of a picture that was placed or resized.
  void UpdatePictureKeys(std::uint32_t picture, bool isNew);
  unsigned NextShapeId();
  // The pictures' media entry for a media part (its relationships added on first use).
  std::uint32_t MediaFor(const std::string& mediaPart, const std::string& svgPart, double ownWidth,
                         double ownHeight);
  // Moves every anchor a row or column edit reaches; returns the number of anchors visited.
  std::uint64_t Move(const SheetEdit& edit);
  // The part's text: `original` when the XML is unchanged, with the picture records written as
  // anchors before the end of the drawing.
  DeflatedPart Serialize() const;
};

}  // namespace tabrix::xlsx
