// Reading and writing the worksheet part: cells and rows go into the compact cell store, the
// parts the engine edits (columns, merges, page breaks) into their models, everything else
// stays in the XML document and is written back in place.
#include "xlsx/xlsx_worksheet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <map>
#include <stdexcept>
#include <utility>
#include <unordered_map>

#include "xlsx/engine_errors.h"
#include "xlsx/formula_references.h"
#include "xlsx/sheet_xml_splitter.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

// Children of <worksheet> in the order the schema prescribes.
constexpr const char* kWorksheetOrder[] = {
    "sheetPr",         "dimension",       "sheetViews",     "sheetFormatPr",   "cols",
    "sheetData",       "sheetCalcPr",     "sheetProtection", "protectedRanges", "scenarios",
    "autoFilter",      "sortState",       "dataConsolidate", "customSheetViews", "mergeCells",
    "phoneticPr",      "conditionalFormatting", "dataValidations", "hyperlinks", "printOptions",
    "pageMargins",     "pageSetup",       "headerFooter",   "rowBreaks",       "colBreaks",
    "customProperties", "cellWatches",    "ignoredErrors",  "smartTags",       "drawing",
    "legacyDrawing",   "legacyDrawingHF", "drawingHF",      "picture",         "oleObjects",
    "controls",        "webPublishItems", "tableParts",     "extLst"};

int SchemaPosition(std::string_view localName) {
  int i = 0;
  for (const char* name : kWorksheetOrder) {
    if (localName == name) return i;
    ++i;
  }
  return -1;
}

constexpr const char* kSheetDataMarker = "@@TABRIX-SHEET-DATA-7f3a9c@@";

double ParseDouble(const char* text) {
  double value = 0;
  const char* end = text + std::strlen(text);
  while (text < end && (*text == ' ' || *text == '+')) ++text;
  auto result = std::from_chars(text, end, value);
  if (result.ec != std::errc()) return std::strtod(text, nullptr);
  return value;
}

// Serial number of an ISO 8601 date-time ("2024-03-01T12:00:00").
double IsoDateSerial(const char* text) {
  int y = 0, m = 0, d = 0, hh = 0, mm = 0;
  double ss = 0;
  if (std::sscanf(text, "%d-%d-%dT%d:%d:%lf", &y, &m, &d, &hh, &mm, &ss) < 3) return 0;
  // Days from 1899-12-30 (the serial epoch that includes the 1900 leap-year quirk from 61 on).
  auto daysFromCivil = [](int year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int>(doe) - 719468;
  };
  double serial = daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - daysFromCivil(1899, 12, 30);
  if (serial < 61) serial -= 1;
  return serial + (hh * 3600 + mm * 60 + ss) / 86400.0;
}

void AppendInt(std::string& out, std::int64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void AppendDouble(std::string& out, double value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

bool AttributeTrue(pugi::xml_attribute a) {
  std::string_view v = a.value();
  return v == "1" || v == "true";
}

}  // namespace

pugi::xml_node XlsxWorksheet::EnsureChild(std::string_view localName) {
  pugi::xml_node root = Root();
  if (pugi::xml_node existing = ChildByLocalName(root, localName)) return existing;
  std::string rootName = root.name();
  std::size_t colon = rootName.find(':');
  std::string name = (colon == std::string::npos ? "" : rootName.substr(0, colon + 1)) + std::string(localName);
  int position = SchemaPosition(localName);
  for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    int childPosition = SchemaPosition(LocalName(child.name()));
    if (childPosition > position) return root.insert_child_before(name.c_str(), child);
  }
  return root.append_child(name.c_str());
}

// Turns <row> elements into rows of the cell store, in document order, whether they come from
// slices of the part or from the tree of the whole part.
struct XlsxWorksheet::SheetDataWalk {
  explicit SheetDataWalk(XlsxWorksheet& owner) : sheet(owner) {}

