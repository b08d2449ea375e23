// Field values, cell writes, pictures and page breaks shared by every fill engine.
#pragma once

#include <cstdint>
#include <string>

#include "fill/cell_references.h"
#include "tabrix/platform/database.h"
#include "tabrix/platform/spreadsheet.h"
#include "tabrix/variant.h"

namespace tabrix::fill {

// The field's value: long fields assembled from 16384-character chunks, Null as "", any read
// failure as the text "#Error". Never raises.
Variant ReadFieldValue(platform::Field& field);

void WriteFieldValue(platform::Worksheet& sheet, std::int32_t row, std::int32_t column,
                     const Variant& value);
std::string ReadOptionText(platform::Worksheet& sheet, std::int32_t row, std::int32_t column);
void ClearCell(platform::Worksheet& sheet, std::int32_t row, std::int32_t column);

// Folder of the workbook that holds the sheet (pictures named by relative paths live there).
std::string ImageFolder(platform::Worksheet& sheet);

// Puts the picture named by `value` into the cell (nothing for an empty value). May overwrite
// options.Width/Height when stretching. Raises "Failed to insert the image file \"<path>\". ..."
// with the underlying number and source.
void PutFieldImage(platform::Worksheet& sheet, std::int32_t row, std::int32_t column,
                   const Variant& value, ImageOptions& options, const std::string& imageFolder);

void SetRowPageBreak(platform::Worksheet& sheet, std::int32_t row);
void SetColumnPageBreak(platform::Worksheet& sheet, std::int32_t column);

}  // namespace tabrix::fill
