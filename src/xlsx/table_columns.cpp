// Renaming table columns through their header cells: the structured-reference scanner and the
// hook the worksheet calls when a text is written.
#include "xlsx/table_columns.h"

#include <cctype>
#include <vector>

#include "support/text_case.h"
#include "xlsx/cell_address.h"
#include "xlsx/formula_references.h"
#include "xlsx/package.h"
#include "xlsx/xlsx_workbook.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

bool NameChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '.' || c == '\\' || c >= 0x80;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\'' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

std::string Escape(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '[' || c == ']' || c == '#' || c == '\'') out += '\'';
    out += c;
  }
  return out;
}

// A column name that must stand in its own brackets inside a structured reference.
bool NeedsBrackets(std::string_view name) {
  for (char c : name)
    if (std::string_view("\t\n\r,:.[]#'\"{}$^&*+=-<>/").find(c) != std::string_view::npos) return true;
  return false;
}

// Renames the column inside one specifier list (the text between a table name's brackets).
bool RenameInSpecifier(std::string_view inner, std::string_view oldName, std::string_view newName, std::string& out) {
  std::size_t start = inner.find_first_not_of(' ');
  bool changed = false;
  if (start == std::string_view::npos || inner[start] != '[') {
    // Simple form: Items[Qty], Items[@Qty]; "#All" and the like name no column.
    std::size_t at = start == std::string_view::npos ? inner.size() : start;
    std::string_view prefix = inner.substr(0, at);
    std::string_view name = inner.substr(at);
    if (!name.empty() && name.front() == '@') {
      prefix = inner.substr(0, at + 1);
      name.remove_prefix(1);
    }
    if (name.empty() || name.front() == '#' || !NamesEqual(Unescape(name), oldName)) {
      out.append(inner);
      return false;
    }
    out.append(prefix);
    if (NeedsBrackets(newName)) out += "[" + Escape(newName) + "]";
    else out += Escape(newName);
    return true;
  }
  // List form: [[#This Row],[Qty]], [[Qty]:[Price]].
  std::size_t i = 0;
  while (i < inner.size()) {
    if (inner[i] != '[') {
      out += inner[i++];
      continue;
    }
    std::size_t close = SkipBrackets(inner, i);
    std::string_view item = inner.substr(i + 1, close >= i + 2 ? close - i - 2 : 0);
    if (!item.empty() && item.front() != '#' && NamesEqual(Unescape(item), oldName)) {
      out += "[" + Escape(newName) + "]";
      changed = true;
    } else {
      out.append(inner.substr(i, close - i));
    }
    i = close;
  }
  return changed;
}

// Every table part of every worksheet of the workbook.
std::vector<pugi::xml_node> AllTables(XlsxWorkbook& book) {
  std::vector<pugi::xml_node> tables;
  for (const auto& sheet : book.Worksheets()) {
    if (!sheet->HasRels()) continue;
    for (const Relationship& rel : sheet->Rels().All()) {
      if (rel.external || !RelationshipTypeIs(rel.type, reltype::kTable)) continue;
      if (pugi::xml_document* part = book.EditablePart(ResolvePartTarget(sheet->PartName(), rel.target)))
        tables.push_back(part->document_element());
    }
  }
  return tables;
}

const std::vector<pugi::xml_node>& SheetTables(XlsxWorksheet& sheet) {
  SheetGuardCache& cache = sheet.GuardCache();
  if (!cache.tables) {
    cache.tables.emplace();
    if (sheet.HasRels())
      for (const Relationship& rel : sheet.Rels().All()) {
        if (rel.external || !RelationshipTypeIs(rel.type, reltype::kTable)) continue;
        if (pugi::xml_document* part = sheet.Book().EditablePart(ResolvePartTarget(sheet.PartName(), rel.target)))
          cache.tables->push_back(part->document_element());
      }
  }
  return *cache.tables;
}

