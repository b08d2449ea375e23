// Conditional formats and validations of the row above inserted rows (the column left of
// inserted columns) reach into the new rows (columns): inserted cells take the formatting of
// the cells before them, and the application counts both as formatting.
#pragma once

#include <string>
#include <string_view>

namespace tabrix::xlsx {

struct SheetEdit;

// For an insertion, every entry of a "sqref" list that ends right before the inserted rows
// (columns) grows over them; with a band, only entries whose columns (rows) lie inside it.
// Returns true and stores the new list in `out` when something grew. Apply after the list was
// moved by the edit.
bool ExtendSqrefOverInserted(std::string_view sqref, const SheetEdit& edit, std::string& out);

}  // namespace tabrix::xlsx