  [[noreturn]] void Outside(const std::string& what) const {
    throw std::runtime_error("the sheet \"" + sheet.name_ + "\" has " + what + " outside the sheet's limits");
  }
  void Row(pugi::xml_node rowNode);
  // What one <c> element becomes.
  void LoadCell(tabrix::xlsx::Row& row, pugi::xml_node c, std::int32_t column);
  // Sorts what arrived out of order.
  void Finish();
  // Forgets the rows read so far, releasing their formulas.
  void Discard();

  XlsxWorksheet& sheet;
  struct SharedMaster {
    std::string text;
    std::int32_t row, column;
    CellRect ref;
    std::uint32_t formula;  // the shared entry, kNoFormula when the cells get formulas of their own
  };
  std::map<std::string, SharedMaster> sharedMasters;
  std::int32_t previousRow = 0;
};

void XlsxWorksheet::LoadXml(const PartReader& read) {
  // The rows go by in slices of about a megabyte, each parsed and turned into cells before the
  // next; pugixml holds only the rest of the part as a tree. Whatever the slices cannot settle
  // (text the splitter is unsure of, broken XML) is read from the whole part as one tree, which
  // also gives broken XML its one error message.
  SheetDataWalk walk(*this);
  std::exception_ptr rowsError;
  pugi::xml_document slice;
  SheetXmlSplitter splitter([&](std::string_view rows, std::uint64_t) {
    if (!TryParseXml(slice, rows, pugi::parse_fragment, kMaxXmlDepth - 2)) return false;
    if (!rowsError) try {
        for (pugi::xml_node row : slice.children()) walk.Row(row);
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception&) {
        rowsError = std::current_exception();
      }
    return true;
  });
  bool split = true;
  read([&](std::string_view piece) { return split = splitter.Feed(piece); });
  split = split && splitter.Finish() && TryParseXml(xml_, splitter.Rest(), 0, kMaxXmlDepth);
  slice.reset();
  std::string().swap(splitter.Rest());
  if (!split) {
    walk.Discard();
    rowsError = nullptr;
    std::string bytes;
    read([&](std::string_view piece) { return bytes.append(piece), true; });
    ParseXml(xml_, bytes, partName_);
  }
  LoadRoot(walk, rowsError);
}