void RenameEverywhere(XlsxWorkbook& book, std::string_view table, std::string_view oldName, std::string_view newName) {
  std::string changed;
  book.ForgetHeldReferences();
  for (Formula& formula : book.Formulas())
    if (formula.sheet != 0 && RenameStructuredColumn(formula.Text(), table, oldName, newName, changed))
      formula.SetText(changed);
  for (DefinedName& name : book.DefinedNames())
    if (RenameStructuredColumn(name.formula, table, oldName, newName, changed)) name.formula = changed;
  for (pugi::xml_node other : AllTables(book)) {
    for (pugi::xml_node column : ChildByLocalName(other, "tableColumns").children()) {
      for (pugi::xml_node part : column.children()) {
        std::string_view local = LocalName(part.name());
        if (local != "calculatedColumnFormula" && local != "totalsRowFormula") continue;
        if (RenameStructuredColumn(part.text().get(), table, oldName, newName, changed)) part.text().set(changed.c_str());
      }
    }
  }
}

}  // namespace

bool RenameStructuredColumn(std::string_view formula, std::string_view table, std::string_view oldName,
                            std::string_view newName, std::string& out) {
  std::string result;
  bool changed = false;
  std::size_t i = 0;
  const std::size_t n = formula.size();
  while (i < n) {
    char c = formula[i];
    if (c == '"' || c == '\'') {  // string literal or quoted sheet name, doubled quotes inside
      std::size_t j = i + 1;
      while (j < n) {
        if (formula[j] == c) {
          if (j + 1 < n && formula[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      j = j < n ? j + 1 : n;
      result.append(formula.substr(i, j - i));
      i = j;
      continue;
    }
    if (c == '[') {  // brackets not after a name: external workbook index and the like
      std::size_t close = SkipBrackets(formula, i);
      result.append(formula.substr(i, close - i));
      i = close;
      continue;
    }
    if (NameChar(static_cast<unsigned char>(c))) {
      std::size_t j = i;
      while (j < n && NameChar(static_cast<unsigned char>(formula[j]))) ++j;
      std::string_view name = formula.substr(i, j - i);
      result.append(name);
      i = j;
      if (i < n && formula[i] == '[') {
        std::size_t close = SkipBrackets(formula, i);
        if (NamesEqual(name, table) && close - i >= 2 && formula[close - 1] == ']') {
          result += '[';
          changed |= RenameInSpecifier(formula.substr(i + 1, close - i - 2), oldName, newName, result);
          result += ']';
        } else {
          result.append(formula.substr(i, close - i));
        }
        i = close;
      }
      continue;
    }
    result += c;
    ++i;
  }
  if (!changed) return false;
  out = std::move(result);
  return true;
}

std::optional<std::string> RenameTableColumnAt(XlsxWorksheet& sheet, std::int32_t row, std::int32_t column,
                                               const std::string& text) {
  if (text.empty()) return std::nullopt;
  for (pugi::xml_node table : SheetTables(sheet)) {
    if (table.attribute("headerRowCount").as_int(1) == 0) continue;
    auto rect = ParseArea(table.attribute("ref").value());
    if (!rect || rect->row1 != row || column < rect->col1 || column > rect->col2) continue;
    std::vector<pugi::xml_node> columns;
    for (pugi::xml_node c : ChildByLocalName(table, "tableColumns").children())
      if (c.type() == pugi::node_element) columns.push_back(c);
    auto index = static_cast<std::size_t>(column - rect->col1);
    if (index >= columns.size()) return std::nullopt;
    std::string oldName = columns[index].attribute("name").value();
    if (oldName == text) return std::nullopt;
    // Another column of the table with that name: the application numbers the new one.
    std::string name = text;
    for (int suffix = 2;; ++suffix) {
      bool taken = false;
      for (std::size_t i = 0; i < columns.size() && !taken; ++i)
        taken = i != index && EqualsIgnoringCase(columns[i].attribute("name").value(), name);
      if (!taken) break;
      name = text + std::to_string(suffix);
    }
    columns[index].attribute("name").set_value(name.c_str());
    std::string tableName = table.attribute("name").value();
    if (tableName.empty()) tableName = table.attribute("displayName").value();
    RenameEverywhere(sheet.Book(), tableName, oldName, name);
    if (std::string display = table.attribute("displayName").value(); !display.empty() && display != tableName)
      RenameEverywhere(sheet.Book(), display, oldName, name);
    return name;
  }
  return std::nullopt;
}

}  // namespace tabrix::xlsx
