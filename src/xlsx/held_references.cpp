// Held references: collected once from the names, chart parts and worksheets (rule formulas,
// hyperlinks, comments and note shapes), moved by structural edits through an index by sheet
// and reach, and written back into their XML when the workbook is saved.
#include "xlsx/held_references.h"

#include <algorithm>
#include <cstdlib>

#include "support/text_case.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

constexpr const char* kVmlDrawing = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/vmlDrawing";

// A sheet name as a reference writes it ('It''s' quoted), in the form sheet names compare by.
std::string FoldedSheetName(std::string_view raw, bool quoted) {
  if (!quoted || raw.find('\'') == std::string_view::npos) return CaseFolded(raw);
  std::string unquoted;
  unquoted.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\'' && i + 1 < raw.size() && raw[i + 1] == '\'') ++i;
    unquoted.push_back(raw[i]);
  }
  return CaseFolded(unquoted);
}

}  // namespace

HeldReferences::HeldReferences(XlsxWorkbook& book) : book_(book) {
  std::vector<DefinedName>& names = book.DefinedNames();
  for (std::uint32_t i = 0; i < names.size(); ++i) AddFormula(Kind::Name, names[i].formula, nullptr, {}, {}, i);
  for (auto& [partName, nodes] : book.ReferencingParts()) {
    (void)partName;
    for (pugi::xml_node node : nodes.formulas) AddFormula(Kind::NodeText, node.text().get(), nullptr, node, {}, 0);
  }
  for (const auto& sheet : book.Worksheets()) {
    CollectSheet(*sheet);
    CollectComments(*sheet);
  }
}

void HeldReferences::CollectSheet(XlsxWorksheet& sheet) {
  auto ruleFormulas = [&](pugi::xml_node rule) {
    for (pugi::xml_node part : rule.children()) {
      std::string_view local = LocalName(part.name());
      if (local == "formula" || local == "formula1" || local == "formula2")
        AddFormula(Kind::NodeText, part.text().get(), &sheet, part, {}, 0);
    }
  };
  for (pugi::xml_node child : sheet.Root().children()) {
    std::string_view local = LocalName(child.name());
    if (local == "conditionalFormatting" || local == "dataValidations") {
      for (pugi::xml_node rule : child.children()) ruleFormulas(rule);
    } else if (local == "hyperlinks") {
      for (pugi::xml_node link : child.children()) {
        std::uint32_t at = kNone;
        if (auto rect = ParseArea(link.attribute("ref").value())) at = AddCell(Kind::HyperlinkRef, *rect, &sheet, link);
        const std::size_t before = entries_.size();
        if (pugi::xml_attribute location = link.attribute("location"))
          AddFormula(Kind::Attribute, location.value(), &sheet, link, location, 0);
        if (at != kNone && entries_.size() > before) entries_[at].partner = static_cast<std::uint32_t>(before);
      }
    }
  }
  for (pugi::xml_node formula : sheet.ExtensionRefs().formulas)
    AddFormula(Kind::NodeText, formula.text().get(), &sheet, formula, {}, 0);
}

void HeldReferences::CollectComments(XlsxWorksheet& sheet) {
  if (!sheet.HasRels()) return;
  for (const Relationship& rel : sheet.Rels().All()) {
    if (rel.external) continue;
    const bool comments = RelationshipTypeIs(rel.type, reltype::kComments);
    if (!comments && !RelationshipTypeIs(rel.type, kVmlDrawing)) continue;
    pugi::xml_document* part = book_.EditablePart(ResolvePartTarget(sheet.PartName(), rel.target));
    if (!part) continue;
    if (comments) {
      for (pugi::xml_node comment : ChildByLocalName(part->document_element(), "commentList").children())
        if (auto cell = ParseArea(comment.attribute("ref").value())) AddCell(Kind::CommentRef, *cell, &sheet, comment);
      continue;
    }
    // Notes are VML shapes whose client data names the cell (0-based row and column).
    std::vector<pugi::xml_node> stack{part->document_element()};
    while (!stack.empty()) {
      pugi::xml_node node = stack.back();
      stack.pop_back();
      for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        if (LocalName(child.name()) != "ClientData") {
          stack.push_back(child);
          continue;
        }
        pugi::xml_node row = ChildByLocalName(child, "Row"), column = ChildByLocalName(child, "Column");
        if (!row || !column) continue;
        const std::int32_t r = row.text().as_int() + 1, c = column.text().as_int() + 1;
        AddCell(Kind::NoteShape, CellRect{r, c, r, c}, &sheet, child);
      }
    }
  }
}