void XlsxWorksheet::LoadRoot(SheetDataWalk& walk, std::exception_ptr rowsError) {
  pugi::xml_node root = Root();
  if (!root || LocalName(root.name()) != "worksheet")
    throw std::runtime_error("the part " + partName_ + " is not a worksheet");
  std::vector<pugi::xml_node> generated;
  for (pugi::xml_node child : root.children()) {
    std::string_view local = LocalName(child.name());
    if (local == "sheetFormatPr") {
      double rowHeight = child.attribute("defaultRowHeight").as_double(15);
      if (rowHeight <= 0 || rowHeight > 409) rowHeight = 15;
      layout_.SetDefaults(rowHeight, child.attribute("defaultColWidth").as_double(0),
                          child.attribute("baseColWidth").as_int(8));
    } else if (local == "cols") {
      std::vector<ColumnInfo>& columns = layout_.Columns();
      for (pugi::xml_node col : child.children()) {
        ColumnInfo info;
        info.min = col.attribute("min").as_int(0);
        info.max = col.attribute("max").as_int(0);
        if (info.min < 1 || info.max < info.min || info.max > kMaxColumns) {
          if (info.min >= 1 && info.min <= kMaxColumns && info.max > kMaxColumns) {
            info.max = kMaxColumns;  // some writers use 16385 for "to the end"
          } else {
            throw std::runtime_error("the sheet \"" + name_ + "\" has a column range outside the sheet");
          }
        }
        info.width = col.attribute("width").as_double(0);
        info.hasStyle = static_cast<bool>(col.attribute("style"));
        info.style = col.attribute("style").as_uint(0);
        info.hidden = AttributeTrue(col.attribute("hidden"));
        info.customWidth = AttributeTrue(col.attribute("customWidth"));
        info.bestFit = AttributeTrue(col.attribute("bestFit"));
        info.collapsed = AttributeTrue(col.attribute("collapsed"));
        info.outlineLevel = static_cast<std::uint8_t>(col.attribute("outlineLevel").as_uint(0));
        columns.push_back(info);
      }
      std::sort(columns.begin(), columns.end(), [](const ColumnInfo& a, const ColumnInfo& b) { return a.min < b.min; });
      generated.push_back(child);
    } else if (local == "sheetData") {
      // Rows read from the slices fail here, after what precedes them in the part.
      if (rowsError) std::rethrow_exception(std::exchange(rowsError, nullptr));
      for (pugi::xml_node row : child.children()) walk.Row(row);
      while (child.first_child()) child.remove_child(child.first_child());
    } else if (local == "mergeCells") {
      for (pugi::xml_node merge : child.children()) {
        auto rect = ParseArea(merge.attribute("ref").value());
        if (!rect) continue;
        if (rect->row1 == rect->row2 && rect->col1 == rect->col2) continue;
        merges_.Append(*rect);
      }
      generated.push_back(child);
    } else if (local == "rowBreaks" || local == "colBreaks") {
      auto& list = local == "rowBreaks" ? layout_.RowBreaks() : layout_.ColumnBreaks();
      for (pugi::xml_node brk : child.children()) {
        PageBreak b;
        b.id = brk.attribute("id").as_int(0);
        b.min = brk.attribute("min").as_int(0);
        b.max = brk.attribute("max").as_int(0);
        b.manual = AttributeTrue(brk.attribute("man"));
        b.pivot = AttributeTrue(brk.attribute("pt"));
        list.push_back(b);
      }
      std::sort(list.begin(), list.end(), [](const PageBreak& a, const PageBreak& b) { return a.id < b.id; });
      generated.push_back(child);
    } else if (local == "dimension") {
      generated.push_back(child);
    } else if (local == "drawing") {
      if (const Relationship* rel = rels_.FindById(RelationshipIdAttribute(child).value()))
        pictures_.SetDrawingPartName(ResolvePartTarget(partName_, rel->target));
    }
  }
  walk.Finish();
  for (pugi::xml_node node : generated) root.remove_child(node);
  if (!ChildByLocalName(root, "sheetData")) EnsureChild("sheetData");
  merges_.Sort();
}

void XlsxWorksheet::SheetDataWalk::Row(pugi::xml_node rowNode) {
  if (LocalName(rowNode.name()) != "row") return;
  std::vector<tabrix::xlsx::Row>& rows = sheet.cells_.Rows();
  pugi::xml_attribute rAttr = rowNode.attribute("r");
  std::int64_t rowNumber = rAttr ? rAttr.as_llong(0) : previousRow + 1;
  if (rowNumber < 1 || rowNumber > kMaxRows) Outside("a row");
  previousRow = static_cast<std::int32_t>(rowNumber);
  tabrix::xlsx::Row& row = (rows.empty() || rows.back().number < rowNumber)
                               ? (rows.emplace_back(), rows.back())
                               : sheet.cells_.GetRow(static_cast<std::int32_t>(rowNumber));
  row.number = static_cast<std::int32_t>(rowNumber);
  if (pugi::xml_attribute ht = rowNode.attribute("ht")) row.height = static_cast<float>(ht.as_double(0));
  if (row.height < 0 || row.height > 409.5f) row.height = 0;
  if (pugi::xml_attribute s = rowNode.attribute("s")) row.style = s.as_uint(0);
  if (AttributeTrue(rowNode.attribute("customHeight"))) row.flags |= kRowCustomHeight;
  if (AttributeTrue(rowNode.attribute("hidden"))) row.flags |= kRowHidden;
  if (AttributeTrue(rowNode.attribute("customFormat"))) row.flags |= kRowCustomFormat;
  if (AttributeTrue(rowNode.attribute("collapsed"))) row.flags |= kRowCollapsed;
  if (AttributeTrue(rowNode.attribute("thickTop"))) row.flags |= kRowThickTop;
  if (AttributeTrue(rowNode.attribute("thickBot"))) row.flags |= kRowThickBottom;
  row.outlineLevel = static_cast<std::uint8_t>(rowNode.attribute("outlineLevel").as_uint(0));

  std::int32_t previousColumn = 0;
  bool sorted = true;
  for (pugi::xml_node c : rowNode.children()) {
    if (LocalName(c.name()) != "c") continue;
    std::int32_t column = previousColumn + 1;
    if (pugi::xml_attribute r = c.attribute("r")) {
      auto position = ParseCell(r.value());
      if (!position) {
        // A reference past the last column or row is damage, not something to skip.
        Outside("a cell reference \"" + std::string(r.value()) + "\"");
      }
      column = position->column;
    }
    if (column > kMaxColumns) Outside("a cell");
    if (column <= previousColumn) sorted = false;
    previousColumn = column;
    LoadCell(row, c, column);
  }
  if (!sorted) {
    std::stable_sort(row.cells.begin(), row.cells.end(),
                     [](const Cell& a, const Cell& b) { return a.column < b.column; });
    // A cell written twice: the last one wins.
    std::vector<Cell> unique;
    for (const Cell& cell : row.cells) {
      if (!unique.empty() && unique.back().column == cell.column) unique.back() = cell;
      else unique.push_back(cell);
    }
    row.cells.swap(unique);
  }
}

