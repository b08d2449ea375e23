// References a workbook keeps outside its cells (defined names, chart series, rule formulas of
// conditional formats and validations, hyperlinks, comments and their note shapes), held parsed
// between structural edits and indexed by the sheet they point at and the furthest row and
// column they reach: an edit visits only what it can move, and texts are written back at save.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "xlsx/formula_references.h"

namespace tabrix::xlsx {

class XlsxWorkbook;
class XlsxWorksheet;

class HeldReferences {
 public:
  // Collects every reference of the workbook's names, charts and worksheets.
  explicit HeldReferences(XlsxWorkbook& book);
  HeldReferences(const HeldReferences&) = delete;
  HeldReferences& operator=(const HeldReferences&) = delete;

  // Moves what an edit of `sheet` can move; returns the number of entries visited. Defined
  // names take their new text at once (the object model reads them at any time); hyperlinks or
  // comments whose cells are deleted leave the XML at once.
  std::uint64_t Shift(const XlsxWorksheet& sheet, const SheetEdit& edit);
  // Writes the texts changed since the last call into the XML that holds them.
  void WriteBack();

 private:
  enum class Kind : std::uint8_t {
    Name,          // a defined name's formula
    NodeText,      // an element's text: chart series, rule formulas, extension formulas
    Attribute,     // an attribute: a hyperlink's location
    HyperlinkRef,  // the cell or area a hyperlink sits on
    CommentRef,    // the cell a comment belongs to
    NoteShape,     // a note's VML shape (its client data names the cell)
  };
  static constexpr std::uint32_t kNone = 0xffffffffu;
  // Index key: (sheet, furthest row or column reached, entry).
  using Key = std::tuple<std::uint32_t, std::int32_t, std::uint32_t>;
  struct Reach {
    std::uint32_t sheet;
    std::int32_t row, column;  // 0: rows (columns) never move it
  };
  struct Entry {
    Kind kind = Kind::NodeText;
    bool alive = true, dirty = false;
    const XlsxWorksheet* home = nullptr;  // the sheet its unqualified references are on
    std::uint32_t name = 0;               // Name: index into the defined names
    std::uint32_t partner = kNone;        // HyperlinkRef: the entry of its location
    pugi::xml_node node;
    pugi::xml_attribute attribute;
    ParsedFormula formula;  // formula kinds
    std::vector<std::uint32_t> sheets;  // the sheet of each reference; kNone: it never moves
    CellRect cell{}, written{};  // cell kinds: where it is now, and where its text says
    std::vector<Reach> reach;
  };

  void AddFormula(Kind kind, std::string_view text, const XlsxWorksheet* home, pugi::xml_node node,
                  pugi::xml_attribute attribute, std::uint32_t name);
  std::uint32_t AddCell(Kind kind, const CellRect& cell, const XlsxWorksheet* home, pugi::xml_node node);
  void CollectSheet(XlsxWorksheet& sheet);
  void CollectComments(XlsxWorksheet& sheet);
  std::uint32_t SheetKey(std::string_view name);
  std::uint32_t SheetKey(const XlsxWorksheet* sheet);
  void Index(std::uint32_t id);
  void Unindex(std::uint32_t id);
  void Remove(std::uint32_t id);
  void MarkDirty(std::uint32_t id);
  void Visit(std::uint32_t id, std::uint32_t sheet, const SheetEdit& edit);
  void WriteShape(Entry& entry);

  XlsxWorkbook& book_;
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::uint32_t> sheetKeys_;  // by case-folded sheet name
  std::unordered_map<const XlsxWorksheet*, std::uint32_t> worksheetKeys_;
  std::set<Key> byRow_, byColumn_;
  std::vector<std::uint32_t> dirty_;
};

}  // namespace tabrix::xlsx