std::uint32_t HeldReferences::SheetKey(std::string_view folded) {
  auto [it, fresh] = sheetKeys_.try_emplace(std::string(folded), static_cast<std::uint32_t>(sheetKeys_.size()));
  (void)fresh;
  return it->second;
}

std::uint32_t HeldReferences::SheetKey(const XlsxWorksheet* sheet) {
  auto it = worksheetKeys_.find(sheet);
  if (it != worksheetKeys_.end()) return it->second;
  const std::uint32_t key = SheetKey(CaseFolded(sheet->Name()));
  worksheetKeys_.emplace(sheet, key);
  return key;
}

void HeldReferences::AddFormula(Kind kind, std::string_view text, const XlsxWorksheet* home, pugi::xml_node node,
                                pugi::xml_attribute attribute, std::uint32_t name) {
  ParsedFormula formula(text);
  if (formula.ReferenceCount() == 0) return;  // nothing an edit could move
  Entry entry;
  entry.kind = kind;
  entry.home = home;
  entry.name = name;
  entry.node = node;
  entry.attribute = attribute;
  entry.formula = std::move(formula);
  // The sheet each reference points at: the one it names, or for an unqualified reference the
  // sheet the formula lives on; 3-D and external references never move.
  const std::string_view source = entry.formula.Source();
  for (std::size_t i = 0; i < entry.formula.ReferenceCount(); ++i) {
    const ParsedFormula::Reference& r = entry.formula.ReferenceAt(i);
    std::uint32_t sheet = kNone;
    if (r.Prefixed && !r.ThreeD && !r.External)
      sheet = SheetKey(FoldedSheetName(source.substr(r.SheetBegin, r.SheetEnd - r.SheetBegin), r.Quoted));
    else if (!r.Prefixed && home)
      sheet = SheetKey(home);
    entry.sheets.push_back(sheet);
  }
  if (std::all_of(entry.sheets.begin(), entry.sheets.end(), [](std::uint32_t s) { return s == kNone; })) return;
  entries_.push_back(std::move(entry));
  Index(static_cast<std::uint32_t>(entries_.size() - 1));
}

std::uint32_t HeldReferences::AddCell(Kind kind, const CellRect& cell, const XlsxWorksheet* home, pugi::xml_node node) {
  Entry entry;
  entry.kind = kind;
  entry.home = home;
  entry.node = node;
  entry.cell = entry.written = cell;
  entries_.push_back(std::move(entry));
  const auto id = static_cast<std::uint32_t>(entries_.size() - 1);
  Index(id);
  return id;
}

// The sheets an entry points at and how far into each (deleted references never move).
void HeldReferences::Index(std::uint32_t id) {
  Entry& entry = entries_[id];
  entry.reach.clear();
  auto extend = [&](std::uint32_t sheet, const CellRect& rect, bool rows, bool columns) {
    auto it = std::find_if(entry.reach.begin(), entry.reach.end(), [&](const Reach& r) { return r.sheet == sheet; });
    if (it == entry.reach.end()) it = entry.reach.insert(entry.reach.end(), Reach{sheet, 0, 0});
    if (rows) it->row = std::max(it->row, rect.row2);
    if (columns) it->column = std::max(it->column, rect.col2);
  };
  if (entry.kind == Kind::HyperlinkRef || entry.kind == Kind::CommentRef || entry.kind == Kind::NoteShape) {
    extend(SheetKey(entry.home), entry.cell, true, true);
  } else {
    for (std::size_t i = 0; i < entry.formula.ReferenceCount(); ++i) {
      const ParsedFormula::Reference& r = entry.formula.ReferenceAt(i);
      if (r.Deleted || entry.sheets[i] == kNone) continue;
      extend(entry.sheets[i], r.Rect, r.Shape != ParsedFormula::Reference::Form::Columns,
             r.Shape != ParsedFormula::Reference::Form::Rows);
    }
  }
  for (const Reach& r : entry.reach) {
    if (r.row > 0) byRow_.insert(Key{r.sheet, r.row, id});
    if (r.column > 0) byColumn_.insert(Key{r.sheet, r.column, id});
  }
}

void HeldReferences::Unindex(std::uint32_t id) {
  for (const Reach& r : entries_[id].reach) {
    byRow_.erase(Key{r.sheet, r.row, id});
    byColumn_.erase(Key{r.sheet, r.column, id});
  }
  entries_[id].reach.clear();
}