void XlsxWorksheet::SheetDataWalk::LoadCell(tabrix::xlsx::Row& row, pugi::xml_node c, std::int32_t column) {
  XlsxWorkbook& book = *sheet.book_;
  StringTable& strings = book.Strings();
  Cell cell;
  cell.column = column;
  cell.style = c.attribute("s").as_uint(0);
  std::string_view type = c.attribute("t").value();
  pugi::xml_node v = ChildByLocalName(c, "v");
  const char* valueText = v.text().get();
  bool hasValue = static_cast<bool>(v);
  if (type == "s") {
    if (hasValue) {
      cell.kind = CellKind::Text;
      cell.text = 0x80000000u + static_cast<std::uint32_t>(std::strtoul(valueText, nullptr, 10));
    }
  } else if (type == "str") {
    cell.kind = CellKind::Text;
    cell.text = strings.Intern(UnescapeSpreadsheetText(valueText));
  } else if (type == "inlineStr") {
    pugi::xml_node is = ChildByLocalName(c, "is");
    std::string text;
    bool rich = false;
    for (pugi::xml_node child : is.children()) {
      std::string_view local = LocalName(child.name());
      if (local == "t") text += child.text().get();
      if (local == "r") {
        text += ChildByLocalName(child, "t").text().get();
        rich = true;
      }
    }
    cell.kind = CellKind::Text;
    if (rich) {
      cell.text = strings.AddRich(UnescapeSpreadsheetText(text), InnerXml(is));
    } else {
      cell.text = strings.Intern(UnescapeSpreadsheetText(text));
    }
  } else if (type == "b") {
    if (hasValue) {
      cell.kind = CellKind::Boolean;
      cell.number = std::string_view(valueText) == "1" || std::string_view(valueText) == "true" ? 1 : 0;
    }
  } else if (type == "e") {
    if (hasValue) {
      cell.kind = CellKind::Error;
      cell.text = strings.Intern(valueText);
    }
  } else if (type == "d") {
    if (hasValue) {
      cell.kind = CellKind::Number;
      cell.number = IsoDateSerial(valueText);
    }
  } else if (hasValue && *valueText) {
    cell.kind = CellKind::Number;
    cell.number = ParseDouble(valueText);
  }

  if (pugi::xml_node f = ChildByLocalName(c, "f")) {
    std::string_view formulaType = f.attribute("t").value();
    std::string text = f.text().get();
    std::string attributes;
    for (pugi::xml_attribute a : f.attributes()) {
      std::string_view n = a.name();
      if (n == "t" || n == "ref" || n == "si") continue;
      attributes += ' ';
      attributes += a.name();
      attributes += "=\"";
      AppendEscaped(attributes, a.value(), true);
      attributes += '"';
    }
    Formula::Type kind = Formula::kNormal;
    CellRect ref{row.number, column, row.number, column};
    bool keep = true;
    std::uint32_t shared = kNoFormula;
    // A shared formula stays one entry for the cells of its range that take it as written.
    auto inside = [&](const CellRect& r) {
      return r.row1 <= row.number && row.number <= r.row2 && r.col1 <= column && column <= r.col2;
    };
    if (formulaType == "shared") {
      std::string si = f.attribute("si").value();
      if (!text.empty()) {
        CellRect area = ParseArea(f.attribute("ref").value()).value_or(ref);
        SharedMaster master{text, row.number, column, area, kNoFormula};
        if (attributes.empty() && inside(area))
          master.formula = shared = book.AddSharedFormula(&sheet, text, area, row.number, column);
        sharedMasters[si] = std::move(master);
      } else {
        auto master = sharedMasters.find(si);
        if (master == sharedMasters.end()) {
          keep = false;  // a dependent without its master: keep only the value
        } else if (master->second.formula != kNoFormula && attributes.empty() && inside(master->second.ref)) {
          shared = master->second.formula;
          book.UseSharedFormula(shared);
        } else {
          text = TranslatedFormula(master->second.text, row.number - master->second.row,
                                   column - master->second.column);
        }
      }
    } else if (formulaType == "array" || formulaType == "dataTable") {
      kind = formulaType == "array" ? Formula::kArray : Formula::kDataTable;
      if (auto area = ParseArea(f.attribute("ref").value())) ref = *area;
    }
    if (shared != kNoFormula) {
      cell.formula = shared;
    } else if (keep && (!text.empty() || kind == Formula::kDataTable)) {
      cell.formula = book.AddFormula(&sheet, std::move(text));
      book.Formulas()[cell.formula].type = kind;
      if (kind != Formula::kNormal || !attributes.empty()) {
        FormulaExtra& extra = book.FormulaExtraOf(cell.formula);
        extra.ref = ref;
        extra.attributes = std::move(attributes);
      }
      if (kind != Formula::kNormal) book.NoteSpecialFormula(cell.formula);
    }
  }
  row.cells.push_back(cell);
}

