// Table (list object) column names: writing a text into a table's header cell renames that
// column in the table part and in every structured reference to it (formulas on every sheet,
// defined names, the tables' column formulas), as the spreadsheet application does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tabrix::xlsx {

class XlsxWorksheet;

// Renames column `oldName` of table `table` in the structured references of a formula (stored
// form, no "="): Items[Qty], Items[[#This Row],[Qty]], Items[[Qty]:[Price]]. Table and column
// names compare case-insensitively; escapes ('[ '] '# '') are read and written. Returns true and
// stores the new text in `out` when something changed.
bool RenameStructuredColumn(std::string_view formula, std::string_view table, std::string_view oldName,
                            std::string_view newName, std::string& out);

// Called before `text` is written into a cell. When the cell is the header of a table column
// whose name differs, renames the column everywhere and returns the text the cell takes (the
// name, made unique within the table as the application does: "Qty" -> "Qty2").
std::optional<std::string> RenameTableColumnAt(XlsxWorksheet& sheet, std::int32_t row, std::int32_t column,
                                               const std::string& text);

}  // namespace tabrix::xlsx