void HeldReferences::MarkDirty(std::uint32_t id) {
  Entry& entry = entries_[id];
  if (entry.kind == Kind::Name) {
    book_.DefinedNames()[entry.name].formula = entry.formula.Text();
    return;
  }
  if (entry.dirty) return;
  entry.dirty = true;
  dirty_.push_back(id);
}

// A hyperlink or comment whose cells were deleted leaves the XML (a hyperlink list left empty
// with it).
void HeldReferences::Remove(std::uint32_t id) {
  Entry& entry = entries_[id];
  Unindex(id);
  entry.alive = false;
  if (entry.partner != kNone) {
    Unindex(entry.partner);
    entries_[entry.partner].alive = false;
  }
  pugi::xml_node parent = entry.node.parent();
  parent.remove_child(entry.node);
  if (entry.kind == Kind::HyperlinkRef && !parent.first_child()) parent.parent().remove_child(parent);
}

std::uint64_t HeldReferences::Shift(const XlsxWorksheet& sheet, const SheetEdit& edit) {
  const std::uint32_t key = SheetKey(&sheet);
  const std::set<Key>& index = edit.OnRows() ? byRow_ : byColumn_;
  std::vector<std::uint32_t> reached;
  for (auto it = index.lower_bound(Key{key, edit.First, 0}); it != index.end() && std::get<0>(*it) == key; ++it)
    reached.push_back(std::get<2>(*it));
  for (std::uint32_t id : reached)
    if (entries_[id].alive) Visit(id, key, edit);
  return reached.size();
}

void HeldReferences::Visit(std::uint32_t id, std::uint32_t sheet, const SheetEdit& edit) {
  Entry& entry = entries_[id];
  if (entry.kind == Kind::HyperlinkRef || entry.kind == Kind::CommentRef || entry.kind == Kind::NoteShape) {
    auto moved = ShiftRect(entry.cell, edit);
    if (!moved) {
      // A note shape over deleted cells stays where it is.
      if (entry.kind != Kind::NoteShape) Remove(id);
      return;
    }
    if (*moved == entry.cell) return;
    Unindex(id);
    entry.cell = *moved;
    Index(id);
    MarkDirty(id);
    return;
  }
  bool moved = false;
  for (std::size_t i = 0; i < entry.sheets.size(); ++i)
    if (entry.sheets[i] == sheet && entry.formula.ShiftReference(i, edit)) moved = true;
  if (!moved) return;
  Unindex(id);
  Index(id);
  MarkDirty(id);
}

void HeldReferences::WriteBack() {
  for (std::uint32_t id : dirty_) {
    Entry& entry = entries_[id];
    entry.dirty = false;
    if (!entry.alive) continue;
    switch (entry.kind) {
      case Kind::Name:
        break;
      case Kind::NodeText:
        entry.node.text().set(entry.formula.Text().c_str());
        break;
      case Kind::Attribute:
        entry.attribute.set_value(entry.formula.Text().c_str());
        break;
      case Kind::HyperlinkRef:
      case Kind::CommentRef:
        entry.node.attribute("ref").set_value(FormatRef(entry.cell).c_str());
        break;
      case Kind::NoteShape:
        WriteShape(entry);
        break;
    }
  }
  dirty_.clear();
}

void HeldReferences::WriteShape(Entry& entry) {
  const std::int32_t dRow = entry.cell.row1 - entry.written.row1, dCol = entry.cell.col1 - entry.written.col1;
  entry.written = entry.cell;
  ChildByLocalName(entry.node, "Row").text().set(entry.cell.row1 - 1);
  ChildByLocalName(entry.node, "Column").text().set(entry.cell.col1 - 1);
  pugi::xml_node anchor = ChildByLocalName(entry.node, "Anchor");
  if (!anchor) return;
  // "left col, offset, top row, offset, right col, offset, bottom row, offset"
  std::vector<long> values;
  std::string text = anchor.text().get();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    values.push_back(std::strtol(text.substr(start, comma - start).c_str(), nullptr, 10));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (values.size() != 8) return;
  values[0] += dCol;
  values[4] += dCol;
  values[2] += dRow;
  values[6] += dRow;
  std::string out;
  for (std::size_t i = 0; i < 8; ++i) out += (i ? ", " : "") + std::to_string(values[i]);
  anchor.text().set(out.c_str());
}

}  // namespace tabrix::xlsx