void XlsxWorksheet::SheetDataWalk::Finish() {
  std::vector<tabrix::xlsx::Row>& rows = sheet.cells_.Rows();
  if (!std::is_sorted(rows.begin(), rows.end(), [](const tabrix::xlsx::Row& a, const tabrix::xlsx::Row& b) { return a.number < b.number; }))
    std::stable_sort(rows.begin(), rows.end(), [](const tabrix::xlsx::Row& a, const tabrix::xlsx::Row& b) { return a.number < b.number; });
}

void XlsxWorksheet::SheetDataWalk::Discard() {
  for (tabrix::xlsx::Row& row : sheet.cells_.Rows())
    for (Cell& cell : row.cells) sheet.ClearFormula(cell);
  std::vector<tabrix::xlsx::Row>().swap(sheet.cells_.Rows());
  sharedMasters.clear();
  previousRow = 0;
}

RangeList& XlsxWorksheet::RangeListOf(pugi::xml_attribute attribute) {
  auto it = rangeLists_.find(attribute.internal_object());
  if (it == rangeLists_.end()) it = rangeLists_.emplace(attribute.internal_object(), RangeList(attribute.value())).first;
  return it->second;
}

RangeList& XlsxWorksheet::RangeListOf(pugi::xml_node sqrefElement) {
  auto it = rangeLists_.find(sqrefElement.internal_object());
  if (it == rangeLists_.end())
    it = rangeLists_.emplace(sqrefElement.internal_object(), RangeList(sqrefElement.text().get())).first;
  return it->second;
}

const XlsxWorksheet::ExtensionReferences& XlsxWorksheet::ExtensionRefs() {
  if (extensionRefs_) return *extensionRefs_;
  extensionRefs_.emplace();
  pugi::xml_node extLst = ChildByLocalName(Root(), "extLst");
  std::vector<pugi::xml_node> stack;
  if (extLst) stack.push_back(extLst);
  while (!stack.empty()) {
    pugi::xml_node node = stack.back();
    stack.pop_back();
    for (pugi::xml_node child : node.children()) {
      if (child.type() != pugi::node_element) continue;
      const std::string_view local = LocalName(child.name());
      if (local == "f") {
        extensionRefs_->formulas.push_back(child);
      } else if (local == "sqref") {
        const std::string_view owner = LocalName(node.name());
        const bool format = owner == "conditionalFormatting" || owner == "dataValidation";
        (format ? extensionRefs_->formatLists : extensionRefs_->otherLists).push_back(child);
      } else {
        stack.push_back(child);
      }
    }
  }
  return *extensionRefs_;
}

void XlsxWorksheet::WriteRangeLists() {
  for (pugi::xml_node child : Root().children()) {
    std::string_view local = LocalName(child.name());
    auto write = [&](pugi::xml_attribute attribute) {
      auto it = rangeLists_.find(attribute.internal_object());
      if (it != rangeLists_.end() && it->second.Changed()) attribute.set_value(it->second.Text().c_str());
    };
    if (local == "conditionalFormatting") write(child.attribute("sqref"));
    else if (local == "dataValidations")
      for (pugi::xml_node validation : child.children()) write(validation.attribute("sqref"));
  }
  if (extensionRefs_)
    for (const auto* lists : {&extensionRefs_->formatLists, &extensionRefs_->otherLists})
      for (pugi::xml_node sqref : *lists) {
        auto it = rangeLists_.find(sqref.internal_object());
        if (it != rangeLists_.end() && it->second.Changed()) sqref.text().set(it->second.Text().c_str());
      }
  rangeLists_.clear();
}

DeflatedPart XlsxWorksheet::SaveXml(const std::vector<std::uint32_t>& stringRemap) {
  WriteRangeLists();
  book_->SettleFormulas(this);
  pugi::xml_node root = Root();
  std::vector<pugi::xml_node> added;
  std::string prefix;
  if (const char* colon = std::strchr(root.name(), ':')) prefix.assign(root.name(), colon + 1);

  // Dimension: the used range.
  {
    std::int32_t minRow = 0, maxRow = 0, minCol = kMaxColumns, maxCol = 0;
    for (const Row& row : cells_.Rows()) {
      if (row.cells.empty()) continue;
      if (!minRow) minRow = row.number;
      maxRow = row.number;
      minCol = std::min(minCol, row.cells.front().column);
      maxCol = std::max(maxCol, row.cells.back().column);
    }
    pugi::xml_node dimension = EnsureChild("dimension");
    dimension.append_attribute("ref") =
        minRow ? FormatRef(CellRect{minRow, minCol, maxRow, maxCol}).c_str() : "A1";
    added.push_back(dimension);
  }
  if (!layout_.Columns().empty()) {
    const double defaultWidth = layout_.DefaultColumnWidth();
    pugi::xml_node cols = EnsureChild("cols");
    for (const ColumnInfo& info : layout_.Columns()) {
      pugi::xml_node col = cols.append_child((prefix + "col").c_str());
      col.append_attribute("min") = info.min;
      col.append_attribute("max") = info.max;
      double width = info.width > 0 ? info.width : (defaultWidth > 0 ? defaultWidth : 9.140625);
      col.append_attribute("width") = width;
      if (info.hasStyle) col.append_attribute("style") = info.style;
      if (info.hidden) col.append_attribute("hidden") = 1;
      if (info.bestFit) col.append_attribute("bestFit") = 1;
      if (info.customWidth) col.append_attribute("customWidth") = 1;
      if (info.outlineLevel) col.append_attribute("outlineLevel") = info.outlineLevel;
      if (info.collapsed) col.append_attribute("collapsed") = 1;
    }
    added.push_back(cols);
  }
  if (!merges_.Empty()) {
    pugi::xml_node node = EnsureChild("mergeCells");
    node.append_attribute("count") = static_cast<unsigned>(merges_.List().size());
    for (const CellRect& rect : merges_.List())
      node.append_child((prefix + "mergeCell").c_str()).append_attribute("ref") = FormatRef(rect).c_str();
    added.push_back(node);
  }
  auto writeBreaks = [&](const char* name, const std::vector<PageBreak>& list) {
    if (list.empty()) return;
    pugi::xml_node node = EnsureChild(name);
    node.append_attribute("count") = static_cast<unsigned>(list.size());
    unsigned manual = 0;
    for (const PageBreak& b : list) manual += b.manual ? 1 : 0;
    node.append_attribute("manualBreakCount") = manual;
    for (const PageBreak& b : list) {
      pugi::xml_node brk = node.append_child((prefix + "brk").c_str());
      brk.append_attribute("id") = b.id;
      if (b.min) brk.append_attribute("min") = b.min;
      if (b.max) brk.append_attribute("max") = b.max;
      if (b.manual) brk.append_attribute("man") = 1;
      if (b.pivot) brk.append_attribute("pt") = 1;
    }
    added.push_back(node);
  };
  writeBreaks("rowBreaks", layout_.RowBreaks());
  writeBreaks("colBreaks", layout_.ColumnBreaks());

  pugi::xml_node sheetData = EnsureChild("sheetData");
  pugi::xml_node marker = sheetData.append_child(pugi::node_pcdata);
  marker.set_value(kSheetDataMarker);
  std::string text = SerializeXml(xml_);
  sheetData.remove_child(marker);
  for (pugi::xml_node node : added) root.remove_child(node);

  std::size_t at = text.find(kSheetDataMarker);
  StreamedPart part;
  part.Buffer().append(text, 0, at);
  AppendSheetData(part, stringRemap);
  part.Buffer().append(text, at + std::strlen(kSheetDataMarker), std::string::npos);
  return part.Finish();
}

void XlsxWorksheet::AppendSheetData(StreamedPart& part, const std::vector<std::uint32_t>& stringRemap) {
  std::string& out = part.Buffer();
  const StringTable& strings = book_->Strings();
  const std::vector<Formula>& formulas = book_->Formulas();
  // Column letters are looked up, row digits written once per row.
  static const std::vector<std::string> kLetters = [] {
    std::vector<std::string> letters(kMaxColumns + 1);
    for (std::int32_t c = 1; c <= kMaxColumns; ++c) letters[static_cast<std::size_t>(c)] = platform::ColumnLetters(c);
    return letters;
  }();
  // Shared formulas by entry: the number they are written with; kNoFormula when the master cell
  // no longer holds them, and each cell then writes its own text.
  std::unordered_map<std::uint32_t, std::uint32_t> sharedNumbers;
  std::uint32_t nextShared = 0;
  char rowDigits[12];
  for (const Row& row : cells_.Rows()) {
    if (row.cells.empty() && !row.HasProperties()) continue;
    auto digitsEnd = std::to_chars(rowDigits, rowDigits + sizeof rowDigits, row.number).ptr;
    const std::string_view digits(rowDigits, static_cast<std::size_t>(digitsEnd - rowDigits));
    out += "<row r=\"";
    out += digits;
    out += '"';
    if (row.style || (row.flags & kRowCustomFormat)) {
      out += " s=\"";
      AppendInt(out, row.style);
      out += "\" customFormat=\"1\"";
    }
    if (row.height > 0) {
      out += " ht=\"";
      AppendDouble(out, static_cast<double>(row.height));
      out += '"';
      if (row.flags & kRowCustomHeight) out += " customHeight=\"1\"";
    }
    if (row.flags & kRowHidden) out += " hidden=\"1\"";
    if (row.outlineLevel) {
      out += " outlineLevel=\"";
      AppendInt(out, row.outlineLevel);
      out += '"';
    }
    if (row.flags & kRowCollapsed) out += " collapsed=\"1\"";
    if (row.flags & kRowThickTop) out += " thickTop=\"1\"";
    if (row.flags & kRowThickBottom) out += " thickBot=\"1\"";
    if (row.cells.empty()) {
      out += "/>";
      continue;
    }
    out += '>';
    for (const Cell& cell : row.cells) {
      if (cell.kind == CellKind::Blank && !cell.HasFormula() && cell.style == 0) continue;
      out += "<c r=\"";
      out += kLetters[static_cast<std::size_t>(cell.column)];
      out += digits;
      out += '"';
      if (cell.style) {
        out += " s=\"";
        AppendInt(out, cell.style);
        out += '"';
      }
      if (!cell.HasFormula()) {
        switch (cell.kind) {
          case CellKind::Blank:
            out += "/>";
            continue;
          case CellKind::Number:
            if (std::isfinite(cell.number)) {
              out += "><v>";
              AppendDouble(out, cell.number);
            } else {
              out += " t=\"e\"><v>#NUM!";
            }
            break;
          case CellKind::Text:
            out += " t=\"s\"><v>";
            AppendInt(out, stringRemap[cell.text]);
            break;
          case CellKind::Boolean:
            out += cell.number != 0 ? " t=\"b\"><v>1" : " t=\"b\"><v>0";
            break;
          case CellKind::Error:
            out += " t=\"e\"><v>";
            AppendEscaped(out, strings.Text(cell.text));
            break;
        }
        out += "</v></c>";
        continue;
      }
      const Formula& formula = formulas[cell.formula];
      const FormulaExtra* extra = book_->FindFormulaExtra(cell.formula);
      std::string_view text = formula.Text();
      std::string translated;
      bool master = false, dependent = false;
      std::uint32_t sharedNumber = kNoFormula;
      if (formula.type == Formula::kShared) {
        auto [it, added] = sharedNumbers.try_emplace(cell.formula, kNoFormula);
        if (added) {
          const Cell* at = cells_.FindCell(extra->masterRow, extra->masterColumn);
          if (at && at->formula == cell.formula) it->second = nextShared++;
        }
        sharedNumber = it->second;
        const bool afterMaster = row.number > extra->masterRow ||
                                 (row.number == extra->masterRow && cell.column > extra->masterColumn);
        master = sharedNumber != kNoFormula && row.number == extra->masterRow && cell.column == extra->masterColumn;
        dependent = sharedNumber != kNoFormula && afterMaster;
        if (!master && !dependent) {
          translated = book_->CellFormulaText(cell.formula, row.number, cell.column);
          text = translated;
        }
      }
      switch (cell.kind) {
        case CellKind::Text: out += " t=\"str\""; break;
        case CellKind::Boolean: out += " t=\"b\""; break;
        case CellKind::Error: out += " t=\"e\""; break;
        default: break;
      }
      out += "><f";
      if (master || dependent) {
        out += " t=\"shared\"";
        if (master) {
          out += " ref=\"";
          out += FormatRef(extra->ref);
          out += '"';
        }
        out += " si=\"";
        AppendInt(out, sharedNumber);
        out += '"';
      }
      if (formula.type == Formula::kArray) out += " t=\"array\"";
      if (formula.type == Formula::kDataTable) out += " t=\"dataTable\"";
      if ((formula.type == Formula::kArray || formula.type == Formula::kDataTable) && extra) {
        out += " ref=\"";
        out += FormatRef(extra->ref);
        out += '"';
      }
      if (extra) out += extra->attributes;
      if (dependent || text.empty()) {
        out += "/>";
      } else {
        out += '>';
        AppendEscaped(out, text);
        out += "</f>";
      }
      switch (cell.kind) {
        case CellKind::Blank: break;
        case CellKind::Number:
          out += "<v>";
          if (std::isfinite(cell.number)) AppendDouble(out, cell.number);
          out += "</v>";
          break;
        case CellKind::Text:
        case CellKind::Error:
          out += "<v>";
          AppendEscaped(out, strings.Text(cell.text));
          out += "</v>";
          break;
        case CellKind::Boolean:
          out += cell.number != 0 ? "<v>1</v>" : "<v>0</v>";
          break;
      }
      out += "</c>";
    }
    out += "</row>";
    part.Spill();
  }
}

}  // namespace tabrix::xlsx
